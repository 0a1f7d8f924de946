#include "off_thread.h"

#include <QEventLoop>

#include <exception>
#include <thread>

namespace app {

void RunOffTheWindowThread(const std::function<void()>& work)
{
    QEventLoop loop;
    std::exception_ptr failure;
    std::thread worker([&] {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
        // Posted, so it is handled inside exec() below even when the work
        // ends before the loop starts.
        QMetaObject::invokeMethod(
            &loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
    });
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker.join();
    if (failure) std::rethrow_exception(failure);
}

} // namespace app
