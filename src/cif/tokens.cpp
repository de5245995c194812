// The words of CIF text, one at a time, and the values of a loop passed
// over 64 bytes at a time.

#include "cif/tokens.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "cif/text.hpp"
#include "records/control_events.hpp"

namespace cif {
namespace {

// Whether `word` begins with the reserved word `prefix`, in any case.
bool begins_with(std::string_view word, std::string_view prefix) {
  return word.size() >= prefix.size() && same_name(word.substr(0, prefix.size()), prefix);
}

// A long step looks for control events about this often: 4 MiB of values
// take a few milliseconds.
constexpr std::ptrdiff_t bytes_between_checks = std::ptrdiff_t{4} << 20;

// The first `c` from `from` on, before `to`, or null. A comment, a quoted
// value or a text field may be as long as the entry: control events are
// looked for between slices of it.
const char* find_byte(const char* from, const char* to, char c) {
  for (;;) {
    const std::ptrdiff_t slice = std::min(to - from, bytes_between_checks);
    if (const void* found = std::memchr(from, c, static_cast<std::size_t>(slice))) {
      return static_cast<const char*>(found);
    }
    from += slice;
    if (from == to) return nullptr;
    records::throw_if_control_event();
  }
}

}  // namespace

void Tokenizer::look_for_events() {
  if (at_ - checked_ < bytes_between_checks) return;
  records::throw_if_control_event();
  checked_ = at_;
}

void Tokenizer::fail(const char* at, const char* reason) const {
  throw SyntaxError(static_cast<std::size_t>(at - begin_), reason);
}

void Tokenizer::skip_blank() {
  while (at_ < end_) {
    if (is_blank(*at_)) {
      ++at_;
    } else if (*at_ == '#') {
      const char* line_end = find_byte(at_, end_, '\n');
      at_ = line_end == nullptr ? end_ : line_end + 1;
    } else {
      return;
    }
  }
}

Token Tokenizer::next() {
  look_for_events();
  skip_blank();
  if (at_ == end_) return {};
  const char c = *at_;
  if (c == '\'' || c == '"') return quoted();
  if (c == ';' && (at_ == begin_ || at_[-1] == '\n')) return text_field();
  return word();
}

Token Tokenizer::quoted() {
  // A quote ends the value only where a blank, a comment or the end of the
  // text follows it ('it's' is one value), and on the line it began. Only
  // the value itself is searched for a line end: a line may hold many
  // values.
  const char quote = *at_;
  for (const char* from = at_ + 1;;) {
    const char* found = find_byte(from, end_, quote);
    if (found == nullptr || find_byte(from, found, '\n') != nullptr) {
      fail(at_, "a quoted value not closed on its line");
    }
    const char* after = found + 1;
    if (after == end_ || is_blank(*after) || *after == '#') {
      const Token token{Kind::value, {at_, static_cast<std::size_t>(after - at_)}};
      at_ = after;
      return token;
    }
    from = after;
  }
}

Token Tokenizer::text_field() {
  // It ends at the next line that begins with a semicolon.
  const char* line_end = at_;
  do {
    line_end = find_byte(line_end + 1, end_, '\n');
    if (line_end == nullptr || line_end + 1 == end_) fail(at_, "a text field not closed");
  } while (line_end[1] != ';');
  const char* after = line_end + 2;
  if (after != end_ && !is_blank(*after) && *after != '#') fail(after, "text right after a text field");
  const Token token{Kind::value, {at_, static_cast<std::size_t>(after - at_)}};
  at_ = after;
  return token;
}

Token Tokenizer::word() {
  const char* start = at_;
  const char* stop = at_;
  for (const char* checked = at_; stop < end_ && is_word_character(*stop); ++stop) {
    // A word may be as long as the entry.
    if (stop - checked == bytes_between_checks) {
      records::throw_if_control_event();
      checked = stop;
    }
  }
  at_ = stop;
  const std::string_view text(start, static_cast<std::size_t>(stop - start));
  // What follows a word is a blank, or the comment that follows a reserved
  // word at once (whose bytes may be any).
  if (stop < end_ && !is_blank(*stop)) {
    const bool before_comment = begins_with(text, "loop_#") || begins_with(text, "stop_#") ||
                                begins_with(text, "global_#") || begins_with(text, "save_#");
    if (!before_comment) fail(stop, "a character that CIF allows only in quotes");
  }

  // A reserved word that stands alone; a comment may follow it at once.
  const auto reserved = [&](std::string_view word, Kind kind, const char* what) -> Token {
    if (text.size() > word.size() && text[word.size()] != '#') fail(start, what);
    at_ = start + word.size();
    return {kind, text.substr(0, word.size())};
  };
  switch (lower(text.front())) {
    case '_':
      if (text.size() == 1) fail(start, "a tag without a name");
      return {Kind::tag, text};
    case '$':
      fail(start, "a value that begins with $");
    case 'd':
      if (begins_with(text, "data_")) return {Kind::data, text};
      break;
    case 'l':
      if (begins_with(text, "loop_")) return reserved("loop_", Kind::loop, "a word that begins with loop_");
      break;
    case 's':
      // "save_#x" names a frame, or ends one before a comment: Items tells.
      if (begins_with(text, "save_")) return {Kind::save, text};
      if (begins_with(text, "stop_")) return reserved("stop_", Kind::stop, "a word that begins with stop_");
      break;
    case 'g':
      if (begins_with(text, "global_")) return reserved("global_", Kind::global, "a word that begins with global_");
      break;
    default:
      break;
  }
  return {Kind::value, text};
}

bool Tokenizer::skip_values_one_by_one(const char* until, std::size_t& count) {
  for (;;) {
    skip_blank();
    if (at_ >= until || at_ == end_) return true;
    const char* start = at_;
    if (next().kind != Kind::value) {
      at_ = start;
      return false;
    }
    ++count;
  }
}

std::size_t Tokenizer::skip_values() {
  std::size_t count = 0;
  // Whether the byte before `at_` is part of a value already counted.
  bool inside = false;
  const char* checked = at_;
  while (end_ - at_ >= chunk_size) {
    if (at_ - checked >= bytes_between_checks) {
      records::throw_if_control_event();
      checked = at_;
    }
    // Most chunks hold nothing but plain values and blanks.
    const char* limit = end_ - at_ > bytes_between_checks ? at_ + bytes_between_checks : end_;
    const PlainRun run = kernel_->plain_run(at_, limit, inside);
    count += static_cast<std::size_t>(run.values);
    at_ = run.at;
    inside = run.inside;
    if (limit - at_ < chunk_size) continue;
    // The run stopped before a chunk with a byte that needs a closer look.
    // The plain values before that byte are counted here; from the word
    // that holds it, one at a time.
    const ChunkMasks masks = kernel_->masks(at_);
    const int first = std::countr_zero(masks.attention);
    const std::uint64_t before = (std::uint64_t{1} << first) - 1;
    count += static_cast<std::size_t>(count_bits(starts_of(masks.blank, inside) & before));
    const char* attention = at_ + first;
    const char* start = attention;
    while (start > begin_ && !is_blank(start[-1])) --start;
    if (start < attention) --count;  // counted above, or in an earlier chunk
    at_ = start;
    if (!skip_values_one_by_one(attention + 1, count)) return count;
    inside = false;
  }
  if (inside) {
    while (at_ > begin_ && !is_blank(at_[-1])) --at_;
    --count;
  }
  skip_values_one_by_one(end_, count);
  return count;
}

}  // namespace cif
