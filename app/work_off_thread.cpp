// Decoding and encoding off the window's thread, as the user sees it: the
// busy cursor, a window that keeps painting, and events in one thread's order.
#include "busy_cursor.h"
#include "form1.h"
#include "off_thread.h"

#include <utility>

namespace app {

void Form1::WorkOffThread(const std::function<void()>& work)
{
    Q_ASSERT(!state_.WorkingOffThread); // the handlers that start work are deferred meanwhile
    {
        const BusyCursor busy;
        state_.WorkingOffThread = true;
        RunOffTheWindowThread([&] {
            if (options_.onWorkOffThread) options_.onWorkOffThread();
            work();
        });
        state_.WorkingOffThread = false;
    }
    // Posted now, they run once the handler that started the work has
    // returned, as they would have with one thread.
    for (std::function<void()>& handler : std::exchange(deferred_, {}))
        QMetaObject::invokeMethod(this, std::move(handler), Qt::QueuedConnection);
}

void Form1::Defer(std::function<void()> handler) { deferred_.push_back(std::move(handler)); }

} // namespace app
