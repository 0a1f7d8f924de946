#include "encoder_threads.h"

#include <algorithm>
#include <atomic>
#include <thread>

namespace imaging {
namespace {

std::atomic<int> g_filesInProgress{0};

} // namespace

FileInProgress::FileInProgress() noexcept { g_filesInProgress.fetch_add(1); }

FileInProgress::~FileInProgress() { g_filesInProgress.fetch_sub(1); }

int EncoderThreads() noexcept
{
    // Beyond a few threads the output's ordering and memory, not the cores, limit the gain.
    constexpr int kMostThreads = 8;
    const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    const int files = std::max(1, g_filesInProgress.load());
    return std::clamp(cores / files, 1, kMostThreads);
}

} // namespace imaging
