#pragma once
// Paeth unfiltering of 3- and 4-byte pixels (8-bit RGB and RGBA), in place,
// on x86-64. The kernel is built for several instruction sets and the best
// one the processor has is chosen once: SSE2 always, SSSE3, SSE4.1 or AVX2
// where present; with AVX2 two rows go at once, one in each half of the
// registers. Every path gives the format's predictor exactly.

#include <cstddef>
#include <cstdint>

namespace imaging::png {

// `row` holds the filtered bytes of one row (`rowBytes`, a multiple of
// `bytesPerPixel`, which is 3 or 4) and becomes the pixel bytes; `prior` is
// the previous row's pixel bytes (all zero above the first row).
void UnfilterPaethRow(std::uint8_t* row, const std::uint8_t* prior, std::size_t rowBytes, int bytesPerPixel);
// Two consecutive Paeth rows: `first` against `prior`, then `second` against
// `first`.
void UnfilterPaethRowPair(
    std::uint8_t* first, std::uint8_t* second, const std::uint8_t* prior, std::size_t rowBytes, int bytesPerPixel);

enum class PaethPath { Sse2, Ssse3, Sse41, Avx2 };
inline constexpr PaethPath kPaethPaths[] = {PaethPath::Sse2, PaethPath::Ssse3, PaethPath::Sse41, PaethPath::Avx2};
const char* PaethPathName(PaethPath path);

// The path in use, and the best this processor has.
PaethPath ActivePaethPath();
PaethPath BestPaethPath();
// For tests, benchmarks and the fuzzer: use `path` from now on. False, and
// nothing changes, when the processor lacks it.
bool ForcePaethPathForTesting(PaethPath path);

// The kernels, one per instruction set (png_unfilter_paeth_<isa>.cpp).
void UnfilterPaethRowSse2(std::uint8_t* row, const std::uint8_t* prior, std::size_t rowBytes, int bytesPerPixel);
void UnfilterPaethRowSsse3(std::uint8_t* row, const std::uint8_t* prior, std::size_t rowBytes, int bytesPerPixel);
void UnfilterPaethRowSse41(std::uint8_t* row, const std::uint8_t* prior, std::size_t rowBytes, int bytesPerPixel);
void UnfilterPaethRowAvx2(std::uint8_t* row, const std::uint8_t* prior, std::size_t rowBytes, int bytesPerPixel);
void UnfilterPaethRowPairAvx2(
    std::uint8_t* first, std::uint8_t* second, const std::uint8_t* prior, std::size_t rowBytes, int bytesPerPixel);

} // namespace imaging::png
