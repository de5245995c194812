#include "mmcif_text.hpp"

#include <algorithm>
#include <cstdio>

namespace testing_support {

std::vector<SiteRow> chain_rows(std::string_view chain, int first, int last, std::string_view label_chain,
                                std::string_view entity) {
  std::vector<SiteRow> rows;
  const std::string label(label_chain.empty() ? chain : label_chain);
  for (int residue = first; residue <= last; ++residue) {
    char x[32];
    char y[32];
    std::snprintf(x, sizeof x, "%.3f", residue % 1000 * 1.5);
    std::snprintf(y, sizeof y, "%.3f", -residue % 1000 * 0.25);
    SiteRow n;
    n.element = "N";
    n.atom = "N";
    n.chain = chain;
    n.residue = std::to_string(residue);
    n.label_chain = label;
    n.entity = entity;
    rows.push_back(n);
    SiteRow ca = n;
    ca.element = "C";
    ca.atom = "CA";
    ca.x = x;
    ca.y = y;
    ca.z = "10.000";
    rows.push_back(ca);
  }
  return rows;
}

MmcifText MmcifText::with_header(std::string_view resolution, std::string_view method) {
  MmcifText entry;
  entry.add("data_0TST\n#\n_entry.id 0TST\n#\n_struct_keywords.entry_id 0TST\n");
  entry.add("_struct_keywords.pdbx_keywords 'synthetic protein'\n#\n");
  entry.add("_pdbx_database_status.entry_id 0TST\n_pdbx_database_status.recvd_initial_deposition_date 2000-01-01\n#\n");
  entry.add("_struct.entry_id 0TST\n_struct.title 'An entry built for a test'\n#\n");
  entry.add("_exptl.entry_id 0TST\n_exptl.method " + std::string(method) + "\n#\n");
  if (!resolution.empty())
    entry.add("_refine.entry_id 0TST\n_refine.ls_d_res_high " + std::string(resolution) + "\n#\n");
  return entry;
}

MmcifText& MmcifText::add(std::string_view text) {
  text_.append(text);
  return *this;
}

MmcifText& MmcifText::polymers(const std::vector<std::string>& entities) {
  add("loop_\n_entity_poly.entity_id\n_entity_poly.type\n");
  for (const std::string& entity : entities) add(entity + " 'polypeptide(L)'\n");
  return add("#\n");
}

MmcifText& MmcifText::sequence(std::string_view strand, int residues) {
  add("loop_\n_pdbx_poly_seq_scheme.asym_id\n_pdbx_poly_seq_scheme.seq_id\n_pdbx_poly_seq_scheme.pdb_strand_id\n");
  for (int r = 1; r <= residues; ++r) add("A " + std::to_string(r) + " " + std::string(strand) + "\n");
  return add("Z 1 Z\nZ 2 Z\n#\n");
}

MmcifText& MmcifText::helices(const std::vector<HelixRow>& rows) {
  add("loop_\n_struct_conf.conf_type_id\n_struct_conf.id\n_struct_conf.beg_auth_asym_id\n"
      "_struct_conf.beg_auth_seq_id\n_struct_conf.end_auth_asym_id\n_struct_conf.end_auth_seq_id\n"
      "_struct_conf.pdbx_PDB_helix_class\n");
  int id = 0;
  for (const HelixRow& row : rows) {
    add(row.type + " H" + std::to_string(++id) + " " + row.chain + " " + row.start + " " + row.chain + " " + row.end +
        " " + row.helix_class + "\n");
  }
  return add("#\n");
}

MmcifText& MmcifText::atoms(const std::vector<SiteRow>& rows, bool reversed_columns) {
  std::vector<std::string> tags = {
      "group_PDB",       "id",           "type_symbol",       "label_atom_id", "label_comp_id", "label_asym_id",
      "label_entity_id", "Cartn_x",      "Cartn_y",           "Cartn_z",       "auth_seq_id",   "auth_comp_id",
      "auth_asym_id",    "auth_atom_id", "pdbx_PDB_model_num"};
  if (reversed_columns) std::reverse(tags.begin(), tags.end());
  add("loop_\n");
  for (const std::string& tag : tags) add("_atom_site." + tag + "\n");
  int id = 0;
  for (const SiteRow& row : rows) {
    ++id;
    std::string line;
    for (const std::string& tag : tags) {
      const std::string value = tag == "group_PDB"         ? row.group
                                : tag == "id"              ? std::to_string(id)
                                : tag == "type_symbol"     ? row.element
                                : tag == "label_atom_id"   ? row.atom
                                : tag == "auth_atom_id"    ? row.atom
                                : tag == "label_comp_id"   ? row.comp
                                : tag == "auth_comp_id"    ? row.comp
                                : tag == "label_asym_id"   ? row.label_chain
                                : tag == "label_entity_id" ? row.entity
                                : tag == "Cartn_x"         ? row.x
                                : tag == "Cartn_y"         ? row.y
                                : tag == "Cartn_z"         ? row.z
                                : tag == "auth_seq_id"     ? row.residue
                                : tag == "auth_asym_id"    ? row.chain
                                                           : row.model;
      line += value;
      line += ' ';
    }
    line.back() = '\n';
    add(line);
  }
  return add("#\n");
}

}  // namespace testing_support
