// The choice among the Paeth kernels, and the SSE2 one (the x86-64 baseline).
#include "png_unfilter_paeth.h"

#include "png_unfilter_paeth_kernel.h"

#include <atomic>

namespace imaging::png {

void UnfilterPaethRowSse2(std::uint8_t* row, const std::uint8_t* prior, std::size_t rowBytes, int bytesPerPixel)
{
    UnfilterPaethRowHere(row, prior, rowBytes, bytesPerPixel);
}

namespace {

using RowKernel = void (*)(std::uint8_t*, const std::uint8_t*, std::size_t, int);
using PairKernel = void (*)(std::uint8_t*, std::uint8_t*, const std::uint8_t*, std::size_t, int);

struct Kernels {
    RowKernel row;
    PairKernel pair; // null: one row after the other
};

const Kernels kKernels[] = {
    {UnfilterPaethRowSse2, nullptr},
    {UnfilterPaethRowSsse3, nullptr},
    {UnfilterPaethRowSse41, nullptr},
    {UnfilterPaethRowAvx2, UnfilterPaethRowPairAvx2},
};

PaethPath Detect()
{
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) return PaethPath::Avx2;
    if (__builtin_cpu_supports("sse4.1")) return PaethPath::Sse41;
    if (__builtin_cpu_supports("ssse3")) return PaethPath::Ssse3;
    return PaethPath::Sse2;
}

std::atomic<PaethPath>& Active()
{
    static std::atomic<PaethPath> active{BestPaethPath()};
    return active;
}

const Kernels& ActiveKernels() { return kKernels[static_cast<int>(Active().load(std::memory_order_relaxed))]; }

} // namespace

void UnfilterPaethRow(std::uint8_t* row, const std::uint8_t* prior, std::size_t rowBytes, int bytesPerPixel)
{
    ActiveKernels().row(row, prior, rowBytes, bytesPerPixel);
}

void UnfilterPaethRowPair(
    std::uint8_t* first, std::uint8_t* second, const std::uint8_t* prior, std::size_t rowBytes, int bytesPerPixel)
{
    const Kernels& kernels = ActiveKernels();
    if (kernels.pair) {
        kernels.pair(first, second, prior, rowBytes, bytesPerPixel);
        return;
    }
    kernels.row(first, prior, rowBytes, bytesPerPixel);
    kernels.row(second, first, rowBytes, bytesPerPixel);
}

const char* PaethPathName(PaethPath path)
{
    switch (path) {
    case PaethPath::Sse2: return "SSE2";
    case PaethPath::Ssse3: return "SSSE3";
    case PaethPath::Sse41: return "SSE4.1";
    case PaethPath::Avx2: return "AVX2";
    }
    return "?";
}

PaethPath ActivePaethPath() { return Active().load(std::memory_order_relaxed); }

PaethPath BestPaethPath()
{
    static const PaethPath best = Detect();
    return best;
}

bool ForcePaethPathForTesting(PaethPath path)
{
    if (static_cast<int>(path) > static_cast<int>(BestPaethPath())) return false;
    Active().store(path, std::memory_order_relaxed);
    return true;
}

} // namespace imaging::png
