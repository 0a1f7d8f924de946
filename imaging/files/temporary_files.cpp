#include "temporary_files.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>
#include <vector>

namespace imaging::files {
namespace {

// Two temporaries a file at most (the save's and the batch tool's hidden
// result), for up to 1024 files at once, with room to spare.
constexpr int kSlots = 4096;

enum SlotState : int { kFree, kFilling, kActive };

// All zero to start with, so the table takes no room in the program file;
// folderFd and name are read only while the slot is active.
struct Slot {
    std::atomic<int> state{kFree};
    int folderFd = 0;
    char name[256] = {};
};

Slot g_slots[kSlots];
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs lock-free flags");

// Every signal whose default action ends the process, but those of a fault
// in the program itself (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGSYS,
// SIGTRAP), after which nothing more should run.
std::vector<int> TerminatingSignals()
{
    std::vector<int> signals = {
        SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU};
#if defined(SIGIO)
    signals.push_back(SIGIO);
#endif
#if defined(SIGPWR)
    signals.push_back(SIGPWR);
#endif
#if defined(SIGSTKFLT)
    signals.push_back(SIGSTKFLT);
#endif
#if defined(SIGRTMIN)
    for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal) signals.push_back(signal);
#endif
    return signals;
}

void RemoveAll() noexcept
{
    for (Slot& slot : g_slots)
        if (slot.state.load(std::memory_order_acquire) == kActive) ::unlinkat(slot.folderFd, slot.name, 0);
}

void OnTerminatingSignal(int signal)
{
    const int saved = errno;
    RemoveAll();
    // End the process the way the signal would have: once this handler
    // returns, the signal, raised again, meets its default action.
    std::signal(signal, SIG_DFL);
    ::raise(signal);
    errno = saved;
}

} // namespace

void HandleTerminatingSignals() noexcept
{
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction previous { };
        if (::sigaction(SIGXFSZ, nullptr, &previous) == 0 && previous.sa_handler == SIG_DFL
            && !(previous.sa_flags & SA_SIGINFO))
            std::signal(SIGXFSZ, SIG_IGN);

        const std::vector<int> signals = TerminatingSignals();
        struct sigaction action { };
        action.sa_handler = OnTerminatingSignal;
        sigemptyset(&action.sa_mask);
        for (const int other : signals) sigaddset(&action.sa_mask, other);
        action.sa_flags = SA_RESTART;
        for (const int signal : signals) {
            if (::sigaction(signal, nullptr, &previous) != 0 || previous.sa_handler != SIG_DFL
                || (previous.sa_flags & SA_SIGINFO))
                continue; // someone else decides what this signal does
            ::sigaction(signal, &action, nullptr);
        }
    });
}

void TemporaryFileGuard::cover(int folderFd, const char* name) noexcept
{
    release();
    if (std::strlen(name) >= sizeof g_slots[0].name) return;
    HandleTerminatingSignals();
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
