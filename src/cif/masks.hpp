// CIF text 64 bytes at a time, as bit masks (bit i stands for byte i of the
// chunk): what counting a loop's values and reading them need to know of
// each byte. The kernel that computes them is the processor's best, chosen
// once: SSE2, which every x86-64 processor has, or AVX2 where the processor
// has it; byte by byte elsewhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace cif {

// A chunk is 64 bytes of text; masks and runs go a chunk at a time.
inline constexpr std::ptrdiff_t chunk_size = 64;

struct ChunkMasks {
  std::uint64_t blank = 0;      // space, tab, line feed, carriage return
  std::uint64_t attention = 0;  // quotes, comments, semicolons, underscores,
                                // $ and bytes CIF allows only in quotes
};

// How far a run of plain chunks went: where it stopped, the values that
// begin in it, and whether the byte before `at` is part of a value.
struct PlainRun {
  const char* at;
  std::uint64_t values;
  bool inside;
};

struct Kernel {
  const char* name;
  // The masks of the chunk at `chunk`. The attention mask is all 0 when no
  // byte needs a closer look, and exact otherwise.
  ChunkMasks (*masks)(const char* chunk);
  // Counts the values that begin in the chunks from `at` on, as long as no
  // byte of a chunk needs a closer look, and not past `limit`. `inside`:
  // whether the byte before `at` is part of a value. The run stops before
  // the first chunk with such a byte, or at the last whole chunk before
  // `limit`.
  PlainRun (*plain_run)(const char* at, const char* limit, bool inside);
};

// The kernel of this processor, chosen the first time it is asked for.
const Kernel& kernel();
// Every kernel this processor can run, the byte-by-byte rule first, for the
// tests that hold the others to it.
std::span<const Kernel> kernels();

// The values that begin in a chunk: where a blank, or the text before the
// chunk when `inside` is false, ends.
constexpr std::uint64_t starts_of(std::uint64_t blank, bool inside) {
  const std::uint64_t word = ~blank;
  return word & ~((word << 1) | static_cast<std::uint64_t>(inside));
}

// The number of bits set, without the processor's own instruction, which
// the baseline of x86-64 lacks (GCC calls a library function for
// std::popcount there).
constexpr int count_bits(std::uint64_t bits) {
  bits = bits - ((bits >> 1) & 0x5555555555555555ULL);
  bits = (bits & 0x3333333333333333ULL) + ((bits >> 2) & 0x3333333333333333ULL);
  bits = (bits + (bits >> 4)) & 0x0f0f0f0f0f0f0f0fULL;
  return static_cast<int>((bits * 0x0101010101010101ULL) >> 56);
}

}  // namespace cif
