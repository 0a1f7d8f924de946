#pragma once
// How much memory the files in flight may take together. A file asks for its
// share before it is decoded and waits while the sum would pass the budget;
// a file that alone needs more than the whole budget still runs, once
// nothing else is in flight, so every file is processed.

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace cli {

class MemoryBudget {
public:
    // `bytes` 0: no bound.
    explicit MemoryBudget(std::uint64_t bytes) : budget_(bytes) { }

    // Holds its share from admission until it is destroyed.
    class Share {
    public:
        Share() = default;
        Share(Share&& other) noexcept : budget_(other.budget_), bytes_(other.bytes_) { other.budget_ = nullptr; }
        Share& operator=(Share&& other) noexcept;
        Share(const Share&) = delete;
        Share& operator=(const Share&) = delete;
        ~Share() { release(); }
        void release();

    private:
        friend class MemoryBudget;
        Share(MemoryBudget* budget, std::uint64_t bytes) : budget_(budget), bytes_(bytes) { }
        MemoryBudget* budget_ = nullptr;
        std::uint64_t bytes_ = 0;
    };

    // Waits until `bytes` more fit the budget, or nothing is in flight.
    Share admit(std::uint64_t bytes);
    std::uint64_t inFlight() const;

private:
    void give(std::uint64_t bytes);

    const std::uint64_t budget_;
    mutable std::mutex mutex_;
    std::condition_variable freed_;
    std::uint64_t inFlight_ = 0;
};

// Half the physical memory: what the batch takes by default.
std::uint64_t DefaultMemoryBudget();

} // namespace cli
