#include "banded_pass.h"

#include "pass_colors.h"

#include "imaging/banded_conversion.h"
#include "passes/band_pass.h"
#include "passes/defringed_removal.h"

#include <optional>

namespace cli {
namespace {

class PassStage final : public mGdip::RowStage {
public:
    PassStage(const Options& options, FileDetails& details) : options_(options), details_(details) { }

    bool begin(std::int32_t width, std::int32_t height) override
    {
        width_ = width;
        height_ = height;
        details_.width = width;
        details_.height = height;
        if (options_.key) return true;
        at_ = options_.keyAt.value_or(PixelPosition{});
        if (at_.x >= 0 && at_.y >= 0 && at_.x < width && at_.y < height) return true;
        refusal_ = KeyPositionOutside(at_, width, height);
        return false;
    }

    // Clean edges need the rows below a row before it is done.
    std::int32_t rowsKeptBack() const override
    {
        return options_.defringe > 0 ? passes::DefringedRemoval::RowsHeldBack(options_.defringe) : 0;
    }

    std::int32_t apply(std::uint32_t* rows, std::size_t wordsPerLine, std::int32_t, std::int32_t count) override
    {
        if (!pass_ && !defringed_) {
            passes::ArgbChannels key;
            if (const auto given = GivenKey(options_)) {
                key = *given;
            } else {
                // The key is read before the pass changes its pixel.
                if (at_.y >= count) return -1;
                key =
                    KeyOfPixel(rows[static_cast<std::size_t>(at_.y) * wordsPerLine + static_cast<std::size_t>(at_.x)]);
                details_.keyFromImage = true;
            }
            details_.key = key;
            if (options_.defringe > 0)
                defringed_.emplace(
                    width_, height_, passes::PassParameters{key, options_.tolerance, {}}, options_.defringe);
            else
                pass_.emplace(options_.command, key, options_.tolerance, ReplacementFor(options_, key));
        }
        const passes::PixelView band{rows, static_cast<std::ptrdiff_t>(wordsPerLine), width_, count};
        if (defringed_) return defringed_->run(band, band);
        pass_->run(band);
        return count;
    }

    // Why the image refuses the key position, once begin() declined for it.
    const std::optional<QString>& refusal() const { return refusal_; }

private:
    const Options& options_;
    FileDetails& details_;
    std::int32_t width_ = 0, height_ = 0;
    PixelPosition at_;
    std::optional<passes::BandPass> pass_;
    std::optional<passes::DefringedRemoval> defringed_;
    std::optional<QString> refusal_;
};

} // namespace

mGdip::Failure ProcessInBands(const Options& options, const QString& input, const QString& output, FileDetails* details,
    std::optional<QString>* refusal)
{
    FileDetails found;
    PassStage stage(options, found);
    mGdip::Failure failure = mGdip::ConvertInBands(input, output, stage);
    if (!failure && details) *details = found;
    if (refusal) *refusal = stage.refusal();
    return failure;
}

} // namespace cli
