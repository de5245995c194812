// A PDBx/mmCIF entry as the routines read it: what its legacy file would
// give them, made from the categories of its first data block by the rules
// the archive derives its legacy files by. The routines (HELICES,
// BACKBONES) are the same templates for both kinds of entry.
//
//   title line 1   HEADER: `_struct_keywords.pdbx_keywords` in upper case
//                  (40 columns), the deposition date as DD-MON-YY
//                  (`_pdbx_database_status.recvd_initial_deposition_date`,
//                  or `_database_PDB_rev.date_original` of revision 1 in
//                  older files), three blanks, `_entry.id` (an extended id,
//                  "pdb_00017xsv", runs on past column 70 and is shown whole)
//   title line 2   the first TITLE line: `_struct.title` in upper case,
//                  blanks run together, wrapped at 70 columns
//   resolution     by `_exptl.method`: NMR has none ("NOT APPLICABLE"),
//                  electron microscopy `_em_3d_reconstruction.resolution`,
//                  anything else `_refine.ls_d_res_high`; rounded to two
//                  decimals as REMARK 2 writes it. None given: the legacy
//                  file would have no REMARK 2 record, and the entry ends
//                  before one is found, as such a legacy entry does.
//   HELIX records  `_struct_conf` rows of type HELX_P, in file order: chain
//                  `beg_auth_asym_id`, start `beg_auth_seq_id`, end
//                  `end_auth_seq_id`, class `pdbx_PDB_helix_class`
//   first SEQRES   the first `pdb_strand_id` of `_pdbx_poly_seq_scheme` and
//                  the number of its residues; where that category is not
//                  read (the archive writes it after the atoms), the first
//                  chain of `_struct_asym` whose entity is a polymer and the
//                  number of residues of that entity in `_entity_poly_seq`,
//                  which are the same on every archive file tried (tests)
//   atom records   see mmcif_atoms.hpp
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

#include "cif/syntax_error.hpp"
#include "entry.hpp"
#include "mmcif_atoms.hpp"
#include "mmcif_fields.hpp"
#include "mmcif_tables.hpp"
#include "records/failures.hpp"
#include "records/input.hpp"

namespace reading {

// Text that is not CIF fails the entry as malformed mmCIF data, saying on
// which line of the entry and why.
[[noreturn]] void fail_malformed(records::Input& entry, const cif::SyntaxError& error);

class MmcifEntry {
 public:
  using Fields = WideAtomFields;

  // Reads the structure of the entry open on `entry`, as far as `purpose`
  // needs. Text that is not CIF, or that has no atoms to read, fails the
  // entry (malformed mmCIF data), here or, in the rows of a table, in the
  // call that reads them.
  MmcifEntry(records::Input& entry, Purpose purpose);

  std::string_view title();
  ResolutionText resolution();
  std::int32_t first_seqres_count();

  void rewind();
  // Its tables are read from their first rows for every pass.
  void rewind_for_helices() { rewind(); }
  void rewind_for_atoms() { rewind(); }
  void skip_to_helix() {}
  std::optional<WideHelixFields> next_helix();
  // The atom rows are read as they come: text that is not CIF there fails
  // the entry when it is met.
  bool next(WideAtomFields& fields) {
    return as_cif([&] { return atoms_.next(fields); });
  }

  [[noreturn]] void fail(records::Failure failure) const { entry_.fail(failure); }
  const records::Input& input() const { return entry_; }

 private:
  enum HelixColumn : std::size_t { type, chain, start, end, helix_class, helix_columns };

  std::int32_t first_polymer_length();
  // What `read` gives; text that is not CIF, met on the way, fails the
  // entry.
  template <class Read>
  std::invoke_result_t<Read&> as_cif(Read read) {
    try {
      return read();
    } catch (const cif::SyntaxError& error) {
      fail_malformed(entry_, error);
    }
  }

  records::Input& entry_;
  Tables tables_;
  MmcifAtoms atoms_;
  std::array<std::string, 2> titles_;
  std::size_t titles_read_ = 0;
  std::string resolution_;
  std::array<std::optional<std::size_t>, helix_columns> helix_columns_{};
  std::optional<TableRows> helices_;
  std::array<char, 2> helix_class_{};
};

}  // namespace reading
