// The records before the atoms, which the header scan and the helix
// collection read first: the routines read each of them once, yet every
// pass still takes them as a pass from the first record would. Held to the
// plain reading, which scans from the first record every time.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "entries.hpp"
#include "reading/reading.hpp"
#include "records/failures.hpp"
#include "reference_reading.hpp"
#include "test_doubles.hpp"

namespace {

using testing_support::atom_record;
using testing_support::EntryText;
using testing_support::helix_record;
using testing_support::Routine;

struct Case {
  std::string_view what;
  std::vector<std::string> before_remark_2;  // between the title lines and REMARK 2
  std::vector<std::string> before_seqres;    // between REMARK 2 and SEQRES
  std::vector<std::string> before_atoms;     // between the HELIX records and the atoms
};

// A record of no kind the scans take whose columns 13-16 hold " CA ".
const std::string names_alpha_carbon = "REMARK 500   CA  ALA A   1";

std::vector<Case> cases() {
  // An atom of another type whose residue is past those that follow.
  const std::string atom = atom_record({1, " O  ", 'A', 5, 5.0, 6.0, 7.0});
  return {
      {"nothing the scans take", {"REMARK   1"}, {"REMARK 465     ALA A 0"}, {"SHEET    1"}},
      {"TER, short, before SEQRES", {}, {"TER"}, {}},
      {"TER before REMARK 2", {"TER      10      ALA A   3"}, {}, {}},
      {"an ATOM record, short, before SEQRES", {}, {"ATOM"}, {}},
      {"an ATOM record before REMARK 2", {atom}, {}, {}},
      {"the atom type in columns 13-16 before SEQRES", {}, {names_alpha_carbon}, {}},
      {"the atom type in columns 13-16 before REMARK 2", {names_alpha_carbon}, {}, {}},
      {"the atom type in columns 13-16 after the HELIX records", {}, {}, {names_alpha_carbon}},
      {"a HELIX record before REMARK 2", {helix_record('A', 2, 3)}, {}, {}},
      {"a HELIX record before SEQRES", {}, {helix_record('A', 0, 0)}, {}},
      {"an ATOM record after the HELIX records", {}, {}, {atom}},
  };
}

// The entry of a case: a chain A numbered from 0 and helices that end at 0
// (a look at the atom type with no residue yet closes them) and over
// residues 1 to 3.
std::string entry_of(const Case& c, int seqres_count) {
  EntryText entry;
  entry.add("HEADER    SYNTHETIC PROTEIN                       01-JAN-00   0TST              ");
  entry.add("TITLE     AN ENTRY BUILT FOR A TEST");
  for (const std::string& record : c.before_remark_2) entry.add(record);
  entry.add("REMARK   2 RESOLUTION.    2.00 ANGSTROMS.");
  for (const std::string& record : c.before_seqres) entry.add(record);
  entry.add(testing_support::seqres_record('A', seqres_count));
  entry.add(helix_record('A', 0, 0)).add(helix_record('A', 1, 3));
  for (const std::string& record : c.before_atoms) entry.add(record);
  entry.add_chain('A', 0, 6, 11);
  return entry.text();
}

testing_support::ReadingResult read(Routine routine, const std::string& entry, const reading::AtomType& atom_type) {
  testing_support::FilesInMemory files;
  files.add("PDB/test.pdb", entry);
  records::Output console = records::Output::in_memory();
  records::Input input(1, files);
  reading::READING component(console, input);
  const reading::EntryPath path("PDB/test.pdb");
  testing_support::ReadingResult result;
  try {
    if (routine == Routine::helices) {
      component.HELICES(path, result.resolution, result.atoms, false, atom_type);
    } else {
      component.BACKBONES(path, result.resolution, result.atoms, false, atom_type);
    }
  } catch (const records::IoError& error) {
    result.failure = error.failure();
  }
  return result;
}

TEST(FirstRecords, EachPassTakesThemAsAPassFromTheFirstRecordWould) {
  for (const Case& c : cases()) {
    for (const int seqres_count : {0, 4}) {
      const std::string entry = entry_of(c, seqres_count);
      for (const reading::AtomType atom_type : {reading::AtomType(" CA "), reading::AtomType(" N  ")}) {
        for (const Routine routine : {Routine::backbones, Routine::helices}) {
          const auto actual = read(routine, entry, atom_type);
          const auto expected = testing_support::reference_reading(routine, entry, atom_type, 0.0F);
          const std::string where = std::string(c.what) + ", SEQRES " + std::to_string(seqres_count) + ", " +
                                    std::string(atom_type.view()) +
                                    (routine == Routine::helices ? ", helices" : ", backbones");
          EXPECT_EQ(actual.failure, expected.failure) << where;
          EXPECT_EQ(actual.atoms, expected.atoms) << where;
        }
      }
    }
  }
}

}  // namespace
