#pragma once
// What a drop on the picture does with the dragged file: the program only
// reads it, so the drag source hears "copied" (or "linked" where it offers
// nothing else), whatever the user's modifier keys propose. A "moved" answer
// would let a file manager delete the user's original.

#include <Qt>

namespace app {

// Qt::IgnoreAction when the source offers neither (a move only): refused.
constexpr Qt::DropAction ReadOnlyDropAction(Qt::DropActions offered)
{
    if (offered & Qt::CopyAction) return Qt::CopyAction;
    if (offered & Qt::LinkAction) return Qt::LinkAction;
    return Qt::IgnoreAction;
}

} // namespace app
