#include "bitmap_memory.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace imaging {
namespace {

struct Block {
    void* data = nullptr;
    std::size_t bytes = 0;
};

std::mutex g_mutex;
Block g_kept; // at most one block waits for reuse

void Keep(Block block)
{
    Block old;
    {
        std::lock_guard lock(g_mutex);
        old = g_kept;
        g_kept = block;
    }
    std::free(old.data);
}

Block TakeKept(std::size_t bytes)
{
    std::lock_guard lock(g_mutex);
    if (g_kept.bytes != bytes) return {};
    Block block = g_kept;
    g_kept = {};
    return block;
}

// Called when the last QImage over the block goes away.
void ReturnBlock(void* info)
{
    auto* block = static_cast<Block*>(info);
    Keep(*block);
    delete block;
}

// Fresh zeroed memory. Large blocks ask for huge pages: one fault per 2 MB
// instead of per 4 KB makes the first touch of a big bitmap much cheaper.
void* FreshZeroed(std::size_t bytes)
{
    void* data = std::calloc(bytes, 1);
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr std::uintptr_t kHuge = std::uintptr_t{2} << 20;
    if (data && bytes >= 4 * kHuge) {
        const auto begin = (reinterpret_cast<std::uintptr_t>(data) + kHuge - 1) & ~(kHuge - 1);
        const auto end = (reinterpret_cast<std::uintptr_t>(data) + bytes) & ~(kHuge - 1);
        if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
    }
#endif
    return data;
}

std::size_t BitmapBytes(std::int32_t width, std::int32_t height)
{
    return static_cast<std::size_t>(width) * 4 * static_cast<std::size_t>(height);
}

} // namespace

QImage AllocateBitmap(std::int32_t width, std::int32_t height, Contents contents)
{
    if (width <= 0 || height <= 0) return {};
    const std::size_t bytes = BitmapBytes(width, height);
    Block block = TakeKept(bytes);
    if (block.data) {
        if (contents == Contents::Zeroed) std::memset(block.data, 0, bytes);
    } else {
        // calloc hands out zeroed pages without touching them.
        block = {FreshZeroed(bytes), bytes};
        if (!block.data) return {};
    }
    auto* owner = new Block(block);
    QImage image(static_cast<uchar*>(block.data), width, height, static_cast<qsizetype>(width) * 4,
        QImage::Format_ARGB32, ReturnBlock, owner);
    if (image.isNull()) ReturnBlock(owner);
    return image;
}

void PrepareBitmapMemory(std::int32_t width, std::int32_t height)
{
    if (width <= 0 || height <= 0) return;
    const std::size_t bytes = BitmapBytes(width, height);
    {
        std::lock_guard lock(g_mutex);
        if (g_kept.bytes == bytes) return;
    }
    Block block{FreshZeroed(bytes), bytes};
    if (!block.data) return;
    // Fault the pages in now, not during the pass. (A memset of zeros would
    // not do: the compiler drops it after calloc, whose memory is zero.)
    auto* bytesOf = static_cast<volatile unsigned char*>(block.data);
    for (std::size_t at = 0; at < bytes; at += 4096) bytesOf[at] = 0;
    Keep(block);
}

void DropBitmapMemory() noexcept { Keep({}); }

} // namespace imaging
