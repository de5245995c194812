// The values of a loop, read as they come.

#include "cif/values.hpp"

#include <algorithm>
#include <array>

#include "records/control_events.hpp"

namespace cif {
namespace {

// Values are read about this far between two looks for control events: a
// few milliseconds, however the text is made (a run of blanks, one long
// value, rows).
constexpr std::ptrdiff_t bytes_between_checks = std::ptrdiff_t{4} << 20;

}  // namespace

Values::Values(std::string_view text, std::size_t offset)
    : kernel_(&kernel()), tokens_(text), begin_(text.data()), end_(text.data() + text.size()) {
  seek(offset);
}

void Values::seek(std::size_t offset) {
  ended_ = false;
  next_check_ = begin_ + offset + bytes_between_checks;
  load(begin_ + offset, false);
}

void Values::look_for_events(const char* at) {
  if (at < next_check_) return;
  records::throw_if_control_event();
  next_check_ = at + bytes_between_checks;
}

void Values::load(const char* at, bool inside) {
  look_for_events(at);
  base_ = at;
  ChunkMasks masks;
  if (end_ - at >= 64) {
    masks = kernel_->masks(at);
  } else {
    // The last bytes of the text, and blanks after them.
    std::array<char, 64> tail;
    tail.fill(' ');
    if (at < end_) std::copy(at, end_, tail.begin());
    masks = kernel_->masks(tail.data());
  }
  blank_ = masks.blank;
  starts_ = starts_of(masks.blank, inside);
  attention_ = masks.attention;
}

std::size_t Values::read_into(std::string_view* const* into, std::size_t count) {
  // What is known of the 64 bytes, in registers (a store into the row could
  // otherwise be taken to change the members): written back before the
  // other reads, and read again after them.
  std::uint64_t starts = starts_;
  std::uint64_t blanks = blank_;
  std::uint64_t attention = attention_;
  const char* base = base_;
  closely_ = false;
  std::size_t i = 0;
  while (i < count) {
    // Plain values that end in these 64 bytes.
    for (; i < count && starts != 0; ++i) {
      const auto first = static_cast<unsigned>(std::countr_zero(starts));
      const std::uint64_t blanks_after = blanks >> first;
      if (blanks_after == 0) break;
      const auto length = static_cast<unsigned>(std::countr_zero(blanks_after));
      if (attention != 0 && ((attention >> first) & ((std::uint64_t{1} << length) - 1)) != 0) break;
      starts &= starts - 1;
      *into[i] = std::string_view(base + first, length);
    }
    if (i == count) break;
    // The next 64 bytes, when they are all in the text: no value left in
    // these, or a plain one that ends in the next ones.
    if (!ended_ && end_ - base >= 128) {
      if (starts == 0) {
        const bool inside = false;
        base += 64;
        look_for_events(base);
        const ChunkMasks next_masks = kernel_->masks(base);
        blanks = next_masks.blank;
        attention = next_masks.attention;
        starts = starts_of(blanks, inside);
        continue;
      }
      const int first = std::countr_zero(starts);
      if ((blanks >> first) == 0 && (attention >> first) == 0) {
        const ChunkMasks next_masks = kernel_->masks(base + 64);
        if (next_masks.blank != 0) {
          const int rest = std::countr_zero(next_masks.blank);
          if ((next_masks.attention & ((std::uint64_t{1} << rest) - 1)) == 0) {
            *into[i++] = std::string_view(base + first, static_cast<std::size_t>(64 - first + rest));
            base += 64;
            look_for_events(base);
            blanks = next_masks.blank;
            attention = next_masks.attention;
            starts = starts_of(blanks, true);
            continue;
          }
        }
      }
    }
    // The end of the text near, or a value that needs a closer look.
    closely_ = true;
    base_ = base;
    blank_ = blanks;
    attention_ = attention;
    starts_ = starts;
    const std::string_view value = next();
    starts = starts_;
    blanks = blank_;
    attention = attention_;
    base = base_;
    if (end(value)) return i;
    *into[i++] = value;
  }
  base_ = base;
  blank_ = blanks;
  attention_ = attention;
  starts_ = starts;
  return count;
}

bool Values::fill() {
  while (starts_ == 0) {
    if (ended_ || end_ - base_ <= 64) {
      ended_ = true;
      return false;
    }
    load(base_ + 64, (blank_ >> 63) == 0);
  }
  return true;
}

std::string_view Values::run_on(const char* start, int first) {
  // Plain as far as it goes in these 64 bytes, and in the ones after.
  bool plain = (attention_ >> first) == 0;
  while (plain) {
    if (end_ - base_ <= 64) return std::string_view(start, static_cast<std::size_t>(end_ - start));
    load(base_ + 64, true);
    if (blank_ != 0) {
      const int length = std::countr_zero(blank_);
      if ((attention_ & ((std::uint64_t{1} << length) - 1)) != 0) break;
      return std::string_view(start, static_cast<std::size_t>(base_ + length - start));
    }
    plain = attention_ == 0;
  }
  return read_closely(start);
}

std::string_view Values::read_closely(const char* start) {
  tokens_.seek(static_cast<std::size_t>(start - begin_));
  const Token token = tokens_.next();
  if (token.kind != Kind::value) {
    ended_ = true;
    starts_ = 0;
    return {};
  }
  load(begin_ + tokens_.offset(), false);
  return token.text;
}

}  // namespace cif
