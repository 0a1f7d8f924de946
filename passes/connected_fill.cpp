#include "connected_fill.h"

#include <vector>

namespace passes {
namespace {

class SpanFill {
public:
    explicit SpanFill(BitMask& match) : match_(match) { }

    // Takes the run of matching pixels through (x, y), and everything
    // connected to it.
    void from(std::int32_t x, std::int32_t y)
    {
        if (x < 0 || y < 0 || x >= match_.width() || y >= match_.height() || !match_.test(x, y)) return;
        take(x, y);
        drain();
    }

    // Takes every run of matching pixels in [from, to) of row y and
    // everything connected to them.
    void fromRow(std::int32_t y, std::int32_t from, std::int32_t to)
    {
        for (std::int32_t x = match_.nextSet(y, from, to); x < to; x = match_.nextSet(y, x, to)) {
            x = take(x, y);
            drain();
        }
    }

    FillStatistics statistics() const { return {taken_, peak_, stack_.capacity() * sizeof(Span)}; }

private:
    struct Span {
        std::int32_t y, from, to; // [from, to), already taken
    };

    // Takes the whole run through the matching pixel (x, y) out of `match`
    // and remembers it; returns the end of the run. A pixel leaves `match`
    // when it is taken, so none is taken twice and the stack holds
    // disjoint runs.
    std::int32_t take(std::int32_t x, std::int32_t y)
    {
        const std::int32_t from = match_.runStart(y, x), to = match_.nextClear(y, x);
        match_.clearRange(y, from, to);
        taken_ += static_cast<std::size_t>(to - from);
        stack_.push_back({y, from, to});
        if (stack_.size() > peak_) peak_ = stack_.size();
        return to;
    }

    // The neighbours above and below each waiting span: any matching pixel
    // there touches the span, and its whole run (which may reach past the
    // span on either side) joins.
    void drain()
    {
        while (!stack_.empty()) {
            const Span span = stack_.back();
            stack_.pop_back();
            for (const std::int32_t y : {span.y - 1, span.y + 1}) {
                if (y < 0 || y >= match_.height()) continue;
                for (std::int32_t x = match_.nextSet(y, span.from, span.to); x < span.to;
                     x = match_.nextSet(y, x, span.to))
                    x = take(x, y);
            }
        }
    }

    BitMask& match_;
    std::vector<Span> stack_;
    std::size_t taken_ = 0, peak_ = 0;
};

} // namespace

FillStatistics TakeConnected(BitMask& match, std::span<const PixelPoint> seeds)
{
    SpanFill fill(match);
    for (const PixelPoint& seed : seeds) fill.from(seed.x, seed.y);
    return fill.statistics();
}

FillStatistics TakeConnectedToBorder(BitMask& match)
{
    SpanFill fill(match);
    const std::int32_t width = match.width(), height = match.height();
    if (width > 0) {
        fill.fromRow(0, 0, width);
        fill.fromRow(height - 1, 0, width);
        for (std::int32_t y = 1; y + 1 < height; ++y) {
            fill.from(0, y);
            fill.from(width - 1, y);
        }
    }
    return fill.statistics();
}

} // namespace passes
