// CIF text 64 bytes at a time, as bit masks (bit i stands for byte i): what
// counting a loop's values and reading them need to know of each byte.
// SSE2, which every x86-64 processor has, or AVX2 where the processor has it
// (chosen once); byte by byte elsewhere.
#pragma once

#include <cstddef>
#include <cstdint>

namespace reading::cif {

struct CountMasks {
  std::uint64_t space = 0;      // blank: space, tab, line feed, carriage return
  std::uint64_t attention = 0;  // quotes, comments, semicolons, underscores,
                                // $ and bytes CIF allows only in quotes
};

// The 64 bytes from `block`. The attention mask is all 0 when no byte needs
// a closer look, and exact otherwise.
CountMasks count_masks(const char* block);

// Counts the values that begin in the blocks of 64 bytes from `at` on, as
// long as no byte of a block needs a closer look, and not past `limit`
// (where at least 64 bytes are to be read). `inside`: whether the byte
// before `at` is part of a value. The run stops before the first block with
// such a byte, or at the last whole block before `limit`.
struct PlainRun {
  const char* at;
  std::uint64_t values;
  bool inside;
};
PlainRun count_plain_blocks(const char* at, const char* limit, bool inside);

// The kernels by name, for the tests that hold them to the byte-by-byte
// rule: "bytewise", "sse2", and "avx2" where the processor has it.
struct Kernel {
  const char* name;
  CountMasks (*masks)(const char*);
  PlainRun (*plain)(const char*, const char*, bool);
};
std::size_t kernel_count();
Kernel kernel(std::size_t index);
// The one count_masks and count_plain_blocks use.
const Kernel& kernel_for_this_processor();

// The values that begin in a block: where a blank, or the text before the
// block when `inside` is false, ends.
constexpr std::uint64_t starts_of(std::uint64_t space, bool inside) {
  const std::uint64_t word = ~space;
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

}  // namespace reading::cif
