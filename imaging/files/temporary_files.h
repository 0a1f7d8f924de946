#pragma once
// Temporary files of saves in progress, removed if the process is ended by
// SIGINT, SIGTERM or SIGHUP before a save completes. The registry is a fixed
// table that the signal handler reads without locks or allocation; a handler
// is installed for a signal only where the disposition is still the default,
// and after cleaning up it lets the signal end the process as it would have.

namespace imaging::files {

class TemporaryFileGuard {
public:
    TemporaryFileGuard() = default;
    // Registers `name` inside the folder open as `folderFd` (both must stay
    // valid until release()); done before the file is created, so no signal
    // can come between its creation and its registration. When the table is
    // full the file is simply not covered.
    void cover(int folderFd, const char* name) noexcept;
    ~TemporaryFileGuard() { release(); }
    TemporaryFileGuard(const TemporaryFileGuard&) = delete;
    TemporaryFileGuard& operator=(const TemporaryFileGuard&) = delete;

    // The file is gone or renamed: stop covering it.
    void release() noexcept;

private:
    int slot_ = -1;
};

} // namespace imaging::files
