// READING: reads one PDB entry, reports on it and hands back the atoms of
// one atom type, either inside the entry's alpha helices (HELICES) or along
// its first chain (BACKBONES).
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "records/chars.hpp"
#include "records/input.hpp"
#include "records/output.hpp"

namespace reading {

// One extracted atom. Its position in the atom list, from 1, is its running
// number on the console and in the export file.
struct AtomEntry {
  std::int32_t residue;
  float x;
  float y;
  float z;
  char chain;

  bool operator==(const AtomEntry&) const = default;
};

// Present or absent: an absent list means the entry yielded nothing to export.
using AtomList = std::vector<AtomEntry>;
// "PDB/" and a 12-character file name.
using EntryPath = records::Chars<16>;
// A blank and the three characters typed: " CA " for alpha carbons.
using AtomType = records::Chars<4>;

class READING {
 public:
  // Reports go to `console`; entries are read on `entry` (connection 1).
  READING(records::Output& console, records::Input& entry) : console_(console), entry_(entry) {}

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
};

}  // namespace reading
