#pragma once
// Where a file is to be saved, checked before anything is made for it: its
// folder exists and is one, its name and path fit the folder's file system,
// nothing but a regular file stands at the name (links are not followed),
// and the folder can take a new file. The atomic save checks this first;
// the batch tool checks it before it reads an input, so a file that could
// not be saved is not decoded for nothing.

#include "imaging/common/failure.h"

#include <QByteArray>
#include <QString>

#include <sys/types.h>

namespace imaging::files {

class SavePlace {
public:
    // Opens the folder of `path` and checks the place.
    explicit SavePlace(const QString& path);
    ~SavePlace();
    SavePlace(const SavePlace&) = delete;
    SavePlace& operator=(const SavePlace&) = delete;

    // Why the place cannot take the file; none when it can.
    const Failure& failure() const { return failure_; }
    // The folder, open while the place lives (-1 after a failure to open it).
    int folder() const { return folder_; }
    // The file name's bytes, and the longest name the folder takes.
    const QByteArray& name() const { return name_; }
    long nameMax() const { return nameMax_; }
    // Whether a regular file stands at the name, and its permissions.
    bool existed() const { return existed_; }
    mode_t mode() const { return mode_; }

    // What stands at the name now (just before it is taken): none when
    // nothing or a regular file does; updates existed() and mode().
    Failure recheck();

private:
    Failure check(const QString& path);

    int folder_ = -1;
    QByteArray name_;
    long nameMax_ = 255;
    bool existed_ = false;
    mode_t mode_ = 0;
    Failure failure_;
};

// None when a file can be saved at `path` now.
Failure CheckSavePlace(const QString& path);

} // namespace imaging::files
