// Simple removal with --defringe 2 against the plain pass, in memory, on the
// end-to-end benchmark's 24-megapixel pictures: the logo on white and the
// noisy photo, both keyed on white with tolerance 30 as the end-to-end
// benchmark keys them, and (a bound, not a goal) the photo keyed on its own
// top-left pixel, where the noise scatters removed pixels over a wide area.
// Goal: at most 1.5x the plain global pass ("x_plain"). Also the connected
// variant with and without it on the logo ("x_connected"), the share of
// pixels un-blended ("fringe_share") and the memory held beyond the images
// ("extra_bytes").
//
//   scripts/build build -DCMAKE_BUILD_TYPE=Release -DCHROMOBRISK_BUILD_BENCH=ON
//   build/bench/defringe_bench
#include "mean_seconds.h"

#include "fixtures/bench_images.h"
#include "passes/connected_pass_command.h"
#include "passes/defringed_removal.h"
#include "passes/pass_command.h"

#include <QGuiApplication>

#include <benchmark/benchmark.h>

#include <map>
#include <vector>

namespace {

constexpr std::int32_t kWidth = 6000, kHeight = 4000, kRadius = 2;
enum Picture : std::int64_t { kLogo, kPhoto, kPhotoOwnKey };

const std::vector<std::uint32_t>& Pixels(std::int64_t picture)
{
    static std::map<std::int64_t, std::vector<std::uint32_t>> pixels;
    std::vector<std::uint32_t>& found = pixels[picture == kLogo ? kLogo : kPhoto];
    if (found.empty()) {
        const QImage image =
            picture == kLogo ? fixtures::LogoOnWhite(kWidth, kHeight) : fixtures::NoisyPhoto(kWidth, kHeight);
        const auto* bits = reinterpret_cast<const std::uint32_t*>(image.constBits());
        found.assign(bits, bits + static_cast<std::size_t>(kWidth) * kHeight);
    }
    return found;
}

passes::PassParameters Parameters(std::int64_t picture)
{
    passes::PassParameters p;
    p.tolerance = 30;
    p.key = {255, 255, 255, 255};
    if (picture == kPhotoOwnKey) {
        const std::uint32_t corner = Pixels(picture)[0];
        p.key = {255, static_cast<passes::Channel>(corner >> 16 & 0xFF),
            static_cast<passes::Channel>(corner >> 8 & 0xFF), static_cast<passes::Channel>(corner & 0xFF)};
    }
    return p;
}

struct Images {
    passes::ConstPixelView source;
    std::vector<std::uint32_t> work;
    passes::PixelView to;

    explicit Images(std::int64_t picture)
        : source{Pixels(picture).data(), kWidth, kWidth, kHeight},
          work(static_cast<std::size_t>(kWidth) * kHeight, 1), to{work.data(), kWidth, kWidth, kHeight}
    {
    }
};

std::map<std::int64_t, double> g_plainSeconds, g_connectedSeconds; // per picture
std::map<std::int64_t, std::vector<std::uint32_t>> g_plainResults;

void BM_Plain(benchmark::State& state)
{
    const std::int64_t picture = state.range(0);
    const passes::PassParameters p = Parameters(picture);
    Images images(picture);
    g_plainSeconds[picture] = MeanSecondsOf(state, [&] {
        passes::RunPassCommand(
            passes::kSimpleRemoval, {images.source, images.to, {}}, kWidth, kHeight, p.key, p.tolerance, {});
    });
    g_plainResults[picture] = images.work;
}

void BM_Defringed(benchmark::State& state)
{
    const std::int64_t picture = state.range(0);
    const passes::PassParameters p = Parameters(picture);
    Images images(picture);
    std::size_t extraBytes = 0;
    const double seconds = MeanSecondsOf(state, [&] {
        passes::DefringedRemoval removal(kWidth, kHeight, p, kRadius);
        removal.run(images.source, images.to);
        extraBytes = removal.extraBytes();
    });
    if (const auto plain = g_plainSeconds.find(picture); plain != g_plainSeconds.end())
        state.counters["x_plain"] = seconds / plain->second;
    if (const auto plain = g_plainResults.find(picture); plain != g_plainResults.end()) {
        std::size_t changed = 0;
        for (std::size_t i = 0; i < images.work.size(); ++i) changed += images.work[i] != plain->second[i];
        state.counters["fringe_share"] = static_cast<double>(changed) / static_cast<double>(images.work.size());
    }
    state.counters["extra_bytes"] = static_cast<double>(extraBytes);
}

void Connected(benchmark::State& state, std::int32_t radius)
{
    const std::int64_t picture = state.range(0);
    const passes::PassParameters p = Parameters(picture);
    Images images(picture);
    passes::ConnectedRun run;
    const double seconds = MeanSecondsOf(state, [&] {
        run = passes::RunConnectedPassCommand(
            passes::kSimpleRemoval, images.source, images.to, p.key, p.tolerance, {}, {}, radius);
    });
    if (radius == 0)
        g_connectedSeconds[picture] = seconds;
    else if (const auto plain = g_connectedSeconds.find(picture); plain != g_connectedSeconds.end())
        state.counters["x_connected"] = seconds / plain->second;
    state.counters["extra_bytes"] = static_cast<double>(run.extraBytes);
}

void BM_Connected(benchmark::State& state) { Connected(state, 0); }
void BM_ConnectedDefringed(benchmark::State& state) { Connected(state, kRadius); }

} // namespace

BENCHMARK(BM_Plain)->ArgName("picture")->DenseRange(kLogo, kPhotoOwnKey)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_Defringed)
    ->ArgName("picture")
    ->DenseRange(kLogo, kPhotoOwnKey)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0);
BENCHMARK(BM_Connected)->ArgName("picture")->Arg(kLogo)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_ConnectedDefringed)->ArgName("picture")->Arg(kLogo)->Unit(benchmark::kMillisecond)->MinTime(1.0);

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv); // fonts for the logo's text
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
