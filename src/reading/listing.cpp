// The console listing of the atoms collected.

#include "listing.hpp"

namespace reading {

void write_listing_header(records::Output& console) {
  console.record().text("   The carbon atoms have the following coordinates:").end();
  console.free_form();
  console.record().text("       #   SEQ   x [A]   y [A]   z [A]").end();
  console.free_form();
}

void write_listing_line(records::Output& console, std::size_t position, const AtomEntry& atom) {
  console.record()
      .text("  ")
      .I(records::as_count(position), 5)
      .I(atom.residue, 6)
      .F(atom.x, 8, 3)
      .F(atom.y, 8, 3)
      .F(atom.z, 8, 3)
      .end();
}

}  // namespace reading
