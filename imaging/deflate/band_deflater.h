#pragma once
// Raw deflate of one band of an image's filtered rows. Bands are compressed
// independently (on several threads) and joined into one stream: every band
// but the last ends on a byte boundary without the final-block mark, as a
// sync flush leaves it, and only the last one closes the stream.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace imaging::deflate {

enum class DeflateBackend {
    Fast, // ISA-L at its fastest level: most images
    Thorough, // libdeflate at a fast level: images that compress very well,
              // where it finds far longer matches
    Runs, // our own run-length deflate (run_deflater.h): bands made mostly
          // of zeros, near libdeflate's size at ISA-L's speed
};

class BandDeflater {
public:
    // Without a backend, each band is compressed by ISA-L, whose speed on
    // such data costs little, and when that shrinks it fourfold or more, a
    // second and third time: by the run-length encoder when seven eighths
    // of its bytes or more are zero (removed backgrounds, flat art after
    // filtering), by libdeflate when there are fewer zeros or the runs came
    // out larger than ISA-L's stream (shapes repeated at a distance, such as
    // text's glyphs), unless ISA-L came near deflate's limit (empty areas).
    // The smallest stream is kept, so every band gets the better compressor,
    // judged on itself.
    explicit BandDeflater(std::optional<DeflateBackend> backend = std::nullopt);
    ~BandDeflater();
    BandDeflater(const BandDeflater&) = delete;
    BandDeflater& operator=(const BandDeflater&) = delete;

    // Appends the band's deflate data to `out`; false when the compressor
    // fails or memory runs out.
    bool compress(const std::uint8_t* data, std::size_t size, bool last, std::vector<std::uint8_t>& out);

private:
    struct State;
    std::optional<DeflateBackend> backend_;
    std::unique_ptr<State> state_;
};

} // namespace imaging::deflate
