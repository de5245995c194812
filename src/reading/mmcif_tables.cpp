// The categories of an mmCIF entry that the routines read.

#include "mmcif_tables.hpp"

#include <algorithm>

#include "cif/syntax_error.hpp"
#include "cif/text.hpp"

namespace reading {
namespace {

// The categories by name, in the order of `Category`.
constexpr std::array<std::string_view, category_count> category_names = {
    "_entry",       "_struct_keywords", "_pdbx_database_status", "_database_PDB_rev", "_struct",
    "_exptl",       "_refine",          "_em_3d_reconstruction", "_struct_conf",      "_pdbx_poly_seq_scheme",
    "_entity_poly", "_atom_site",       "_struct_asym",          "_entity_poly_seq",
};

// The category of a tag ("_atom_site" of "_atom_site.id") and its item.
struct TagParts {
  std::string_view category;
  std::string_view item;
};
TagParts parts_of(std::string_view tag) {
  const std::size_t dot = tag.find('.');
  if (dot == std::string_view::npos) return {tag, {}};
  return {tag.substr(0, dot), tag.substr(dot + 1)};
}

std::optional<Category> category_of(std::string_view name) {
  for (std::size_t i = 0; i < category_names.size(); ++i) {
    if (cif::same_name(name, category_names[i])) return static_cast<Category>(i);
  }
  return std::nullopt;
}

// Whether `method` is `name` read as the archive's legacy files read it: in
// any case, with a line end (of a text field) or tab as a blank.
bool method_is(std::string_view method, std::string_view name) {
  if (method.size() != name.size()) return false;
  for (std::size_t i = 0; i < method.size(); ++i) {
    const char c = method[i] >= '\0' && method[i] < ' ' ? ' ' : method[i];
    if (cif::lower(c) != cif::lower(name[i])) return false;
  }
  return true;
}

bool method_mentions(std::string_view method, std::string_view name) {
  for (std::size_t at = 0; at + name.size() <= method.size(); ++at) {
    if (cif::same_name(method.substr(at, name.size()), name)) return true;
  }
  return false;
}

}  // namespace

std::optional<ResolutionItem> resolution_item(std::string_view method) {
  if (method_mentions(method, "NMR")) return std::nullopt;
  if (method_is(method, "ELECTRON MICROSCOPY")) return ResolutionItem{Category::em_3d_reconstruction, "resolution"};
  return ResolutionItem{Category::refine, "ls_d_res_high"};
}

std::optional<std::size_t> Table::column(std::string_view item) const {
  return columns_.find(items_, item);
}

bool Table::add_item(std::string_view item) {
  items_.push_back(item);
  return columns_.add(items_, items_.size() - 1);
}

std::size_t Table::rows() const {
  if (!given_) return 0;
  if (loop_) return loop_->value_count / loop_->tags.size();
  return 1;
}

std::optional<std::string_view> Table::first(std::string_view text, std::string_view item) const {
  const auto at = column(item);
  if (!at || rows() == 0) return std::nullopt;
  const std::array<std::optional<std::size_t>, 1> wanted{at};
  std::array<std::string_view, 1> row;
  TableRows rows(text, *this, wanted);
  rows.next(row);
  return row[0];
}

std::string_view Table::first_text(std::string_view text, std::string_view item) const {
  const auto token = first(text, item);
  return token ? cif::text_of(*token) : std::string_view();
}

TableRows::TableRows(std::string_view text, const Table& table, std::span<const std::optional<std::size_t>> wanted)
    : table_(table), wanted_(wanted.begin(), wanted.end()) {
  if (!table.is_loop()) return;
  std::vector<std::size_t> places(table.columns(), cif::LoopRows::unused);
  for (std::size_t place = 0; place < wanted_.size(); ++place) {
    if (wanted_[place]) places[*wanted_[place]] = place;
  }
  loop_.emplace(text, table.loop(), std::move(places));
}

bool TableRows::next(std::span<std::string_view> row) {
  std::fill(row.begin(), row.end(), std::string_view());
  if (loop_) return loop_->next(row);
  if (pairs_read_ || !table_.given()) return false;
  pairs_read_ = true;
  for (std::size_t place = 0; place < wanted_.size(); ++place) {
    if (wanted_[place]) row[place] = table_.pair_values()[*wanted_[place]];
  }
  return true;
}

Tables::Tables(std::string_view text, Purpose purpose) : text_(text) {
  cif::Items items(text);
  items.next_block();
  items.defer_counts();
  cif::Item item;
  bool in_frame = false;
  while (items.next_item(item)) {
    // Save frames belong to dictionaries, not to entries: what they hold is
    // not the entry's.
    if (item.kind == cif::Item::Kind::frame_begins || item.kind == cif::Item::Kind::frame_ends) {
      in_frame = item.kind == cif::Item::Kind::frame_begins;
    } else if (item.kind == cif::Item::Kind::pair) {
      if (!in_frame) add_pair(item);
    } else {
      const bool atoms = !in_frame && category_of(parts_of(item.tags.front()).category) == Category::atom_site;
      if (atoms && !(*this)[Category::atom_site].given() && all_but_atoms(purpose)) {
        add_loop(item);
        return;
      }
      items.count_values(item);
      if (!in_frame) add_loop(item);
    }
  }
}

bool Tables::has(Category category, std::string_view item) const {
  const Table& table = (*this)[category];
  return table.given() && table.column(item).has_value();
}

bool Tables::all_but_atoms(Purpose purpose) const {
  if (!has(Category::entry, "id") || !has(Category::struct_keywords, "pdbx_keywords") ||
      !has(Category::struct_, "title") || !has(Category::exptl, "method") || !has(Category::entity_poly, "entity_id")) {
    return false;
  }
  // The deposition date, or the revisions that give it in older files.
  if (first_text(Category::pdbx_database_status, "recvd_initial_deposition_date").empty() &&
      !has(Category::database_PDB_rev, "date_original")) {
    return false;
  }
  const auto resolution = resolution_item(first_text(Category::exptl, "method"));
  if (resolution && !has(resolution->category, resolution->item)) return false;
  if (purpose == Purpose::helices) return has(Category::struct_conf, "conf_type_id");
  return has(Category::pdbx_poly_seq_scheme, "pdb_strand_id") ||
         (has(Category::struct_asym, "entity_id") && has(Category::entity_poly_seq, "entity_id"));
}

void Tables::add_pair(const cif::Item& item) {
  const TagParts tag = parts_of(item.tag);
  const auto category = category_of(tag.category);
  if (!category) return;
  Table& table = tables_[static_cast<std::size_t>(*category)];
  if (table.loop_ || !table.add_item(tag.item)) {
    throw cif::SyntaxError(static_cast<std::size_t>(item.tag.data() - text_.data()), "an item given twice");
  }
  table.given_ = true;
  table.values_.push_back(item.value);
}

void Tables::add_loop(const cif::Item& item) {
  const TagParts first = parts_of(item.tags.front());
  const auto category = category_of(first.category);
  // A loop holds the items of one category; one of several is no mmCIF,
  // and which of them the values would be is a guess.
  for (const std::string_view tag : item.tags) {
    const std::string_view other = parts_of(tag).category;
    if (!cif::same_name(other, first.category) && (category || category_of(other))) {
      throw cif::SyntaxError(static_cast<std::size_t>(tag.data() - text_.data()), "a loop of several categories");
    }
  }
  if (!category) return;
  Table& table = tables_[static_cast<std::size_t>(*category)];
  if (table.given_) {
    throw cif::SyntaxError(static_cast<std::size_t>(item.tags.front().data() - text_.data()), "a category given twice");
  }
  table.given_ = true;
  for (const std::string_view tag : item.tags) table.add_item(parts_of(tag).item);
  table.loop_ = item;
}

}  // namespace reading
