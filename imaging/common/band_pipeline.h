#pragma once
// An ordered, threaded pipeline for an image's rows: they come in top to
// bottom, a band at a time; each band is worked on by whichever thread is
// free, and delivered strictly in order. No format is known here: what is
// made of a band and where it goes is the BandWork's (the PNG writer filters
// and deflates it, then writes it as image data).
//
// The producer either fills room the pipeline gives (nextRows, commit) or
// hands over rows that stay in place (commitInPlace). It does a band itself
// whenever every helper is busy, so it never runs far ahead and the memory
// held stays a few bands, whatever the image's height.

#include "failure.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

namespace imaging {

// One band as the work sees it.
struct BandRows {
    std::int32_t index = 0; // 0 for the top band
    const std::uint32_t* rows = nullptr; // ARGB32 words
    std::size_t wordsPerLine = 0;
    std::int32_t count = 0;
    const std::uint32_t* above = nullptr; // the row just above the band; null for the first
    bool last = false;
};

// What is done with each band. Each thread has its own object.
class BandWork {
public:
    virtual ~BandWork() = default;
    // Any band, on any thread, in any order: the part that needs no other band.
    virtual Failure make(const BandRows& band) = 0;
    // Right after make(), on the same thread and object, once every band
    // before this one is delivered; one band at a time.
    virtual Failure deliver(const BandRows& band) = 0;
};

class BandPipeline {
public:
    using MakeWork = std::function<std::unique_ptr<BandWork>()>;

    // `helpers`: threads besides the producer (fewer when they cannot be had).
    BandPipeline(std::int32_t width, std::int32_t height, std::int32_t rowsPerBand, int helpers, MakeWork makeWork);
    // Stops the threads; a pipeline not finished delivers nothing more.
    ~BandPipeline();
    BandPipeline(const BandPipeline&) = delete;
    BandPipeline& operator=(const BandPipeline&) = delete;

    // Room for the next rows, `width` words each and contiguous: *rows is set
    // to how many it holds (a band, never past the last row). Null after a
    // failure or once every row is in.
    std::uint32_t* nextRows(std::int32_t* rows);
    // Hands over the first `rows` rows of the room last given.
    Failure commit(std::int32_t rows);
    // Hands over rows that stay in place, unchanged, until finish() returns.
    Failure commitInPlace(const std::uint32_t* rows, std::size_t wordsPerLine, std::int32_t count);
    // After the last row: every band delivered, the threads stopped.
    Failure finish();
    // Stops the pipeline with `failure`, unless it failed already.
    void fail(Failure failure);

    // The first failure; none while nothing failed.
    Failure failure() const;
    std::int32_t rowsPerBand() const;

private:
    class Engine;
    std::unique_ptr<Engine> engine_;
};

} // namespace imaging
