// Small synthetic PDB entries, record by record, in the archive's columns.
#pragma once

#include <string>
#include <string_view>

namespace testing_support {

struct Atom {
  int serial;
  std::string_view name;  // columns 13-16, e.g. " CA "
  char chain;
  int residue;
  double x = 0.0;
  double y = 0.0;
  double z = 0.0;
  std::string_view record = "ATOM  ";
  char insertion = ' ';
};

std::string atom_record(const Atom& atom);
// HELIX record; `helix_class` goes to columns 39-40.
std::string helix_record(char chain, int start, int end, std::string_view helix_class = " 1");
std::string seqres_record(char chain, int residue_count);

// A whole entry: the header, a helix over residues 1 and 2 of chain A,
// SEQRES for `residues`, and one CA per residue.
std::string helix_chain_entry(int residues);
// The same without the helix.
std::string chain_entry(int residues);

// An entry under construction: records joined with line feeds.
class EntryText {
 public:
  // HEADER and TITLE records, then REMARK 2 with the given resolution text
  // (everything after "REMARK   2 RESOLUTION.").
  static EntryText with_header(std::string_view resolution = "    2.00 ANGSTROMS.");

  EntryText& add(std::string_view record);
  EntryText& add(const Atom& atom) { return add(atom_record(atom)); }
  // One atom of `name` per residue, first..last, serials counting from `serial`.
  EntryText& add_chain(char chain, int first, int last, int serial, std::string_view name = " CA ");
  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

}  // namespace testing_support
