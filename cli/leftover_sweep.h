#pragma once
// The leftovers of killed runs (temporary files whose writer is gone) are
// removed from each folder a run writes into, once, before its first result
// there.

#include <QString>

#include <mutex>
#include <set>
#include <vector>

namespace cli {

class LeftoverSweep {
public:
    // The paths removed from `folder`, the first time it is named; nothing
    // after that. Callers that name a folder being swept wait for it.
    std::vector<QString> sweep(const QString& folder);

private:
    std::mutex mutex_;
    std::set<QString> swept_;
};

} // namespace cli
