// Rows that lost or gained a value. A loop's values fill its rows in turn,
// so a row with a value missing or one too many shifts every value after
// it by one column, and the rows still read, wrongly. The archive writes a
// loop one row to a line; where a loop keeps to that, a row that does not
// end its line has lost or gained a value, and it is seen as it is read,
// however far the loop's end is.
#pragma once

#include <cstddef>
#include <string_view>

namespace cif {

class RowLines {
 public:
  // The loop whose `columns` values a row begin at `values_at` in `text`.
  RowLines(std::string_view text, std::size_t values_at, std::size_t columns);

  // A row as read, by its first and last values. Throws SyntaxError,
  // naming the row, where the loop keeps one row to a line and this one
  // does not end its line.
  void check(std::string_view first_value, std::string_view last_value) const {
    if (one_per_line_ && !ends_line(last_value)) fail(first_value);
  }

 private:
  // Whether only blanks or a comment follow `value` on its line.
  bool ends_line(std::string_view value) const {
    const char* p = value.data() + value.size();
    while (p < end_ && (*p == ' ' || *p == '\t')) ++p;
    return p == end_ || *p == '\n' || *p == '\r' || *p == '#';
  }
  [[noreturn]] void fail(std::string_view first_value) const;

  const char* begin_;
  const char* end_;
  bool one_per_line_ = false;
};

}  // namespace cif
