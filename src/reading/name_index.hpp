// Names found by name in constant time: the positions of names in a list,
// by open addressing in one array, with no allocation per name. An entry
// may hold hundreds of thousands of names of one kind (items of a category,
// entities), each looked up as it is added.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace reading {

// `Hash` and `Same` say when two names are one: CIF's tags are compared
// without regard to case, values exactly.
template <class Hash, class Same>
class NameIndex {
 public:
  // Adds names[position], unless a name the same is in already: false then.
  bool add(std::span<const std::string_view> names, std::size_t position) {
    if (2 * (used_ + 1) > slots_.size()) grow();
    const std::uint32_t hash = hash_of(names[position]);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
      Slot& slot = slots_[at];
      if (slot.position == 0) {
        slot = {static_cast<std::uint32_t>(position + 1), hash};
        ++used_;
        return true;
      }
      if (slot.hash == hash && Same()(names[slot.position - 1], names[position])) return false;
    }
  }

  // The position of the first name the same as `name`.
  std::optional<std::size_t> find(std::span<const std::string_view> names, std::string_view name) const {
    if (slots_.empty()) return std::nullopt;
    const std::uint32_t hash = hash_of(name);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t at = hash & mask; slots_[at].position != 0; at = (at + 1) & mask) {
      const Slot& slot = slots_[at];
      if (slot.hash == hash && Same()(names[slot.position - 1], name)) return slot.position - 1;
    }
    return std::nullopt;
  }

 private:
  // A name's hash is kept with it: the slots are laid out anew as they
  // grow without going back to the names, which lie all over the entry.
  struct Slot {
    std::uint32_t position = 0;  // the name's position + 1; 0 in a free slot
    std::uint32_t hash = 0;
  };

  static std::uint32_t hash_of(std::string_view name) { return static_cast<std::uint32_t>(Hash()(name)); }

  void grow() {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(std::max<std::size_t>(16, 2 * old.size()), Slot{});
    const std::size_t mask = slots_.size() - 1;
    for (const Slot& slot : old) {
      if (slot.position == 0) continue;
      std::size_t at = slot.hash & mask;
      while (slots_[at].position != 0) at = (at + 1) & mask;
      slots_[at] = slot;
    }
  }

  std::vector<Slot> slots_;
  std::size_t used_ = 0;
};

}  // namespace reading
