#pragma once
// Opening an input file by its exact bytes. Non-blocking, so a pipe or
// device at the path cannot stall the open; only regular, non-empty files
// are opened, and every other case has its failure kind.

#include "failure.h"

#include <QFile>
#include <QString>

#include <cstddef>
#include <cstring>

namespace mGdip::detail {

Failure OpenRegularFile(const QString& path, QFile& file);

// Whether a file's first bytes (QFile::peek) are the format's signature.
inline bool StartsWith(const QByteArray& head, const unsigned char* signature, std::size_t size)
{
    return static_cast<std::size_t>(head.size()) >= size && std::memcmp(head.constData(), signature, size) == 0;
}

} // namespace mGdip::detail
