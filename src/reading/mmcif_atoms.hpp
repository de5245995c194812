// The atom records of an mmCIF entry: the `_atom_site` rows in file order,
// given as the ATOM, HETATM and TER records the scans read in a legacy
// entry, made by the rules the archive derives its legacy files by:
// - the record name is `group_PDB` in six columns;
// - the atom name is `auth_atom_id` placed in columns 13-16: a name of one
//   to three characters starts in column 14, or in column 13 when its
//   element (`type_symbol`) has two letters ("CA  " is calcium, " CA " an
//   alpha carbon); a name of four starts in column 13;
// - the chain is `auth_asym_id` and the residue number `auth_seq_id`, as
//   written, however long (`label_*` where the `auth_*` item is missing);
// - a TER record follows the last atom of every `label_asym_id` whose
//   entity is a polymer (`_entity_poly`), in every model;
// - serial numbers count the records from 1 in each model
//   (`pdbx_PDB_model_num`), TER records included, as the legacy file
//   numbers them ("_atom_site.id" runs on across models);
// - coordinates are `Cartn_x`, `Cartn_y`, `Cartn_z`; one that reads as zero
//   ("-0.000") is an unsigned zero, as the legacy file writes it (see
//   `coordinate_of`).
// The unquoted "?" and "." (unknown, not applicable) are blank text, and no
// number: converting one fails as a blank-free non-number does.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "cif/rows.hpp"
#include "cif/values.hpp"
#include "mmcif_fields.hpp"
#include "mmcif_tables.hpp"
#include "name_index.hpp"

namespace reading {

class MmcifAtoms {
 public:
  // Throws cif::SyntaxError when an item the records need is missing.
  explicit MmcifAtoms(const Tables& tables);
  // It points into itself.
  MmcifAtoms(const MmcifAtoms&) = delete;
  MmcifAtoms& operator=(const MmcifAtoms&) = delete;

  // The rows are read as they come and checked as they are read: these
  // throw cif::SyntaxError where they are not CIF, or where the last row is
  // cut short.
  void rewind();
  // False after the last record, the fields left as they were.
  bool next(WideAtomFields& fields);
  // Whether the entity of this value of _entity_poly.entity_id is a polymer.
  bool is_polymer(std::string_view entity) const;

 private:
  // Where a row's values go; the values of the columns not read go to the
  // last, `passed`, but for the row's first value, which tells where the row
  // is. (The last value of a row is in its last column's slot, or in
  // `passed`, written last.)
  enum Slot : std::size_t {
    group,
    element,
    atom_name,
    label_chain,
    entity,
    chain,
    residue,
    x,
    y,
    z,
    model,
    row_start,
    passed
  };
  using Row = std::array<std::string_view, passed + 1>;

  // `plain`: every value of the row is its own text (see
  // cif::Values::row_plain).
  bool read_row(unsigned which, Row& row, bool& plain);
  void fill(WideAtomFields& fields, const Row& row, bool plain);

  const Table* table_;
  std::string_view text_;
  std::vector<Slot> slot_of_column_;
  // Where each column's value goes in each row of `row_pair_`.
  std::array<std::vector<std::string_view*>, 2> places_;
  // The entities that are polymers: looked up for every row where a chain
  // may end, and an entry may have as many entities as atoms.
  std::vector<std::string_view> polymers_;
  NameIndex<std::hash<std::string_view>, std::equal_to<>> polymer_index_;
  bool label_chain_is_chain_ = false;  // no label_asym_id: chains end where auth_asym_id changes
  bool terminated_ = false;            // label_entity_id given: polymer chains end in TER
  cif::Values values_;
  std::optional<cif::RowLines> row_lines_;  // a loop's
  std::size_t rows_read_ = 0;

  // The current row and the one after it, which tells where a chain ends.
  std::array<Row, 2> row_pair_{};
  std::array<bool, 2> plain_pair_{};
  unsigned current_ = 0;
  bool has_ahead_ = false;
  bool ter_due_ = false;
  std::int32_t serial_ = 0;
  std::string_view model_;
  std::array<char, 6> record_name_{};
  std::array<char, 4> atom_name_{};
};

}  // namespace reading
