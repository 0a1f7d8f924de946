// The run-length deflate encoder and its Huffman codes: every stream
// inflates, by zlib and by ISA-L, to exactly its input, alone and joined to
// the next band's; a removed background comes out far smaller than ISA-L's
// stream, noise hardly larger than itself; and the code lengths are optimal
// where no limit binds, complete and within the limit where it does.
#include "raw_inflaters.h"

#include "imaging/deflate/band_deflater.h"
#include "imaging/deflate/huffman_lengths.h"
#include "imaging/deflate/run_deflater.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <queue>
#include <random>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using testsupport::InflateWithIsal;
using testsupport::InflateWithZlib;

// Samples of what bands hold: nothing, single bytes, noise, an empty area,
// runs of every length between literals, a removed background around noisy
// patches, short runs, and a gradient's residues (a pixel repeated), at
// sizes that split into several blocks.
std::vector<Bytes> Samples()
{
    std::mt19937 random(11);
    std::vector<Bytes> samples = {{}, {0}, {7}, {0, 0, 0, 0}, {5, 5, 5, 5, 5, 6}};
    Bytes noise(200000);
    for (auto& byte : noise) byte = static_cast<std::uint8_t>(random());
    samples.push_back(noise);
    samples.push_back(Bytes(300000, 0));
    Bytes runs;
    for (std::size_t length = 1; length < 700; ++length) {
        runs.insert(runs.end(), length, static_cast<std::uint8_t>(random() % 3 ? 0 : random()));
        runs.push_back(static_cast<std::uint8_t>(random()));
    }
    samples.push_back(runs);
    Bytes background(400000, 0);
    for (std::size_t at = 0; at + 40 < background.size(); at += 1201)
        for (std::size_t k = 0; k < 40; ++k) background[at + k] = static_cast<std::uint8_t>(random() % 5);
    samples.push_back(background);
    // More symbols than one block holds: short runs all along.
    Bytes shortRuns(500000);
    for (std::size_t i = 0; i < shortRuns.size(); ++i)
        shortRuns[i] = static_cast<std::uint8_t>(i / 4 % 2 ? 0 : random());
    samples.push_back(shortRuns);
    // Residues repeating pixel by pixel, a new pixel every 300 bytes.
    Bytes pixels(300000);
    for (std::size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = i % 300 < 4 ? static_cast<std::uint8_t>(random()) : pixels[i - 4];
    samples.push_back(pixels);
    return samples;
}

TEST(RunDeflater, StreamsInflateToTheirInputAloneAndJoined)
{
    const std::vector<Bytes> samples = Samples();
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const Bytes& first = samples[i];
        const Bytes& second = samples[(i + 3) % samples.size()];
        SCOPED_TRACE(testing::Message() << "sample " << i << " of " << first.size() << " bytes");
        imaging::deflate::RunDeflater deflater;
        Bytes alone = {0xAB}; // appended after what the caller has
        deflater.compress(first.data(), first.size(), true, alone);
        ASSERT_EQ(alone[0], 0xAB);
        alone.erase(alone.begin());
        EXPECT_EQ(InflateWithZlib(alone, first.size()), first);
        EXPECT_EQ(InflateWithIsal(alone, first.size()), first);

        Bytes joined;
        deflater.compress(first.data(), first.size(), false, joined);
        deflater.compress(second.data(), second.size(), true, joined);
        Bytes expected = first;
        expected.insert(expected.end(), second.begin(), second.end());
        EXPECT_EQ(InflateWithZlib(joined, expected.size()), expected);
        EXPECT_EQ(InflateWithIsal(joined, expected.size()), expected);

        // Never much more than the data stored as it is.
        EXPECT_LE(alone.size(), first.size() + first.size() / 1000 + 8);
    }
    // A removed background: two thirds of ISA-L's level 1 at most. An empty
    // area: close to deflate's limit of 258 bytes a match. A repeated pixel:
    // matched as one.
    const Bytes& background = samples[8];
    Bytes runs, fast;
    imaging::deflate::RunDeflater().compress(background.data(), background.size(), true, runs);
    ASSERT_TRUE(imaging::deflate::BandDeflater(imaging::deflate::DeflateBackend::Fast)
                    .compress(background.data(), background.size(), true, fast));
    EXPECT_LT(runs.size() * 3, fast.size() * 2);
    Bytes empty;
    imaging::deflate::RunDeflater().compress(samples[6].data(), samples[6].size(), true, empty);
    EXPECT_LT(empty.size(), samples[6].size() / 900);
    Bytes pixels;
    imaging::deflate::RunDeflater().compress(samples[10].data(), samples[10].size(), true, pixels);
    EXPECT_LT(pixels.size(), samples[10].size() / 40);
}

// The cost in bits of an optimal (unlimited) Huffman code.
std::uint64_t OptimalCost(const std::vector<std::uint32_t>& frequencies)
{
    std::priority_queue<std::uint64_t, std::vector<std::uint64_t>, std::greater<>> queue;
    for (const std::uint32_t f : frequencies)
        if (f) queue.push(f);
    std::uint64_t cost = 0;
    while (queue.size() > 1) {
        const std::uint64_t a = queue.top();
        queue.pop();
        const std::uint64_t b = queue.top();
        queue.pop();
        cost += a + b;
        queue.push(a + b);
    }
    return cost;
}

TEST(HuffmanLengths, OptimalUnlimitedCompleteAndWithinTheLimit)
{
    std::mt19937 random(3);
    std::vector<std::vector<std::uint32_t>> sets = {
        std::vector<std::uint32_t>(30, 0), {0, 0, 9, 0}, {4, 1}, std::vector<std::uint32_t>(19, 1)};
    std::vector<std::uint32_t> fibonacci(40, 0);
    fibonacci[0] = fibonacci[1] = 1; // a tree 39 levels deep without the limit
    for (std::size_t i = 2; i < fibonacci.size(); ++i) fibonacci[i] = fibonacci[i - 1] + fibonacci[i - 2];
    sets.push_back(fibonacci);
    for (int k = 0; k < 50; ++k) {
        std::vector<std::uint32_t> set(k % 2 ? 286 : 19);
        for (auto& f : set) f = random() % 4 ? static_cast<std::uint32_t>(random() % (1u << (random() % 20))) : 0;
        sets.push_back(set);
    }
    for (const auto& frequencies : sets)
        for (const int maxBits : {7, 15}) {
            if (frequencies.size() > 100 && maxBits == 7) continue;
            const int count = static_cast<int>(frequencies.size());
            std::vector<std::uint8_t> lengths(frequencies.size());
            imaging::deflate::BuildHuffmanLengths(frequencies.data(), count, maxBits, lengths.data());
            const int used = static_cast<int>(
                std::count_if(frequencies.begin(), frequencies.end(), [](std::uint32_t f) { return f != 0; }));
            std::uint64_t kraft = 0, cost = 0;
            int coded = 0;
            bool limited = false;
            for (int s = 0; s < count; ++s) {
                ASSERT_LE(lengths[s], maxBits);
                if (frequencies[s]) {
                    ASSERT_GT(lengths[s], 0) << "symbol " << s;
                }
                if (lengths[s]) {
                    kraft += std::uint64_t{1} << (maxBits - lengths[s]);
                    ++coded;
                }
                cost += std::uint64_t{frequencies[s]} * lengths[s];
                for (int t = 0; t < count; ++t)
                    if (frequencies[s] > frequencies[t] && frequencies[t]) {
                        ASSERT_LE(lengths[s], lengths[t]);
                    }
            }
            EXPECT_EQ(kraft, std::uint64_t{1} << maxBits) << "the code is complete";
            EXPECT_EQ(coded, std::max(used, 2));
            const std::uint64_t optimal = OptimalCost(frequencies);
            for (int s = 0; s < count; ++s) limited |= frequencies[s] && lengths[s] == maxBits;
            if (limited) {
                EXPECT_GE(cost, optimal);
            } else if (used >= 2) {
                EXPECT_EQ(cost, optimal);
            }
        }
}

} // namespace
