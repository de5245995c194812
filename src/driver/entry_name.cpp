// Entry names, short and whole.

#include "driver/entry_name.hpp"

#include "records/fields.hpp"

namespace driver {
namespace {

std::string_view without_trailing_blanks(std::string_view text) {
  const std::size_t last = text.find_last_not_of(' ');
  return last == std::string_view::npos ? std::string_view() : text.substr(0, last + 1);
}

}  // namespace

EntryName EntryName::whole(std::string_view name) {
  EntryName entry;
  entry.text_.assign(without_trailing_blanks(name));
  if (entry.text_.size() < columns) entry.text_.resize(columns, ' ');
  entry.whole_ = true;
  return entry;
}

std::string_view EntryName::path() const {
  return without_trailing_blanks(text_);
}

void EntryName::rewrite_extension(std::string_view letters) {
  const std::size_t length = path().size();
  // A name of 12 characters or fewer gives what it always gave.
  const std::size_t room = length <= columns ? columns : std::string::npos;
  const std::size_t last_part = whole_ ? path().rfind('/') + 1 : 0;  // npos + 1 is 0
  std::size_t dot = text_.find('.', last_part);
  if (dot >= length) {
    // A name without a dot gets one, rather than losing its first letters.
    dot = length;
    if (dot >= room) return;
    if (dot == text_.size()) text_.push_back(' ');
    text_[dot] = '.';
  }
  for (std::size_t i = 0; i < letters.size() && dot + 1 + i < room; ++i) {
    if (dot + 1 + i == text_.size()) text_.push_back(' ');
    text_[dot + 1 + i] = letters[i];
  }
}

void EntryList::reserve(std::size_t count) {
  if (whole_) {
    ends_.reserve(count);
  } else {
    fixed_.reserve(count);
  }
}

void EntryList::add(std::string_view record) {
  if (!whole_) {
    records::FieldReader(record).A(12, fixed_.emplace_back());
    return;
  }
  text_.append(without_trailing_blanks(record));
  ends_.push_back(static_cast<std::uint32_t>(text_.size()));
}

EntryName EntryList::operator[](std::size_t i) const {
  if (!whole_) return EntryName(fixed_[i]);
  const std::size_t begin = i == 0 ? 0 : ends_[i - 1];
  return EntryName::whole(std::string_view(text_).substr(begin, ends_[i] - begin));
}

}  // namespace driver
