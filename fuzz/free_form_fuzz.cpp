// Fuzzes the reading of console answers: free-form reads of integers and
// character variables, and the pause, over arbitrary lines; also the record
// splitting of an input connection over the same text.
//
// Input: three plan bytes, then the text. Byte 0 gives the number of steps
// (1 to 8); bytes 1 and 2 give each step's kind, two bits a step: an
// integer, a Chars<3>, a Chars<12>, or a pause.

#include <cstring>

#include "fuzz_support.hpp"

namespace {

// Every failure of a console read is reported against the console input.
void check_console_failure(const records::IoError& error) {
  FUZZ_CHECK(error.failure() == records::Failure::end_of_file ||
             error.failure() == records::Failure::list_directed_syntax);
  FUZZ_CHECK(error.unit() == records::console_in_unit);
  FUZZ_CHECK(error.file() == records::console_in_file);
  FUZZ_CHECK(std::strncmp(error.what(), "extract: severe (", 17) == 0);
}

// What a free-form read should do, worked out from a copy of the lines
// before the read; quoted values are left to the sanitizers.
struct Expected {
  enum Kind { unchanged, token, end_of_input, quoted } kind;
  std::string_view text;  // the unquoted value
};

bool is_blank(char c) {
  return c == ' ' || c == '\t';
}

Expected expect_read(testing_support::TextLines lines) {
  for (;;) {
    const std::optional<std::string_view> line = lines.next_line();
    if (!line) return {Expected::end_of_input, {}};
    std::string_view rest = *line;
    while (!rest.empty() && is_blank(rest.front())) rest.remove_prefix(1);
    if (rest.empty()) continue;
    if (rest.front() == '/' || rest.front() == ',') return {Expected::unchanged, {}};
    if (rest.front() == '\'' || rest.front() == '"') return {Expected::quoted, {}};
    std::size_t end = 0;
    while (end < rest.size() && !is_blank(rest[end]) && rest[end] != ',' && rest[end] != '/') ++end;
    return {Expected::token, rest.substr(0, end)};
  }
}

void read_integer(testing_support::TextLines& lines, std::int32_t seed) {
  const Expected expected = expect_read(lines);
  std::int32_t value = seed;
  try {
    records::read_free(lines, value);
  } catch (const records::IoError& error) {
    if (expected.kind == Expected::end_of_input) FUZZ_CHECK(error.failure() == records::Failure::end_of_file);
    if (expected.kind == Expected::token) {
      FUZZ_CHECK(error.failure() == records::Failure::list_directed_syntax);
      FUZZ_CHECK(!records::read_I(expected.text).has_value());
    }
    FUZZ_CHECK(expected.kind != Expected::unchanged);
    throw;
  }
  FUZZ_CHECK(expected.kind != Expected::end_of_input);
  if (expected.kind == Expected::unchanged) FUZZ_CHECK(value == seed);
  if (expected.kind == Expected::token) FUZZ_CHECK(records::read_I(expected.text) == value);
}

template <std::size_t N>
void read_characters(testing_support::TextLines& lines, std::uint8_t seed) {
  const Expected expected = expect_read(lines);
  const records::Chars<N> before(std::string(N, static_cast<char>('A' + seed % 26)));
  records::Chars<N> value = before;
  try {
    records::read_free(lines, value);
  } catch (const records::IoError& error) {
    FUZZ_CHECK(error.failure() == records::Failure::end_of_file);
    FUZZ_CHECK(expected.kind == Expected::end_of_input || expected.kind == Expected::quoted);
    throw;
  }
  FUZZ_CHECK(expected.kind != Expected::end_of_input);
  if (expected.kind == Expected::unchanged) FUZZ_CHECK(value == before);
  if (expected.kind == Expected::token) FUZZ_CHECK(value == records::Chars<N>(expected.text));
}

// The records that a connection hands out, laid end to end with the line
// ends taken from them, give back the text.
template <typename Next>
void check_records_rebuild(std::string_view text, Next next) {
  std::size_t at = 0;
  while (const std::optional<std::string_view> line = next()) {
    FUZZ_CHECK(text.substr(at, line->size()) == *line);
    FUZZ_CHECK(line->find('\n') == std::string_view::npos);
    at += line->size();
    if (at == text.size()) break;
    if (text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n') ++at;
    FUZZ_CHECK(text[at] == '\n');
    ++at;
  }
  FUZZ_CHECK(at == text.size());
  FUZZ_CHECK(!next().has_value());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzing::Bytes in(data, size);
  const int steps = 1 + in.byte() % 8;
  const unsigned kinds = static_cast<unsigned>(in.byte()) | static_cast<unsigned>(in.byte()) << 8U;
  const std::string_view text = in.rest();

  testing_support::TextLines lines(text);
  records::Output console = records::Output::in_memory();
  try {
    for (int step = 0; step < steps; ++step) {
      const unsigned kind = (kinds >> (2U * static_cast<unsigned>(step))) & 3U;
      const auto seed = static_cast<std::uint8_t>(step * 7 + 3);
      switch (kind) {
        case 0: {
          read_integer(lines, seed);
          break;
        }
        case 1:
          read_characters<3>(lines, seed);
          break;
        case 2:
          read_characters<12>(lines, seed);
          break;
        default:
          records::pause(console, lines, fuzzing::ignore_command);
          break;
      }
    }
  } catch (const records::IoError& error) {
    check_console_failure(error);
  }
  FUZZ_CHECK(fuzzing::whole_records(console.text()));

  testing_support::TextLines all_lines(text);
  check_records_rebuild(text, [&] { return all_lines.next_line(); });
  testing_support::FilesInMemory files;
  files.add("answers", std::string(text));
  records::Input input(1, files);
  input.open_old("answers");
  check_records_rebuild(text, [&] { return input.read(); });
  input.rewind();
  if (!text.empty()) FUZZ_CHECK(input.read().has_value());
  return 0;
}
