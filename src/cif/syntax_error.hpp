// Text that is not CIF: where it stops being CIF, and why.
#pragma once

#include <algorithm>
#include <cstddef>
#include <exception>
#include <string_view>

namespace cif {

class SyntaxError : public std::exception {
 public:
  // The offset of what is missing from the text as a whole, not at a place.
  static constexpr std::size_t nowhere = static_cast<std::size_t>(-1);

  // `reason` is a fixed text, short enough for a diagnostic line.
  SyntaxError(std::size_t offset, const char* reason) : offset_(offset), reason_(reason) {}
  // The byte of the text where it went wrong.
  std::size_t offset() const noexcept { return offset_; }
  const char* what() const noexcept override { return reason_; }

 private:
  std::size_t offset_;
  const char* reason_;
};

// The line, from 1, that holds byte `offset` of `text`: what a person with
// an editor needs to find it.
inline std::size_t line_of(std::string_view text, std::size_t offset) {
  const std::string_view before = text.substr(0, std::min(offset, text.size()));
  return 1 + static_cast<std::size_t>(std::count(before.begin(), before.end(), '\n'));
}

}  // namespace cif
