// An entry read in its own format: the routines are templates over the
// entry they read (LegacyEntry, MmcifEntry), written once, and this is the
// one place that tells the formats apart.
#pragma once

#include <string_view>

#include "entry.hpp"
#include "legacy_entry.hpp"
#include "mmcif_entry.hpp"
#include "reading/reading.hpp"
#include "records/input.hpp"

namespace reading {

// Opens the entry at `path` on `input`, hands it to `routine` as the entry
// of its format, read as far as `purpose` needs for the atoms `atom_type`,
// and closes it.
template <class Routine>
void read_in_its_format(records::Input& input, std::string_view path, Purpose purpose, const AtomType& atom_type,
                        Routine&& routine) {
  open_entry(input, path);
  if (holds_mmcif(input)) {
    MmcifEntry entry(input, purpose);
    routine(entry);
  } else {
    LegacyEntry entry(input, atom_type);
    routine(entry);
  }
  input.close();
}

}  // namespace reading
