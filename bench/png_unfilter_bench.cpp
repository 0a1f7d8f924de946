// PNG unfiltering on one core: 20 rows of the noisy photo, 6000 pixels wide
// (about the reader's 512 KB inflate batch, so the rows sit in the cache as
// they do there), every row filtered with one filter type, at 1 to 4 bytes a
// pixel; Paeth on 3- and 4-byte pixels once per instruction set the
// processor has, one row at a time and as the reader goes (two Paeth rows at
// once where the path can). Beside them, a plain copy of the same bytes.
// Only the unfiltering is timed, in the thread's CPU time (the machine may be
// shared); the filtered rows are put back in between. "bytes_per_second"
// counts the rows' pixel bytes; "px/s" pixels, which become 4 ARGB bytes each.
#include "fixtures/bench_images.h"
#include "imaging/png/png_row_unfilter.h"
#include "imaging/png/png_unfilter_paeth.h"

#include <QGuiApplication>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <time.h>

namespace {

using namespace imaging::png;

constexpr std::size_t kWidth = 6000, kRows = 20;

// The photo's pixels as grey (1), grey and alpha (2), RGB (3) or RGBA (4) bytes.
const std::vector<std::uint8_t>& Pixels(int bpp)
{
    static std::map<int, std::vector<std::uint8_t>> made;
    std::vector<std::uint8_t>& bytes = made[bpp];
    if (!bytes.empty()) return bytes;
    const QImage photo = fixtures::NoisyPhoto(kWidth, kRows);
    for (std::size_t y = 0; y < kRows; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(photo.constScanLine(static_cast<int>(y)));
        for (std::size_t x = 0; x < kWidth; ++x) {
            const std::uint8_t argb[4] = {static_cast<std::uint8_t>(qRed(row[x])), static_cast<std::uint8_t>(qGreen(row[x])),
                                          static_cast<std::uint8_t>(qBlue(row[x])), static_cast<std::uint8_t>(qAlpha(row[x]))};
            if (bpp == 1 || bpp == 2) bytes.push_back(argb[1]);
            if (bpp == 2) bytes.push_back(argb[3]);
            if (bpp >= 3) bytes.insert(bytes.end(), argb, argb + bpp);
        }
    }
    return bytes;
}

int Predict(int type, int a, int b, int c)
{
    switch (type) {
    case 1: return a;
    case 2: return b;
    case 3: return (a + b) / 2;
    case 4: {
        const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
        return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
    }
    default: return 0;
    }
}

// Rows as the inflater leaves them: a filter-type byte, then the filtered bytes.
std::vector<std::uint8_t> Filtered(int type, int bpp)
{
    const std::vector<std::uint8_t>& pixels = Pixels(bpp);
    const std::size_t rowBytes = kWidth * static_cast<std::size_t>(bpp), b = static_cast<std::size_t>(bpp);
    std::vector<std::uint8_t> out;
    for (std::size_t y = 0; y < kRows; ++y) {
        const std::uint8_t* row = pixels.data() + y * rowBytes;
        const std::uint8_t* above = y > 0 ? row - rowBytes : nullptr;
        out.push_back(static_cast<std::uint8_t>(type));
        for (std::size_t i = 0; i < rowBytes; ++i) {
            const int a = i >= b ? row[i - b] : 0, up = above ? above[i] : 0, c = above && i >= b ? above[i - b] : 0;
            out.push_back(static_cast<std::uint8_t>(row[i] - Predict(type, a, up, c)));
        }
    }
    return out;
}

double ThreadSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

void Report(benchmark::State& state, int bpp)
{
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(kRows * kWidth) * bpp);
    state.counters["px/s"] = benchmark::Counter(static_cast<double>(state.iterations()) * kRows * kWidth,
                                                benchmark::Counter::kIsRate);
}

// Unfilters the batch the way the reader does; `pairs`: two Paeth rows at once where it can.
void Unfilter(std::uint8_t* rows, int bpp, bool pairs)
{
    const std::size_t rowBytes = kWidth * static_cast<std::size_t>(bpp), stride = rowBytes + 1;
    std::vector<std::uint8_t> zeros(rowBytes, 0);
    for (std::size_t y = 0; y < kRows; ++y) {
        std::uint8_t* row = rows + y * stride;
        const std::uint8_t* above = y > 0 ? row - stride + 1 : zeros.data();
        if (pairs && y + 1 < kRows && UnfilterPaethPair(row, row + stride, above, rowBytes, bpp))
            ++y;
        else if (!UnfilterRow(row[0], row + 1, above, rowBytes, bpp))
            std::abort();
    }
}

void BM_Unfilter(benchmark::State& state, int type, int bpp, PaethPath path, bool pairs)
{
    if (!ForcePaethPathForTesting(path)) {
        state.SkipWithError("this processor lacks the path");
        return;
    }
    const std::vector<std::uint8_t> filtered = Filtered(type, bpp);
    std::vector<std::uint8_t> work = filtered;
    Unfilter(work.data(), bpp, pairs);
    for (std::size_t y = 0; y < kRows; ++y)
        if (std::memcmp(work.data() + y * (work.size() / kRows) + 1, Pixels(bpp).data() + y * kWidth * bpp, kWidth * bpp) != 0) {
            state.SkipWithError("unfiltered rows differ from the pixels");
            return;
        }
    for (auto _ : state) {
        std::memcpy(work.data(), filtered.data(), filtered.size());
        const double start = ThreadSeconds();
        Unfilter(work.data(), bpp, pairs);
        benchmark::ClobberMemory();
        state.SetIterationTime(ThreadSeconds() - start);
    }
    Report(state, bpp);
    ForcePaethPathForTesting(BestPaethPath());
}

void BM_CopyOfTheSameBytes(benchmark::State& state, int bpp)
{
    const std::vector<std::uint8_t>& from = Pixels(bpp);
    std::vector<std::uint8_t> to(from.size(), 1);
    for (auto _ : state) {
        const double start = ThreadSeconds();
        std::memcpy(to.data(), from.data(), from.size());
        benchmark::ClobberMemory();
        state.SetIterationTime(ThreadSeconds() - start);
    }
    Report(state, bpp);
}

void Register()
{
    const char* names[] = {"none", "sub", "up", "average", "paeth"};
    for (const int bpp : {1, 2, 3, 4}) {
        const std::string pixel = std::to_string(bpp) + "B";
        for (int type = 1; type <= (bpp >= 3 ? 3 : 4); ++type) // None does nothing
            benchmark::RegisterBenchmark(("Unfilter/" + pixel + "/" + names[type]).c_str(), BM_Unfilter, type, bpp,
                                         BestPaethPath(), true)
                ->UseManualTime();
        if (bpp >= 3)
            for (const PaethPath path : kPaethPaths)
                for (const bool pairs : {false, true}) {
                    if (pairs && path != PaethPath::Avx2) continue; // the others take pairs one row at a time
                    const std::string name = "Unfilter/" + pixel + "/paeth/" + PaethPathName(path) + (pairs ? "/pairs" : "/rows");
                    benchmark::RegisterBenchmark(name.c_str(), BM_Unfilter, 4, bpp, path, pairs)->UseManualTime();
                }
        benchmark::RegisterBenchmark(("CopyOfTheSameBytes/" + pixel).c_str(), BM_CopyOfTheSameBytes, bpp)->UseManualTime();
    }
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv); // the fixtures draw with Qt
    Register();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
