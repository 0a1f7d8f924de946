#include "process_runner.h"

#include <QProcess>

#include <gtest/gtest.h>

namespace testsupport {

ProcessResult RunProcess(const QString& program, const QStringList& args, const QString& folder,
    const QProcessEnvironment& environment, std::chrono::minutes timeout)
{
    QProcess process;
    process.setWorkingDirectory(folder);
    process.setProcessEnvironment(environment);
    process.start(program, args);
    ProcessResult result;
    if (!process.waitForFinished(static_cast<int>(std::chrono::milliseconds(timeout).count()))) {
        process.kill();
        process.waitForFinished();
        ADD_FAILURE() << qPrintable(program) << " did not finish";
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

} // namespace testsupport
