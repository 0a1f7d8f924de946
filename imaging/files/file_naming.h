#pragma once
// How a result file is named after its source: the source's own file name
// (extension kept) plus ".png", so logo.jpg gives logo.jpg.png.

#include <QString>

namespace imaging::files {

// The last path component, without leading or trailing spaces.
inline QString SourceFileNameOf(const QString& path)
{
    QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    qsizetype begin = 0, end = name.size();
    while (begin < end && name[begin] == QLatin1Char(' ')) ++begin;
    while (end > begin && name[end - 1] == QLatin1Char(' ')) --end;
    return name.mid(begin, end - begin);
}

inline QString ResultFileNameFor(const QString& sourceFileName) { return sourceFileName + QStringLiteral(".png"); }

} // namespace imaging::files
