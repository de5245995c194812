// The scans that gather each helix's atoms from the entry.
#pragma once

#include <cstdint>
#include <vector>

#include "reading/reading.hpp"
#include "records/output.hpp"

namespace reading {

struct Helix {
  ChainName chain;     // column 20 of the HELIX record
  std::int32_t start;  // first residue
  std::int32_t end;    // last residue
};

struct HelixReport {
  records::Output& console;
  bool verbose;
  const AtomType& atom_type;
};

// Gathers the atoms of every helix in table order, appending to `atoms` and
// listing them, as a scan of the whole entry per helix would, in one pass.
// Made for both kinds of entry (LegacyEntry, MmcifEntry).
template <class Entry>
void collect_helix_atoms(Entry& entry, const std::vector<Helix>& helices, const HelixReport& report, AtomList& atoms);

// The report's lines that open a helix's listing.
void announce_helix(const HelixReport& report, const Helix& helix);

}  // namespace reading
