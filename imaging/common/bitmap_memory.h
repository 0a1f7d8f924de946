#pragma once
// Pixel memory of work bitmaps and decoded PNG images. Touching fresh memory
// for the first time is expensive (every page faults, and on some machines
// that costs more than the pass itself), and the window creates a bitmap of
// the same size for every pass, so the memory of the last released bitmap is
// kept for the next one.

#include <QImage>

#include <cstdint>

namespace imaging {

enum class Contents { Zeroed, Unspecified };

// A Format_ARGB32 image over pooled memory; null when it cannot be allocated.
QImage AllocateBitmap(std::int32_t width, std::int32_t height, Contents contents);

// Touches memory for a bitmap of this size now and keeps it for the next
// allocation of that size.
void PrepareBitmapMemory(std::int32_t width, std::int32_t height);

// Frees the kept memory.
void DropBitmapMemory() noexcept;

} // namespace imaging
