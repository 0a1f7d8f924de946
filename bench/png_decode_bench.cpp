// PNG decoding of a 24-megapixel image: the fast reader against libpng, and
// a plain copy of the decoded bitmap's bytes as the floor. The inputs are made
// by the fixtures: a logo (flat colours, shapes and text on white) and a noisy
// photograph, each written by libpng with its default filtering and zlib
// level 6 (as most programs write PNGs) and by this program's own encoder.
// Decoding runs from memory into the pooled bitmap, as in the window.
#include "fixtures/bench_images.h"
#include "imaging/mgdip.h"
#include "imaging/png/png_decode.h"
#include "imaging/png/png_libpng_reader.h"
#include "imaging/png/png_reader.h"

#include <QBuffer>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <png.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

namespace {

constexpr int kWidth = 6000, kHeight = 4000;

void Append(png_structp png, png_bytep data, png_size_t length)
{
    static_cast<QByteArray*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), static_cast<qsizetype>(length));
}

// Only trivially destructible locals: libpng leaves by longjmp on error.
bool WriteRgba(png_structp png, png_infop info, const QImage* image, png_bytepp rows)
{
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_IHDR(png, info, static_cast<png_uint_32>(image->width()), static_cast<png_uint_32>(image->height()), 8,
                 PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_set_bgr(png); // ARGB32 is B, G, R, A in memory here
    png_write_image(png, rows);
    png_write_end(png, info);
    return true;
}

QByteArray WithLibpng(QImage image)
{
    QByteArray out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, Append, nullptr);
    std::vector<png_bytep> rows;
    for (int y = 0; y < image.height(); ++y) rows.push_back(image.scanLine(y));
    const bool ok = WriteRgba(png, info, &image, rows.data());
    png_destroy_write_struct(&png, &info);
    return ok ? out : QByteArray();
}

QByteArray WithOurEncoder(const QImage& image)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.png"));
    if (!mGdip::Succeeded(mGdip::SaveImageAsPng(mGdip::Image(image), path))) return {};
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

enum Input { kLogoLibpng, kPhotoLibpng, kLogoOurs, kPhotoOurs };

const QByteArray& File(Input input)
{
    static std::map<Input, QByteArray> files;
    auto found = files.find(input);
    if (found != files.end()) return found->second;
    const QImage image = input == kLogoLibpng || input == kLogoOurs ? fixtures::LogoOnWhite(kWidth, kHeight)
                                                                       : fixtures::NoisyPhoto(kWidth, kHeight);
    return files[input] = input == kLogoLibpng || input == kPhotoLibpng ? WithLibpng(image) : WithOurEncoder(image);
}

template <typename Decode>
void BM_Decode(benchmark::State& state, Input input, Decode decode)
{
    const QByteArray& file = File(input);
    auto once = [&] {
        QBuffer buffer;
        buffer.setData(file);
        buffer.open(QIODevice::ReadOnly);
        return decode(buffer);
    };
    if (once().image.isNull()) {
        state.SkipWithError("not decoded");
        return;
    }
    for (auto _ : state) benchmark::DoNotOptimize(once().image.constBits());
    state.counters["file MB"] = static_cast<double>(file.size()) / 1e6;
}

void Fast(benchmark::State& state, Input input)
{
    BM_Decode(state, input, [](QIODevice& in) {
        imaging::png::PngReader reader(in);
        imaging::DecodedImage r = imaging::ReadWholeImage(reader);
        if (r.failure) std::abort(); // the bench measures the fast path only
        return r;
    });
}

void Libpng(benchmark::State& state, Input input) { BM_Decode(state, input, imaging::png::DecodePngWithLibpng); }

void BM_CopyOfTheBitmap(benchmark::State& state)
{
    const std::size_t bytes = std::size_t{kWidth} * kHeight * 4;
    std::vector<unsigned char> from(bytes, 1), to(bytes, 2);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
}

} // namespace

BENCHMARK_CAPTURE(Fast, logo_libpng_written, kLogoLibpng)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Libpng, logo_libpng_written, kLogoLibpng)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Fast, photo_libpng_written, kPhotoLibpng)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Libpng, photo_libpng_written, kPhotoLibpng)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Fast, logo_our_encoder, kLogoOurs)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Libpng, logo_our_encoder, kLogoOurs)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Fast, photo_our_encoder, kPhotoOurs)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Libpng, photo_our_encoder, kPhotoOurs)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CopyOfTheBitmap)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    mGdip::StartImaging(false, false, {}, 0, {});
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    mGdip::ShutdownImaging();
    return 0;
}
