#include "huffman_lengths.h"

#include <algorithm>

namespace imaging::deflate {
namespace {

constexpr int kMostSymbols = 288;
constexpr int kMostBits = 15;

struct Leaf {
    std::uint32_t frequency;
    std::uint16_t symbol;
};

// Depths of the leaves (sorted by rising frequency, at least two) in a
// Huffman tree: the two-queue method, since sorted leaves need no heap.
void TreeDepths(const Leaf* leaves, int count, int* depths)
{
    // Nodes 0..count-1 are the leaves, then the merged nodes in the order
    // they were made, which is also rising frequency.
    std::uint64_t weight[2 * kMostSymbols];
    int parent[2 * kMostSymbols];
    for (int i = 0; i < count; ++i) weight[i] = leaves[i].frequency;
    int nextLeaf = 0, nextMerged = count, made = count;
    const auto takeSmallest = [&] {
        if (nextLeaf < count && (nextMerged == made || weight[nextLeaf] <= weight[nextMerged])) return nextLeaf++;
        return nextMerged++;
    };
    while (made < 2 * count - 1) {
        const int a = takeSmallest(), b = takeSmallest();
        weight[made] = weight[a] + weight[b];
        parent[a] = parent[b] = made;
        ++made;
    }
    int depth[2 * kMostSymbols];
    depth[made - 1] = 0;
    for (int node = made - 2; node >= 0; --node) depth[node] = depth[parent[node]] + 1;
    std::copy(depth, depth + count, depths);
}

} // namespace

void BuildHuffmanLengths(const std::uint32_t* frequencies, int count, int maxBits, std::uint8_t* lengths)
{
    std::fill(lengths, lengths + count, 0);
    Leaf leaves[kMostSymbols];
    int used = 0;
    for (int s = 0; s < count; ++s)
        if (frequencies[s]) leaves[used++] = {frequencies[s], static_cast<std::uint16_t>(s)};
    // Too few symbols for a tree: give unused ones a code, never used.
    for (int s = 0; used < 2; ++s)
        if (!frequencies[s]) leaves[used++] = {0, static_cast<std::uint16_t>(s)};
    std::stable_sort(leaves, leaves + used, [](const Leaf& a, const Leaf& b) { return a.frequency < b.frequency; });

    int depths[kMostSymbols];
    TreeDepths(leaves, used, depths);
    // Codes per length, the deepest folded into maxBits; then codes moved
    // down from the deepest level and one shorter code split in two, until
    // the lengths again fill the code space exactly (Kraft's sum 1).
    int perLength[kMostBits + 1] = {};
    for (int i = 0; i < used; ++i) ++perLength[std::min(depths[i], maxBits)];
    std::uint32_t kraft = 0; // in units of 2^-maxBits
    for (int len = 1; len <= maxBits; ++len) kraft += static_cast<std::uint32_t>(perLength[len]) << (maxBits - len);
    while (kraft > (1u << maxBits)) {
        --perLength[maxBits];
        for (int len = maxBits - 1; len > 0; --len)
            if (perLength[len]) {
                --perLength[len];
                perLength[len + 1] += 2;
                break;
            }
        --kraft;
    }
    // The rarest symbols get the longest codes.
    int leaf = 0;
    for (int len = maxBits; len > 0; --len)
        for (int k = 0; k < perLength[len]; ++k) lengths[leaves[leaf++].symbol] = static_cast<std::uint8_t>(len);
}

void BuildHuffmanCodes(const std::uint8_t* lengths, int count, std::uint16_t* codes)
{
    int perLength[kMostBits + 1] = {};
    for (int s = 0; s < count; ++s) ++perLength[lengths[s]];
    perLength[0] = 0;
    int next[kMostBits + 2] = {};
    for (int len = 1; len <= kMostBits; ++len) next[len + 1] = (next[len] + perLength[len]) << 1;
    for (int s = 0; s < count; ++s) {
        const int len = lengths[s];
        if (!len) {
            codes[s] = 0;
            continue;
        }
        const int code = next[len]++;
        int reversed = 0;
        for (int bit = 0; bit < len; ++bit) reversed |= ((code >> bit) & 1) << (len - 1 - bit);
        codes[s] = static_cast<std::uint16_t>(reversed);
    }
}

} // namespace imaging::deflate
