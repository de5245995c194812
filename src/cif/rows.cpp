// Rows that lost or gained a value.

#include "cif/rows.hpp"

#include <algorithm>

#include "cif/syntax_error.hpp"
#include "cif/tokens.hpp"

namespace cif {
namespace {

// The values that begin on the line of `from` (itself at a value), read by
// the tokenizer: a text field counts on the line where it begins.
std::size_t values_on_line(std::string_view text, std::size_t from) {
  const std::size_t line_end = std::min(text.find('\n', from), text.size());
  Tokenizer tokens(text, from);
  std::size_t count = 0;
  for (Token token = tokens.next(); token.kind == Kind::value; token = tokens.next()) {
    if (static_cast<std::size_t>(token.text.data() - text.data()) > line_end) break;
    ++count;
  }
  return count;
}

}  // namespace

RowLines::RowLines(std::string_view text, std::size_t values_at, std::size_t columns)
    : begin_(text.data()), end_(text.data() + text.size()) {
  // One row to a line: the first line of values, or the one after it (the
  // first row may be the one that lost or gained a value), holds a row
  // exactly.
  if (values_at >= text.size()) return;
  one_per_line_ = values_on_line(text, values_at) == columns;
  if (one_per_line_) return;
  const std::size_t line_end = text.find('\n', values_at);
  if (line_end == std::string_view::npos) return;
  const std::size_t next = text.find_first_not_of(" \t\r\n", line_end);
  one_per_line_ = next != std::string_view::npos && values_on_line(text, next) == columns;
}

void RowLines::fail(std::string_view first_value) const {
  throw SyntaxError(static_cast<std::size_t>(first_value.data() - begin_),
                    "a row with a value missing or one too many");
}

}  // namespace cif
