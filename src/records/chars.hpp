// Fixed-length character variables: what every name, key and column slice of
// this tool is.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string_view>

namespace records {

// A character variable of exactly N characters, blank-padded.
template <std::size_t N>
class Chars {
 public:
  constexpr Chars() { chars_.fill(' '); }
  // Assignment rule: the leftmost N characters, padded with blanks.
  constexpr explicit Chars(std::string_view text) : Chars() {
    for (std::size_t i = 0; i < N && i < text.size(); ++i) chars_[i] = text[i];
  }

  static constexpr std::size_t size() { return N; }
  constexpr std::string_view view() const { return {chars_.data(), N}; }
  // The text without its trailing blanks, which are not part of a file name.
  constexpr std::string_view trimmed() const {
    std::string_view v = view();
    while (!v.empty() && v.back() == ' ') v.remove_suffix(1);
    return v;
  }
  constexpr std::span<char, N> span() { return chars_; }
  constexpr char& operator[](std::size_t i) { return chars_[i]; }
  constexpr char operator[](std::size_t i) const { return chars_[i]; }

  // Exact comparison: length, case and blanks all count.
  constexpr bool operator==(std::string_view key) const { return view() == key; }
  constexpr bool operator==(const Chars&) const = default;

 private:
  std::array<char, N> chars_{};
};

}  // namespace records
