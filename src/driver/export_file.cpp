// The export file: a short header, then one fixed-column record per atom,
// read by other programs by their columns.

#include "driver/driver.hpp"

namespace driver {

records::Output write_export(std::string_view directory, std::string_view name, const reading::AtomType& atom_type,
                             float resolution, const reading::AtomList& atoms,
                             records::Output::Directories directories, records::Temporary temporary) {
  records::Output file = records::Output::replace_beneath(export_unit, directory, name, directories, temporary);
  // The header, then 53 bytes an atom.
  constexpr std::size_t header_bytes = 256;
  constexpr std::size_t atom_bytes = 53;
  file.reserve(header_bytes + atoms.size() * atom_bytes);
  file.record().text("Atom cartesian coordinates from PDB").end();
  file.record().text("Brindlemark project. File created using Quarryman.").end();
  file.free_form();
  file.record().text("Atom type : ").A(atom_type.view(), 4).end();
  file.record().text("Resolution [\u00c5] : ").F(resolution, 4, 2).end();
  file.free_form();
  file.record().text("Entry     x [\u00c5]     y [\u00c5]     z [\u00c5]  residue  chain").end();
  file.free_form();

  for (std::size_t k = 0; k < atoms.size(); ++k) {
    const reading::AtomEntry& atom = atoms[k];
    file.record()
        .I(records::as_count(k + 1), 5)
        .F(atom.x, 10, 3)
        .F(atom.y, 10, 3)
        .F(atom.z, 10, 3)
        .I(atom.residue, 9)
        .A(atom.chain.view(), 7)
        .end();
  }
  file.complete();
  return file;
}

}  // namespace driver
