#pragma once
// Code lengths of a length-limited Huffman code, as a deflate block header
// sends them; the codes themselves follow from the lengths (canonical codes).

#include <cstdint>

namespace imaging::deflate {

// Lengths (at most `maxBits`) for `count` symbols of the given frequencies:
// 0 for symbols never used, shorter for the more frequent. The code is
// always complete, so every inflater takes it: with fewer than two symbols
// used, one or two unused ones get a code too (deflate wants at least one
// distance code, and zlib two codes of every tree). `count` is at most 288;
// 2^maxBits must exceed it.
void BuildHuffmanLengths(const std::uint32_t* frequencies, int count, int maxBits, std::uint8_t* lengths);

// The canonical codes of `lengths`, bit-reversed: deflate sends a code's
// first bit first, and the writer puts bits least significant first.
void BuildHuffmanCodes(const std::uint8_t* lengths, int count, std::uint16_t* codes);

} // namespace imaging::deflate
