// The words of CIF text, one at a time, and the values of a loop passed
// over 64 bytes at a time.

#include "cif_tokens.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "records/control_events.hpp"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace reading::cif {
namespace {

constexpr bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}
// What an unquoted word is made of: the printable characters but the blank.
constexpr bool is_word_character(char c) {
  return c > ' ' && c < '\x7f';
}

constexpr char lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Whether `word` begins with the reserved word `prefix`, in any case.
bool begins_with(std::string_view word, std::string_view prefix) {
  return word.size() >= prefix.size() && same_name(word.substr(0, prefix.size()), prefix);
}

// A long step looks for control events about this often: 4 MiB of values
// take a few milliseconds.
constexpr std::ptrdiff_t bytes_between_checks = std::ptrdiff_t{4} << 20;

}  // namespace

bool same_name(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

std::string_view value_of(std::string_view token) {
  if (token.empty()) return token;
  if (token.front() == '\'' || token.front() == '"') return token.substr(1, token.size() - 2);
  // Only a text field holds a line end.
  if (token.front() == ';' && token.size() >= 3 && token.substr(token.size() - 2) == "\n;") {
    std::string_view text = token.substr(1, token.size() - 3);
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    return text;
  }
  return token;
}

void Tokenizer::fail(const char* at, const char* what) const {
  throw SyntaxError(static_cast<std::size_t>(at - begin_), what);
}

void Tokenizer::skip_blank() {
  while (at_ < end_) {
    if (is_space(*at_)) {
      ++at_;
    } else if (*at_ == '#') {
      const void* line_end = std::memchr(at_, '\n', static_cast<std::size_t>(end_ - at_));
      at_ = line_end == nullptr ? end_ : static_cast<const char*>(line_end) + 1;
    } else {
      return;
    }
  }
}

Token Tokenizer::next() {
  skip_blank();
  if (at_ == end_) return {};
  const char c = *at_;
  if (c == '\'' || c == '"') return quoted();
  if (c == ';' && (at_ == begin_ || at_[-1] == '\n')) return text_field();
  return word();
}

Token Tokenizer::quoted() {
  // A quote ends the value only where a blank, a comment or the end of the
  // text follows it ('it's' is one value), and on the line it began.
  const char quote = *at_;
  const void* newline = std::memchr(at_, '\n', static_cast<std::size_t>(end_ - at_));
  const char* line_end = newline == nullptr ? end_ : static_cast<const char*>(newline);
  for (const char* from = at_ + 1;;) {
    const void* found = std::memchr(from, quote, static_cast<std::size_t>(line_end - from));
    if (found == nullptr) fail(at_, "a quoted value not closed on its line");
    const char* after = static_cast<const char*>(found) + 1;
    if (after == end_ || is_space(*after) || *after == '#') {
      const Token token{Kind::value, {at_, static_cast<std::size_t>(after - at_)}};
      at_ = after;
      return token;
    }
    from = after;
  }
}

Token Tokenizer::text_field() {
  // It ends at the next line that begins with a semicolon.
  const char* from = at_ + 1;
  const void* found = ::memmem(from, static_cast<std::size_t>(end_ - from), "\n;", 2);
  if (found == nullptr) fail(at_, "a text field not closed");
  const char* after = static_cast<const char*>(found) + 2;
  if (after != end_ && !is_space(*after) && *after != '#') fail(after, "text right after a text field");
  const Token token{Kind::value, {at_, static_cast<std::size_t>(after - at_)}};
  at_ = after;
  return token;
}

Token Tokenizer::word() {
  const char* start = at_;
  const char* stop = at_;
  while (stop < end_ && is_word_character(*stop)) ++stop;
  if (stop < end_ && !is_space(*stop)) fail(stop, "a character that CIF allows only in quotes");
  at_ = stop;
  const std::string_view text(start, static_cast<std::size_t>(stop - start));

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
      if (begins_with(text, "loop_")) {
        if (text.size() != 5) fail(start, "a word that begins with loop_");
        return {Kind::loop, text};
      }
      break;
    case 's':
      if (begins_with(text, "save_")) return {Kind::save, text};
      if (begins_with(text, "stop_")) {
        if (text.size() != 5) fail(start, "a word that begins with stop_");
        return {Kind::stop, text};
      }
      break;
    case 'g':
      if (begins_with(text, "global_")) {
        if (text.size() != 7) fail(start, "a word that begins with global_");
        return {Kind::global, text};
      }
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

namespace {

// Bit i of each mask stands for byte i of 64.
struct BlockMasks {
  std::uint64_t space = 0;      // blank: space, tab, line feed, carriage return
  std::uint64_t attention = 0;  // needs a closer look when values are counted
  std::uint64_t lead = 0;       // begins a quoted value, a text field or a comment
};

#if defined(__SSE2__)

// Quotes, comments, semicolons, underscores (tags and reserved words have
// one), $, and bytes CIF allows only inside quotes need a closer look.
BlockMasks classify(const char* block) {
  BlockMasks masks;
  for (int part = 0; part < 4; ++part) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * part));
    const auto equal = [&](char c) { return _mm_cmpeq_epi8(bytes, _mm_set1_epi8(c)); };
    const __m128i space = _mm_or_si128(_mm_or_si128(equal(' '), equal('\n')), _mm_or_si128(equal('\t'), equal('\r')));
    // Signed: bytes from 0x80 on compare below '!' too.
    const __m128i not_printable =
        _mm_andnot_si128(space, _mm_or_si128(_mm_cmplt_epi8(bytes, _mm_set1_epi8('!')), equal('\x7f')));
    const __m128i lead = _mm_or_si128(_mm_or_si128(equal('\''), equal('"')), _mm_or_si128(equal('#'), equal(';')));
    const __m128i attention = _mm_or_si128(lead, _mm_or_si128(_mm_or_si128(equal('_'), equal('$')), not_printable));
    const auto shift = static_cast<unsigned>(16 * part);
    const auto bits = [](__m128i m) { return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(m))); };
    masks.space |= bits(space) << shift;
    masks.attention |= bits(attention) << shift;
    masks.lead |= bits(lead) << shift;
  }
  return masks;
}

#else

BlockMasks classify(const char* block) {
  BlockMasks masks;
  for (unsigned i = 0; i < 64; ++i) {
    const char c = block[i];
    const std::uint64_t bit = std::uint64_t{1} << i;
    const bool lead = c == '\'' || c == '"' || c == '#' || c == ';';
    if (is_space(c)) masks.space |= bit;
    if (lead) masks.lead |= bit;
    if (lead || c == '_' || c == '$' || (!is_space(c) && !is_word_character(c))) masks.attention |= bit;
  }
  return masks;
}

#endif

// Without the processor's own instruction, which the baseline of x86-64
// lacks (GCC calls a library function for std::popcount there).
constexpr int count_bits(std::uint64_t bits) {
  bits = bits - ((bits >> 1) & 0x5555555555555555ULL);
  bits = (bits & 0x3333333333333333ULL) + ((bits >> 2) & 0x3333333333333333ULL);
  bits = (bits + (bits >> 4)) & 0x0f0f0f0f0f0f0f0fULL;
  return static_cast<int>((bits * 0x0101010101010101ULL) >> 56);
}

// The values that begin in a block: where a blank, or the text before the
// block when `inside` is false, ends.
constexpr std::uint64_t starts_of(std::uint64_t space, bool inside) {
  const std::uint64_t word = ~space;
  return word & ~((word << 1) | static_cast<std::uint64_t>(inside));
}

}  // namespace

std::size_t Tokenizer::skip_values() {
  std::size_t count = 0;
  // Whether the byte before `at_` is part of a value already counted.
  bool inside = false;
  const char* checked = at_;
  while (end_ - at_ >= 64) {
    if (at_ - checked >= bytes_between_checks) {
      records::throw_if_control_event();
      checked = at_;
    }
    const BlockMasks masks = classify(at_);
    const std::uint64_t starts = starts_of(masks.space, inside);
    if (masks.attention == 0) {
      count += static_cast<std::size_t>(count_bits(starts));
      inside = (masks.space >> 63) == 0;
      at_ += 64;
      continue;
    }
    // The plain values before the first byte that needs a closer look are
    // counted here; from the word that holds that byte, one at a time.
    const int first = std::countr_zero(masks.attention);
    const std::uint64_t before = (std::uint64_t{1} << first) - 1;
    count += static_cast<std::size_t>(count_bits(starts & before));
    const char* attention = at_ + first;
    const char* start = attention;
    while (start > begin_ && !is_space(start[-1])) --start;
    if (start < attention) --count;  // counted above, or in an earlier block
    at_ = start;
    if (!skip_values_one_by_one(attention + 1, count)) return count;
    inside = false;
  }
  if (inside) {
    while (at_ > begin_ && !is_space(at_[-1])) --at_;
    --count;
  }
  skip_values_one_by_one(end_, count);
  return count;
}

Values::Values(std::string_view text, std::size_t offset)
    : tokens_(text), begin_(text.data()), end_(text.data() + text.size()) {
  seek(offset);
}

void Values::seek(std::size_t offset) {
  load(begin_ + offset, false);
}

void Values::load(const char* at, bool inside) {
  base_ = at;
  BlockMasks masks;
  if (end_ - at >= 64) {
    masks = classify(at);
  } else {
    // The last bytes of the text, and blanks after them.
    std::array<char, 64> tail;
    tail.fill(' ');
    if (at < end_) std::copy(at, end_, tail.begin());
    masks = classify(tail.data());
  }
  space_ = masks.space;
  starts_ = starts_of(masks.space, inside);
  special_ = starts_ & masks.lead;
}

std::string_view Values::read_special(const char* start) {
  tokens_.seek(static_cast<std::size_t>(start - begin_));
  const std::string_view value = tokens_.next().text;
  load(begin_ + tokens_.offset(), false);
  return value;
}

}  // namespace reading::cif
