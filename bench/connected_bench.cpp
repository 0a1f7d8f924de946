// The connected variant of each pass against the whole-image pass, on a
// 24-megapixel logo-like image in memory: a near-white background (a little
// noise) with dark lettering whose counters (the holes of o, a, e) are white
// too, soft edges between them, and blobs touching every border. Goals: the
// connected variant at most 3x the global pass ("x_global"), and at most one
// byte per pixel of extra memory ("extra_bytes_per_pixel": the mask and the
// fill's spans).
//
//   scripts/build build -DCMAKE_BUILD_TYPE=Release -DCHROMOBRISK_BUILD_BENCH=ON
//   build/bench/connected_bench
//
// On a 2-core AMD EPYC (AVX2), logo: simple 6.4 ms whole, 16.8 ms connected
// (2.6x); alpha 17.9 / 29.9 ms (1.7x); replace 7.8 / 18.7 ms (2.4x); extra
// memory 0.125 byte per pixel (the one mask; the stack stays small).
// Speckled: 0.65 byte per pixel, but 17x to 43x the whole pass, since
// millions of three-pixel runs each cost a fill step and a kernel call.
#include "mean_seconds.h"

#include "passes/connected_pass_command.h"
#include "passes/pass_command.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>
#include <utility>
#include <vector>

namespace {

constexpr std::int32_t kWidth = 6000, kHeight = 4000; // 24 megapixels
const passes::ArgbChannels kWhite{255, 255, 255, 255};
const passes::ArgbChannels kReplacement{255, 10, 200, 30};
constexpr std::int32_t kTolerance = 30;

std::uint32_t Blend(std::uint32_t ink, std::uint32_t paper, double coverage)
{
    std::uint32_t out = 0xFF000000u;
    for (int shift = 0; shift < 24; shift += 8) {
        const double a = (ink >> shift) & 0xFF, b = (paper >> shift) & 0xFF;
        out |= static_cast<std::uint32_t>(std::lround(a * coverage + b * (1 - coverage))) << shift;
    }
    return out;
}

// Rings ("o" letters: a white counter inside dark ink), bars and discs on
// the border, each with a one-pixel soft edge.
std::vector<std::uint32_t> MakeLogo()
{
    std::mt19937 random(7);
    std::uniform_int_distribution<int> noise(0, 4);
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(kWidth) * kHeight);
    for (auto& p : pixels) {
        const int n = noise(random);
        p = 0xFF000000u | static_cast<std::uint32_t>(255 - n) * 0x010101u;
    }
    auto ring = [&](double cx, double cy, double outer, double inner, std::uint32_t ink) {
        for (int y = std::max(0, int(cy - outer - 2)); y < std::min(kHeight, int(cy + outer + 2)); ++y)
            for (int x = std::max(0, int(cx - outer - 2)); x < std::min(kWidth, int(cx + outer + 2)); ++x) {
                const double d = std::hypot(x - cx, y - cy);
                const double coverage = std::clamp(std::min(outer - d, d - inner) + 0.5, 0.0, 1.0);
                auto& p = pixels[static_cast<std::size_t>(y) * kWidth + x];
                if (coverage > 0) p = Blend(ink, p, coverage);
            }
    };
    // A line of lettering across the middle, and smaller lines above and below.
    const std::uint32_t inks[] = {0xFF1A2B6C, 0xFFC0392B, 0xFF202020};
    for (int line = 0; line < 3; ++line) {
        const double radius = line == 1 ? 300 : 120, y = kHeight * (line + 1) / 4.0;
        for (double x = radius + 200; x + radius + 200 < kWidth; x += radius * 2.4)
            ring(x, y, radius, radius * 0.55, inks[line]);
    }
    // Shapes cut by each border: the background does not reach all of them from one side.
    ring(0, kHeight / 2.0, 400, 0, inks[0]);
    ring(kWidth, kHeight / 3.0, 350, 150, inks[1]);
    ring(kWidth / 3.0, 0, 250, 0, inks[2]);
    ring(kWidth * 2 / 3.0, kHeight, 300, 120, inks[0]);
    return pixels;
}

// Not a goal, a bound: white and dark pixels at random, two thirds white,
// so the region is a maze of short runs and the fill's stack is at its worst.
std::vector<std::uint32_t> MakeSpeckles()
{
    std::mt19937 random(11);
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(kWidth) * kHeight);
    for (auto& p : pixels) p = random() % 3 ? 0xFFFFFFFFu : 0xFF202020u;
    return pixels;
}

const std::vector<std::uint32_t>& Image(bool speckled)
{
    static const std::vector<std::uint32_t> logo = MakeLogo(), speckles = MakeSpeckles();
    return speckled ? speckles : logo;
}

std::map<std::pair<std::int64_t, std::int64_t>, double> g_globalSeconds; // per image, by pass and image

void BM_Global(benchmark::State& state)
{
    const auto command = static_cast<std::int32_t>(state.range(0));
    const auto& source = Image(state.range(1) != 0);
    std::vector<std::uint32_t> work(source.size(), 1);
    const passes::PassImages images{
        {source.data(), kWidth, kWidth, kHeight}, passes::PixelView{work.data(), kWidth, kWidth, kHeight}, {}};
    g_globalSeconds[{command, state.range(1)}] = MeanSecondsOf(
        state, [&] { passes::RunPassCommand(command, images, kWidth, kHeight, kWhite, kTolerance, kReplacement); });
}

void BM_Connected(benchmark::State& state)
{
    const auto command = static_cast<std::int32_t>(state.range(0));
    const auto& source = Image(state.range(1) != 0);
    std::vector<std::uint32_t> work(source.size(), 1);
    const passes::ConstPixelView from{source.data(), kWidth, kWidth, kHeight};
    const passes::PixelView to{work.data(), kWidth, kWidth, kHeight};
    passes::ConnectedRun run;
    const double seconds = MeanSecondsOf(
        state, [&] { run = passes::RunConnectedPassCommand(command, from, to, kWhite, kTolerance, kReplacement); });
    const double pixels = static_cast<double>(source.size());
    if (const auto global = g_globalSeconds.find({command, state.range(1)}); global != g_globalSeconds.end())
        state.counters["x_global"] = seconds / global->second;
    state.counters["extra_bytes_per_pixel"] = static_cast<double>(run.extraBytes) / pixels;
    state.counters["region_share"] = static_cast<double>(run.regionPixels) / pixels;
}

const std::vector<std::int64_t> kPasses = {
    passes::kSimpleRemoval, passes::kAlphaRestoringRemoval, passes::kColorReplacement};

} // namespace

BENCHMARK(BM_Global)
    ->ArgNames({"pass", "speckled"})
    ->ArgsProduct({kPasses, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0);
BENCHMARK(BM_Connected)
    ->ArgNames({"pass", "speckled"})
    ->ArgsProduct({kPasses, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0);

BENCHMARK_MAIN();
