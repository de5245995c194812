// The values of a loop, read as they come, 64 bytes at a time: a value's
// bounds are taken from bit masks of the blanks, and the tokenizer reads
// only the values that hold a byte that needs a closer look (quotes,
// comments, text fields, bytes CIF does not allow) and the token where the
// values end (a tag, a reserved word, or the end of the text). Text that is
// not CIF throws SyntaxError, as the tokenizer does: values read so are
// checked as they are read, whether their loop was counted before or not.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "cif/masks.hpp"
#include "cif/tokens.hpp"

namespace cif {

class Values {
 public:
  Values(std::string_view text, std::size_t offset);

  // The next value as written, or, where the values end, a view with no
  // data (see `end`). Inline: the atom records read every value of their
  // rows through it. Not an optional: a view comes back in two registers
  // and goes to the row as it is, where an optional goes through memory.
  std::string_view next() {
    if (starts_ == 0 && !fill()) return {};
    const int first = std::countr_zero(starts_);
    starts_ &= starts_ - 1;
    const char* start = base_ + first;
    const std::uint64_t blanks_after = blank_ >> first;
    if (blanks_after == 0) return run_on(start, first);
    const int length = std::countr_zero(blanks_after);
    // A plain word that ends in these 64 bytes.
    const std::uint64_t word = (std::uint64_t{1} << length) - 1;
    if (((attention_ >> first) & word) == 0) return std::string_view(start, static_cast<std::size_t>(length));
    return read_closely(start);
  }
  static bool end(std::string_view value) { return value.data() == nullptr; }
  // The next `count` values, value i into `*into[i]`; how many there were
  // before the values ended. The same as `next` `count` times, with what it
  // keeps of the 64 bytes held in registers over the row.
  std::size_t read_into(std::string_view* const* into, std::size_t count);
  // Whether every value of the last `read_into` was read plain, within 64
  // bytes or across two: none is quoted, a text field or anything the
  // tokenizer had to look at, so each is its own text.
  bool row_plain() const { return !closely_; }
  // The values from `offset` on.
  void seek(std::size_t offset);

 private:
  // The 64 bytes from `at`, and whether the byte before them is part of a
  // value already read.
  void load(const char* at, bool inside);
  // Control events, once the values have gone far enough since the last
  // look.
  void look_for_events(const char* at);
  // Moves on until a value begins; false at the end of the text.
  bool fill();
  // The value that begins at `start` read by the tokenizer, or the end when
  // the token there is not a value.
  std::string_view read_closely(const char* start);
  // A value that begins at byte `first` of these 64 and runs on past them.
  std::string_view run_on(const char* start, int first);

  const Kernel* kernel_;  // the processor's, looked up once
  Tokenizer tokens_;
  const char* begin_;
  const char* end_;
  const char* base_ = nullptr;        // the first of the 64 bytes
  std::uint64_t starts_ = 0;          // where values not yet read begin
  std::uint64_t blank_ = 0;           // blanks
  std::uint64_t attention_ = 0;       // bytes that need a closer look
  const char* next_check_ = nullptr;  // where control events are looked for next
  bool ended_ = false;
  bool closely_ = false;  // a value of the last row came another way
};

}  // namespace cif
