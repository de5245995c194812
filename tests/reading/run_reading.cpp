#include "run_reading.hpp"

#include <algorithm>

namespace testing_support {

Extraction ReadingTest::run(Routine routine, const std::string& entry, const Options& options) {
  testing_support::FilesInMemory files;
  files.add("PDB/test.pdb", entry);
  records::Output console = records::Output::in_memory();
  records::Input input(1, files);
  reading::READING component(console, input, {.allow_no_resolution = options.allow_no_resolution});
  const reading::EntryPath path("PDB/test.pdb");
  const reading::AtomType atom_type(options.atom_type);

  Extraction result;
  result.resolution = options.resolution;
  try {
    if (routine == Routine::helices) {
      component.HELICES(path, result.resolution, result.atoms, options.verbose, atom_type);
    } else {
      component.BACKBONES(path, result.resolution, result.atoms, options.verbose, atom_type);
    }
  } catch (const records::IoError& error) {
    result.failure = error.what();
  }
  result.console = console.text();
  std::erase(result.console, '\r');
  return result;
}

Residues residues_of(const reading::AtomList& atoms) {
  Residues residues;
  for (const auto& atom : atoms) residues.emplace_back(atom.residue, atom.chain);
  return residues;
}

Residues numbered(int first, int last, reading::ChainName chain) {
  Residues residues;
  for (int r = first; r <= last; ++r) residues.emplace_back(r, chain);
  return residues;
}

Residues operator+(Residues a, const Residues& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

}  // namespace testing_support
