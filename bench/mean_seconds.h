#pragma once
// Wall time of a benchmark's body, for ratios between the benchmarks of one run.

#include <benchmark/benchmark.h>

#include <chrono>

// Runs `body` once per iteration; returns its mean time in seconds.
template <class Body>
double MeanSecondsOf(benchmark::State& state, Body&& body)
{
    double total = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        body();
        benchmark::ClobberMemory();
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    return state.iterations() > 0 ? total / static_cast<double>(state.iterations()) : 0;
}
