// A PDBx/mmCIF entry read as its legacy file would be.

#include "mmcif_entry.hpp"

#include <algorithm>
#include <charconv>
#include <string>
#include <system_error>

#include "cif/syntax_error.hpp"
#include "cif/text.hpp"
#include "records/control_events.hpp"

namespace reading {
namespace {

constexpr std::size_t title_width = 60;           // columns 11-70, what the console shows
constexpr std::size_t classification_width = 40;  // HEADER columns 11-50
constexpr std::size_t title_line_width = 70;      // TITLE columns 11-80
constexpr std::size_t header_width = 70;          // HEADER columns 11-80, an extended id's last

// Blanks passed over between two looks for control events.
constexpr std::size_t blanks_between_checks = std::size_t{4} << 20;

// Control characters (a text field's line ends) are blanks in a record.
constexpr bool is_record_blank(char c) {
  return c >= '\0' && c <= ' ';
}
std::string one_line(std::string_view text) {
  std::string line(text);
  for (char& c : line) {
    if (is_record_blank(c)) c = ' ';
  }
  return line;
}

// In upper case, as the legacy file's header records are.
std::string upper_case(std::string_view text) {
  std::string upper = one_line(text);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return upper;
}

// "2017-01-09" as "09-JAN-17"; nine blanks for anything else.
std::string legacy_date(std::string_view date) {
  constexpr std::array<std::string_view, 12> months = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                                       "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
  const auto digits = [&](std::size_t from, std::size_t count) {
    return std::all_of(date.begin() + static_cast<std::ptrdiff_t>(from),
                       date.begin() + static_cast<std::ptrdiff_t>(from + count),
                       [](char c) { return c >= '0' && c <= '9'; });
  };
  if (date.size() != 10 || date[4] != '-' || date[7] != '-' || !digits(0, 4) || !digits(5, 2) || !digits(8, 2)) {
    return std::string(9, ' ');
  }
  const int month = (date[5] - '0') * 10 + (date[6] - '0');
  if (month < 1 || month > 12) return std::string(9, ' ');
  std::string text(date.substr(8, 2));
  text.append("-").append(months[static_cast<std::size_t>(month - 1)]).append("-").append(date.substr(2, 2));
  return text;
}

// The deposition date: today's item, or revision 1's original date in files
// written before 2017.
std::string_view deposition_date(const Tables& tables) {
  const std::string_view date = tables.first_text(Category::pdbx_database_status, "recvd_initial_deposition_date");
  if (!date.empty()) return date;
  const Table& revisions = tables[Category::database_PDB_rev];
  const std::array<std::optional<std::size_t>, 2> wanted{revisions.column("num"), revisions.column("date_original")};
  std::array<std::string_view, 2> row;
  TableRows rows(tables.text(), revisions, wanted);
  while (rows.next(row)) {
    if (cif::text_of(row[0]) == "1") return cif::text_of(row[1]);
  }
  return {};
}

// HEADER columns 11 on: classification, date, three blanks, id. A value is
// taken only as far as the record shows it: an entry may give an id or a
// title of any length, and the record keeps its width.
std::string header_line(const Tables& tables) {
  std::string line =
      upper_case(tables.first_text(Category::struct_keywords, "pdbx_keywords").substr(0, classification_width));
  line.resize(classification_width, ' ');
  line += legacy_date(deposition_date(tables));
  line += "   ";
  line += one_line(tables.first_text(Category::entry, "id").substr(0, header_width - line.size()));
  if (line.size() < title_width) line.resize(title_width, ' ');
  return line;
}

// The first TITLE line's columns 11-70: the title in upper case, its words
// one blank apart, as many as fit in 70 columns (a word longer than that is
// broken).
std::string title_line(const Tables& tables) {
  const std::string_view title = tables.first_text(Category::struct_, "title");
  std::string line;
  std::size_t at = 0;
  std::size_t checked = 0;
  for (;;) {
    while (at < title.size() && is_record_blank(title[at])) {
      // Blanks before a word may run on for the whole entry.
      if (++at - checked == blanks_between_checks) {
        records::throw_if_control_event();
        checked = at;
      }
    }
    if (at == title.size()) break;
    // A word longer than the line is cut to it, and only that much is read.
    std::size_t word_end = at;
    while (word_end < title.size() && !is_record_blank(title[word_end]) && word_end - at <= title_line_width) {
      ++word_end;
    }
    const std::string_view word = title.substr(at, word_end - at);
    const std::size_t needed = line.empty() ? word.size() : line.size() + 1 + word.size();
    if (needed > title_line_width) {
      if (line.empty()) line = upper_case(word.substr(0, title_line_width));
      break;
    }
    if (!line.empty()) line += ' ';
    line += upper_case(word);
    at = word_end;
  }
  line.resize(title_width, ' ');
  return line;
}

// A number as REMARK 2 prints it: two decimals ("2.2010" is 2.20, "1.897"
// 1.90, "28" 28.00), rounded from its nearest double as C's "%.2f" does,
// which is how the archive's own programs print it. Text that is not a
// number is left for the conversion to judge (none).
std::optional<std::string> two_decimals(std::string_view number) {
  double value = 0.0;
  const std::string_view digits = number.starts_with('+') ? number.substr(1) : number;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  std::array<char, 400> text{};
  const auto [written, too_long] =
      std::to_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed, 2);
  if (too_long != std::errc()) return std::nullopt;
  return std::string(text.data(), written);
}

// The residues of a chain, each counted once from the chain's rows: a
// residue of two kinds (microheterogeneity) has a row for each, one after
// the other, with the same number.
class ResidueCount {
 public:
  void add(std::string_view number) {
    if (!last_ || number != *last_) ++count_;
    last_ = number;
  }
  std::int32_t count() const { return count_; }

 private:
  std::int32_t count_ = 0;
  std::optional<std::string_view> last_;
};

}  // namespace

void fail_malformed(records::Input& entry, const cif::SyntaxError& error) {
  std::string detail;
  if (error.offset() != cif::SyntaxError::nowhere) {
    detail.append("line ").append(std::to_string(cif::line_of(entry.whole(), error.offset()))).append(": ");
  }
  detail.append(error.what());
  entry.fail(records::Failure::malformed_mmcif, detail);
}

MmcifEntry::MmcifEntry(records::Input& entry, Purpose purpose) try
    : entry_(entry), tables_(entry.whole(), purpose), atoms_(tables_) {
  titles_ = {header_line(tables_), title_line(tables_)};
  const Table& helices = tables_[Category::struct_conf];
  helix_columns_ = {helices.column("conf_type_id"), helices.column("beg_auth_asym_id"),
                    helices.column("beg_auth_seq_id"), helices.column("end_auth_seq_id"),
                    helices.column("pdbx_PDB_helix_class")};
  rewind();
} catch (const cif::SyntaxError& error) {
  fail_malformed(entry, error);
}

std::string_view MmcifEntry::title() {
  return titles_[std::min(titles_read_++, titles_.size() - 1)];
}

// The tables' rows are read as they are asked for, so text that is not CIF
// in them (a row that lost or gained a value) is met only now, and fails
// the entry here too.
ResolutionText MmcifEntry::resolution() {
  return as_cif([&]() -> ResolutionText {
    const auto item = resolution_item(tables_.first_text(Category::exptl, "method"));
    if (!item) return {true, {}};
    const std::string_view number = tables_.first_text(item->category, item->item);
    // No item: the legacy file would have no REMARK 2 record.
    if (number.empty()) return {false, {}, false};
    const std::optional<std::string> rounded = two_decimals(number);
    if (!rounded) return {false, number};
    resolution_ = *rounded;
    return {false, resolution_};
  });
}

std::int32_t MmcifEntry::first_seqres_count() {
  return as_cif([&]() -> std::int32_t {
    const Table& scheme = tables_[Category::pdbx_poly_seq_scheme];
    if (!scheme.given()) return first_polymer_length();
    const std::array<std::optional<std::size_t>, 2> wanted{scheme.column("pdb_strand_id"), scheme.column("seq_id")};
    std::array<std::string_view, 2> row;
    TableRows rows(tables_.text(), scheme, wanted);
    // No chain: the legacy file would have no SEQRES record to find.
    if (!rows.next(row)) fail(records::Failure::end_of_file);
    const std::string_view strand = cif::text_of(row[0]);
    ResidueCount residues;
    do {
      residues.add(cif::text_of(row[1]));
    } while (rows.next(row) && cif::text_of(row[0]) == strand);
    return residues.count();
  });
}

std::int32_t MmcifEntry::first_polymer_length() {
  // The first chain of an entity that is a polymer.
  std::optional<std::string_view> entity;
  {
    const Table& table = tables_[Category::struct_asym];
    const std::array<std::optional<std::size_t>, 1> wanted{table.column("entity_id")};
    std::array<std::string_view, 1> row;
    TableRows rows(tables_.text(), table, wanted);
    while (!entity && rows.next(row)) {
      if (atoms_.is_polymer(row[0])) entity = cif::text_of(row[0]);
    }
  }
  // No chain: the legacy file would have no SEQRES record to find.
  if (!entity) fail(records::Failure::end_of_file);
  const Table& sequence = tables_[Category::entity_poly_seq];
  const std::array<std::optional<std::size_t>, 2> wanted{sequence.column("entity_id"), sequence.column("num")};
  std::array<std::string_view, 2> row;
  TableRows rows(tables_.text(), sequence, wanted);
  ResidueCount residues;
  while (rows.next(row)) {
    if (cif::text_of(row[0]) == *entity) residues.add(cif::text_of(row[1]));
  }
  if (residues.count() == 0) fail(records::Failure::end_of_file);
  return residues.count();
}

void MmcifEntry::rewind() {
  helices_.emplace(tables_.text(), tables_[Category::struct_conf], helix_columns_);
  as_cif([&] { atoms_.rewind(); });
}

std::optional<WideHelixFields> MmcifEntry::next_helix() {
  return as_cif([&]() -> std::optional<WideHelixFields> {
    std::array<std::string_view, helix_columns> row;
    while (helices_->next(row)) {
      if (cif::text_of(row[type]) != "HELX_P") continue;
      // The class is right-justified in its two columns.
      const std::string_view given_class = cif::text_of(row[helix_class]);
      std::string_view shown_class = given_class;
      if (given_class.size() < 2) {
        helix_class_ = {' ', given_class.empty() ? ' ' : given_class[0]};
        shown_class = std::string_view(helix_class_.data(), helix_class_.size());
      }
      const std::string_view chain_name = cif::text_of(row[chain]);
      return WideHelixFields{helix_key, chain_name.empty() ? std::string_view(" ") : chain_name,
                             cif::value_of(row[start]), cif::value_of(row[end]), shown_class};
    }
    return std::nullopt;
  });
}

}  // namespace reading
