// The words of CIF text, the syntax of the archive's PDBx/mmCIF files:
// tags, values and the reserved words, by the CIF 1.1 grammar as the
// archive's files are read by the common readers (gemmi's among them; the
// tests hold this one to it, file by file).
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string_view>

namespace reading::cif {

enum class Kind : std::uint8_t {
  end,     // no more text
  value,   // unquoted, 'quoted', "quoted", or a text field between lines that begin with ";"
  tag,     // _category.item
  data,    // data_NAME: a data block begins
  global,  // global_: a global block begins
  loop,    // loop_
  save,    // save_NAME begins a save frame, save_ alone ends it
  stop,    // stop_, after a loop's values
};

struct Token {
  Kind kind = Kind::end;
  std::string_view text;  // as written: quotes and semicolons kept
};

// Text that is not CIF. `what` is a fixed text.
class SyntaxError : public std::exception {
 public:
  SyntaxError(std::size_t offset, const char* what) : offset_(offset), what_(what) {}
  std::size_t offset() const noexcept { return offset_; }
  const char* what() const noexcept override { return what_; }

 private:
  std::size_t offset_;
  const char* what_;
};

class Tokenizer {
 public:
  explicit Tokenizer(std::string_view text, std::size_t offset = 0)
      : begin_(text.data()), at_(text.data() + offset), end_(text.data() + text.size()) {}

  // The next token; throws SyntaxError where the text is not CIF.
  Token next();
  // Passes over the values that follow, as `next` would read them, and
  // counts them; the token after them (not a value) is the next one read.
  // Loops of values take nearly all of an entry, and this is how the
  // structure of an entry is read without reading each value.
  std::size_t skip_values();

  std::size_t offset() const { return static_cast<std::size_t>(at_ - begin_); }
  void seek(std::size_t offset) { at_ = begin_ + offset; }

 private:
  // Whitespace and comments.
  void skip_blank();
  Token quoted();
  Token text_field();
  Token word();
  // `next` for the values that begin before `until`; false at a token that
  // is not a value, which is then the next one read.
  bool skip_values_one_by_one(const char* until, std::size_t& count);
  [[noreturn]] void fail(const char* at, const char* what) const;

  const char* begin_;
  const char* at_;
  const char* end_;
};

// The text a value token stands for: without its quotes, or a text field
// without its semicolons and the line end before the last one. Inline: the
// atom records take the text of several values of every row.
inline std::string_view value_of(std::string_view token) {
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
// The unquoted "?" (unknown) and "." (not applicable).
inline bool is_null(std::string_view token) {
  return token.size() == 1 && (token[0] == '?' || token[0] == '.');
}
// Tags and reserved words are compared without regard to case.
bool same_name(std::string_view a, std::string_view b);

}  // namespace reading::cif
