#include "file_path.h"

#include <QUrl>

namespace imaging::files {
namespace {

constexpr char16_t kEscapeBase = 0xDC00; // lone low surrogates U+DC80..U+DCFF carry bytes 0x80..0xFF

bool Continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Length of the valid UTF-8 sequence at `at` (with its code point), or 0.
int ValidSequence(const unsigned char* s, qsizetype left, char32_t* code)
{
    const unsigned char c = s[0];
    if (c < 0x80) {
        *code = c;
        return 1;
    }
    int length;
    unsigned char low = 0x80, high = 0xBF; // range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        if (c == 0xE0) low = 0xA0;
        if (c == 0xED) high = 0x9F; // no encoded surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        if (c == 0xF0) low = 0x90;
        if (c == 0xF4) high = 0x8F; // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (left < length || s[1] < low || s[1] > high) return 0;
    for (int i = 2; i < length; ++i)
        if (!Continuation(s[i])) return 0;
    char32_t value = c & (0x7F >> length);
    for (int i = 1; i < length; ++i) value = value << 6 | (s[i] & 0x3F);
    *code = value;
    return length;
}

void AppendUtf8(QByteArray& out, char32_t code)
{
    if (code < 0x80) {
        out.append(static_cast<char>(code));
    } else if (code < 0x800) {
        out.append(static_cast<char>(0xC0 | code >> 6));
        out.append(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.append(static_cast<char>(0xE0 | code >> 12));
        out.append(static_cast<char>(0x80 | (code >> 6 & 0x3F)));
        out.append(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.append(static_cast<char>(0xF0 | code >> 18));
        out.append(static_cast<char>(0x80 | (code >> 12 & 0x3F)));
        out.append(static_cast<char>(0x80 | (code >> 6 & 0x3F)));
        out.append(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

bool IsEscapedByte(char16_t unit) { return unit >= kEscapeBase + 0x80 && unit <= kEscapeBase + 0xFF; }

// Characters that reorder or hide text around them.
bool IsBidiControl(char16_t unit)
{
    return unit == 0x200E || unit == 0x200F || (unit >= 0x202A && unit <= 0x202E) || (unit >= 0x2066 && unit <= 0x2069)
        || unit == 0x2028 || unit == 0x2029;
}

QString Hex(int value, int digits)
{
    return QString::number(value, 16).toUpper().rightJustified(digits, QLatin1Char('0'));
}

} // namespace

QString PathFromBytes(QByteArrayView bytes)
{
    QString path;
    path.reserve(bytes.size());
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    for (qsizetype at = 0; at < bytes.size();) {
        char32_t code = 0;
        const int length = ValidSequence(s + at, bytes.size() - at, &code);
        if (length == 0) {
            path.append(QChar(static_cast<char16_t>(kEscapeBase + s[at])));
            ++at;
            continue;
        }
        if (code >= 0x10000) {
            path.append(QChar(QChar::highSurrogate(code)));
            path.append(QChar(QChar::lowSurrogate(code)));
        } else {
            path.append(QChar(static_cast<char16_t>(code)));
        }
        at += length;
    }
    return path;
}

QByteArray PathToBytes(const QString& path)
{
    QByteArray bytes;
    bytes.reserve(path.size());
    for (qsizetype i = 0; i < path.size(); ++i) {
        const char16_t unit = path[i].unicode();
        if (IsEscapedByte(unit)) {
            bytes.append(static_cast<char>(unit - kEscapeBase));
        } else if (QChar::isHighSurrogate(unit) && i + 1 < path.size() && path[i + 1].isLowSurrogate()) {
            AppendUtf8(bytes, QChar::surrogateToUcs4(unit, path[i + 1].unicode()));
            ++i;
        } else {
            AppendUtf8(bytes, unit); // a lone surrogate of another kind: written as it stands
        }
    }
    return bytes;
}

QString PathFromLocalUrl(const QUrl& url)
{
    if (!url.isLocalFile()) return {};
    // The fully encoded path keeps undecodable bytes as %XX; decoding the
    // percent escapes gives the name's bytes exactly.
    return PathFromBytes(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()));
}

QString DisplayPath(const QString& path)
{
    QString shown;
    shown.reserve(path.size());
    for (const QChar c : path) {
        const char16_t unit = c.unicode();
        if (IsEscapedByte(unit)) {
            shown += QStringLiteral("\\x") + Hex(unit - kEscapeBase, 2);
        } else if (unit == '\\') {
            shown += QStringLiteral("\\\\");
        } else if (unit == '\n') {
            shown += QStringLiteral("\\n");
        } else if (unit == '\t') {
            shown += QStringLiteral("\\t");
        } else if (unit < 0x20 || unit == 0x7F) {
            shown += QStringLiteral("\\x") + Hex(unit, 2);
        } else if ((unit >= 0x80 && unit < 0xA0) || IsBidiControl(unit)) {
            shown += QStringLiteral("\\u") + Hex(unit, 4);
        } else {
            shown += c;
        }
    }
    return shown;
}

QString LastPathComponent(const QString& path) { return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1); }

QString FolderOfPath(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash < 0) return QStringLiteral(".");
    if (slash == 0) return QStringLiteral("/");
    return path.left(slash);
}

} // namespace imaging::files
