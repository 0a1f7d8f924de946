#include "temporary_name.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <random>
#include <unistd.h>

namespace imaging::files {
namespace {

constexpr char kMarker[] = ".chromobrisk-";
constexpr char kEnding[] = ".tmp";
constexpr int kMachineDigits = 8, kBootDigits = 12, kRandomDigits = 8;
constexpr char kRandomAlphabet[] = "0123456789abcdefghijklmnopqrstuvwxyz";

QByteArray FirstLine(const char* path)
{
    QFile file(QString::fromLatin1(path));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readLine(256).trimmed();
}

bool IsHex(const QByteArray& text)
{
    return std::all_of(
        text.begin(), text.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

bool IsDecimal(const QByteArray& text)
{
    return !text.isEmpty() && text.size() <= 20
        && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The machine's id, else one made of its host name: machines that share a
// folder (over NFS) keep apart what each writes.
QByteArray MachineId()
{
    for (const char* path : {"/etc/machine-id", "/var/lib/dbus/machine-id"}) {
        const QByteArray id = FirstLine(path).toLower();
        if (id.size() >= kMachineDigits && IsHex(id.left(kMachineDigits))) return id.left(kMachineDigits);
    }
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0 || !*host) return {};
    std::uint32_t hash = 2166136261u; // FNV-1a
    for (const char* c = host; *c; ++c) hash = (hash ^ static_cast<unsigned char>(*c)) * 16777619u;
    return QByteArray::number(hash, 16).rightJustified(kMachineDigits, '0');
}

QByteArray BootId()
{
    const QByteArray id = FirstLine("/proc/sys/kernel/random/boot_id").replace('-', "").toLower();
    return id.size() >= kBootDigits && IsHex(id.left(kBootDigits)) ? id.left(kBootDigits) : QByteArray();
}

// "pid:[4026531836]"
std::uint64_t PidNamespace()
{
    char link[64] = {};
    const ssize_t length = ::readlink("/proc/self/ns/pid", link, sizeof link - 1);
    if (length <= 0) return 0;
    const QByteArray text(link, length);
    const qsizetype open = text.indexOf('['), close = text.indexOf(']');
    if (open < 0 || close <= open) return 0;
    bool ok = false;
    const std::uint64_t number = text.mid(open + 1, close - open - 1).toULongLong(&ok);
    return ok ? number : 0;
}

QByteArray Field(const QByteArray& value, int digits) { return value.isEmpty() ? QByteArray(digits, '0') : value; }

bool Unknown(const QByteArray& field) { return field.isEmpty() || field.count('0') == field.size(); }

} // namespace

const TemporaryWriter& ThisWriter()
{
    static const TemporaryWriter writer{MachineId(), BootId(), PidNamespace(), ::getpid()};
    return writer;
}

QByteArray TemporaryNameFor(const QByteArray& target, long nameMax, const TemporaryWriter& writer)
{
    static thread_local std::mt19937_64 random{std::random_device{}()};
    QByteArray suffix = kMarker + Field(writer.machine, kMachineDigits) + '-' + Field(writer.boot, kBootDigits) + '-'
        + QByteArray::number(static_cast<qulonglong>(writer.pidNamespace)) + '-'
        + QByteArray::number(static_cast<qlonglong>(writer.pid)) + '-';
    for (int i = 0; i < kRandomDigits; ++i) suffix.append(kRandomAlphabet[random() % (sizeof kRandomAlphabet - 1)]);
    suffix += kEnding;
    const qsizetype room = std::max<qsizetype>(0, std::min<qsizetype>(nameMax, 255) - 1 - suffix.size());
    return '.' + target.left(room) + suffix;
}

std::optional<TemporaryWriter> WriterOfTemporary(const QByteArray& name)
{
    if (!name.startsWith('.') || !name.endsWith(kEnding)) return std::nullopt;
    const qsizetype marker = name.lastIndexOf(kMarker);
    if (marker < 1) return std::nullopt;
    const qsizetype from = marker + qsizetype(sizeof kMarker - 1);
    const QList<QByteArray> fields = name.mid(from, name.size() - from - qsizetype(sizeof kEnding - 1)).split('-');
    if (fields.size() != 5) return std::nullopt;
    const QByteArray& random = fields[4];
    const bool wellFormed = fields[0].size() == kMachineDigits && IsHex(fields[0]) && fields[1].size() == kBootDigits
        && IsHex(fields[1]) && IsDecimal(fields[2]) && IsDecimal(fields[3]) && random.size() == kRandomDigits
        && std::all_of(
            random.begin(), random.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z'); });
    if (!wellFormed) return std::nullopt;
    return TemporaryWriter{fields[0], fields[1], fields[2].toULongLong(), fields[3].toLongLong()};
}

WriterState StateOf(const TemporaryWriter& writer)
{
    const TemporaryWriter& self = ThisWriter();
    if (Unknown(writer.machine) || writer.machine != self.machine) return WriterState::Unknown;
    if (Unknown(writer.boot) || Unknown(self.boot)) return WriterState::Unknown;
    // The same machine started again since: whatever ran then has ended.
    if (writer.boot != self.boot) return WriterState::Gone;
    if (writer.pidNamespace == 0 || writer.pidNamespace != self.pidNamespace) return WriterState::Unknown;
    if (writer.pid <= 0 || writer.pid > std::int64_t{0x7FFFFFFF}) return WriterState::Unknown;
    if (writer.pid == ::getpid() || ::kill(static_cast<pid_t>(writer.pid), 0) == 0 || errno == EPERM)
        return WriterState::Running;
    return errno == ESRCH ? WriterState::Gone : WriterState::Unknown;
}

} // namespace imaging::files
