#pragma once
// Long work (decoding, encoding) off the window's thread: the window keeps
// painting meanwhile, while the user's input waits in the window system's
// queue and reaches the window afterwards, in the order it came, as if the
// work had run on the window's thread.

#include <functional>

namespace app {

// Runs `work` on a thread of its own and returns when it is done; an
// exception it throws is thrown here. Meanwhile the calling thread handles
// every event but user input (keys, mouse, the close button): painting,
// timers, posted events and the window system's drag-and-drop messages.
void RunOffTheWindowThread(const std::function<void()>& work);

} // namespace app
