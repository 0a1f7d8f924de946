// Speed and size of the PNG writer on the end-to-end benchmark's pictures (a
// 24-megapixel logo on white and noisy photo, and the 16-megapixel image of
// every RGB value), per deflate backend and thread count, against copying
// the same pixels into an already-allocated buffer. Each case reports
// "x_copy" (its time over the copy's, measured in the same run) and
// "bytes" (the PNG's size).
#include "fixtures/bench_images.h"
#include "imaging/png/png_writer.h"

#include <QGuiApplication>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace {

using imaging::deflate::DeflateBackend;

class CountingSink final : public imaging::ByteSink {
public:
    bool write(const unsigned char*, std::size_t size) override
    {
        bytes += size;
        return true;
    }
    int error() const noexcept override { return 0; }
    std::size_t bytes = 0;
};

const QImage& Picture(const std::string& name)
{
    static std::map<std::string, QImage> pictures;
    QImage& picture = pictures[name];
    if (picture.isNull())
        picture = name == "logo" ? fixtures::LogoOnWhite(6000, 4000)
            : name == "photo"    ? fixtures::NoisyPhoto(6000, 4000)
                                 : fixtures::EveryRgbValue();
    return picture;
}

std::map<std::string, double> g_copySeconds; // per picture

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

void Copy(benchmark::State& state, const std::string& name)
{
    const QImage& source = Picture(name);
    std::vector<unsigned char> target(static_cast<std::size_t>(source.sizeInBytes()), 1);
    double total = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        std::memcpy(target.data(), source.constBits(), target.size());
        benchmark::ClobberMemory();
        total += Seconds(std::chrono::steady_clock::now() - start);
    }
    g_copySeconds[name] = total / static_cast<double>(state.iterations());
}

void Encode(benchmark::State& state, const std::string& name, std::optional<DeflateBackend> backend, int threads)
{
    const QImage& source = Picture(name);
    imaging::png::PngWriterSettings settings;
    settings.backend = backend;
    settings.threads = threads;
    double total = 0;
    std::size_t bytes = 0;
    for (auto _ : state) {
        CountingSink sink;
        const auto start = std::chrono::steady_clock::now();
        if (imaging::png::WritePng(source, sink, settings)) state.SkipWithError("the writer failed");
        total += Seconds(std::chrono::steady_clock::now() - start);
        bytes = sink.bytes;
    }
    const double seconds = total / static_cast<double>(state.iterations());
    state.counters["bytes"] = static_cast<double>(bytes);
    if (g_copySeconds.count(name)) state.counters["x_copy"] = seconds / g_copySeconds[name];
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv); // fonts for the logo's text
    for (const std::string name : {"logo", "photo", "every-rgb"}) {
        benchmark::RegisterBenchmark(("Copy/" + name).c_str(), Copy, name)->Unit(benchmark::kMillisecond);
        const std::pair<const char*, std::optional<DeflateBackend>> backends[] = {{"chosen", std::nullopt},
            {"isa-l", DeflateBackend::Fast}, {"libdeflate", DeflateBackend::Thorough}, {"runs", DeflateBackend::Runs}};
        for (const auto& [label, backend] : backends)
            for (const int threads : {1, 2})
                benchmark::RegisterBenchmark(
                    ("Encode/" + name + "/" + label + "/threads:" + std::to_string(threads)).c_str(), Encode, name,
                    backend, threads)
                    ->Unit(benchmark::kMillisecond)
                    ->UseRealTime();
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
