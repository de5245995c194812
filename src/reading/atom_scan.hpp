// The rules by which both routines take ATOM records: alternate locations
// are passed over, and numbers are converted only as far as they are used.
#pragma once

#include <cstdint>

#include "layouts.hpp"
#include "reading/reading.hpp"
#include "records/fields.hpp"

namespace reading {

// What a scan has taken from the ATOM records it has seen: the serial of the
// last atom of the chosen type, the residue of the last atom taken and the
// coordinates of the last atom of the chosen type taken. Both routines scan
// with these rules.
struct AtomScan {
  enum class Step { taken, skipped, bad_number };

  std::int32_t previous_serial = -10;
  std::int32_t current_residue = 0;
  float x = 0.0F;
  float y = 0.0F;
  float z = 0.0F;

  // Takes one ATOM record. Of consecutive serials carrying the chosen atom
  // name, only the first is taken: the rest are its alternate locations.
  //
  // Every number of a record taken must read, but only an atom of the
  // chosen type is ever collected, right after it is taken; so of the
  // others only the residue is converted, and the serial and the
  // coordinates are checked, which is most of a scan's time saved.
  // The same rules for both kinds of record fields (AtomFields,
  // WideAtomFields).
  template <class Fields>
  Step take(const Fields& fields, bool of_atom_type) {
    const auto numbers = numbers_of(fields);
    if (!of_atom_type) {
      const auto residue = numbers.residue();
      if (!numbers.serial_reads() || !residue || !numbers.coordinates_read()) return Step::bad_number;
      current_residue = *residue;
      return Step::taken;
    }
    const auto serial = numbers.serial();
    if (!serial) return Step::bad_number;
    const bool alternate = *serial == previous_serial + 1;
    previous_serial = *serial;
    if (alternate) return Step::skipped;
    const auto residue = numbers.residue();
    const auto new_x = numbers.coordinate(fields.x);
    const auto new_y = numbers.coordinate(fields.y);
    const auto new_z = numbers.coordinate(fields.z);
    if (!residue || !new_x || !new_y || !new_z) return Step::bad_number;
    current_residue = *residue;
    x = coordinate_of(fields, *new_x);
    y = coordinate_of(fields, *new_y);
    z = coordinate_of(fields, *new_z);
    return Step::taken;
  }

  AtomEntry entry(ChainName chain) const { return {current_residue, x, y, z, chain}; }
};

}  // namespace reading
