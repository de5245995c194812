// The structure of CIF text: blocks, items and loops.

#include "cif/items.hpp"

#include <utility>

#include "records/control_events.hpp"

namespace cif {
namespace {

constexpr std::size_t rows_between_checks = 4096;
constexpr std::size_t items_between_checks = 4096;

}  // namespace

void Items::peek() {
  next_ = tokens_.next();
  next_offset_ = next_.kind == Kind::end ? text_.size() : static_cast<std::size_t>(next_.text.data() - text_.data());
}

Token Items::take() {
  const Token token = next_;
  peek();
  return token;
}

void Items::fail(const char* what) const {
  throw SyntaxError(next_offset_, what);
}

std::optional<std::string_view> Items::next_block() {
  if (in_block_) {
    Item item;
    while (next_item(item)) {
    }
  }
  if (next_.kind == Kind::data || next_.kind == Kind::global) {
    in_block_ = true;
    return take().text;
  }
  if (next_.kind != Kind::end) fail("text that is not in a data block");
  return std::nullopt;
}

std::size_t Items::count_pending() {
  uncounted_ = false;
  tokens_.seek(pending_values_at_);
  const std::size_t count = tokens_.skip_values();
  peek();
  // Said where the loop's values begin: the row that lost or gained a value
  // is somewhere in it, and the loop is what a person looks for.
  if (count % pending_columns_ != 0) throw SyntaxError(pending_values_at_, "loop values that do not fill its rows");
  if (next_.kind == Kind::stop) take();
  return count;
}

void Items::count_values(Item& loop) {
  if (!uncounted_) return;
  loop.value_count = count_pending();
}

bool Items::next_item(Item& item) {
  // As for rows: what a reader does with an item may cost more than
  // reading it.
  if (++items_read_ % items_between_checks == 0) records::throw_if_control_event();
  if (uncounted_) count_pending();
  switch (next_.kind) {
    case Kind::end:
    case Kind::data:
    case Kind::global:
      if (in_frame_) throw SyntaxError(frame_at_, "a save frame that is not closed");
      return false;
    case Kind::tag: {
      item.kind = Item::Kind::pair;
      const std::size_t tag_at = next_offset_;
      item.tag = take().text;
      if (next_.kind != Kind::value) throw SyntaxError(tag_at, "a tag without a value");
      item.value = take().text;
      return true;
    }
    case Kind::loop: {
      take();
      item.kind = Item::Kind::loop;
      item.tags.clear();
      while (next_.kind == Kind::tag) item.tags.push_back(take().text);
      if (item.tags.empty()) fail("a loop without tags");
      // A tag is followed by a blank, even the last one of the text.
      const std::string_view last = item.tags.back();
      if (next_.kind == Kind::end && last.data() + last.size() == text_.data() + text_.size()) {
        fail("a tag at the end of the text");
      }
      item.values_at = next_offset_;
      item.value_count = 0;
      uncounted_ = true;
      pending_values_at_ = item.values_at;
      pending_columns_ = item.tags.size();
      if (!defer_counts_) count_values(item);
      return true;
    }
    case Kind::save:
      if (next_.text.size() == 5 || (in_frame_ && next_.text[5] == '#')) {
        if (!in_frame_) fail("save_ outside a save frame");
        in_frame_ = false;
        item.kind = Item::Kind::frame_ends;
        if (next_.text.size() > 5) {
          // A comment right after the save_ that ends the frame.
          tokens_.seek(next_offset_ + 5);
          peek();
          return true;
        }
      } else {
        if (in_frame_) fail("a save frame inside a save frame");
        in_frame_ = true;
        frame_at_ = next_offset_;
        item.kind = Item::Kind::frame_begins;
        item.tag = next_.text;
      }
      take();
      return true;
    case Kind::stop:
      fail("stop_ after no loop");
    case Kind::value:
      break;
  }
  fail("a value without a tag");
}

LoopRows::LoopRows(std::string_view text, const Item& loop, std::vector<std::size_t> columns)
    : rows_(loop.value_count / loop.tags.size()),
      columns_(std::move(columns)),
      values_(text, loop.values_at),
      lines_(text, loop.values_at, loop.tags.size()) {}

bool LoopRows::next(std::span<std::string_view> row) {
  if (row_ == rows_) return false;
  // The values were counted: a whole number of rows of them.
  std::string_view first;
  std::string_view value;
  for (const std::size_t column : columns_) {
    value = values_.next();
    if (first.data() == nullptr) first = value;
    if (column != unused) row[column] = value;
  }
  lines_.check(first, value);
  // What a reader does with each row (a lookup in a table of as many names
  // as rows, say) may cost far more than reading it: events are looked for
  // by rows as well as by the text read.
  if (row_ % rows_between_checks == 0) records::throw_if_control_event();
  ++row_;
  return true;
}

}  // namespace cif
