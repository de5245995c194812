// The words of CIF text, the syntax of the archive's PDBx/mmCIF files:
// tags, values and the reserved words, by the CIF 1.1 grammar as the
// archive's files are read by the common readers (gemmi's among them; the
// tests hold this one to it, file by file).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "cif/masks.hpp"
#include "cif/syntax_error.hpp"

namespace cif {

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

class Tokenizer {
 public:
  explicit Tokenizer(std::string_view text, std::size_t offset = 0)
      : kernel_(&kernel()),
        begin_(text.data()),
        at_(text.data() + offset),
        end_(text.data() + text.size()),
        checked_(at_) {}

  // The next token; throws SyntaxError where the text is not CIF.
  Token next();
  // Passes over the values that follow, as `next` would read them, and
  // counts them; the token after them (not a value) is the next one read.
  // Loops of values take nearly all of an entry, and this is how the
  // structure of an entry is read without reading each value.
  std::size_t skip_values();

  std::size_t offset() const { return static_cast<std::size_t>(at_ - begin_); }
  void seek(std::size_t offset) { at_ = checked_ = begin_ + offset; }

 private:
  // Whitespace and comments.
  void skip_blank();
  Token quoted();
  Token text_field();
  Token word();
  // `next` for the values that begin before `until`; false at a token that
  // is not a value, which is then the next one read.
  bool skip_values_one_by_one(const char* until, std::size_t& count);
  [[noreturn]] void fail(const char* at, const char* reason) const;
  // Control events, once the text read since the last look is long enough.
  void look_for_events();

  const Kernel* kernel_;
  const char* begin_;
  const char* at_;
  const char* end_;
  const char* checked_;  // where control events were last looked for
};

}  // namespace cif
