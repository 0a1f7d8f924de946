#pragma once
// Vector code for the pass kernels, written once with the compiler's generic
// vector types and instantiated for 4 bytes (one pixel: the scalar form),
// 16 bytes (SSE2) and 32 bytes (AVX2); the widest the processor supports is
// chosen at run time.
//
// Everything here is always inlined, so the instructions are those of the
// entry point it ends up in (see RunOnActivePath). The few AVX2 instructions
// the vector types do not express (a test, a gather, a 32-byte streaming
// store) are one-instruction assembly: their intrinsics may only be called
// from functions compiled for AVX2, and this code reaches one only through
// inlining. Clang checks the operands before inlining and refuses them, so
// there (it builds only the fuzzer) those steps take their generic form.

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define CHROMOBRISK_X86 1
#if !defined(__clang__)
#define CHROMOBRISK_AVX2_ASM 1
#endif
#endif

#define CHROMOBRISK_INLINE [[gnu::always_inline]] inline

namespace passes::detail {

template <int Bytes>
struct Vec {
    typedef std::uint8_t U8 __attribute__((vector_size(Bytes)));
    typedef std::uint32_t U32 __attribute__((vector_size(Bytes)));
    static constexpr std::size_t kPixels = Bytes / 4;
};

// Bytes / 4 pixels, one per lane; Pixels<4> is a single pixel.
template <int Bytes>
using Pixels = typename Vec<Bytes>::U32;

// `value` in every lane. (A shuffle of lane 0: GCC builds `Pixels{} + value`
// of a value in memory through the stack.)
template <int Bytes>
CHROMOBRISK_INLINE Pixels<Bytes> Splat(std::uint32_t value)
{
#if defined(__clang__)
    return Pixels<Bytes>{} + value;
#else
    Pixels<Bytes> v{};
    v[0] = value;
    return __builtin_shuffle(v, Pixels<Bytes>{});
#endif
}

template <int Bytes>
CHROMOBRISK_INLINE typename Vec<Bytes>::U8 AsBytes(Pixels<Bytes> v)
{
    return reinterpret_cast<typename Vec<Bytes>::U8>(v);
}

// `value` in every 4-byte lane, as bytes.
template <int Bytes>
CHROMOBRISK_INLINE typename Vec<Bytes>::U8 SplatBytes(std::uint32_t value)
{
    return AsBytes<Bytes>(Splat<Bytes>(value));
}

template <class V>
CHROMOBRISK_INLINE V Min(V a, V b)
{
    return a < b ? a : b;
}

template <class V>
CHROMOBRISK_INLINE V Max(V a, V b)
{
    return a > b ? a : b;
}

// Lanes of `mask` are all-ones or zero.
template <int Bytes>
CHROMOBRISK_INLINE Pixels<Bytes> Select(Pixels<Bytes> mask, Pixels<Bytes> ifSet, Pixels<Bytes> otherwise)
{
    // On the sign bit: a blend instruction reads just that.
    typedef std::int32_t Signed __attribute__((vector_size(Bytes)));
    return reinterpret_cast<Signed>(mask) < 0 ? ifSet : otherwise;
}

// True when any lane of a mask is set.
template <int Bytes>
CHROMOBRISK_INLINE bool AnyLane(Pixels<Bytes> mask)
{
#if CHROMOBRISK_AVX2_ASM
    if constexpr (Bytes == 32) {
        bool none;
        asm("vptest %[mask], %[mask]" : "=@ccz"(none) : [mask] "x"(mask));
        return !none;
    }
#endif
#if CHROMOBRISK_X86
    if constexpr (Bytes >= 16) {
        __m128i any = _mm_setzero_si128();
        for (int part = 0; part < Bytes; part += 16) {
            __m128i half;
            std::memcpy(&half, reinterpret_cast<const char*>(&mask) + part, 16);
            any = _mm_or_si128(any, half);
        }
        return _mm_movemask_epi8(any) != 0;
    }
#endif
    std::uint32_t any = 0;
    for (std::size_t i = 0; i < Vec<Bytes>::kPixels; ++i) any |= mask[i];
    return any != 0;
}

// One bit per lane of a mask, lane 0 lowest.
template <int Bytes>
CHROMOBRISK_INLINE std::uint32_t LaneBits(Pixels<Bytes> mask)
{
#if CHROMOBRISK_AVX2_ASM
    if constexpr (Bytes == 32) {
        std::uint32_t bits;
        asm("vmovmskps %[mask], %[bits]" : [bits] "=r"(bits) : [mask] "x"(mask));
        return bits;
    }
#endif
#if CHROMOBRISK_X86
    if constexpr (Bytes >= 16) {
        std::uint32_t bits = 0;
        for (int part = 0; part < Bytes; part += 16) {
            __m128 quarter;
            std::memcpy(&quarter, reinterpret_cast<const char*>(&mask) + part, 16);
            bits |= static_cast<std::uint32_t>(_mm_movemask_ps(quarter)) << (part / 4);
        }
        return bits;
    }
#endif
    std::uint32_t bits = 0;
    for (std::size_t i = 0; i < Vec<Bytes>::kPixels; ++i) bits |= (mask[i] >> 31) << i;
    return bits;
}

// fn(pixel) in each lane set in `lanes`; the other lanes keep their pixel.
template <int Bytes, class Fn>
CHROMOBRISK_INLINE Pixels<Bytes> EachLane(Pixels<Bytes> v, Pixels<Bytes> lanes, Fn&& fn)
{
    if (!AnyLane<Bytes>(lanes)) return v;
    for (std::size_t lane = 0; lane < Vec<Bytes>::kPixels; ++lane)
        if (lanes[lane]) v[lane] = fn(v[lane]);
    return v;
}

// base[index] in each lane set in `lanes`, 0 in the others: one AVX2
// instruction for 32 bytes, lane by lane otherwise.
template <int Bytes>
CHROMOBRISK_INLINE Pixels<Bytes> Gather(const std::uint32_t* base, Pixels<Bytes> index, Pixels<Bytes> lanes)
{
    Pixels<Bytes> found{};
#if CHROMOBRISK_AVX2_ASM
    if constexpr (Bytes == 32) {
        // The array operand tells the compiler that memory from `base` on is read.
        asm("vpgatherdd %[lanes], (%[base], %[index], 4), %[found]"
            : [found] "+&x"(found), [lanes] "+&x"(lanes)
            : [base] "r"(base), [index] "x"(index), "m"(*reinterpret_cast<const std::uint32_t(*)[]>(base)));
        return found;
    }
#endif
    for (std::size_t lane = 0; lane < Vec<Bytes>::kPixels; ++lane)
        if (lanes[lane]) found[lane] = base[index[lane]];
    return found;
}

template <int Bytes>
CHROMOBRISK_INLINE Pixels<Bytes> Load(const std::uint32_t* from)
{
    Pixels<Bytes> v;
    std::memcpy(&v, from, Bytes);
    return v;
}

template <int Bytes>
CHROMOBRISK_INLINE void Store(std::uint32_t* to, Pixels<Bytes> v)
{
    std::memcpy(to, &v, Bytes);
}

// Results go out with streaming stores: they are not read again soon, and not
// pulling each destination line into the cache first is what keeps a pass
// close to the speed of a plain copy. `to` must be aligned to Bytes.
template <int Bytes>
CHROMOBRISK_INLINE void StreamStore(std::uint32_t* to, Pixels<Bytes> v)
{
#if CHROMOBRISK_AVX2_ASM
    if constexpr (Bytes == 32) {
        asm("vmovntdq %[v], %[to]" : [to] "=m"(*reinterpret_cast<Pixels<32>*>(to)) : [v] "x"(v));
        return;
    }
#endif
#if CHROMOBRISK_X86
    for (int part = 0; part < Bytes; part += 16) {
        __m128i half;
        std::memcpy(&half, reinterpret_cast<const char*>(&v) + part, 16);
        _mm_stream_si128(reinterpret_cast<__m128i*>(reinterpret_cast<char*>(to) + part), half);
    }
#else
    Store<Bytes>(to, v);
#endif
}

// The loop of every kernel: paintOne(pixel) one pixel at a time up to a
// destination aligned to Bytes, then paintWide(pixels), Bytes / 4 at a time,
// then the rest one at a time (Bytes == 4: one at a time throughout). Each
// pixel is read before its result is written, so src and dst may be the same.
template <int Bytes, class PaintOne, class PaintWide>
CHROMOBRISK_INLINE void ForEachPixel(const std::uint32_t* src, std::uint32_t* dst, std::size_t n, PaintOne paintOne,
    [[maybe_unused]] PaintWide paintWide)
{
    std::size_t i = 0;
    if constexpr (Bytes > 4) {
        constexpr std::size_t step = Vec<Bytes>::kPixels;
        for (; i < n && (reinterpret_cast<std::uintptr_t>(dst + i) % Bytes) != 0; ++i)
            Store<4>(dst + i, paintOne(Load<4>(src + i)));
        for (; i + step <= n; i += step) StreamStore<Bytes>(dst + i, paintWide(Load<Bytes>(src + i)));
#if CHROMOBRISK_X86
        _mm_sfence(); // streaming stores are visible before the caller goes on
#endif
    }
    for (; i < n; ++i) Store<4>(dst + i, paintOne(Load<4>(src + i)));
}

// Writes one bit per pixel, in pixel order, into words of 32 (pixel i in bit
// i % 32 of word i / 32), from bit `first` on. The bits below `first` in its
// word are kept; finish() writes the last, partial word, with the bits above
// the last one written clear.
class BitWriter {
public:
    BitWriter(std::uint32_t* words, std::size_t first) noexcept
        : word_(words + first / 32), filled_(static_cast<int>(first % 32)),
          pending_(filled_ > 0 ? *word_ & ((std::uint64_t{1} << filled_) - 1) : 0)
    {
    }

    // The low `count` (at most 32) bits of `bits`, which are clear above them.
    CHROMOBRISK_INLINE void put(std::uint32_t bits, int count) noexcept
    {
        pending_ |= std::uint64_t{bits} << filled_;
        filled_ += count;
        if (filled_ >= 32) {
            *word_++ = static_cast<std::uint32_t>(pending_);
            pending_ >>= 32;
            filled_ -= 32;
        }
    }

    void finish() noexcept
    {
        if (filled_ > 0) *word_ = static_cast<std::uint32_t>(pending_);
    }

private:
    std::uint32_t* word_;
    int filled_;
    std::uint64_t pending_;
};

enum class SimdPath { Scalar, Sse2, Avx2 };

// The widest path this processor runs; tests may force a narrower one.
SimdPath ActiveSimdPath() noexcept;
void ForceSimdPathForTesting(SimdPath path) noexcept;
void ResetSimdPathForTesting() noexcept;

// kernel.run<Bytes>(src, dst, n) for the active path, each path compiled for
// its own instruction set.
template <class Kernel>
struct SimdEntryPoints {
    static void Scalar(Kernel& k, const std::uint32_t* s, std::uint32_t* d, std::size_t n)
    {
        k.template run<4>(s, d, n);
    }
#if CHROMOBRISK_X86
    static void Sse2(Kernel& k, const std::uint32_t* s, std::uint32_t* d, std::size_t n)
    {
        k.template run<16>(s, d, n);
    }
    [[gnu::target("avx2")]] static void Avx2(Kernel& k, const std::uint32_t* s, std::uint32_t* d, std::size_t n)
    {
        k.template run<32>(s, d, n);
    }
#endif
};

template <class Kernel>
void RunOnActivePath(Kernel& kernel, const std::uint32_t* src, std::uint32_t* dst, std::size_t n)
{
    using Entry = SimdEntryPoints<Kernel>;
#if CHROMOBRISK_X86
    switch (ActiveSimdPath()) {
    case SimdPath::Avx2: return Entry::Avx2(kernel, src, dst, n);
    case SimdPath::Sse2: return Entry::Sse2(kernel, src, dst, n);
    case SimdPath::Scalar: break;
    }
#endif
    Entry::Scalar(kernel, src, dst, n);
}

} // namespace passes::detail
