// READING: reads one PDB entry, reports on it and hands back the atoms of
// one atom type, either inside the entry's alpha helices (HELICES) or along
// its first chain (BACKBONES).
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "records/chars.hpp"
#include "records/input.hpp"
#include "records/output.hpp"

namespace reading {

// A chain's name, whole. Legacy entries give one character; the archive's
// mmCIF files up to four (the ribosomes and viruses the legacy format has no
// file for) and its assembly files more ("B-2"). The export's chain field is
// 7 characters wide, and that is what the name holds: a longer one fails the
// entry where it is read, never cut.
class ChainName {
 public:
  static constexpr std::size_t capacity = 7;

  constexpr ChainName() = default;
  // One character, as column 22 of an ATOM record gives it.
  constexpr ChainName(char chain) : chars_{chain, 0, 0, 0, 0, 0, 0, 1} {}
  // A name that does not fit (see `fits`) would lose its end: callers fail
  // the entry instead.
  constexpr explicit ChainName(std::string_view name) {
    const std::size_t size = std::min(name.size(), capacity);
    std::copy_n(name.data(), size, chars_.begin());
    chars_[capacity] = static_cast<char>(size);
  }
  static constexpr bool fits(std::string_view name) { return name.size() <= capacity; }
  static constexpr bool fits(char) { return true; }

  constexpr std::string_view view() const { return {chars_.data(), size()}; }
  constexpr std::size_t size() const { return static_cast<std::size_t>(chars_[capacity]); }
  // One comparison of 8 bytes: the helix scan compares names often.
  friend constexpr bool operator==(const ChainName& a, const ChainName& b) {
    return std::bit_cast<std::uint64_t>(a.chars_) == std::bit_cast<std::uint64_t>(b.chars_);
  }
  constexpr bool operator==(std::string_view name) const { return view() == name; }

 private:
  std::array<char, capacity + 1> chars_{};  // the name, zeros after it, and last its length
};

// One extracted atom. Its position in the atom list, from 1, is its running
// number on the console and in the export file.
struct AtomEntry {
  std::int32_t residue;
  float x;
  float y;
  float z;
  ChainName chain;

  bool operator==(const AtomEntry&) const = default;
};

// What an entry is read for: the routine that reads it, chosen in the
// dialogue. An entry is read only as far as its purpose needs.
enum class Purpose { helices, backbones };

// Present or absent: an absent list means the entry yielded nothing to export.
using AtomList = std::vector<AtomEntry>;
// "PDB/" and the entry's name, as the system takes it: a name of the list's
// 12 columns without its trailing blanks, or a whole one (`ab/1abc.cif`).
using EntryPath = std::string;
// A blank and the three characters typed: " CA " for alpha carbons.
using AtomType = records::Chars<4>;

// How entries are read besides what the dialogue asks.
struct ReadingRules {
  // An entry that states no resolution (computed models: no REMARK 2
  // record, no resolution item) is read as one whose resolution does not
  // apply, instead of failing where the resolution is looked for.
  bool allow_no_resolution = false;
};

class READING {
 public:
  // Reports go to `console`; entries are read on `entry` (connection 1).
  READING(records::Output& console, records::Input& entry, ReadingRules rules = {})
      : console_(console), entry_(entry), rules_(rules) {}

  // The atoms of the entry's right- and left-handed alpha helices, helix by
  // helix; the list stays absent when the entry declares none.
  void HELICES(const EntryPath& entry_path, float& resolution, std::optional<AtomList>& atoms, bool verbose,
               const AtomType& atom_type);

  // The atoms along the entry's first chain; the list is always present.
  void BACKBONES(const EntryPath& entry_path, float& resolution, std::optional<AtomList>& atoms, bool verbose,
                 const AtomType& atom_type);

 private:
  records::Output& console_;
  records::Input& entry_;
  ReadingRules rules_;
};

}  // namespace reading
