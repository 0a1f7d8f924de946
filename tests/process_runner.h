#pragma once
// Runs a program to its end for the tests of the batch tool, which drive the
// real binary.

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <chrono>

namespace testsupport {

struct ProcessResult {
    int exitCode = -1; // -1 when it crashed or was killed
    QByteArray out, err;
};

// Runs `program` in `folder`. One still running after `timeout` is killed and
// fails the test: a guard against a hung program, not a measure of speed.
ProcessResult RunProcess(const QString& program, const QStringList& args, const QString& folder,
    const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment(),
    std::chrono::minutes timeout = std::chrono::minutes(10));

} // namespace testsupport
