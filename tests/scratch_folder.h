#pragma once
// A temporary folder removed with everything in it whatever bytes its names
// hold: QTemporaryDir's own removal leaves names that are not UTF-8 behind,
// and with them the folder.

#include <QFile>
#include <QTemporaryDir>

#include <filesystem>
#include <system_error>

namespace testsupport {

class ScratchFolder : public QTemporaryDir {
public:
    ~ScratchFolder()
    {
        if (!isValid()) return;
        std::error_code ignored; // what cannot go is left to QTemporaryDir, as before
        std::filesystem::remove_all(QFile::encodeName(path()).toStdString(), ignored);
    }
};

} // namespace testsupport
