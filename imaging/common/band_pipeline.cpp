#include "band_pipeline.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

namespace imaging {

namespace {

// Rows the pipeline holds: the row above, then the band's. Left uninitialised
// when made: every word is written before it is read, and clearing a band's
// megabytes would cost about as much as filling them.
using RowStorage = std::unique_ptr<std::uint32_t[]>;

// One band on its way through.
struct Band {
    BandRows view;
    RowStorage storage;
    std::vector<std::uint32_t> aboveCopy; // the row above, when the band before was held
};

} // namespace

// Bands are queued by the producer and taken by whichever thread is free; a
// thread with a finished band waits for the one before it to be delivered.
class BandPipeline::Engine {
public:
    Engine(std::int32_t width, std::int32_t height, std::int32_t rowsPerBand, int helpers, MakeWork makeWork)
        : width_(width), height_(height), rowsPerBand_(std::clamp(rowsPerBand, 1, std::max(height, 1))),
          makeWork_(std::move(makeWork))
    {
        for (int t = 0; t < helpers; ++t) {
            try {
                helpers_.emplace_back([this] { help(); });
            } catch (const std::exception&) {
                break; // fewer threads do the same work
            }
        }
    }

    ~Engine() { stop(); }

    std::int32_t rowsPerBand() const { return rowsPerBand_; }

    Failure failure()
    {
        std::lock_guard lock(mutex_);
        return failure_;
    }

    std::uint32_t* nextRows(std::int32_t* rows)
    {
        *rows = 0;
        if (failed() || committedRows_ >= height_) return nullptr;
        try {
            // Room given before and not committed is given again.
            if (!room_) room_ = takeStorage();
            if (!room_) return nullptr;
        } catch (const std::bad_alloc&) {
            fail(NoMemoryToEncode());
            return nullptr;
        }
        *rows = std::min(rowsPerBand_, height_ - committedRows_);
        return room_.get() + width_;
    }

    Failure commit(std::int32_t rows)
    {
        if (!room_ || rows <= 0 || rows > std::min(rowsPerBand_, height_ - committedRows_)) return fail(NotWritten());
        Band band;
        band.storage = std::move(room_);
        const std::size_t width = static_cast<std::size_t>(width_);
        band.view.rows = band.storage.get() + width;
        band.view.wordsPerLine = width;
        band.view.count = rows;
        if (committedRows_ > 0) {
            const std::uint32_t* previous = inPlaceLastRow_ ? inPlaceLastRow_ : lastRow_.data();
            std::copy(previous, previous + width, band.storage.get());
            band.view.above = band.storage.get();
        }
        const std::uint32_t* lastRow = band.view.rows + width * static_cast<std::size_t>(rows - 1);
        lastRow_.assign(lastRow, lastRow + width);
        inPlaceLastRow_ = nullptr;
        return submit(std::move(band));
    }

    Failure commitInPlace(const std::uint32_t* rows, std::size_t wordsPerLine, std::int32_t count)
    {
        if (count <= 0 || count > height_ - committedRows_) return fail(NotWritten());
        Band band;
        band.view.rows = rows;
        band.view.wordsPerLine = wordsPerLine;
        band.view.count = count;
        if (committedRows_ > 0) {
            if (!inPlaceLastRow_) { // after rows the pipeline held
                band.aboveCopy = lastRow_;
                band.view.above = band.aboveCopy.data();
            } else {
                band.view.above = inPlaceLastRow_;
            }
        }
        inPlaceLastRow_ = rows + wordsPerLine * static_cast<std::size_t>(count - 1);
        return submit(std::move(band));
    }

    Failure finish()
    {
        if (committedRows_ != height_) fail(NotWritten());
        // What is still queued is done here, then the helpers' last bands awaited.
        while (!failed()) {
            std::unique_lock lock(mutex_);
            if (queue_.empty()) {
                turn_.wait(lock, [&] { return delivered_ == nextIndex_ || failure_; });
                break;
            }
            Band band = std::move(queue_.front());
            queue_.pop_front();
            lock.unlock();
            process(band, producerWork());
        }
        stop();
        return failure();
    }

    Failure fail(Failure failure)
    {
        std::lock_guard lock(mutex_);
        if (!failure_) failure_ = std::move(failure);
        queue_.clear();
        turn_.notify_all();
        work_.notify_all();
        spare_.notify_all();
        return failure_;
    }

private:
    bool failed()
    {
        std::lock_guard lock(mutex_);
        return static_cast<bool>(failure_);
    }

    BandWork& producerWork()
    {
        if (!producerWork_) producerWork_ = makeWork_();
        return *producerWork_;
    }

    Failure submit(Band band)
    {
        band.view.index = nextIndex_++;
        committedRows_ += band.view.count;
        band.view.last = committedRows_ == height_;
        try {
            std::unique_lock lock(mutex_);
            if (failure_) return failure_;
            queue_.push_back(std::move(band));
            work_.notify_one();
            // Every helper busy: the producer does the oldest band itself.
            if (queue_.size() <= helpers_.size()) return {};
            Band oldest = std::move(queue_.front());
            queue_.pop_front();
            lock.unlock();
            process(oldest, producerWork());
        } catch (const std::bad_alloc&) {
            return fail(NoMemoryToEncode());
        }
        return failure();
    }

    void help() noexcept
    {
        try {
            const std::unique_ptr<BandWork> work = makeWork_();
            for (;;) {
                std::unique_lock lock(mutex_);
                work_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
                if (queue_.empty()) return;
                Band band = std::move(queue_.front());
                queue_.pop_front();
                lock.unlock();
                process(band, *work);
            }
        } catch (const std::bad_alloc&) {
            fail(NoMemoryToEncode());
        }
    }

    void process(Band& band, BandWork& work)
    {
        try {
            Failure made = work.make(band.view);
            deliver(band.view, work, std::move(made));
        } catch (const std::bad_alloc&) {
            fail(NoMemoryToEncode());
        }
        giveBack(std::move(band.storage));
    }

    // Waits for the band's turn; the work delivers it under the lock, so
    // bands reach their destination one at a time and in order.
    void deliver(const BandRows& band, BandWork& work, Failure made)
    {
        std::unique_lock lock(mutex_);
        turn_.wait(lock, [&] { return delivered_ == band.index || failure_; });
        if (failure_) return;
        failure_ = made ? std::move(made) : work.deliver(band);
        ++delivered_;
        if (failure_) queue_.clear();
        turn_.notify_all();
        if (failure_) spare_.notify_all();
    }

    // Row buffers go round: a band's comes back once it is delivered, so the
    // memory touched stays a few bands whatever the image's height.
    RowStorage takeStorage()
    {
        std::unique_lock lock(mutex_);
        // One being filled, and at most one queued and one in work per helper.
        const std::size_t most = 2 * helpers_.size() + 2;
        spare_.wait(lock, [&] { return !free_.empty() || held_ < most || failure_; });
        if (failure_) return {};
        ++held_;
        if (!free_.empty()) {
            RowStorage storage = std::move(free_.back());
            free_.pop_back();
            return storage;
        }
        lock.unlock();
        try {
            return std::make_unique_for_overwrite<std::uint32_t[]>(storageWords());
        } catch (const std::bad_alloc&) {
            lock.lock();
            --held_;
            throw;
        }
    }

    void giveBack(RowStorage storage)
    {
        if (!storage) return;
        std::lock_guard lock(mutex_);
        --held_;
        free_.push_back(std::move(storage));
        spare_.notify_one();
    }

    std::size_t storageWords() const
    {
        return static_cast<std::size_t>(width_) * (static_cast<std::size_t>(rowsPerBand_) + 1);
    }

    void stop()
    {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
            // Abandoned halfway: nothing more is delivered.
            if (delivered_ < nextIndex_ && !failure_ && committedRows_ < height_) {
                failure_ = NotWritten();
                queue_.clear();
            }
        }
        work_.notify_all();
        turn_.notify_all();
        for (std::thread& helper : helpers_)
            if (helper.joinable()) helper.join();
    }

    const std::int32_t width_, height_, rowsPerBand_;
    const MakeWork makeWork_;
    std::vector<std::thread> helpers_;
    std::unique_ptr<BandWork> producerWork_;

    // The producer's side only.
    RowStorage room_;
    std::vector<std::uint32_t> lastRow_;
    const std::uint32_t* inPlaceLastRow_ = nullptr;
    std::int32_t committedRows_ = 0, nextIndex_ = 0;

    std::mutex mutex_;
    std::condition_variable work_, turn_, spare_;
    std::deque<Band> queue_;
    std::vector<RowStorage> free_;
    std::size_t held_ = 0; // row buffers out of free_
    std::int32_t delivered_ = 0;
    bool stopping_ = false;
    Failure failure_; // none while nothing failed
};

BandPipeline::BandPipeline(
    std::int32_t width, std::int32_t height, std::int32_t rowsPerBand, int helpers, MakeWork makeWork)
    : engine_(std::make_unique<Engine>(width, height, rowsPerBand, helpers, std::move(makeWork)))
{
}

BandPipeline::~BandPipeline() = default;

std::uint32_t* BandPipeline::nextRows(std::int32_t* rows) { return engine_->nextRows(rows); }
Failure BandPipeline::commit(std::int32_t rows) { return engine_->commit(rows); }
Failure BandPipeline::commitInPlace(const std::uint32_t* rows, std::size_t wordsPerLine, std::int32_t count)
{
    return engine_->commitInPlace(rows, wordsPerLine, count);
}
Failure BandPipeline::finish() { return engine_->finish(); }
void BandPipeline::fail(Failure failure) { engine_->fail(std::move(failure)); }
Failure BandPipeline::failure() const { return engine_->failure(); }
std::int32_t BandPipeline::rowsPerBand() const { return engine_->rowsPerBand(); }

} // namespace imaging
