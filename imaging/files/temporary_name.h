#pragma once
// The one naming scheme of every temporary file the program leaves beside a
// file while it writes it (the atomic save's, the batch tool's hidden
// result): hidden, showing what it becomes, and carrying who writes it, so a
// later run can tell the leftover of a writer that is gone from a file that
// is being written now.
//
//   .photo.png.png.chromobrisk-<machine>-<boot>-<pid namespace>-<pid>-<random>.tmp

#include <QByteArray>

#include <cstdint>
#include <optional>

namespace imaging::files {

// Who writes a temporary file. Empty or 0 fields are unknown.
struct TemporaryWriter {
    QByteArray machine; // 8 hex digits of /etc/machine-id (or of the host name)
    QByteArray boot; // 12 hex digits of the kernel's boot id
    std::uint64_t pidNamespace = 0; // the inode of /proc/self/ns/pid
    std::int64_t pid = 0;

    bool operator==(const TemporaryWriter&) const = default;
};

// This process.
const TemporaryWriter& ThisWriter();

// A new temporary name for `target` (a file name, no folder), within
// `nameMax` bytes: the target is shortened if need be.
QByteArray TemporaryNameFor(const QByteArray& target, long nameMax = 255, const TemporaryWriter& writer = ThisWriter());

// The writer a name of this scheme carries; none for any other name.
std::optional<TemporaryWriter> WriterOfTemporary(const QByteArray& name);

enum class WriterState {
    Running, // this process, or one that still runs
    Gone, // ended: on this machine, in an earlier boot or in this one
    Unknown, // another machine's, or a process this one cannot see
};
WriterState StateOf(const TemporaryWriter& writer);

} // namespace imaging::files
