// Decoding and encoding off the window's thread, as the user sees it: the
// busy cursor, a window that keeps painting, and events in one thread's order.
#include "off_thread.h"
#include "window_model.h"

#include <utility>

namespace app {
namespace {

// Busy, and working off the thread, until the work ends or throws.
class WorkingScope {
public:
    WorkingScope(ModelView& view, bool& working) : view_(view), working_(working)
    {
        view_.ShowBusy(true);
        working_ = true;
    }
    ~WorkingScope()
    {
        working_ = false;
        view_.ShowBusy(false);
    }
    WorkingScope(const WorkingScope&) = delete;
    WorkingScope& operator=(const WorkingScope&) = delete;

private:
    ModelView& view_;
    bool& working_;
};

} // namespace

void WindowModel::WorkOffThread(const std::function<void()>& work)
{
    Q_ASSERT(!state_.WorkingOffThread); // the handlers that start work are deferred meanwhile
    {
        const WorkingScope working(view_, state_.WorkingOffThread);
        RunOffTheWindowThread([&] {
            if (options_.onWorkOffThread) options_.onWorkOffThread();
            work();
        });
    }
    // Posted now, they run once the handler that started the work has
    // returned, as they would have with one thread.
    for (std::function<void()>& handler : std::exchange(deferred_, {}))
        QMetaObject::invokeMethod(&deferredContext_, std::move(handler), Qt::QueuedConnection);
}

void WindowModel::Defer(std::function<void()> handler) { deferred_.push_back(std::move(handler)); }

} // namespace app
