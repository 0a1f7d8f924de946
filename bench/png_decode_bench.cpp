// PNG decoding of the end-to-end benchmark's PNGs (fixtures/bench_images.h:
// the 24-megapixel logo and noisy photo and the 16-megapixel every-RGB image,
// written by Qt, by libpng with its default adaptive filtering, and the logo
// and photo with every row Paeth-filtered) and of the logo and photo written
// by this program's own encoder: the fast reader against libpng, and a plain
// copy of the decoded bitmap's bytes as the floor. Each case is labelled
// with its file's filter mix. Decoding runs from memory into the pooled
// bitmap, as in the window.
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

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 6000, kHeight = 4000;

QByteArray WithOurEncoder(const QImage& image)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.png"));
    if (!mGdip::Succeeded(mGdip::SaveImageAsPng(mGdip::Image(image), path))) return {};
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A bench file by name, or "logo-ours.png" / "photo-ours.png" from our encoder.
const QByteArray& File(const std::string& name)
{
    static std::map<std::string, QByteArray> files;
    auto found = files.find(name);
    if (found != files.end()) return found->second;
    const QString qname = QString::fromStdString(name);
    QByteArray bytes = name == "logo-ours.png" ? WithOurEncoder(fixtures::LogoOnWhite(kWidth, kHeight))
        : name == "photo-ours.png"             ? WithOurEncoder(fixtures::NoisyPhoto(kWidth, kHeight))
                                               : fixtures::BenchFile(qname);
    return files[name] = std::move(bytes);
}

template <typename Decode>
void BM_Decode(benchmark::State& state, const std::string& name, Decode decode)
{
    const QByteArray& file = File(name);
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
    state.SetLabel(fixtures::FilterMixText(fixtures::PngFilterMix(file)));
}

void Fast(benchmark::State& state, const std::string& name)
{
    BM_Decode(state, name, [](QIODevice& in) {
        imaging::png::PngReader reader(in);
        imaging::DecodedImage r = imaging::ReadWholeImage(reader);
        if (r.failure) std::abort(); // the bench measures the fast path only
        return r;
    });
}

void Libpng(benchmark::State& state, const std::string& name)
{
    BM_Decode(state, name, imaging::png::DecodePngWithLibpng);
}

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

BENCHMARK(BM_CopyOfTheBitmap)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    mGdip::StartImaging(false, false, {}, 0, {});
    std::vector<std::string> names;
    for (const QString& name : fixtures::BenchFileNames())
        if (name.endsWith(QStringLiteral(".png"))) names.push_back(name.toStdString());
    names.insert(names.end(), {"logo-ours.png", "photo-ours.png"});
    for (const std::string& name : names) {
        benchmark::RegisterBenchmark(("Fast/" + name).c_str(), Fast, name)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(("Libpng/" + name).c_str(), Libpng, name)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    mGdip::ShutdownImaging();
    return 0;
}
