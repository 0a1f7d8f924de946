#pragma once
// A point operation: every result pixel depends on its source pixel alone.
//
// A pass states its arithmetic, as plainly as it is said, in a struct:
//
//   static constexpr ComparedChannels kCompared;       the channels of its key window
//   static std::uint32_t Inside(std::uint32_t pixel, const PassParameters&);
//   template <class P> static P Outside(P pixel);       one pixel or a vector of them
//   static constexpr bool kColorsPaintUnchanged;         optional: no color with alpha 0 but 0
//
// PassColor composes them into the color the pass paints for one pixel.
// PointKernel runs a pass over rows of pixels: the key window, the rule that
// a color with alpha 0 paints 0x00000000 (Painted) and the choice of vector
// width are its own. How the pixels inside the window are computed is the schedule's:
// PlainSchedule calls the pass's own Inside (on vectors when Inside is
// written for them); a pass may bring a faster one beside it.

#include "pass_parameters.h"
#include "simd.h"
#include "tolerance_window.h"

#include <cstddef>
#include <cstdint>

namespace passes {

// The color the pass paints for `pixel`: the one-pixel statement of the pass.
template <class Pass>
std::uint32_t PassColor(std::uint32_t pixel, const PassParameters& p)
{
    return InKeyWindow(pixel, p, Pass::kCompared) ? Pass::Inside(pixel, p) : Pass::Outside(pixel);
}

// A schedule computes the pixels inside the window:
//   void prepare(const PassParameters&);           before the first pixel and after every yield
//   template <int Bytes> auto inside();            for one run of pixels
// where inside<Bytes>() gives a callable (Pixels<Bytes> v, Pixels<Bytes> lanes)
// -> Pixels<Bytes> with the results of the lanes set in `lanes` (the others
// are ignored). It holds copies of what it needs, splatted to the width.
template <class Pass>
class PlainSchedule {
public:
    void prepare(const PassParameters& p) noexcept { parameters_ = p; }

    template <int Bytes>
    auto inside() const noexcept
    {
        return [p = parameters_](detail::Pixels<Bytes> v, detail::Pixels<Bytes> lanes) __attribute__((always_inline))
        {
            if constexpr (requires { Pass::Inside(v, p); }) { // Inside is written for vectors too
                return Pass::Inside(v, p);
            } else {
                return detail::EachLane<Bytes>(v, lanes, [&](std::uint32_t pixel) { return Pass::Inside(pixel, p); });
            }
        };
    }

private:
    PassParameters parameters_;
};

// One instance per running pass (or per thread): a schedule's caches are the
// instance's own, so nothing is shared between two kernels.
template <class Pass, class Schedule = PlainSchedule<Pass>>
class PointKernel {
public:
    using Definition = Pass;

    PointKernel() = default;
    explicit PointKernel(const PassParameters& p) { prepare(p); }

    // Takes new settings; a schedule keeps what it computed when they did not change.
    void prepare(const PassParameters& p)
    {
        window_ = detail::ToleranceWindow(p, Pass::kCompared);
        schedule_.prepare(p);
    }

    // Paints n pixels of src into dst, which may be the same.
    void operator()(const std::uint32_t* src, std::uint32_t* dst, std::size_t n)
    {
        detail::RunOnActivePath(*this, src, dst, n);
    }

    template <int Bytes>
    CHROMOBRISK_INLINE void run(const std::uint32_t* src, std::uint32_t* dst, std::size_t n)
    {
        if (window_.matchesNothing()) // tolerance 0: every pixel is outside
            detail::ForEachPixel<Bytes>(src, dst, n, outsidePainter<4>(), outsidePainter<Bytes>());
        else
            detail::ForEachPixel<Bytes>(src, dst, n, painter<4>(), painter<Bytes>());
    }

    // Paints as operator() does, and notes the pixels painted 0x00000000 (what
    // the pass removes): pixel i sets or clears bit first + i of `words`, as
    // detail::BitWriter writes them.
    void paintNotingRemoved(
        const std::uint32_t* src, std::uint32_t* dst, std::size_t n, std::uint32_t* words, std::size_t first)
    {
        NotingRemoved noting{*this, words, first};
        detail::RunOnActivePath(noting, src, dst, n);
    }

private:
    // Paints Bytes / 4 pixels. It holds what it needs, splatted to the vector
    // width, so that it stays in registers for the whole run.
    template <int Bytes>
    CHROMOBRISK_INLINE auto painter()
    {
        return [ inWindow = window_.template lanes<Bytes>(), inside = schedule_.template inside<Bytes>() ](
            detail::Pixels<Bytes> v) __attribute__((always_inline))
        {
            const detail::Pixels<Bytes> lanes = inWindow(v);
            return Painted<Bytes>(detail::Select<Bytes>(lanes, inside(v, lanes), Pass::Outside(v)));
        };
    }

    template <int Bytes>
    CHROMOBRISK_INLINE static auto outsidePainter()
    {
        return [](detail::Pixels<Bytes> v) __attribute__((always_inline)) { return Painted<Bytes>(Pass::Outside(v)); };
    }

    // What a color leaves on the fresh, fully transparent bitmap: a color
    // with alpha 0 leaves the pixel 0x00000000. A pass that never makes one
    // but 0x00000000 says so, and skips the test.
    template <int Bytes>
    CHROMOBRISK_INLINE static detail::Pixels<Bytes> Painted(detail::Pixels<Bytes> color)
    {
        if constexpr (requires { requires Pass::kColorsPaintUnchanged; })
            return color;
        else
            return color & ~reinterpret_cast<detail::Pixels<Bytes>>((color >> 24) == 0);
    }

    // paintNotingRemoved on the widest path: the painters, each result also
    // tested for alpha 0 on its way out.
    struct NotingRemoved {
        PointKernel& kernel;
        std::uint32_t* words;
        std::size_t first;

        template <int Bytes>
        CHROMOBRISK_INLINE void run(const std::uint32_t* src, std::uint32_t* dst, std::size_t n)
        {
            detail::BitWriter bits(words, first);
            if (kernel.window_.matchesNothing())
                Paint<Bytes>(src, dst, n, bits, outsidePainter<4>(), outsidePainter<Bytes>());
            else
                Paint<Bytes>(src, dst, n, bits, kernel.template painter<4>(), kernel.template painter<Bytes>());
            bits.finish();
        }

        template <int Bytes, class PaintOne, class PaintWide>
        CHROMOBRISK_INLINE static void Paint(const std::uint32_t* src, std::uint32_t* dst, std::size_t n,
            detail::BitWriter& bits, PaintOne paintOne, PaintWide paintWide)
        {
            detail::ForEachPixel<Bytes>(
                src, dst, n, [&bits, paintOne ](detail::Pixels<4> v) __attribute__((always_inline)) {
                    return Noted<4>(bits, paintOne(v));
                },
                [&bits, paintWide ](detail::Pixels<Bytes> v)
                    __attribute__((always_inline)) { return Noted<Bytes>(bits, paintWide(v)); });
        }

        template <int Bytes>
        CHROMOBRISK_INLINE static detail::Pixels<Bytes> Noted(detail::BitWriter& bits, detail::Pixels<Bytes> painted)
        {
            const auto removed = reinterpret_cast<detail::Pixels<Bytes>>((painted >> 24) == 0);
            bits.put(detail::LaneBits<Bytes>(removed), static_cast<int>(detail::Vec<Bytes>::kPixels));
            return painted;
        }
    };

    detail::ToleranceWindow window_;
    Schedule schedule_;
};

} // namespace passes
