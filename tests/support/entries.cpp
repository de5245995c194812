#include "entries.hpp"

#include <cstdio>

namespace testing_support {

std::string atom_record(const Atom& a) {
  char line[96];
  std::snprintf(line, sizeof line, "%-6.6s%5d %-4.4s ALA %c%4d%c   %8.3f%8.3f%8.3f  1.00 20.00           C",
                std::string(a.record).c_str(), a.serial, std::string(a.name).c_str(), a.chain, a.residue, a.insertion,
                a.x, a.y, a.z);
  return line;
}

std::string helix_record(char chain, int start, int end, std::string_view helix_class) {
  char line[96];
  std::snprintf(line, sizeof line, "HELIX    1   1 ALA %c %4d  ALA %c %4d %-2.2s%36d    ", chain, start, chain, end,
                std::string(helix_class).c_str(), end - start + 1);
  return line;
}

std::string seqres_record(char chain, int residue_count) {
  char line[96];
  std::snprintf(line, sizeof line, "SEQRES   1 %c %4d  ALA ALA ALA", chain, residue_count);
  return line;
}

EntryText EntryText::with_header(std::string_view resolution) {
  EntryText entry;
  entry.add("HEADER    SYNTHETIC PROTEIN                       01-JAN-00   0TST              ");
  entry.add("TITLE     AN ENTRY BUILT FOR A TEST");
  entry.add("REMARK   2");
  entry.add("REMARK   2 RESOLUTION." + std::string(resolution));
  return entry;
}

EntryText& EntryText::add(std::string_view record) {
  text_.append(record).push_back('\n');
  return *this;
}

EntryText& EntryText::add_chain(char chain, int first, int last, int serial, std::string_view name) {
  for (int residue = first; residue <= last; ++residue) {
    add(Atom{serial, " N  ", chain, residue, 1.0, 2.0, 3.0});
    // Coordinates repeat every thousand residues to stay inside their columns.
    add(Atom{serial + 1, name, chain, residue, residue % 1000 * 1.5, -residue % 1000 * 0.25, 10.0});
    serial += 2;
  }
  return *this;
}

std::string chain_entry(int residues) {
  auto entry = EntryText::with_header();
  entry.add(seqres_record('A', residues)).add_chain('A', 1, residues, 1);
  return entry.text();
}

std::string helix_chain_entry(int residues) {
  auto entry = EntryText::with_header();
  entry.add(helix_record('A', 1, 2)).add(seqres_record('A', residues));
  entry.add_chain('A', 1, residues, 1);
  return entry.text();
}

}  // namespace testing_support
