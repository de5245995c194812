// CIF text as a plain document of blocks, items, loops and save frames, read
// by the project's reader and by gemmi's, so that the two can be compared
// value for value (tests and fuzzing only: the tool never uses gemmi).
// Also included by C++17 code: gemmi 0.5.7's headers do not compile as C++20
// with clang 14, so the side that uses them is built as C++17.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace testing_support {

struct CifItem {
  enum class Kind { pair, loop, frame };
  Kind kind = Kind::pair;
  std::string tag;                  // pair: its tag; frame: its name
  std::string value;                // pair: its value as written, quotes kept
  std::vector<std::string> tags;    // loop
  std::vector<std::string> values;  // loop, row by row, as written
  std::vector<CifItem> items;       // frame
};

struct CifBlock {
  std::string name;  // without "data_"; "#" for a bare "data_", "" for global_
  std::vector<CifItem> items;
};

using CifDocument = std::vector<CifBlock>;

// The document, or nullopt when the reader finds the text is not CIF (then
// `error` says why, when given).
std::optional<CifDocument> read_with_extract(std::string_view text, std::string* error = nullptr);
std::optional<CifDocument> read_with_gemmi(std::string_view text, std::string* error = nullptr);

// Where two documents first differ, in words; empty when they are equal.
std::string first_difference(const CifDocument& ours, const CifDocument& theirs);

}  // namespace testing_support
