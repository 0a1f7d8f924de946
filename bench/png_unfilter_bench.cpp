// PNG unfiltering on one core: 20 rows of the noisy photo, 6000 pixels wide
// (about the reader's 512 KB inflate batch, so the rows sit in the cache as
// they do there), every row filtered with one filter type, at 1 to 4 bytes a
// pixel; Paeth on 3- and 4-byte pixels once per instruction set the
// processor has, one row at a time and as the reader goes (two Paeth rows at
// once where the path can). Beside them, a plain copy of the same bytes, and
// as baselines the Paeth kernels these replaced: the plain byte loop and the
// SSE2 one that went a pixel per step in 16-bit lanes.
// Only the unfiltering is timed, in the thread's CPU time (the machine may be
// shared); the filtered rows are put back in between. "bytes_per_second"
// counts the rows' pixel bytes; "px/s" pixels, which become 4 ARGB bytes each.
#include "fixtures/bench_images.h"
#include "imaging/png/png_row_unfilter.h"
#include "imaging/png/png_unfilter_paeth.h"

#include <QGuiApplication>

#include <benchmark/benchmark.h>

#include <emmintrin.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <utility>
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
            const std::uint8_t argb[4] = {static_cast<std::uint8_t>(qRed(row[x])),
                static_cast<std::uint8_t>(qGreen(row[x])), static_cast<std::uint8_t>(qBlue(row[x])),
                static_cast<std::uint8_t>(qAlpha(row[x]))};
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

// ---- the baselines: the Paeth unfiltering before the vector kernels --------------

std::uint8_t PaethOf(int a, int b, int c) { return static_cast<std::uint8_t>(Predict(4, a, b, c)); }

void PaethPlainRow(std::uint8_t* row, const std::uint8_t* prior, std::size_t n, std::size_t bpp)
{
    for (std::size_t i = 0; i < bpp && i < n; ++i) row[i] = static_cast<std::uint8_t>(row[i] + prior[i]);
    for (std::size_t i = bpp; i < n; ++i)
        row[i] = static_cast<std::uint8_t>(row[i] + PaethOf(row[i - bpp], prior[i], prior[i - bpp]));
}

__m128i Abs16(__m128i x) { return _mm_max_epi16(x, _mm_sub_epi16(_mm_setzero_si128(), x)); }
__m128i Select16(__m128i mask, __m128i yes, __m128i no)
{
    return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
}

template <int bpp>
void PaethPerPixelSse2Row(std::uint8_t* row, const std::uint8_t* prior, std::size_t n)
{
    const auto load = [](const std::uint8_t* p) {
        std::uint32_t v = 0;
        std::memcpy(&v, p, bpp);
        return _mm_cvtsi32_si128(static_cast<int>(v));
    };
    const __m128i zero = _mm_setzero_si128();
    __m128i a = zero, c = zero; // left and upper-left, as 16-bit lanes
    for (std::size_t i = 0; i + bpp <= n; i += bpp) {
        const __m128i b = _mm_unpacklo_epi8(load(prior + i), zero);
        const __m128i p = _mm_sub_epi16(b, c), q = _mm_sub_epi16(a, c);
        const __m128i pa = Abs16(p), pb = Abs16(q), pc = Abs16(_mm_add_epi16(p, q));
        const __m128i smallest = _mm_min_epi16(pc, _mm_min_epi16(pa, pb));
        __m128i predictor = Select16(_mm_cmpeq_epi16(smallest, pb), b, c);
        predictor = Select16(_mm_cmpeq_epi16(smallest, pa), a, predictor);
        const __m128i x = _mm_add_epi8(load(row + i), _mm_packus_epi16(predictor, predictor));
        const auto bits = static_cast<std::uint32_t>(_mm_cvtsi128_si32(x));
        std::memcpy(row + i, &bits, bpp);
        a = _mm_unpacklo_epi8(x, zero);
        c = b;
    }
}

enum class Baseline { None, Plain, PerPixelSse2 };

double ThreadSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

void Report(benchmark::State& state, int bpp)
{
    state.SetBytesProcessed(
        static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(kRows * kWidth) * bpp);
    state.counters["px/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kRows * kWidth, benchmark::Counter::kIsRate);
}

// Unfilters the batch the way the reader does; `pairs`: two Paeth rows at
// once where it can; `baseline`: Paeth rows by an old kernel instead.
void Unfilter(std::uint8_t* rows, int bpp, bool pairs, Baseline baseline)
{
    const std::size_t rowBytes = kWidth * static_cast<std::size_t>(bpp), stride = rowBytes + 1;
    std::vector<std::uint8_t> zeros(rowBytes, 0);
    for (std::size_t y = 0; y < kRows; ++y) {
        std::uint8_t* row = rows + y * stride;
        const std::uint8_t* above = y > 0 ? row - stride + 1 : zeros.data();
        if (baseline == Baseline::Plain && row[0] == 4)
            PaethPlainRow(row + 1, above, rowBytes, static_cast<std::size_t>(bpp));
        else if (baseline == Baseline::PerPixelSse2 && row[0] == 4)
            bpp == 3 ? PaethPerPixelSse2Row<3>(row + 1, above, rowBytes)
                     : PaethPerPixelSse2Row<4>(row + 1, above, rowBytes);
        else if (pairs && y + 1 < kRows && UnfilterPaethPair(row, row + stride, above, rowBytes, bpp))
            ++y;
        else if (!UnfilterRow(row[0], row + 1, above, rowBytes, bpp))
            std::abort();
    }
}

void BM_Unfilter(benchmark::State& state, int type, int bpp, PaethPath path, bool pairs, Baseline baseline)
{
    if (!ForcePaethPathForTesting(path)) {
        state.SkipWithError("this processor lacks the path");
        return;
    }
    const std::vector<std::uint8_t> filtered = Filtered(type, bpp);
    std::vector<std::uint8_t> work = filtered;
    Unfilter(work.data(), bpp, pairs, baseline);
    for (std::size_t y = 0; y < kRows; ++y)
        if (std::memcmp(
                work.data() + y * (work.size() / kRows) + 1, Pixels(bpp).data() + y * kWidth * bpp, kWidth * bpp)
            != 0) {
            state.SkipWithError("unfiltered rows differ from the pixels");
            return;
        }
    for (auto _ : state) {
        std::memcpy(work.data(), filtered.data(), filtered.size());
        const double start = ThreadSeconds();
        Unfilter(work.data(), bpp, pairs, baseline);
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
                BestPaethPath(), true, Baseline::None)
                ->UseManualTime();
        if (bpp >= 3) {
            for (const auto& [baseline, name] :
                {std::pair{Baseline::Plain, "plain"}, std::pair{Baseline::PerPixelSse2, "before"}})
                benchmark::RegisterBenchmark(("Unfilter/" + pixel + "/paeth/" + name).c_str(), BM_Unfilter, 4, bpp,
                    PaethPath::Sse2, false, baseline)
                    ->UseManualTime();
            for (const PaethPath path : kPaethPaths)
                for (const bool pairs : {false, true}) {
                    if (pairs && path != PaethPath::Avx2) continue; // the others take pairs one row at a time
                    const std::string name =
                        "Unfilter/" + pixel + "/paeth/" + PaethPathName(path) + (pairs ? "/pairs" : "/rows");
                    benchmark::RegisterBenchmark(name.c_str(), BM_Unfilter, 4, bpp, path, pairs, Baseline::None)
                        ->UseManualTime();
                }
        }
        benchmark::RegisterBenchmark(("CopyOfTheSameBytes/" + pixel).c_str(), BM_CopyOfTheSameBytes, bpp)
            ->UseManualTime();
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
