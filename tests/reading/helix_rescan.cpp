#include "helix_rescan.hpp"

#include "reading/layouts.hpp"

namespace testing_support {
namespace {

using namespace reading;

// One helix's scan: the atoms of the helix's chain whose residue lies inside
// it, until an atom of the chosen type shows the end residue or beyond.
void scan_helix(records::Input& entry, const Helix& helix, const HelixReport& report, AtomList& atoms) {
  entry.rewind();
  AtomFields fields;
  std::int32_t current_residue = 0;
  std::int32_t previous_serial = -10;
  float x = 0.0F;
  float y = 0.0F;
  float z = 0.0F;
  for (;;) {
    read_atom(entry.read_or_fail(), fields);
    const bool of_atom_type = fields.atom_name == report.atom_type;
    const bool in_chain = fields.name == atom_key && fields.chain[0] == helix.chain;
    if (in_chain) {
      const std::int32_t serial = convert_I(entry, fields.serial.view());
      if (of_atom_type && serial == previous_serial + 1) {
        previous_serial = serial;
        continue;
      }
      if (of_atom_type) previous_serial = serial;
      current_residue = convert_I(entry, fields.residue.view());
      x = convert_F(entry, fields.x.view());
      y = convert_F(entry, fields.y.view());
      z = convert_F(entry, fields.z.view());
    }
    if (in_chain && of_atom_type && helix.start <= current_residue && current_residue <= helix.end) {
      atoms.push_back({current_residue, x, y, z, fields.chain[0]});
      if (report.verbose) write_listing_line(report.console, atoms.size(), atoms.back());
    }
    if (of_atom_type && current_residue >= helix.end) {
      if (report.verbose) report.console.free_form();
      return;
    }
  }
}

}  // namespace

void collect_helix_atoms_by_rescanning(records::Input& entry, const std::vector<Helix>& helices,
                                       const HelixReport& report, AtomList& atoms) {
  for (const Helix& helix : helices) {
    if (report.verbose) announce_helix(report, helix);
    scan_helix(entry, helix, report, atoms);
  }
}

}  // namespace testing_support
