// The kernels that read CIF text 64 bytes at a time (SSE2, and AVX2 where
// the processor has it) give the masks and counts of the byte-by-byte rule
// on every byte value, at every position, and in runs of chunks.

#include "cif/masks.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

using cif::ChunkMasks;
using cif::Kernel;

TEST(CifMasks, EveryKernelMasksEveryByteAsTheRuleDoes) {
  const auto kernels = cif::kernels();
  const Kernel& rule = kernels.front();
  ASSERT_STREQ(rule.name, "bytewise");
  for (const Kernel& tried : kernels.subspan(1)) {
    // Every byte value, at every position of a block of blanks and letters.
    for (int value = 0; value < 256; ++value) {
      for (std::size_t at = 0; at < 64; ++at) {
        std::string block(64, 'a');
        for (std::size_t i = 0; i < 64; i += 3) block[i] = ' ';
        block[at] = static_cast<char>(value);
        const ChunkMasks expected = rule.masks(block.data());
        const ChunkMasks found = tried.masks(block.data());
        EXPECT_EQ(found.blank, expected.blank) << tried.name << ", byte " << value << " at " << at;
        EXPECT_EQ(found.attention, expected.attention) << tried.name << ", byte " << value << " at " << at;
        if (HasFailure()) return;
      }
    }
  }
}

TEST(CifMasks, RunsOfPlainChunksCountAsTheRuleDoes) {
  const auto kernels = cif::kernels();
  std::mt19937 random(11);
  // Mostly plain words and blanks, sometimes a byte that needs a look.
  const std::string plain = "ATOM CA 1.5 -0.25 ?.  \t\n\r";
  const std::string odd = "'\"#;_$\x7f\x01\xc3";
  for (int round = 0; round < 2000; ++round) {
    std::string text(64 * 8 + static_cast<std::size_t>(random() % 64), ' ');
    for (char& c : text) c = plain[random() % plain.size()];
    if (round % 3 != 0) text[random() % text.size()] = odd[random() % odd.size()];
    const bool inside = round % 2 == 0;
    const auto expected = kernels.front().plain_run(text.data(), text.data() + text.size(), inside);
    for (const Kernel& tried : kernels.subspan(1)) {
      const auto found = tried.plain_run(text.data(), text.data() + text.size(), inside);
      EXPECT_EQ(found.at, expected.at) << tried.name << ", round " << round;
      EXPECT_EQ(found.values, expected.values) << tried.name << ", round " << round;
      EXPECT_EQ(found.inside, expected.inside) << tried.name << ", round " << round;
    }
    if (HasFailure()) return;
  }
}

}  // namespace
