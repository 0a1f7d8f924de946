#pragma once
// File names are byte strings: any bytes but '/' and NUL, not necessarily
// UTF-8. Paths travel through the program as QString, decoded losslessly:
// valid UTF-8 becomes its characters, and every byte that is not part of
// valid UTF-8 becomes the lone surrogate U+DC80 + byte (as Python's
// "surrogateescape" does). Encoding gives back exactly the original bytes, so
// two different names never meet as one, and a name the system gave us can
// always be opened again.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

class QUrl;

namespace imaging::files {

// Bytes of a path (from argv, readdir, a URL) as a QString; lossless.
QString PathFromBytes(QByteArrayView bytes);

// The bytes a QString path stands for: the inverse of PathFromBytes. Other
// characters are written as UTF-8.
QByteArray PathToBytes(const QString& path);

// The path of a local-file URL (a drop), its percent-encoded bytes kept
// exactly; empty for a URL that is not a local file.
QString PathFromLocalUrl(const QUrl& url);

// The path for people to read: undecodable bytes as \xNN, control characters
// as \n, \t or \xNN, and a backslash as \\, so every name reads unambiguously
// and cannot move the terminal's cursor.
QString DisplayPath(const QString& path);

// The last component of a path (after the last '/').
QString LastPathComponent(const QString& path);

// The folder part of a path: everything before the last '/' ("." when there
// is none, "/" for a file in the root).
QString FolderOfPath(const QString& path);

} // namespace imaging::files
