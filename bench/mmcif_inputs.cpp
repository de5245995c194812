#include "mmcif_inputs.hpp"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace bench_inputs {
namespace {

std::string columns(std::string_view record, std::size_t first, std::size_t last) {
  if (record.size() < first) return {};
  return std::string(record.substr(first - 1, std::min(last, record.size()) - first + 1));
}

std::string trimmed(std::string text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string or_unknown(std::string text) {
  return text.empty() ? "?" : text;
}

// A value as a CIF token: quoted when it holds a blank or a quote, or
// begins like something else.
std::string token(const std::string& value) {
  if (value.empty()) return "?";
  const bool plain = value.find_first_of(" '\"") == std::string::npos && value[0] != '_' && value[0] != '#' &&
                     value[0] != '$' && value[0] != ';';
  if (plain) return value;
  return value.find('\'') == std::string::npos ? "'" + value + "'" : "\"" + value + "\"";
}

struct Atom {
  std::string group;
  std::string name;  // columns 13-16, trimmed
  std::string element;
  std::string alternate;
  std::string residue_name;
  std::string insertion;
  int residue = 0;
  std::string x, y, z, occupancy, b;
  std::array<std::string, 6> u;  // from its ANISOU record, or empty
};

struct Chain {
  char letter;
  std::vector<std::string> residue_names;  // from SEQRES
  std::vector<Atom> atoms;
};

struct Helix {
  char chain;
  int start;
  int end;
  std::string helix_class;
  std::string start_name;
  std::string end_name;
};

struct Entry {
  std::string classification, date, id, title, resolution;
  std::vector<Chain> chains;
  std::vector<Helix> helices;
};

Chain& chain_of(Entry& entry, char letter) {
  for (Chain& c : entry.chains) {
    if (c.letter == letter) return c;
  }
  return entry.chains.emplace_back(Chain{letter, {}, {}});
}

Entry parse(std::string_view legacy) {
  static const std::map<std::string, std::string> months = {{"JAN", "01"}, {"FEB", "02"}, {"MAR", "03"}, {"APR", "04"},
                                                            {"MAY", "05"}, {"JUN", "06"}, {"JUL", "07"}, {"AUG", "08"},
                                                            {"SEP", "09"}, {"OCT", "10"}, {"NOV", "11"}, {"DEC", "12"}};
  Entry entry;
  std::size_t start = 0;
  while (start < legacy.size()) {
    const std::size_t end = std::min(legacy.find('\n', start), legacy.size());
    const std::string_view record = legacy.substr(start, end - start);
    start = end + 1;
    const std::string name = columns(record, 1, 6);
    if (name == "HEADER") {
      // The generated entries put the date and the id 8 columns right of
      // their places (51-59, 63-66): found where they are.
      const std::string line(record);
      for (std::size_t at = 10; at + 9 <= line.size(); ++at) {
        if (line[at + 2] != '-' || line[at + 6] != '-' || !months.contains(line.substr(at + 3, 3))) continue;
        entry.classification = trimmed(line.substr(10, std::min<std::size_t>(at - 10, 40)));
        entry.date = "20" + line.substr(at + 7, 2) + "-" + months.at(line.substr(at + 3, 3)) + "-" + line.substr(at, 2);
        entry.id = trimmed(line.substr(at + 9));
        break;
      }
    } else if (name == "TITLE ") {
      entry.title = trimmed(columns(record, 11, 80));
    } else if (columns(record, 1, 22) == "REMARK   2 RESOLUTION.") {
      entry.resolution = trimmed(columns(record, 23, 30));
    } else if (name == "SEQRES") {
      Chain& chain = chain_of(entry, record[11]);
      for (std::size_t column = 20; column + 2 <= record.size(); column += 4) {
        const std::string residue = trimmed(columns(record, column, column + 2));
        if (!residue.empty()) chain.residue_names.push_back(residue);
      }
    } else if (name == "HELIX ") {
      entry.helices.push_back({record[19], std::atoi(columns(record, 22, 25).c_str()),
                               std::atoi(columns(record, 34, 37).c_str()), trimmed(columns(record, 39, 40)),
                               trimmed(columns(record, 16, 18)), trimmed(columns(record, 28, 30))});
    } else if (name == "ATOM  " || name == "HETATM") {
      Atom atom;
      atom.group = trimmed(name);
      const std::string atom_name = columns(record, 13, 16);
      atom.name = trimmed(atom_name);
      // The element that places the name where the record has it.
      atom.element = trimmed(columns(record, 77, 78));
      const bool column_13 = atom_name[0] != ' ' && atom.name.size() < 4;
      if (atom.element.empty() || (atom.element.size() == 2) != column_13) {
        atom.element = column_13 ? atom.name.substr(0, 2) : atom.name.substr(0, 1);
      }
      atom.alternate = trimmed(columns(record, 17, 17));
      atom.residue_name = trimmed(columns(record, 18, 20));
      atom.residue = std::atoi(columns(record, 23, 26).c_str());
      atom.insertion = trimmed(columns(record, 27, 27));
      atom.x = trimmed(columns(record, 31, 38));
      atom.y = trimmed(columns(record, 39, 46));
      atom.z = trimmed(columns(record, 47, 54));
      atom.occupancy = trimmed(columns(record, 55, 60));
      atom.b = trimmed(columns(record, 61, 66));
      chain_of(entry, record[21]).atoms.push_back(std::move(atom));
    } else if (name == "ANISOU") {
      Atom& atom = chain_of(entry, record[21]).atoms.back();
      for (std::size_t i = 0; i < 6; ++i) {
        char u[16];
        std::snprintf(u, sizeof u, "%.4f", std::atoi(columns(record, 29 + 7 * i, 35 + 7 * i).c_str()) / 10000.0);
        atom.u[i] = u;
      }
    }
  }
  return entry;
}

// Rows of a loop written with their columns aligned, as the archive writes
// them: each value left-justified in the width of the column's widest.
class Loop {
 public:
  Loop(std::string category, std::vector<std::string> items)
      : category_(std::move(category)), items_(std::move(items)) {}

  // Calls `rows` twice with a sink for rows: once to measure, once to write.
  void write(std::string& out,
             const std::function<void(const std::function<void(const std::vector<std::string>&)>&)>& rows) {
    std::vector<std::size_t> widths(items_.size(), 0);
    rows([&](const std::vector<std::string>& row) {
      for (std::size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
    });
    out += "loop_\n";
    for (const std::string& item : items_) out += category_ + "." + item + " \n";
    rows([&](const std::vector<std::string>& row) {
      for (std::size_t i = 0; i < row.size(); ++i) {
        out += row[i];
        out.append(widths[i] + 1 - row[i].size(), ' ');
      }
      out += '\n';
    });
    out += "# \n";
  }

 private:
  std::string category_;
  std::vector<std::string> items_;
};

// How one copy of the chains is named and numbered.
struct Copy {
  int index;  // 0: the chains as they are
  std::string name(char letter) const {
    return index == 0 ? std::string(1, letter) : letter + std::to_string(100 + index);
  }
  int number(int residue) const { return residue + 10'000 * index; }
};

void write_head(std::string& out, const Entry& entry) {
  out += "data_" + entry.id + "\n# \n_entry.id   " + entry.id + " \n# \n";
  out += "_struct_keywords.entry_id        " + entry.id + " \n";
  out += "_struct_keywords.pdbx_keywords   " + token(entry.classification) + " \n# \n";
  out += "_pdbx_database_status.entry_id                       " + entry.id + " \n";
  out += "_pdbx_database_status.recvd_initial_deposition_date  " + entry.date + " \n# \n";
  out += "_struct.entry_id                  " + entry.id + " \n";
  out += "_struct.title                     " + token(entry.title) + " \n# \n";
  out += "_exptl.entry_id                   " + entry.id +
         " \n_exptl.method                     'X-RAY DIFFRACTION' \n# \n";
  out += "_refine.entry_id                  " + entry.id + " \n_refine.ls_d_res_high            " + entry.resolution +
         " \n# \n";
}

MmcifEntry write(const Entry& entry, int copies, bool with_anisotrop) {
  MmcifEntry made;
  std::string& out = made.text;
  write_head(out, entry);
  const auto entity = [&](const Copy& copy, std::size_t k) {
    return std::to_string(static_cast<std::size_t>(copy.index) * entry.chains.size() + k + 1);
  };
  const auto each_chain = [&](const std::function<void(const Copy&, std::size_t, const Chain&)>& visit) {
    for (int c = 0; c < copies; ++c) {
      for (std::size_t k = 0; k < entry.chains.size(); ++k) visit(Copy{c}, k, entry.chains[k]);
    }
  };

  Loop({"_entity_poly"}, {"entity_id", "type", "pdbx_strand_id"}).write(out, [&](const auto& row) {
    each_chain([&](const Copy& copy, std::size_t k, const Chain& chain) {
      row({entity(copy, k), "'polypeptide(L)'", copy.name(chain.letter)});
    });
  });

  Loop({"_entity_poly_seq"}, {"entity_id", "num", "mon_id", "hetero"}).write(out, [&](const auto& row) {
    each_chain([&](const Copy& copy, std::size_t k, const Chain& chain) {
      for (std::size_t r = 0; r < chain.residue_names.size(); ++r) {
        row({entity(copy, k), std::to_string(r + 1), chain.residue_names[r], "n"});
      }
    });
  });

  Loop({"_struct_asym"}, {"id", "pdbx_blank_PDB_chainid_flag", "pdbx_modified", "entity_id", "details"})
      .write(out, [&](const auto& row) {
        each_chain([&](const Copy& copy, std::size_t k, const Chain& chain) {
          row({copy.name(chain.letter), "N", "N", entity(copy, k), "?"});
        });
      });

  Loop({"_struct_conf"}, {"conf_type_id",
                          "id",
                          "pdbx_PDB_helix_id",
                          "beg_label_comp_id",
                          "beg_label_asym_id",
                          "beg_label_seq_id",
                          "pdbx_beg_PDB_ins_code",
                          "end_label_comp_id",
                          "end_label_asym_id",
                          "end_label_seq_id",
                          "pdbx_end_PDB_ins_code",
                          "beg_auth_comp_id",
                          "beg_auth_asym_id",
                          "beg_auth_seq_id",
                          "end_auth_comp_id",
                          "end_auth_asym_id",
                          "end_auth_seq_id",
                          "pdbx_PDB_helix_class",
                          "details",
                          "pdbx_PDB_helix_length"})
      .write(out, [&](const auto& row) {
        int id = 0;
        for (int c = 0; c < copies; ++c) {
          const Copy copy{c};
          for (const Helix& h : entry.helices) {
            const std::string chain = copy.name(h.chain);
            const std::string number = std::to_string(++id);
            row({"HELX_P",
                 "HELX_P" + number,
                 number,
                 h.start_name,
                 chain,
                 std::to_string(h.start),
                 "?",
                 h.end_name,
                 chain,
                 std::to_string(h.end),
                 "?",
                 h.start_name,
                 chain,
                 std::to_string(copy.number(h.start)),
                 h.end_name,
                 chain,
                 std::to_string(copy.number(h.end)),
                 h.helix_class,
                 "?",
                 std::to_string(h.end - h.start + 1)});
          }
        }
      });

  long id = 0;
  Loop({"_atom_site"}, {"group_PDB",         "id",
                        "type_symbol",       "label_atom_id",
                        "label_alt_id",      "label_comp_id",
                        "label_asym_id",     "label_entity_id",
                        "label_seq_id",      "pdbx_PDB_ins_code",
                        "Cartn_x",           "Cartn_y",
                        "Cartn_z",           "occupancy",
                        "B_iso_or_equiv",    "pdbx_formal_charge",
                        "auth_seq_id",       "auth_comp_id",
                        "auth_asym_id",      "auth_atom_id",
                        "pdbx_PDB_model_num"})
      .write(out, [&](const auto& row) {
        id = 0;
        each_chain([&](const Copy& copy, std::size_t k, const Chain& chain) {
          const std::string name = copy.name(chain.letter);
          for (const Atom& a : chain.atoms) {
            row({a.group,
                 std::to_string(++id),
                 a.element,
                 token(a.name),
                 or_unknown(a.alternate == "" ? "." : a.alternate),
                 a.residue_name,
                 name,
                 entity(copy, k),
                 std::to_string(a.residue),
                 or_unknown(a.insertion),
                 a.x,
                 a.y,
                 a.z,
                 or_unknown(a.occupancy),
                 or_unknown(a.b),
                 "?",
                 std::to_string(copy.number(a.residue)),
                 a.residue_name,
                 name,
                 token(a.name),
                 "1"});
          }
        });
      });
  made.shape.atoms = id;

  if (with_anisotrop) {
    Loop({"_atom_site_anisotrop"},
         {"id", "type_symbol", "pdbx_label_atom_id", "pdbx_label_alt_id", "pdbx_label_comp_id", "pdbx_label_asym_id",
          "pdbx_label_seq_id", "pdbx_PDB_ins_code", "U[1][1]", "U[2][2]", "U[3][3]", "U[1][2]", "U[1][3]", "U[2][3]",
          "pdbx_auth_seq_id", "pdbx_auth_comp_id", "pdbx_auth_asym_id", "pdbx_auth_atom_id"})
        .write(out, [&](const auto& row) {
          long anisotrop_id = 0;
          each_chain([&](const Copy& copy, std::size_t, const Chain& chain) {
            const std::string name = copy.name(chain.letter);
            for (const Atom& a : chain.atoms) {
              ++anisotrop_id;
              if (a.u[0].empty()) continue;
              row({std::to_string(anisotrop_id), a.element, token(a.name), a.alternate.empty() ? "." : a.alternate,
                   a.residue_name, name, std::to_string(a.residue), or_unknown(a.insertion), a.u[0], a.u[1], a.u[2],
                   a.u[3], a.u[4], a.u[5], std::to_string(copy.number(a.residue)), a.residue_name, name,
                   token(a.name)});
            }
          });
        });
  }

  // After the atoms, as in the archive's files.
  Loop({"_pdbx_poly_seq_scheme"}, {"asym_id", "entity_id", "seq_id", "mon_id", "pdb_seq_num", "auth_seq_num",
                                   "pdb_mon_id", "auth_mon_id", "pdb_strand_id", "pdb_ins_code", "hetero"})
      .write(out, [&](const auto& row) {
        each_chain([&](const Copy& copy, std::size_t k, const Chain& chain) {
          const std::string name = copy.name(chain.letter);
          for (std::size_t r = 0; r < chain.residue_names.size(); ++r) {
            const std::string seq = std::to_string(r + 1);
            const std::string number = std::to_string(copy.number(static_cast<int>(r + 1)));
            const std::string& residue = chain.residue_names[r];
            row({name, entity(copy, k), seq, residue, number, number, residue, residue, name, ".", "n"});
          }
        });
      });

  made.shape.bytes = out.size();
  made.shape.chains = static_cast<int>(entry.chains.size()) * copies;
  made.shape.helices = static_cast<int>(entry.helices.size()) * copies;
  std::string longest;
  each_chain([&](const Copy& copy, std::size_t, const Chain& chain) {
    if (copy.name(chain.letter).size() > longest.size()) longest = copy.name(chain.letter);
    for (const Atom& a : chain.atoms)
      made.shape.largest_residue_number = std::max<long>(made.shape.largest_residue_number, copy.number(a.residue));
  });
  made.shape.longest_chain_name = longest;
  return made;
}

}  // namespace

MmcifEntry mmcif_of_big_entry(std::string_view legacy) {
  return write(parse(legacy), 1, true);
}

MmcifEntry repeated_mmcif_entry(std::string_view legacy, std::size_t bytes) {
  const Entry entry = parse(legacy);
  // The size of one copy, measured on two; later ones are a little longer.
  const std::size_t one = write(entry, 1, false).text.size();
  const std::size_t two = write(entry, 2, false).text.size();
  const std::size_t per_copy = two - one;
  std::size_t copies = 1 + (bytes > one ? (bytes - one + per_copy - 1) / per_copy : 0);
  // Later copies have longer names and numbers, and are a little longer.
  MmcifEntry made = write(entry, static_cast<int>(copies), false);
  while (made.text.size() < bytes) made = write(entry, static_cast<int>(++copies), false);
  return made;
}

}  // namespace bench_inputs
