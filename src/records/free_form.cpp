// Free-form (list-directed) reading of the console answers.

#include "records/free_form.hpp"

#include <algorithm>

#include "records/failures.hpp"
#include "records/fields.hpp"

namespace records {
namespace {

bool is_blank(char c) {
  return c == ' ' || c == '\t';
}
bool ends_unquoted_value(char c) {
  return is_blank(c) || c == ',' || c == '/';
}

[[noreturn]] void fail(const LineSource& in, Failure failure) {
  throw IoError(failure, in.unit(), in.file());
}

std::string_view next_line_or_fail(LineSource& in) {
  const auto line = in.next_line();
  if (!line) fail(in, Failure::end_of_file);
  return *line;
}

// The rest of the line from the first character of the value on. Blank and
// empty lines supply no value, so reading goes on with the next line.
std::string_view start_of_value(LineSource& in) {
  for (;;) {
    std::string_view line = next_line_or_fail(in);
    const auto first = std::find_if_not(line.begin(), line.end(), is_blank);
    if (first != line.end()) return line.substr(static_cast<std::size_t>(first - line.begin()));
  }
}

// "/" ends the read; a comma before any value is a null value. Both leave the
// variable as it was.
bool leaves_value_unchanged(std::string_view rest) {
  return rest.front() == '/' || rest.front() == ',';
}

std::string_view unquoted_token(std::string_view rest) {
  const auto end = std::find_if(rest.begin(), rest.end(), ends_unquoted_value);
  return rest.substr(0, static_cast<std::size_t>(end - rest.begin()));
}

}  // namespace

void read_free(LineSource& in, std::int32_t& value) {
  const std::string_view rest = start_of_value(in);
  if (leaves_value_unchanged(rest)) return;
  // The token holds no blank, so the field rules leave a sign and digits.
  const auto number = read_I(unquoted_token(rest));
  if (!number) fail(in, Failure::list_directed_syntax);
  value = *number;
}

std::string read_free_line(LineSource& in) {
  std::string_view rest = start_of_value(in);
  const auto last = std::find_if_not(rest.rbegin(), rest.rend(), is_blank);
  rest.remove_suffix(static_cast<std::size_t>(last - rest.rbegin()));
  return std::string(rest);
}

void read_free(LineSource& in, std::span<char> value) {
  std::string_view rest = start_of_value(in);
  if (leaves_value_unchanged(rest)) return;

  std::size_t length = 0;
  const auto put = [&](char c) {
    if (length < value.size()) value[length] = c;
    ++length;
  };
  const char delimiter = rest.front();
  if (delimiter == '\'' || delimiter == '"') {
    // A quoted value may hold blanks, commas and slashes, and may go on over
    // more than one line; a doubled delimiter stands for one.
    rest.remove_prefix(1);
    for (;;) {
      const std::size_t close = rest.find(delimiter);
      if (close == std::string_view::npos) {
        std::for_each(rest.begin(), rest.end(), put);
        rest = next_line_or_fail(in);
        continue;
      }
      std::for_each(rest.begin(), rest.begin() + static_cast<std::ptrdiff_t>(close), put);
      if (close + 1 < rest.size() && rest[close + 1] == delimiter) {
        put(delimiter);
        rest.remove_prefix(close + 2);
        continue;
      }
      break;
    }
  } else {
    const std::string_view token = unquoted_token(rest);
    std::for_each(token.begin(), token.end(), put);
  }
  std::fill(value.begin() + static_cast<std::ptrdiff_t>(std::min(length, value.size())), value.end(), ' ');
}

}  // namespace records
