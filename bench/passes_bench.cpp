// Speed of the three pass kernels on a 24-megapixel image in memory, against
// copying the same pixels into an already-allocated buffer. Each pass reports
// "x_copy": its time per image over the copy's, measured in the same run.
#include "mean_seconds.h"

#include "passes/pass_command.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr std::int32_t kWidth = 6000, kHeight = 4000; // 24 megapixels
const passes::ArgbChannels kKey{255, 128, 128, 128};
constexpr std::int32_t kTolerance = 30;

// No pixel within the tolerance of the key, or every pixel within it (but not
// equal to it, so un-blending has real work to do).
std::vector<std::uint32_t> MakeImage(bool allKeyColored)
{
    std::mt19937 random(42);
    std::uniform_int_distribution<int> offset(1, kTolerance - 1), far(0, 90);
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(kWidth) * kHeight);
    for (auto& p : pixels) {
        auto channel = [&](int key) {
            return allKeyColored ? key + (random() & 1 ? 1 : -1) * offset(random) : far(random);
        };
        p = 0xFF000000u | static_cast<std::uint32_t>(channel(kKey.R)) << 16
            | static_cast<std::uint32_t>(channel(kKey.G)) << 8 | static_cast<std::uint32_t>(channel(kKey.B));
    }
    return pixels;
}

const std::vector<std::uint32_t>& Image(bool allKeyColored)
{
    static const std::vector<std::uint32_t> none = MakeImage(false), all = MakeImage(true);
    return allKeyColored ? all : none;
}

double g_copySeconds = 0; // per image, from the copy benchmark

void BM_Copy(benchmark::State& state)
{
    const auto& source = Image(false);
    std::vector<std::uint32_t> target(source.size(), 1);
    g_copySeconds =
        MeanSecondsOf(state, [&] { std::memcpy(target.data(), source.data(), source.size() * sizeof(std::uint32_t)); });
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(source.size() * 4));
}

void BM_Pass(benchmark::State& state)
{
    const auto command = static_cast<std::int32_t>(state.range(0));
    const bool allKeyColored = state.range(1) != 0;
    // Above 64 the alpha-restoring pass keeps its results in a shared cache
    // instead of one slot per difference triple.
    const std::int32_t tolerance = state.range(2);
    const auto& source = Image(allKeyColored);
    std::vector<std::uint32_t> work(source.size(), 1);
    const passes::PixelView target{work.data(), kWidth, kWidth, kHeight};
    const passes::PassImages images{{source.data(), kWidth, kWidth, kHeight}, target, {}};
    const passes::ArgbChannels replacement{255, 10, 200, 30};
    const double seconds = MeanSecondsOf(
        state, [&] { passes::RunPassCommand(command, images, kWidth, kHeight, kKey, tolerance, replacement); });
    if (g_copySeconds > 0) state.counters["x_copy"] = seconds / g_copySeconds;
    state.SetLabel(allKeyColored ? "all key-colored" : "no key-colored");
}

BENCHMARK(BM_Copy)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_Pass)
    ->ArgNames({"pass", "all_key", "tolerance"})
    ->ArgsProduct(
        {{passes::kSimpleRemoval, passes::kAlphaRestoringRemoval, passes::kColorReplacement}, {0, 1}, {kTolerance}})
    ->Args({passes::kAlphaRestoringRemoval, 1, 100})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0);

} // namespace

BENCHMARK_MAIN();
