// The categories of an mmCIF entry that the routines read, found in one
// pass over its first data block (the entry), each given as a loop or as a
// list of tag-value pairs: both are a table here.
//
// The pass reads only as far as the routine needs, as a legacy entry is
// read: once every category the routine reads has been found, it stops at
// _atom_site, whose rows the routine then reads as they come (see
// mmcif_atoms.hpp). In the archive's files everything but the atoms comes
// before them (the first SEQRES chain then comes from _struct_asym and
// _entity_poly_seq, see mmcif_entry.hpp), so an entry is read once, and only
// as far as the atoms the routine takes; a category found only after the
// atoms makes the pass go on to the end of the block.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "cif/items.hpp"
#include "cif/text.hpp"
#include "name_index.hpp"
#include "reading/reading.hpp"

namespace reading {

enum class Category {
  entry,
  struct_keywords,
  pdbx_database_status,
  database_PDB_rev,
  struct_,
  exptl,
  refine,
  em_3d_reconstruction,
  struct_conf,
  pdbx_poly_seq_scheme,
  entity_poly,
  atom_site,
  struct_asym,
  entity_poly_seq,
};
inline constexpr std::size_t category_count = 14;

// One category: its items (tags without the category) and its rows.
class Table {
 public:
  bool given() const { return given_; }
  // Where it begins in `text`, the text it was read from.
  std::size_t offset_in(std::string_view text) const {
    return static_cast<std::size_t>(items_.front().data() - text.data());
  }
  // The column of an item, named without regard to case.
  std::optional<std::size_t> column(std::string_view item) const;
  std::size_t columns() const { return items_.size(); }
  std::size_t rows() const;
  bool is_loop() const { return loop_.has_value(); }
  const cif::Item& loop() const { return *loop_; }
  // The values of a list of pairs, one per column.
  std::span<const std::string_view> pair_values() const { return values_; }

  // The value token of `item` in the first row; nullopt when the category
  // or the item is not given.
  std::optional<std::string_view> first(std::string_view text, std::string_view item) const;
  // What that token says: empty when it is not given or a null.
  std::string_view first_text(std::string_view text, std::string_view item) const;

 private:
  friend class Tables;
  // Adds an item as the next column; false when the table has it already
  // (a loop may name an item twice: its first column is the item's).
  bool add_item(std::string_view item);

  bool given_ = false;
  std::vector<std::string_view> items_;
  // The columns by their items' names, the first where a loop names an item
  // twice: a category may come as hundreds of thousands of pairs.
  NameIndex<cif::NameHash, cif::SameName> columns_;
  std::vector<std::string_view> values_;  // a list of pairs
  std::optional<cif::Item> loop_;         // a loop
};

// The rows of a table, with the value tokens of the columns asked for (an
// absent column gives an empty value).
class TableRows {
 public:
  TableRows(std::string_view text, const Table& table, std::span<const std::optional<std::size_t>> wanted);
  bool next(std::span<std::string_view> row);

 private:
  const Table& table_;
  std::vector<std::optional<std::size_t>> wanted_;
  std::optional<cif::LoopRows> loop_;
  bool pairs_read_ = false;
};

// Where an entry's resolution is given, by its experimental method
// (`_exptl.method`), as the archive's legacy files take it: nowhere for NMR
// (REMARK 2 says "NOT APPLICABLE"), `_em_3d_reconstruction.resolution` for
// electron microscopy, `_refine.ls_d_res_high` for anything else. The
// method is read in any case, its line ends as blanks.
struct ResolutionItem {
  Category category;
  std::string_view item;
};
std::optional<ResolutionItem> resolution_item(std::string_view method);

class Tables {
 public:
  // Reads the structure of the first data block of `text`, as far as
  // `purpose` needs. Throws cif::SyntaxError where the text is not CIF, or
  // where a category read here comes twice (which of them would be the
  // entry's?) or in a loop with another.
  Tables(std::string_view text, Purpose purpose);

  const Table& operator[](Category category) const { return tables_[static_cast<std::size_t>(category)]; }
  std::string_view text() const { return text_; }
  // What the first row of `category` says of `item` (Table::first_text).
  std::string_view first_text(Category category, std::string_view item) const {
    return (*this)[category].first_text(text_, item);
  }

 private:
  void add_pair(const cif::Item& item);
  void add_loop(const cif::Item& item);
  // Whether every category that `purpose` reads, but the atoms, was found.
  bool all_but_atoms(Purpose purpose) const;
  bool has(Category category, std::string_view item) const;

  std::string_view text_;
  std::array<Table, category_count> tables_;
};

}  // namespace reading
