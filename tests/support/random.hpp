// Random test values that are the same with every standard library: the
// engine's sequence is fixed by the C++ standard, but the distributions'
// algorithms are not (libstdc++ and libc++ draw different values from
// `std::uniform_int_distribution` with the same engine), so a failing seed
// would not show the same case elsewhere.
#pragma once

#include <cstdint>
#include <random>

namespace testing_support {

// A number in [low, high], each equally likely: the engine's 32-bit outputs
// that fall in the last, incomplete round of the range are drawn again.
inline int uniform(std::mt19937& engine, int low, int high) {
  const std::uint64_t span = static_cast<std::uint64_t>(static_cast<std::int64_t>(high) - low) + 1;
  const std::uint64_t outputs = std::uint64_t{1} << 32;
  const std::uint64_t usable = outputs - outputs % span;
  std::uint64_t drawn = engine();
  while (drawn >= usable) drawn = engine();
  return static_cast<int>(low + static_cast<std::int64_t>(drawn % span));
}

}  // namespace testing_support
