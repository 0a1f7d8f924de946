#include "temporary_files.h"

#include <atomic>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

namespace imaging::files {
namespace {

constexpr int kSlots = 64;
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

enum SlotState : int { kFree, kFilling, kActive };

struct Slot {
    std::atomic<int> state{kFree};
    int folderFd = -1;
    char name[256] = {};
};

Slot g_slots[kSlots];
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs lock-free flags");

void RemoveAll() noexcept
{
    for (Slot& slot : g_slots)
        if (slot.state.load(std::memory_order_acquire) == kActive) ::unlinkat(slot.folderFd, slot.name, 0);
}

void OnTerminatingSignal(int signal)
{
    const int saved = errno;
    RemoveAll();
    // End the process the way the signal would have.
    std::signal(signal, SIG_DFL);
    ::raise(signal);
    errno = saved;
}

void InstallHandlersOnce()
{
    static std::once_flag once;
    std::call_once(once, [] {
        for (const int signal : kSignals) {
            struct sigaction previous {};
            if (::sigaction(signal, nullptr, &previous) != 0 || previous.sa_handler != SIG_DFL
                || (previous.sa_flags & SA_SIGINFO))
                continue; // someone else decides what this signal does
            struct sigaction action {};
            action.sa_handler = OnTerminatingSignal;
            sigemptyset(&action.sa_mask);
            for (const int other : kSignals) sigaddset(&action.sa_mask, other);
            action.sa_flags = SA_RESTART;
            ::sigaction(signal, &action, nullptr);
        }
    });
}

} // namespace

void TemporaryFileGuard::cover(int folderFd, const char* name) noexcept
{
    release();
    if (std::strlen(name) >= sizeof g_slots[0].name) return;
    InstallHandlersOnce();
    for (int i = 0; i < kSlots; ++i) {
        int expected = kFree;
        if (!g_slots[i].state.compare_exchange_strong(expected, kFilling, std::memory_order_acquire)) continue;
        g_slots[i].folderFd = folderFd;
        std::strcpy(g_slots[i].name, name);
        g_slots[i].state.store(kActive, std::memory_order_release);
        slot_ = i;
        return;
    }
}

void TemporaryFileGuard::release() noexcept
{
    if (slot_ < 0) return;
    g_slots[slot_].state.store(kFree, std::memory_order_release);
    slot_ = -1;
}

} // namespace imaging::files
