// The structure of CIF text: data blocks, and in each its items, a tag with
// its value or a loop of tags with rows of values. A loop's values are
// counted, not kept: the loops of an entry are nearly all of it, and a
// reader goes back to the few it needs (see `LoopRows`).
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "cif/rows.hpp"
#include "cif/tokens.hpp"
#include "cif/values.hpp"

namespace cif {

struct Item {
  enum class Kind { pair, loop, frame_begins, frame_ends };
  Kind kind = Kind::pair;
  std::string_view tag;                // pair: its tag; frame_begins: the save_ word
  std::string_view value;              // pair: its value token, as written
  std::vector<std::string_view> tags;  // loop: its tags, in order
  std::size_t values_at = 0;           // loop: where its values begin in the text
  std::size_t value_count = 0;         // loop: a whole number of rows of them, once counted
};

class Items {
 public:
  explicit Items(std::string_view text) : text_(text), tokens_(text) { peek(); }

  // The heading of the next data block ("data_NAME" or "global_"), passing
  // over what is left of the current one; nullopt at the end of the text
  // (text of blanks and comments holds no block). Throws SyntaxError for
  // text that is not CIF, before the first block too.
  std::optional<std::string_view> next_block();
  // The next item of the current block; false at its end.
  bool next_item(Item& item);
  // From now on, a loop comes from next_item with its values not counted
  // yet: the reader counts them (count_values) and reads on, or stops there
  // and reads its values as they come (Values).
  void defer_counts() { defer_counts_ = true; }
  void count_values(Item& loop);

 private:
  void peek();
  Token take();
  std::size_t count_pending();
  [[noreturn]] void fail(const char* what) const;

  std::string_view text_;
  Tokenizer tokens_;
  Token next_;                   // the token after the item read last
  std::size_t next_offset_ = 0;  // where it begins
  bool in_block_ = false;
  bool in_frame_ = false;
  std::size_t frame_at_ = 0;  // where the open frame begins
  bool defer_counts_ = false;
  bool uncounted_ = false;  // the last loop handed out has not been counted
  std::size_t items_read_ = 0;
  std::size_t pending_values_at_ = 0;
  std::size_t pending_columns_ = 1;
};

// The rows of one loop, read again from its values: the tokens of the
// columns asked for, in the order asked.
class LoopRows {
 public:
  // `columns` holds, for each value of a row, its place in the row handed
  // out, or `unused`.
  static constexpr std::size_t unused = static_cast<std::size_t>(-1);
  LoopRows(std::string_view text, const Item& loop, std::vector<std::size_t> columns);

  bool next(std::span<std::string_view> row);

 private:
  std::size_t rows_;
  std::vector<std::size_t> columns_;
  Values values_;
  RowLines lines_;
  std::size_t row_ = 0;
};

}  // namespace cif
