// Small synthetic PDBx/mmCIF entries, category by category, in the archive's
// layout unless a test asks otherwise.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace testing_support {

// One _atom_site row. Text fields are written as given (quote them there
// when they need it).
struct SiteRow {
  std::string group = "ATOM";
  std::string element = "C";  // type_symbol
  std::string atom = "CA";    // label_atom_id and auth_atom_id
  std::string chain = "A";    // auth_asym_id
  std::string residue = "1";  // auth_seq_id
  std::string x = "1.000";
  std::string y = "2.000";
  std::string z = "3.000";
  std::string label_chain = "A";  // label_asym_id
  std::string entity = "1";       // label_entity_id
  std::string model = "1";        // pdbx_PDB_model_num
  std::string comp = "ALA";       // label_comp_id and auth_comp_id
};

// Residues first..last of one chain, an N and a CA each, coordinates as
// EntryText::add_chain writes them.
std::vector<SiteRow> chain_rows(std::string_view chain, int first, int last, std::string_view label_chain = {},
                                std::string_view entity = "1");

struct HelixRow {
  std::string chain;
  std::string start;
  std::string end;
  std::string helix_class = "1";
  std::string type = "HELX_P";
};

class MmcifText {
 public:
  // data_0TST with the header items, as pairs: the keywords, the deposition
  // date, the title and the method, and _refine.ls_d_res_high when
  // `resolution` is not empty. Read like EntryText::with_header().
  static MmcifText with_header(std::string_view resolution = "2.00", std::string_view method = "'X-RAY DIFFRACTION'");

  MmcifText& add(std::string_view text);
  // _entity_poly: the entities that are polymers.
  MmcifText& polymers(const std::vector<std::string>& entities = {"1"});
  // _pdbx_poly_seq_scheme: `residues` residues of strand `strand`, then
  // two of a strand "Z".
  MmcifText& sequence(std::string_view strand, int residues);
  MmcifText& helices(const std::vector<HelixRow>& rows);
  // _atom_site as a loop, its columns in the archive's order, or reversed.
  MmcifText& atoms(const std::vector<SiteRow>& rows, bool reversed_columns = false);

  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

}  // namespace testing_support
