#include "memory_budget.h"

#include <unistd.h>

namespace cli {

MemoryBudget::Share& MemoryBudget::Share::operator=(Share&& other) noexcept
{
    if (this != &other) {
        release();
        budget_ = other.budget_;
        bytes_ = other.bytes_;
        other.budget_ = nullptr;
    }
    return *this;
}

void MemoryBudget::Share::release()
{
    if (budget_) budget_->give(bytes_);
    budget_ = nullptr;
}

MemoryBudget::Share MemoryBudget::admit(std::uint64_t bytes)
{
    std::unique_lock lock(mutex_);
    if (budget_ != 0)
        freed_.wait(lock, [&] { return inFlight_ == 0 || (inFlight_ <= budget_ && bytes <= budget_ - inFlight_); });
    inFlight_ += bytes;
    return Share(this, bytes);
}

std::uint64_t MemoryBudget::inFlight() const
{
    std::lock_guard lock(mutex_);
    return inFlight_;
}

void MemoryBudget::give(std::uint64_t bytes)
{
    {
        std::lock_guard lock(mutex_);
        inFlight_ -= bytes;
    }
    freed_.notify_all();
}

std::uint64_t DefaultMemoryBudget()
{
    const long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || pageSize <= 0) return 0;
    return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize) / 2;
}

} // namespace cli
