// The legacy file of an mmCIF entry, written the plain way with gemmi
// (C++17: gemmi 0.5.7's headers do not compile as C++20 with clang 14).

#include "legacy_of_mmcif.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <gemmi/cif.hpp>
#include <map>
#include <set>

namespace testing_support {
namespace {

using gemmi::cif::Block;
using gemmi::cif::Column;

struct DoesNotFit {};

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// Line ends and other control characters are blanks in a record.
std::string printable(std::string text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  }
  return text;
}

std::string upper(std::string text) {
  text = printable(text);
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

// The value of row `row` of a column as the tool reads a text field: a null
// stays "?" or "." (no number then reads), anything else without its quotes.
std::string text_at(const Column& column, int row) {
  if (!column) return "";
  const std::string& raw = column.at(row);
  return gemmi::cif::is_null(raw) ? raw : gemmi::cif::as_string(raw);
}
std::string string_at(const Column& column, int row) {
  return column ? gemmi::cif::as_string(column.at(row)) : "";
}
std::string raw_at(const Column& column, int row) {
  return column ? column.at(row) : "";
}

std::string first(Block& block, const std::string& tag) {
  const Column column = block.find_values(tag);
  return column && column.length() > 0 ? gemmi::cif::as_string(column.at(0)) : "";
}

// `text` in `width` columns: right-justified, or left-justified; a value
// with a blank inside, or wider, does not fit.
std::string right(const std::string& text, std::size_t width) {
  if (text.size() > width || text.find(' ') != std::string::npos) throw DoesNotFit{};
  return std::string(width - text.size(), ' ') + text;
}
std::string left(const std::string& text, std::size_t width) {
  if (text.size() > width || text.find(' ') != std::string::npos) throw DoesNotFit{};
  return text + std::string(width - text.size(), ' ');
}
// A name of one column, blank when there is none.
std::string one_column(const std::string& name) {
  return name.empty() ? " " : left(name, 1);
}

// A category the routines read given as two loops, or as a loop and pairs,
// or in a loop with another category.
bool given_twice(const Block& block) {
  static const std::set<std::string> read = {
      "_entry",       "_struct_keywords", "_pdbx_database_status", "_database_pdb_rev", "_struct",
      "_exptl",       "_refine",          "_em_3d_reconstruction", "_struct_conf",      "_pdbx_poly_seq_scheme",
      "_entity_poly", "_atom_site",       "_struct_asym",          "_entity_poly_seq"};
  std::map<std::string, std::pair<int, int>> loops_and_pairs;
  for (const gemmi::cif::Item& item : block.items) {
    // A loop of several categories, one of them read, is no mmCIF either.
    if (item.type == gemmi::cif::ItemType::Loop) {
      std::set<std::string> categories;
      for (const std::string& tag : item.loop.tags) categories.insert(lower(tag.substr(0, tag.find('.'))));
      if (categories.size() > 1) {
        for (const std::string& category : categories) {
          if (read.count(category) > 0) return true;
        }
      }
    }
    const std::string& tag = item.type == gemmi::cif::ItemType::Loop   ? item.loop.tags.front()
                             : item.type == gemmi::cif::ItemType::Pair ? item.pair[0]
                                                                       : std::string();
    const std::string category = lower(tag.substr(0, tag.find('.')));
    if (read.count(category) == 0) continue;
    auto& [loops, pairs] = loops_and_pairs[category];
    (item.type == gemmi::cif::ItemType::Loop ? loops : pairs) += 1;
    if (loops > 1 || (loops == 1 && pairs > 0)) return true;
  }
  return false;
}

std::string header(Block& block) {
  const std::string id = printable(first(block, "_entry.id"));
  if (id.size() > 8) throw DoesNotFit{};  // an extended id
  std::string keywords = upper(first(block, "_struct_keywords.pdbx_keywords"));
  keywords.resize(40, ' ');
  std::string date = first(block, "_pdbx_database_status.recvd_initial_deposition_date");
  if (date.empty()) {
    const Column numbers = block.find_values("_database_PDB_rev.num");
    const Column dates = block.find_values("_database_PDB_rev.date_original");
    for (int r = 0; numbers && r < numbers.length(); ++r) {
      if (string_at(numbers, r) == "1") date = string_at(dates, r);
    }
  }
  static const char* const months[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                       "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
  std::string shown(9, ' ');
  int year = 0;
  int month = 0;
  int day = 0;
  char rest = 0;
  const auto digit_at = [&](std::size_t i) { return date[i] >= '0' && date[i] <= '9'; };
  if (date.size() == 10 && std::sscanf(date.c_str(), "%4d-%2d-%2d%c", &year, &month, &day, &rest) == 3 && digit_at(0) &&
      digit_at(1) && digit_at(2) && digit_at(3) && digit_at(5) && digit_at(6) && digit_at(8) && digit_at(9) &&
      date[4] == '-' && date[7] == '-' && month >= 1 && month <= 12) {
    shown = date.substr(8, 2) + "-" + months[month - 1] + "-" + date.substr(2, 2);
  }
  return "HEADER    " + keywords + shown + "   " + id + "\n";
}

std::string title(Block& block) {
  std::string words = upper(first(block, "_struct.title"));
  std::string line;
  std::size_t at = 0;
  while ((at = words.find_first_not_of(' ', at)) != std::string::npos) {
    const std::size_t end = std::min(words.find(' ', at), words.size());
    const std::string word = words.substr(at, end - at);
    if ((line.empty() ? 0 : line.size() + 1) + word.size() > 70) {
      if (line.empty()) line = word.substr(0, 70);
      break;
    }
    line += (line.empty() ? "" : " ") + word;
    at = end;
  }
  return "TITLE     " + line + "\n";
}

std::string resolution(Block& block) {
  const std::string method = upper(first(block, "_exptl.method"));
  if (method.find("NMR") != std::string::npos) return "REMARK   2 RESOLUTION. NOT APPLICABLE.\n";
  const std::string value = method == "ELECTRON MICROSCOPY" ? first(block, "_em_3d_reconstruction.resolution")
                                                            : first(block, "_refine.ls_d_res_high");
  if (value.empty()) return "";  // and the legacy file has no REMARK 2 record
  char* end = nullptr;
  const double number = std::strtod(value.c_str(), &end);
  if (end != value.c_str() + value.size() || value.find_first_of("xX") != std::string::npos) throw DoesNotFit{};
  char text[64];
  std::snprintf(text, sizeof text, "%7.2f", number);
  // F7.2 in columns 24-30.
  const std::string number_text(text);
  return "REMARK   2 RESOLUTION. " + right(number_text.substr(number_text.find_first_not_of(' ')), 7) + " ANGSTROMS.\n";
}

// The first chain's residues by _pdbx_poly_seq_scheme (-1 without it).
int scheme_count(Block& block, std::string& strand) {
  const gemmi::cif::Table scheme = block.find_mmcif_category("_pdbx_poly_seq_scheme");
  if (!scheme.ok() || scheme.length() == 0) return -1;
  const Column strands = block.find_values("_pdbx_poly_seq_scheme.pdb_strand_id");
  const Column residues = block.find_values("_pdbx_poly_seq_scheme.seq_id");
  strand = string_at(strands, 0);
  int count = 1;
  for (int r = 1; r < static_cast<int>(scheme.length()) && string_at(strands, r) == strand; ++r) {
    if (string_at(residues, r) != string_at(residues, r - 1)) ++count;
  }
  return count;
}

// The same by the first polymer chain of _struct_asym and its entity's
// residues in _entity_poly_seq (-1 without them, 0 without such a chain).
int entity_count(Block& block) {
  const gemmi::cif::Table asym = block.find_mmcif_category("_struct_asym");
  const gemmi::cif::Table sequence = block.find_mmcif_category("_entity_poly_seq");
  if (!asym.ok() || !sequence.ok()) return -1;
  std::set<std::string> polymers;
  const Column polymer_ids = block.find_values("_entity_poly.entity_id");
  for (int r = 0; polymer_ids && r < polymer_ids.length(); ++r) polymers.insert(string_at(polymer_ids, r));
  const Column entities = block.find_values("_struct_asym.entity_id");
  std::string entity;
  bool found = false;
  for (int r = 0; !found && r < static_cast<int>(asym.length()); ++r) {
    found = polymers.count(string_at(entities, r)) > 0;
    if (found) entity = string_at(entities, r);
  }
  if (!found) return 0;
  const Column sequence_entities = block.find_values("_entity_poly_seq.entity_id");
  const Column numbers = block.find_values("_entity_poly_seq.num");
  int count = 0;
  std::string previous;
  bool any = false;
  for (int r = 0; r < static_cast<int>(sequence.length()); ++r) {
    if (string_at(sequence_entities, r) != entity) continue;
    if (!any || string_at(numbers, r) != previous) ++count;
    previous = string_at(numbers, r);
    any = true;
  }
  return count;
}

// The first SEQRES record. An entry whose two ways to it disagree is
// no archive entry, and either could be its legacy file's: none is written.
std::string first_seqres(Block& block) {
  std::string strand;
  const int by_scheme = scheme_count(block, strand);
  const int by_entity = entity_count(block);
  if (by_scheme >= 0 && by_entity >= 0 && by_scheme != by_entity) throw DoesNotFit{};
  const int count = by_scheme >= 0 ? by_scheme : by_entity;
  if (count <= 0) return "";
  return "SEQRES   1 " + one_column(strand) + " " + right(std::to_string(count), 4) + "  ALA\n";
}

std::string helix_records(Block& block) {
  const gemmi::cif::Table conf = block.find_mmcif_category("_struct_conf");
  std::string records;
  const Column types = block.find_values("_struct_conf.conf_type_id");
  for (int r = 0; conf.ok() && r < static_cast<int>(conf.length()); ++r) {
    if (string_at(types, r) != "HELX_P") continue;
    const std::string chain = string_at(block.find_values("_struct_conf.beg_auth_asym_id"), r);
    records += "HELIX    1   1 ALA " + one_column(chain) + " " +
               right(text_at(block.find_values("_struct_conf.beg_auth_seq_id"), r), 4) + "  ALA A " +
               right(text_at(block.find_values("_struct_conf.end_auth_seq_id"), r), 4) + " " +
               right(string_at(block.find_values("_struct_conf.pdbx_PDB_helix_class"), r), 2) + "\n";
  }
  return records;
}

std::string atom_records(Block& block) {
  const auto column = [&](const std::string& item, const std::string& otherwise = "") {
    Column found = block.find_values("_atom_site." + item);
    if (!found && !otherwise.empty()) found = block.find_values("_atom_site." + otherwise);
    return found;
  };
  const Column group = column("group_PDB");
  const Column name = column("auth_atom_id", "label_atom_id");
  const Column chain = column("auth_asym_id", "label_asym_id");
  const Column residue = column("auth_seq_id", "label_seq_id");
  const Column x = column("Cartn_x");
  const Column y = column("Cartn_y");
  const Column z = column("Cartn_z");
  if (!group || !name || !chain || !residue || !x || !y || !z) return "";
  const Column element = column("type_symbol");
  const Column label_chain = column("label_asym_id", "auth_asym_id");
  const Column entity = column("label_entity_id");
  const Column model = column("pdbx_PDB_model_num");
  std::set<std::string> polymers;
  const Column polymer_ids = block.find_values("_entity_poly.entity_id");
  for (int r = 0; polymer_ids && r < polymer_ids.length(); ++r) polymers.insert(string_at(polymer_ids, r));

  // A coordinate as the legacy file writes it: a zero without its sign. A
  // number is zero when the digits before its exponent are ("-0.000",
  // "-0.+50": the tool's number fields take a sign after the digits as the
  // exponent's).
  const auto coordinate = [](std::string text) {
    if (text.size() > 1 && text[0] == '-') {
      const std::size_t exponent = text.find_first_of("eEdD+-", 1);
      const std::string mantissa = text.substr(1, exponent == std::string::npos ? std::string::npos : exponent - 1);
      const bool digits = mantissa.find_first_of("0123456789") != std::string::npos;
      if (digits && mantissa.find_first_not_of("0.") == std::string::npos) text.erase(0, 1);
    }
    return right(text, 8);
  };

  std::string records;
  int serial = 0;
  const int rows = group.length();
  for (int r = 0; r < rows; ++r) {
    if (r == 0 || raw_at(model, r) != raw_at(model, r - 1)) {
      if (r > 0) records += "ENDMDL\n";
      records += "MODEL        1\n";
      serial = 0;
    }
    if (++serial > 99'999) throw DoesNotFit{};
    // The element rule: a short name starts in column 14 unless its element
    // has two letters.
    std::string atom = left(string_at(name, r), 4);
    if (atom.back() == ' ' && string_at(element, r).size() != 2) atom = " " + atom.substr(0, 3);
    records += left(string_at(group, r), 6) + right(std::to_string(serial), 5) + " " + atom + " ALA " +
               one_column(string_at(chain, r)) + right(text_at(residue, r), 4) + "    " + coordinate(text_at(x, r)) +
               coordinate(text_at(y, r)) + coordinate(text_at(z, r)) + "\n";
    const bool chain_ends = r + 1 == rows || raw_at(label_chain, r + 1) != raw_at(label_chain, r) ||
                            raw_at(model, r + 1) != raw_at(model, r);
    if (entity && chain_ends && polymers.count(string_at(entity, r)) > 0) {
      if (++serial > 99'999) throw DoesNotFit{};
      records += "TER   " + right(std::to_string(serial), 5) + "\n";
    }
  }
  return records;
}

}  // namespace

std::optional<std::string> legacy_of_mmcif(std::string_view text) {
  try {
    gemmi::cif::Document document;
    tao::pegtl::memory_input<> in(text.data(), text.size(), "entry");
    gemmi::cif::parse_input(document, in);
    gemmi::cif::check_for_missing_values(document);
    gemmi::cif::check_for_duplicates(document);
    if (document.blocks.empty()) return std::nullopt;
    Block& block = document.blocks.front();
    if (given_twice(block)) return std::nullopt;
    const std::string atoms = atom_records(block);
    if (atoms.empty()) return std::nullopt;
    return header(block) + title(block) + resolution(block) + first_seqres(block) + helix_records(block) + atoms;
  } catch (const DoesNotFit&) {
    return std::nullopt;
  } catch (const std::exception&) {
    return std::nullopt;  // not CIF, or no table gemmi can make
  }
}

}  // namespace testing_support
