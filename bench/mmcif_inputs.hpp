// PDBx/mmCIF benchmark inputs: the big entry written as the archive writes
// its mmCIF files, and an entry of about 100 MB made by repeating its
// _atom_site rows under chain names of several characters.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace bench_inputs {

struct MmcifShape {
  std::size_t bytes = 0;
  long atoms = 0;   // _atom_site rows
  int chains = 0;   // polymer chains
  int helices = 0;  // _struct_conf rows of type HELX_P
  std::string longest_chain_name;
  long largest_residue_number = 0;
};

struct MmcifEntry {
  std::string text;
  MmcifShape shape;
};

// The mmCIF twin of a legacy entry made by make_big_entry: the same header,
// chains, helices and atoms (with their ANISOU records as
// _atom_site_anisotrop), columns aligned as in the archive's files. Read, it
// gives the legacy entry's exports byte for byte.
MmcifEntry mmcif_of_big_entry(std::string_view legacy);

// The chains of that twin and copies of them, each copy under names of
// four characters ("A101", "Z109", "b103"), its residues numbered on past 4
// digits, with its own helices, until the text is `bytes` long; only
// _atom_site, no _atom_site_anisotrop.
MmcifEntry repeated_mmcif_entry(std::string_view legacy, std::size_t bytes);

}  // namespace bench_inputs
