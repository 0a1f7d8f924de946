#include "leftover_sweep.h"

#include "imaging/mgdip.h"

namespace cli {

std::vector<QString> LeftoverSweep::sweep(const QString& folder)
{
    const std::lock_guard lock(mutex_);
    if (!swept_.insert(folder).second) return {};
    std::vector<QString> removed;
    const QString prefix = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    for (const QByteArray& name : mGdip::RemoveLeftoverTemporaries(folder))
        removed.push_back(prefix + mGdip::PathFromBytes(name));
    return removed;
}

} // namespace cli
