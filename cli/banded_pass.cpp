#include "banded_pass.h"

#include "pass_colors.h"

#include "imaging/banded_conversion.h"
#include "passes/band_pass.h"

#include <optional>

namespace cli {
namespace {

class PassStage final : public mGdip::RowStage {
public:
    PassStage(const Options& options, FileDetails& details) : options_(options), details_(details) {}

    bool begin(std::int32_t width, std::int32_t height) override
    {
        width_ = width;
        details_.width = width;
        details_.height = height;
        if (options_.key) return true;
        at_ = options_.keyAt.value_or(PixelPosition{});
        return at_.x >= 0 && at_.y >= 0 && at_.x < width && at_.y < height;
    }

    bool apply(std::uint32_t* rows, std::size_t wordsPerLine, std::int32_t, std::int32_t count) override
    {
        if (!pass_) {
            passes::ArgbChannels key;
            if (const auto given = GivenKey(options_)) {
                key = *given;
            } else {
                // The key is read before the pass changes its pixel.
                if (at_.y >= count) return false;
                key = KeyOfPixel(rows[static_cast<std::size_t>(at_.y) * wordsPerLine + static_cast<std::size_t>(at_.x)]);
                details_.keyFromImage = true;
            }
            details_.key = key;
            pass_.emplace(options_.command, key, options_.tolerance, ReplacementFor(options_, key));
        }
        pass_->run({rows, static_cast<std::ptrdiff_t>(wordsPerLine), width_, count});
        return true;
    }

private:
    const Options& options_;
    FileDetails& details_;
    std::int32_t width_ = 0;
    PixelPosition at_;
    std::optional<passes::BandPass> pass_;
};

} // namespace

mGdip::Failure ProcessInBands(const Options& options, const QString& input, const QString& output, FileDetails* details)
{
    FileDetails found;
    PassStage stage(options, found);
    mGdip::Failure failure = mGdip::ConvertInBands(input, output, stage);
    if (!failure && details) *details = found;
    return failure;
}

} // namespace cli
