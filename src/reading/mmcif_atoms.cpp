// The atom records of an mmCIF entry, row by row.

#include "mmcif_atoms.hpp"

#include <algorithm>

#include "cif/syntax_error.hpp"
#include "cif/text.hpp"
#include "records/control_events.hpp"

namespace reading {
namespace {

constexpr std::string_view hetatm_key = "HETATM";
constexpr std::string_view blank_atom_name = "    ";  // columns 13-16 of a TER record
constexpr std::string_view blank_chain = " ";

// Rows between looks for control events: a few milliseconds' worth.
constexpr std::size_t rows_between_checks = std::size_t{1} << 15;

// `text` in the columns `into` holds, left-justified, or whole when it is
// longer.
template <std::size_t N>
std::string_view padded(std::string_view text, std::array<char, N>& into) {
  if (text.size() >= N) return text;
  std::copy(text.begin(), text.end(), into.begin());
  std::fill(into.begin() + static_cast<std::ptrdiff_t>(text.size()), into.end(), ' ');
  return {into.data(), N};
}

// Values are short: a loop beats a call to memcmp.
bool same(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

}  // namespace

MmcifAtoms::MmcifAtoms(const Tables& tables)
    : table_(&tables[Category::atom_site]), text_(tables.text()), values_(tables.text(), 0) {
  const Table& atoms = *table_;
  if (!atoms.given()) throw cif::SyntaxError(cif::SyntaxError::nowhere, "no _atom_site category");
  slot_of_column_.assign(atoms.columns(), passed);
  // The author's names and numbers, which the legacy file carries, or the
  // label ones where an entry has no others.
  const auto place = [&](Slot slot, std::string_view item, std::string_view otherwise, bool needed) {
    auto column = atoms.column(item);
    if (!column && !otherwise.empty()) column = atoms.column(otherwise);
    if (!column) {
      if (needed)
        throw cif::SyntaxError(atoms.offset_in(tables.text()), "an _atom_site item the records need is missing");
      return;
    }
    if (slot_of_column_[*column] != passed) return;  // read into its first slot
    slot_of_column_[*column] = slot;
  };
  place(group, "group_PDB", {}, true);
  place(element, "type_symbol", {}, false);
  place(atom_name, "auth_atom_id", "label_atom_id", true);
  place(chain, "auth_asym_id", "label_asym_id", true);
  place(label_chain, "label_asym_id", {}, false);
  place(entity, "label_entity_id", {}, false);
  place(residue, "auth_seq_id", "label_seq_id", true);
  place(x, "Cartn_x", {}, true);
  place(y, "Cartn_y", {}, true);
  place(z, "Cartn_z", {}, true);
  place(model, "pdbx_PDB_model_num", {}, false);
  if (slot_of_column_.front() == passed) slot_of_column_.front() = row_start;
  for (unsigned which = 0; which < 2; ++which) {
    for (const Slot slot : slot_of_column_) places_[which].push_back(&row_pair_[which][slot]);
  }
  label_chain_is_chain_ =
      std::find(slot_of_column_.begin(), slot_of_column_.end(), label_chain) == slot_of_column_.end();
  terminated_ = std::find(slot_of_column_.begin(), slot_of_column_.end(), entity) != slot_of_column_.end();

  const Table& polymers = tables[Category::entity_poly];
  const std::array<std::optional<std::size_t>, 1> wanted{polymers.column("entity_id")};
  std::array<std::string_view, 1> row;
  TableRows rows(tables.text(), polymers, wanted);
  // A row without an id names no entity: an atom of no entity (".") is
  // not in a polymer.
  while (rows.next(row)) {
    const std::string_view id = cif::text_of(row[0]);
    if (id.empty()) continue;
    polymers_.push_back(id);
    if (!polymer_index_.add(polymers_, polymers_.size() - 1)) polymers_.pop_back();
  }

  rewind();
}

void MmcifAtoms::rewind() {
  if (table_->is_loop()) {
    values_.seek(table_->loop().values_at);
    if (!row_lines_) row_lines_.emplace(text_, table_->loop().values_at, table_->columns());
  }
  rows_read_ = 0;
  current_ = 0;
  has_ahead_ = read_row(1, row_pair_[1], plain_pair_[1]);
  ter_due_ = false;
  serial_ = 0;
  model_ = {};
}

bool MmcifAtoms::read_row(unsigned which, Row& row, bool& plain) {
  if (table_->is_loop()) {
    // The first value, or the end of the loop; then the rest of the row.
    const std::size_t read = values_.read_into(places_[which].data(), places_[which].size());
    if (read == 0) return false;
    if (read < places_[which].size()) {
      const std::string_view first_value = *places_[which].front();
      throw cif::SyntaxError(static_cast<std::size_t>(first_value.data() - text_.data()),
                             "loop values that do not fill its last row");
    }
    row_lines_->check(row[slot_of_column_.front()], row[slot_of_column_.back()]);
    plain = values_.row_plain();
  } else {
    if (rows_read_ == 1) return false;
    plain = false;
    for (std::size_t column = 0; column < slot_of_column_.size(); ++column) {
      row[slot_of_column_[column]] = table_->pair_values()[column];
    }
  }
  if (label_chain_is_chain_) row[label_chain] = row[chain];
  ++rows_read_;
  if (rows_read_ % rows_between_checks == 0) records::throw_if_control_event();
  return true;
}

bool MmcifAtoms::is_polymer(std::string_view entity_token) const {
  const std::string_view id = cif::text_of(entity_token);
  return polymer_index_.find(polymers_, id).has_value();
}

bool MmcifAtoms::next(WideAtomFields& fields) {
  if (ter_due_) {
    ter_due_ = false;
    ++serial_;
    fields.name = ter_key;
    fields.serial = serial_;
    fields.atom_name = blank_atom_name;
    fields.x = fields.y = fields.z = {};
    return true;
  }
  if (!has_ahead_) return false;
  // The row ahead becomes the current one, and the next row is read ahead.
  current_ ^= 1U;
  const Row& row = row_pair_[current_];
  const Row& ahead = row_pair_[current_ ^ 1U];
  has_ahead_ = read_row(current_ ^ 1U, row_pair_[current_ ^ 1U], plain_pair_[current_ ^ 1U]);
  if (!same(row[model], model_)) {
    model_ = row[model];
    serial_ = 0;
  }
  ++serial_;
  fill(fields, row, plain_pair_[current_]);
  if (terminated_) {
    const bool chain_ends =
        !has_ahead_ || !same(ahead[label_chain], row[label_chain]) || !same(ahead[model], row[model]);
    ter_due_ = chain_ends && is_polymer(row[entity]);
  }
  return true;
}

void MmcifAtoms::fill(WideAtomFields& fields, const Row& row, bool plain) {
  // A plain value is its own text: only "?" and "." need a look.
  const auto text = [plain](std::string_view token) {
    if (plain) return cif::is_null(token) ? std::string_view() : token;
    return cif::text_of(token);
  };
  const auto value = [plain](std::string_view token) { return plain ? token : cif::value_of(token); };
  const std::string_view group_text = text(row[group]);
  if (group_text == "ATOM") {
    fields.name = atom_key;
  } else if (group_text == "HETATM") {
    fields.name = hetatm_key;
  } else {
    // In the legacy file's six columns, where "TER" is a TER record.
    fields.name = padded(group_text, record_name_);
  }
  fields.serial = serial_;

  const std::string_view name = text(row[atom_name]);
  if (name.size() >= atom_name_.size() || text(row[element]).size() == 2) {
    // A name of four or more characters starts in column 13; a longer one
    // never equals an atom type, kept whole, never cut.
    fields.atom_name = padded(name, atom_name_);
  } else {
    // One to three characters, from column 14.
    atom_name_ = {' ', ' ', ' ', ' '};
    for (std::size_t i = 0; i < name.size(); ++i) atom_name_[i + 1] = name[i];
    fields.atom_name = std::string_view(atom_name_.data(), atom_name_.size());
  }

  const std::string_view chain_name = text(row[chain]);
  fields.chain = chain_name.empty() ? blank_chain : chain_name;
  fields.residue = value(row[residue]);
  fields.x = value(row[x]);
  fields.y = value(row[y]);
  fields.z = value(row[z]);
}

}  // namespace reading
