#pragma once
// Vector code for the kernels, written once with the compiler's generic
// vector types and instantiated for 16-byte (SSE2) and 32-byte (AVX2)
// registers; the widest the processor supports is chosen at run time.
//
// Everything here is always inlined, so the instructions are those of the
// function it ends up in (see KernelEntryPoints).

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define CHROMOBRISK_X86 1
#endif

#define CHROMOBRISK_INLINE [[gnu::always_inline]] inline

namespace passes::detail {

template <int Bytes>
struct Vec {
    typedef std::uint8_t U8 __attribute__((vector_size(Bytes)));
    typedef std::uint32_t U32 __attribute__((vector_size(Bytes)));
    static constexpr std::size_t kPixels = Bytes / 4;
};

template <int Bytes>
CHROMOBRISK_INLINE typename Vec<Bytes>::U32 Splat(std::uint32_t value)
{
    return typename Vec<Bytes>::U32{} + value;
}

// All-ones in each pixel whose four bytes b satisfy (uint8)(b - low) <= span.
template <int Bytes>
CHROMOBRISK_INLINE typename Vec<Bytes>::U32 InsideMask(typename Vec<Bytes>::U32 pixels,
                                                       typename Vec<Bytes>::U32 low,
                                                       typename Vec<Bytes>::U32 span)
{
    using U8 = typename Vec<Bytes>::U8;
    using U32 = typename Vec<Bytes>::U32;
    const U8 offset = reinterpret_cast<U8>(pixels) - reinterpret_cast<U8>(low);
    const U8 byteInside = reinterpret_cast<U8>(offset <= reinterpret_cast<U8>(span));
    return reinterpret_cast<U32>(reinterpret_cast<U32>(byteInside) == ~U32{});
}

template <int Bytes>
CHROMOBRISK_INLINE typename Vec<Bytes>::U32 AlphaZeroMask(typename Vec<Bytes>::U32 pixels)
{
    using U32 = typename Vec<Bytes>::U32;
    return reinterpret_cast<U32>((pixels & 0xFF000000u) == 0);
}

// Byte-wise a + raise - lower, each step saturating at 0..255; `ceiling` is
// 255 - raise. min(a, 255 - r) + r cannot wrap and equals the saturated sum,
// and max(x, l) - l the saturated difference.
template <int Bytes>
CHROMOBRISK_INLINE typename Vec<Bytes>::U32 AddSaturated(typename Vec<Bytes>::U32 pixels,
                                                         typename Vec<Bytes>::U32 raise,
                                                         typename Vec<Bytes>::U32 ceiling,
                                                         typename Vec<Bytes>::U32 lower)
{
    using U8 = typename Vec<Bytes>::U8;
    using U32 = typename Vec<Bytes>::U32;
    const U8 a = reinterpret_cast<U8>(pixels), r = reinterpret_cast<U8>(raise), c = reinterpret_cast<U8>(ceiling),
             l = reinterpret_cast<U8>(lower);
    const U8 up = (a < c ? a : c) + r;
    const U8 down = (up > l ? up : l) - l;
    return reinterpret_cast<U32>(down);
}

template <int Bytes>
CHROMOBRISK_INLINE typename Vec<Bytes>::U32 Load(const std::uint32_t* from)
{
    typename Vec<Bytes>::U32 v;
    std::memcpy(&v, from, Bytes);
    return v;
}

// Results go out with streaming stores: they are not read again soon, and not
// pulling each destination line into the cache first is what keeps a pass
// close to the speed of a plain copy. `to` must be aligned to 16 bytes.
// (Written in 16-byte parts: SSE2 intrinsics are allowed in code of any
// target, wider ones only inside functions compiled for them.)
template <int Bytes>
CHROMOBRISK_INLINE void StreamStore(std::uint32_t* to, typename Vec<Bytes>::U32 v)
{
#if CHROMOBRISK_X86
    for (int part = 0; part < Bytes; part += 16) {
        __m128i half;
        std::memcpy(&half, reinterpret_cast<const char*>(&v) + part, 16);
        _mm_stream_si128(reinterpret_cast<__m128i*>(reinterpret_cast<char*>(to) + part), half);
    }
#else
    std::memcpy(to, &v, Bytes);
#endif
}

// The loop of every kernel: one pixel at a time up to a 16-byte aligned
// destination, then Bytes / 4 at a time, then the rest one at a time.
// Bytes == 0 runs the scalar code only. Each pixel is read before its result
// is written, so src and dst may be the same.
template <int Bytes, class ScalarFn, class VectorFn>
CHROMOBRISK_INLINE void ForEachPixel(const std::uint32_t* src, std::uint32_t* dst, std::size_t n,
                                     ScalarFn scalar, [[maybe_unused]] VectorFn vector)
{
    std::size_t i = 0;
    if constexpr (Bytes > 0) {
        constexpr std::size_t step = Vec<Bytes>::kPixels;
        for (; i < n && (reinterpret_cast<std::uintptr_t>(dst + i) % 16) != 0; ++i) dst[i] = scalar(src[i]);
        for (; i + step <= n; i += step) StreamStore<Bytes>(dst + i, vector(Load<Bytes>(src + i)));
#if CHROMOBRISK_X86
        _mm_sfence(); // streaming stores are visible before the caller goes on
#endif
    }
    for (; i < n; ++i) dst[i] = scalar(src[i]);
}

enum class SimdPath { Scalar, Sse2, Avx2 };

// The widest path this processor runs; tests may force a narrower one.
SimdPath ActiveSimdPath() noexcept;
void ForceSimdPathForTesting(SimdPath path) noexcept;
void ResetSimdPathForTesting() noexcept;

// Instantiates Kernel::run<Bytes>(src, dst, n) for each path, each compiled
// for its own instruction set, and calls the active one.
template <class Kernel>
struct KernelEntryPoints {
    static void Scalar(const Kernel& k, const std::uint32_t* s, std::uint32_t* d, std::size_t n)
    {
        k.template run<0>(s, d, n);
    }
#if CHROMOBRISK_X86
    static void Sse2(const Kernel& k, const std::uint32_t* s, std::uint32_t* d, std::size_t n)
    {
        k.template run<16>(s, d, n);
    }
    [[gnu::target("avx2")]] static void Avx2(const Kernel& k, const std::uint32_t* s, std::uint32_t* d,
                                             std::size_t n)
    {
        k.template run<32>(s, d, n);
    }
#endif
    static void Run(const Kernel& k, const std::uint32_t* s, std::uint32_t* d, std::size_t n)
    {
#if CHROMOBRISK_X86
        switch (ActiveSimdPath()) {
        case SimdPath::Avx2: return Avx2(k, s, d, n);
        case SimdPath::Sse2: return Sse2(k, s, d, n);
        case SimdPath::Scalar: break;
        }
#endif
        Scalar(k, s, d, n);
    }
};

} // namespace passes::detail

namespace passes::detail {

// True when any lane of a mask is set.
template <int Bytes>
CHROMOBRISK_INLINE bool AnyLane(typename Vec<Bytes>::U32 mask)
{
#if CHROMOBRISK_X86
    __m128i any = _mm_setzero_si128();
    for (int part = 0; part < Bytes; part += 16) {
        __m128i half;
        std::memcpy(&half, reinterpret_cast<const char*>(&mask) + part, 16);
        any = _mm_or_si128(any, half);
    }
    return _mm_movemask_epi8(any) != 0;
#else
    std::uint32_t any = 0;
    for (std::size_t i = 0; i < Vec<Bytes>::kPixels; ++i) any |= mask[i];
    return any != 0;
#endif
}

} // namespace passes::detail
