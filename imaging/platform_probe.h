#pragma once
// Test seam: replaces the check of what the platform can decode and encode,
// so start-up failure can be exercised. An empty probe restores the real one.

#include <functional>

namespace mGdip {

using PlatformProbe = std::function<bool()>;
void SetPlatformProbeForTesting(PlatformProbe probe);

} // namespace mGdip
