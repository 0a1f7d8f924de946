#include "imaging_test_support.h"

#include "imaging/mgdip.h"
#include "passes/pass_command.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

using mGdip::ImagingStatus;
using mGdip::kPixelFormat32bppARGB;
using passes::Argb;

constexpr Argb A(std::uint32_t v) { return static_cast<Argb>(v); }

std::uint32_t At(const mGdip::Surface& surface, int x, int y) { return surface.target()->pixel(x, y); }

// Paints the bitmap with a pass that copies `color` into every pixel.
mGdip::Surface PaintedWith(std::uint32_t color, mGdip::BitmapForPass& bitmap)
{
    QImage fill(bitmap.width(), bitmap.height(), QImage::Format_ARGB32);
    fill.fill(color);
    const mGdip::Image source(fill);
    const passes::ArgbChannels key{255, 0, 0, 0};
    const std::int32_t noneMatch = 0;
    passes::RunPassCommand(passes::kSimpleRemoval, {source.pixels(), bitmap.canvas(), {}}, bitmap.width(),
        bitmap.height(), key, noneMatch, {});
    return std::move(bitmap).painted();
}

mGdip::Surface WorkBitmap(int width, int height)
{
    mGdip::Surface bitmap;
    EXPECT_EQ(mGdip::CreateWorkBitmap(width, height, kPixelFormat32bppARGB, bitmap), ImagingStatus::Ok);
    return bitmap;
}

// ---- the work bitmap --------------------------------------------------------

TEST(CreateWorkBitmap, IsZeroFilledArgb32OfTheRequestedSize)
{
    const mGdip::Surface bitmap = WorkBitmap(37, 23);
    ASSERT_FALSE(bitmap.isNull());
    EXPECT_EQ(bitmap.width(), 37);
    EXPECT_EQ(bitmap.height(), 23);
    EXPECT_EQ(bitmap.target()->format(), QImage::Format_ARGB32);
    const mGdip::Image snapshot = bitmap.snapshot();
    for (const std::uint32_t pixel : testsupport::PixelsOf(snapshot.qimage())) ASSERT_EQ(pixel, 0u);
}

TEST(CreateWorkBitmap, RejectsBadArgumentsAndLeavesTheOutputAlone)
{
    mGdip::Surface bitmap = WorkBitmap(3, 2);
    ASSERT_EQ(mGdip::ClearSurface(bitmap, A(0xFF112233)), ImagingStatus::Ok);
    const QImage* const before = bitmap.target();

    struct Case {
        std::int32_t width, height, format;
        ImagingStatus expected;
    };
    const Case cases[] = {
        {0, 5, kPixelFormat32bppARGB, ImagingStatus::InvalidParameter},
        {5, 0, kPixelFormat32bppARGB, ImagingStatus::InvalidParameter},
        {-1, 5, kPixelFormat32bppARGB, ImagingStatus::InvalidParameter},
        {5, -7, kPixelFormat32bppARGB, ImagingStatus::InvalidParameter},
        {5, 5, 0, ImagingStatus::InvalidParameter},
        {5, 5, 0xE200B, ImagingStatus::InvalidParameter}, // premultiplied ARGB
        {5, 5, 0x22009, ImagingStatus::InvalidParameter}, // 32-bit RGB
        {70000, 70000, kPixelFormat32bppARGB, ImagingStatus::OutOfMemory}, // beyond the pixel limit
        {INT32_MAX, INT32_MAX, kPixelFormat32bppARGB, ImagingStatus::OutOfMemory},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " format " << c.format);
        EXPECT_EQ(mGdip::CreateWorkBitmap(c.width, c.height, c.format, bitmap), c.expected);
        EXPECT_EQ(bitmap.target(), before);
        EXPECT_EQ(bitmap.width(), 3);
        EXPECT_EQ(At(bitmap, 2, 1), 0xFF112233u);
    }
}

TEST(CreateWorkBitmap, IsZeroFilledWhenReusingReleasedMemory)
{
    // Memory of a released bitmap may come back for the next of the same size.
    for (int round = 0; round < 3; ++round) {
        const mGdip::Surface bitmap = WorkBitmap(64, 33);
        for (const std::uint32_t pixel : testsupport::PixelsOf(*bitmap.target())) ASSERT_EQ(pixel, 0u) << round;
        ASSERT_EQ(mGdip::ClearSurface(bitmap, A(0xFFFFFFFF)), ImagingStatus::Ok);
    }
    mGdip::PrepareWorkBitmap(64, 33);
    const mGdip::Surface prepared = WorkBitmap(64, 33);
    for (const std::uint32_t pixel : testsupport::PixelsOf(*prepared.target())) ASSERT_EQ(pixel, 0u);
}

TEST(CreateWorkBitmap, ReleasedBitmapKeepsPixelsThatASnapshotStillShows)
{
    mGdip::Image snapshot;
    {
        const mGdip::Surface bitmap = WorkBitmap(16, 16);
        ASSERT_EQ(mGdip::ClearSurface(bitmap, A(0x80102030)), ImagingStatus::Ok);
        snapshot = bitmap.snapshot();
    }
    // New bitmaps of the same size must not take the memory under the snapshot.
    for (int round = 0; round < 2; ++round) {
        mGdip::BitmapForPass next;
        ASSERT_EQ(mGdip::CreateWorkBitmapForPass(16, 16, kPixelFormat32bppARGB, next), ImagingStatus::Ok);
        const mGdip::Surface white = PaintedWith(0xFFFFFFFFu, next);
        const mGdip::Surface zeroed = WorkBitmap(16, 16);
        for (const std::uint32_t pixel : testsupport::PixelsOf(*zeroed.target())) ASSERT_EQ(pixel, 0u);
    }
    for (const std::uint32_t pixel : testsupport::PixelsOf(snapshot.qimage())) ASSERT_EQ(pixel, 0x80102030u);
}

TEST(CreateWorkBitmapForPass, GivesAWritableBitmapOfTheSizeAndRejectsWhatCreateWorkBitmapRejects)
{
    mGdip::BitmapForPass bitmap;
    ASSERT_EQ(mGdip::CreateWorkBitmapForPass(7, 5, kPixelFormat32bppARGB, bitmap), ImagingStatus::Ok);
    EXPECT_EQ(bitmap.width(), 7);
    EXPECT_EQ(bitmap.height(), 5);

    EXPECT_EQ(mGdip::CreateWorkBitmapForPass(0, 5, kPixelFormat32bppARGB, bitmap), ImagingStatus::InvalidParameter);
    EXPECT_EQ(mGdip::CreateWorkBitmapForPass(5, 5, 0xE200B, bitmap), ImagingStatus::InvalidParameter);
    EXPECT_EQ(mGdip::CreateWorkBitmapForPass(70000, 70000, kPixelFormat32bppARGB, bitmap), ImagingStatus::OutOfMemory);
    EXPECT_EQ(bitmap.width(), 7);
    EXPECT_EQ(bitmap.height(), 5);

    const mGdip::Surface painted = PaintedWith(0x12345678u, bitmap);
    EXPECT_TRUE(bitmap.isNull());
    EXPECT_EQ(painted.width(), 7);
    EXPECT_EQ(painted.height(), 5);
    EXPECT_EQ(painted.target()->format(), QImage::Format_ARGB32);
    EXPECT_EQ(At(painted, 6, 4), 0x12345678u);
}

TEST(CreateWorkBitmapForPass, ABitmapNoPassPaintedComesOutTransparent)
{
    // Its memory may be that of a released bitmap: only a pass may show it.
    for (int round = 0; round < 3; ++round) {
        {
            const mGdip::Surface released = WorkBitmap(32, 8);
            ASSERT_EQ(mGdip::ClearSurface(released, A(0xFFFFFFFF)), ImagingStatus::Ok);
        }
        mGdip::BitmapForPass bitmap;
        ASSERT_EQ(mGdip::CreateWorkBitmapForPass(32, 8, kPixelFormat32bppARGB, bitmap), ImagingStatus::Ok);
        const mGdip::Surface unpainted = std::move(bitmap).painted();
        ASSERT_EQ(unpainted.width(), 32);
        for (const std::uint32_t pixel : testsupport::PixelsOf(*unpainted.target())) ASSERT_EQ(pixel, 0u) << round;
    }
    EXPECT_TRUE(mGdip::BitmapForPass().painted().isNull());
}

TEST(Surface, SnapshotIsNotChangedByLaterPainting)
{
    mGdip::Surface bitmap = WorkBitmap(4, 4);
    ASSERT_EQ(mGdip::PaintPixel(bitmap, 1, 1, A(0xFF00FF00)), ImagingStatus::Ok);
    const mGdip::Image snapshot = bitmap.snapshot();

    ASSERT_EQ(mGdip::PaintPixel(bitmap, 1, 1, A(0xFFFF0000)), ImagingStatus::Ok);
    bitmap.pixels().row(2)[2] = 0xFF0000FFu;

    passes::Argb seen = 0;
    ASSERT_EQ(mGdip::ReadPixel(snapshot, 1, 1, seen), ImagingStatus::Ok);
    EXPECT_EQ(static_cast<std::uint32_t>(seen), 0xFF00FF00u);
    ASSERT_EQ(mGdip::ReadPixel(snapshot, 2, 2, seen), ImagingStatus::Ok);
    EXPECT_EQ(seen, 0);
    EXPECT_EQ(At(bitmap, 1, 1), 0xFFFF0000u);
    EXPECT_EQ(At(bitmap, 2, 2), 0xFF0000FFu);
}

TEST(ImageSize, NullImageMeasuresZero)
{
    const mGdip::Image none;
    EXPECT_EQ(mGdip::ImageWidthOf(none), 0);
    EXPECT_EQ(mGdip::ImageHeightOf(none), 0);
    const mGdip::Image some(QImage(7, 3, QImage::Format_ARGB32));
    EXPECT_EQ(mGdip::ImageWidthOf(some), 7);
    EXPECT_EQ(mGdip::ImageHeightOf(some), 3);
}

// ---- reading pixels ---------------------------------------------------------

TEST(ReadPixel, ReturnsTheStoredValueExactly)
{
    QImage image(3, 2, QImage::Format_ARGB32);
    const std::uint32_t values[] = {0x00123456, 0x01FFFFFF, 0x80FF0000, 0xFF000000, 0x7F00FF80, 0xFFFFFFFF};
    for (int i = 0; i < 6; ++i) image.setPixel(i % 3, i / 3, values[i]);
    const mGdip::Image wrapped(image);
    for (int i = 0; i < 6; ++i) {
        Argb out = 0x5A5A5A5A;
        ASSERT_EQ(mGdip::ReadPixel(wrapped, i % 3, i / 3, out), ImagingStatus::Ok);
        EXPECT_EQ(static_cast<std::uint32_t>(out), values[i]) << "pixel " << i;
    }
}

TEST(ReadPixel, OutsideTheImageOrWithoutOneFailsAndLeavesTheOutput)
{
    QImage image(3, 2, QImage::Format_ARGB32);
    image.fill(0xFF010203);
    const mGdip::Image wrapped(image);
    const int positions[][2] = {{-1, 0}, {0, -1}, {3, 0}, {0, 2}, {3, 2}, {INT32_MIN, 0}, {0, INT32_MAX}};
    for (const auto& at : positions) {
        SCOPED_TRACE(testing::Message() << at[0] << "," << at[1]);
        Argb out = 0x5A5A5A5A;
        EXPECT_NE(mGdip::ReadPixel(wrapped, at[0], at[1], out), ImagingStatus::Ok);
        EXPECT_EQ(out, 0x5A5A5A5A);
    }
    Argb out = 0x5A5A5A5A;
    EXPECT_NE(mGdip::ReadPixel(mGdip::Image(), 0, 0, out), ImagingStatus::Ok);
    EXPECT_EQ(out, 0x5A5A5A5A);
}

// ---- painting pixels --------------------------------------------------------

TEST(PaintPixel, OverAFreshHalfTransparentOrOpaqueBackground)
{
    struct Case {
        std::uint32_t background, painted, expected;
        const char* why;
    };
    const Case cases[] = {
        {0x00000000, 0x00FF0000, 0x00000000, "alpha 0 paints nothing"},
        {0x00000000, 0x80FF0000, 0x80FF0000, "a transparent pixel takes the colour exactly"},
        {0x00000000, 0x01ABCDEF, 0x01ABCDEF, "even the faintest"},
        {0x00000000, 0xFF123456, 0xFF123456, "opaque on a fresh bitmap"},
        {0x80102030, 0xFFA0B0C0, 0xFFA0B0C0, "opaque replaces"},
        {0x80102030, 0x00A0B0C0, 0x80102030, "transparent keeps"},
        {0xFF0000FF, 0x80FF0000, 0xFF80007F, "red 255 * 128/255, blue 255 * 127/255, result opaque"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        const mGdip::Surface bitmap = WorkBitmap(1, 1);
        if (c.background != 0) {
            ASSERT_EQ(mGdip::ClearSurface(bitmap, A(c.background)), ImagingStatus::Ok);
        }
        ASSERT_EQ(mGdip::PaintPixel(bitmap, 0, 0, A(c.painted)), ImagingStatus::Ok);
        EXPECT_EQ(At(bitmap, 0, 0), c.expected);
    }
}

TEST(PaintPixel, BlendingSemiTransparentColoursStaysInRange)
{
    // Painting a colour over the same colour must give that colour back, with
    // alpha sa + da * (1 - sa), for every pair of partial alphas.
    for (const std::uint32_t rgb : {0xFFFFFFu, 0x000000u, 0xFF00FFu, 0x7F3A01u}) {
        const mGdip::Surface bitmap = WorkBitmap(254, 254);
        for (int da = 1; da < 255; ++da)
            for (int sa = 1; sa < 255; ++sa)
                bitmap.pixels().row(da - 1)[sa - 1] = static_cast<std::uint32_t>(da) << 24 | rgb;
        for (int da = 1; da < 255; ++da)
            for (int sa = 1; sa < 255; ++sa)
                ASSERT_EQ(mGdip::PaintPixel(bitmap, sa - 1, da - 1, A(static_cast<std::uint32_t>(sa) << 24 | rgb)),
                    ImagingStatus::Ok);
        int wrong = 0;
        for (int da = 1; da < 255; ++da) {
            for (int sa = 1; sa < 255; ++sa) {
                const std::uint32_t got = At(bitmap, sa - 1, da - 1);
                const double exactAlpha = sa + da * (255.0 - sa) / 255.0;
                const bool ok =
                    (got & 0xFFFFFFu) == rgb && std::abs(static_cast<double>(got >> 24) - exactAlpha) <= 0.5;
                if (!ok && ++wrong <= 3)
                    ADD_FAILURE() << std::hex << "colour " << rgb << " alpha " << std::dec << sa << " over alpha " << da
                                  << " gave " << std::hex << got;
            }
        }
        EXPECT_EQ(wrong, 0) << std::hex << "colour " << rgb;
    }
}

TEST(PaintPixel, BlendWeighsBothColoursByTheirAlpha)
{
    // Straight-alpha source-over, checked against the formula for a spread of
    // colours and alphas (rounding may differ by one).
    const mGdip::Surface bitmap = WorkBitmap(1, 1);
    const std::uint32_t sources[] = {0x40FF8000, 0xC0000080, 0x10FFFFFF, 0xEE0A0B0C};
    const std::uint32_t targets[] = {0x80000000, 0xFF00FF00, 0x20FFFFFF, 0x01808080};
    for (const std::uint32_t s : sources) {
        for (const std::uint32_t d : targets) {
            SCOPED_TRACE(testing::Message() << std::hex << s << " over " << d);
            bitmap.pixels().row(0)[0] = d;
            ASSERT_EQ(mGdip::PaintPixel(bitmap, 0, 0, A(s)), ImagingStatus::Ok);
            const std::uint32_t got = At(bitmap, 0, 0);
            const double sa = (s >> 24) / 255.0, da = (d >> 24) / 255.0;
            const double outA = sa + da * (1 - sa);
            EXPECT_NEAR(got >> 24, outA * 255, 1.0);
            for (const int shift : {16, 8, 0}) {
                const double sc = (s >> shift) & 0xFF, dc = (d >> shift) & 0xFF;
                EXPECT_NEAR((got >> shift) & 0xFF, (sc * sa + dc * da * (1 - sa)) / outA, 1.0) << "shift " << shift;
            }
        }
    }
}

TEST(PaintPixel, OutsideTheSurfaceChangesNothing)
{
    const mGdip::Surface bitmap = WorkBitmap(2, 2);
    for (const auto& at : {std::pair{-1, 0}, {0, -1}, {2, 0}, {0, 2}})
        mGdip::PaintPixel(bitmap, at.first, at.second, A(0xFFFFFFFF));
    for (const std::uint32_t pixel : testsupport::PixelsOf(*bitmap.target())) EXPECT_EQ(pixel, 0u);
    EXPECT_NE(mGdip::PaintPixel(mGdip::Surface(), 0, 0, A(0xFFFFFFFF)), ImagingStatus::Ok);
}

TEST(PaintPixel, WorksOnABoundSurfaceOfAnotherFormat)
{
    QImage backing(3, 1, QImage::Format_RGB32);
    backing.fill(0xFF000000);
    const mGdip::Surface surface = mGdip::BindSurface(backing);
    ASSERT_EQ(mGdip::PaintPixel(surface, 1, 0, A(0xFF336699)), ImagingStatus::Ok);
    ASSERT_EQ(mGdip::PaintPixel(surface, 2, 0, A(0x00336699)), ImagingStatus::Ok);
    EXPECT_EQ(surface.target()->pixel(0, 0), 0xFF000000u);
    EXPECT_EQ(surface.target()->pixel(1, 0), 0xFF336699u);
    EXPECT_EQ(surface.target()->pixel(2, 0), 0xFF000000u);
}

// ---- clearing ---------------------------------------------------------------

TEST(ClearSurface, ReplacesEveryPixelWithoutBlending)
{
    const mGdip::Surface bitmap = WorkBitmap(5, 3);
    ASSERT_EQ(mGdip::ClearSurface(bitmap, A(0xFFFFFFFF)), ImagingStatus::Ok);
    ASSERT_EQ(mGdip::ClearSurface(bitmap, A(0x40102030)), ImagingStatus::Ok);
    for (const std::uint32_t pixel : testsupport::PixelsOf(*bitmap.target())) ASSERT_EQ(pixel, 0x40102030u);
    ASSERT_EQ(mGdip::ClearSurface(bitmap, A(0x00000000)), ImagingStatus::Ok);
    for (const std::uint32_t pixel : testsupport::PixelsOf(*bitmap.target())) ASSERT_EQ(pixel, 0u);
    EXPECT_NE(mGdip::ClearSurface(mGdip::Surface(), A(0xFF000000)), ImagingStatus::Ok);
}

// ---- drawing a whole image --------------------------------------------------

class DrawImageOneToOne : public ::testing::Test {
protected:
    static constexpr std::uint32_t kBackground = 0xFF0000FF;

    // 4 × 3: opaque pattern with a transparent hole at (1, 1) and (2, 2).
    static QImage Source()
    {
        QImage image = testsupport::OpaquePattern(4, 3);
        image.setPixel(1, 1, 0x00FFFFFF);
        image.setPixel(2, 2, 0x00000000);
        return image;
    }

    static mGdip::Surface Background(int width, int height)
    {
        mGdip::Surface surface = WorkBitmap(width, height);
        EXPECT_EQ(mGdip::ClearSurface(surface, A(kBackground)), ImagingStatus::Ok);
        return surface;
    }

    // Pixel (x, y) after drawing `drawnWidth` × `drawnHeight` of Source().
    static std::uint32_t Expected(int x, int y, int drawnWidth, int drawnHeight)
    {
        const QImage source = Source();
        if (x >= std::min(drawnWidth, source.width()) || y >= std::min(drawnHeight, source.height()))
            return kBackground;
        const QRgb pixel = source.pixel(x, y);
        return qAlpha(pixel) == 0 ? kBackground : pixel;
    }

    // Draws `drawnWidth` × `drawnHeight` of Source() onto a background of
    // the surface's size and checks every pixel of it.
    static void ExpectDrawn(int surfaceWidth, int surfaceHeight, int drawnWidth, int drawnHeight)
    {
        const mGdip::Surface surface = Background(surfaceWidth, surfaceHeight);
        ASSERT_EQ(
            mGdip::DrawImageOneToOne(surface, mGdip::Image(Source()), drawnWidth, drawnHeight), ImagingStatus::Ok);
        for (int y = 0; y < surfaceHeight; ++y)
            for (int x = 0; x < surfaceWidth; ++x)
                EXPECT_EQ(At(surface, x, y), Expected(x, y, drawnWidth, drawnHeight)) << x << "," << y;
    }
};

TEST_F(DrawImageOneToOne, DrawsUnscaledAtTheTopLeftKeepingTheBackgroundUnderTransparentPixels)
{
    ExpectDrawn(6, 5, 4, 3);
}

TEST_F(DrawImageOneToOne, SizeBeyondTheImageDoesNotStretchIt) { ExpectDrawn(6, 5, 6, 5); }

TEST_F(DrawImageOneToOne, WidthAndHeightLimitTheDrawnArea) { ExpectDrawn(6, 5, 2, 1); }

TEST_F(DrawImageOneToOne, IsClippedToASmallerSurface) { ExpectDrawn(2, 2, 4, 3); }

TEST_F(DrawImageOneToOne, APartStartingInsideTheImageLandsAtTheTopLeftOfEitherKindOfSurface)
{
    // The work bitmap (straight alpha) and a picture box's opaque backing.
    for (const QImage::Format format : {QImage::Format_ARGB32, QImage::Format_RGB32}) {
        for (const QPoint from : {QPoint(1, 1), QPoint(3, 0), QPoint(0, 2), QPoint(4, 3)}) {
            const mGdip::Surface surface = mGdip::BindSurface(QImage(3, 3, format));
            ASSERT_EQ(mGdip::ClearSurface(surface, A(kBackground)), ImagingStatus::Ok);
            ASSERT_EQ(mGdip::DrawImagePartOneToOne(surface, mGdip::Image(Source()), from.x(), from.y(), 4, 3),
                ImagingStatus::Ok);
            for (int y = 0; y < 3; ++y)
                for (int x = 0; x < 3; ++x)
                    EXPECT_EQ(At(surface, x, y), Expected(from.x() + x, from.y() + y, 4, 3))
                        << format << " from " << from.x() << "," << from.y() << " at " << x << "," << y;
        }
        const mGdip::Surface surface = mGdip::BindSurface(QImage(3, 3, format));
        EXPECT_NE(mGdip::DrawImagePartOneToOne(surface, mGdip::Image(Source()), -1, 0, 4, 3), ImagingStatus::Ok);
    }
}

TEST_F(DrawImageOneToOne, HalfTransparentPixelsBlendWithTheBackground)
{
    const mGdip::Surface surface = Background(1, 1);
    QImage source(1, 1, QImage::Format_ARGB32);
    source.setPixel(0, 0, 0x80FF0000);
    ASSERT_EQ(mGdip::DrawImageOneToOne(surface, mGdip::Image(source), 1, 1), ImagingStatus::Ok);
    const QRgb got = At(surface, 0, 0);
    EXPECT_EQ(qAlpha(got), 255);
    EXPECT_NEAR(qRed(got), 128, 1);
    EXPECT_EQ(qGreen(got), 0);
    EXPECT_NEAR(qBlue(got), 127, 1);
}

TEST_F(DrawImageOneToOne, TransparencyOnEitherSideKeepsExactValues)
{
    // Transparent source pixels leave any background as it was, colour under
    // zero or low alpha included; a transparent background takes the source as is.
    const std::vector<std::uint32_t> background = {0x00123456, 0x02FF7F01, 0x80123456, 0x00000000, 0x00000000};
    const std::vector<std::uint32_t> drawn = {0x00FFFFFF, 0x00000000, 0x00ABCDEF, 0x01ABCDEF, 0x80FF0000};
    const std::vector<std::uint32_t> expected = {0x00123456, 0x02FF7F01, 0x80123456, 0x01ABCDEF, 0x80FF0000};
    mGdip::Surface surface = WorkBitmap(5, 1);
    QImage source(5, 1, QImage::Format_ARGB32);
    for (int x = 0; x < 5; ++x) {
        surface.pixels().row(0)[x] = background[static_cast<std::size_t>(x)];
        source.setPixel(x, 0, drawn[static_cast<std::size_t>(x)]);
    }
    ASSERT_EQ(mGdip::DrawImageOneToOne(surface, mGdip::Image(source), 5, 1), ImagingStatus::Ok);
    EXPECT_EQ(testsupport::PixelsOf(*surface.target()), expected);
}

TEST_F(DrawImageOneToOne, MatchesPaintingEveryPixel)
{
    const QImage source = testsupport::RandomArgb(31, 17, 3);
    const QImage background = testsupport::RandomArgb(31, 17, 4);
    mGdip::Surface drawn = mGdip::BindSurface(background.copy());
    mGdip::Surface painted = mGdip::BindSurface(background.copy());
    ASSERT_EQ(mGdip::DrawImageOneToOne(drawn, mGdip::Image(source), 31, 17), ImagingStatus::Ok);
    for (int y = 0; y < 17; ++y)
        for (int x = 0; x < 31; ++x)
            ASSERT_EQ(mGdip::PaintPixel(painted, x, y, A(source.pixel(x, y))), ImagingStatus::Ok);
    EXPECT_EQ(testsupport::FirstDifference(*drawn.target(), *painted.target()), -1);
}

TEST_F(DrawImageOneToOne, DrawsOnABoundSurfaceOfAnotherFormat)
{
    QImage backing(3, 2, QImage::Format_RGB32);
    backing.fill(0xFF0000FF);
    const mGdip::Surface surface = mGdip::BindSurface(backing);
    QImage source(2, 2, QImage::Format_ARGB32);
    source.fill(0x00000000);
    source.setPixel(1, 0, 0xFF00FF00);
    ASSERT_EQ(mGdip::DrawImageOneToOne(surface, mGdip::Image(source), 9, 9), ImagingStatus::Ok);
    EXPECT_EQ(surface.target()->pixel(0, 0), 0xFF0000FFu);
    EXPECT_EQ(surface.target()->pixel(1, 0), 0xFF00FF00u);
    EXPECT_EQ(surface.target()->pixel(2, 0), 0xFF0000FFu);
    EXPECT_EQ(surface.target()->pixel(1, 1), 0xFF0000FFu);
}

TEST_F(DrawImageOneToOne, NothingToDrawOrNowhereToDraw)
{
    const mGdip::Surface surface = Background(3, 3);
    EXPECT_NE(mGdip::DrawImageOneToOne(surface, mGdip::Image(), 3, 3), ImagingStatus::Ok);
    EXPECT_NE(mGdip::DrawImageOneToOne(mGdip::Surface(), mGdip::Image(Source()), 3, 3), ImagingStatus::Ok);
    // An empty area draws nothing.
    mGdip::DrawImageOneToOne(surface, mGdip::Image(Source()), 0, 3);
    mGdip::DrawImageOneToOne(surface, mGdip::Image(Source()), 3, -1);
    for (const std::uint32_t pixel : testsupport::PixelsOf(*surface.target())) EXPECT_EQ(pixel, kBackground);
}

} // namespace
