// The one-pass helix scan agrees with one scan per helix: same report, same
// atoms, same failure after the same lines, on generated and real entries.

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "entries.hpp"
#include "helix_rescan.hpp"
#include "reading/helix_scan.hpp"
#include "reading/layouts.hpp"
#include "support.hpp"

namespace {

using reading::AtomList;
using reading::Helix;

struct Outcome {
  std::string console;
  AtomList atoms;
  std::string failure;

  bool operator==(const Outcome&) const = default;
};

using Collector = void (*)(records::Input&, const std::vector<Helix>&, const reading::HelixReport&, AtomList&);

Outcome run(Collector collect, const std::string& entry_text, const std::vector<Helix>& helices,
            const reading::AtomType& atom_type, bool verbose) {
  records::Input entry(1);
  entry.open_text("PDB/test.pdb", entry_text);
  records::Output console = records::Output::capture();
  Outcome outcome;
  try {
    collect(entry, helices, {console, verbose, atom_type}, outcome.atoms);
  } catch (const records::IoError& error) {
    outcome.failure = error.what();
  }
  outcome.console = console.captured();
  return outcome;
}

void expect_agreement(const std::string& entry, const std::vector<Helix>& helices, std::string_view atom_type,
                      bool verbose, const std::string& what) {
  const reading::AtomType type(atom_type);
  const Outcome expected = run(testing_support::collect_helix_atoms_by_rescanning, entry, helices, type, verbose);
  const Outcome actual = run(reading::collect_helix_atoms, entry, helices, type, verbose);
  EXPECT_EQ(actual.failure, expected.failure) << what;
  EXPECT_EQ(actual.atoms, expected.atoms) << what;
  EXPECT_EQ(actual.console, expected.console) << what;
}

// Entries made to meet every rule of the scan: chains that come and go,
// residue numbers that jump and drop, alternate locations (consecutive
// serials), atoms of other names and kinds, bad numbers, short lines.
class EntryGenerator {
 public:
  explicit EntryGenerator(unsigned seed) : random_(seed) {}

  std::string entry() {
    std::string text;
    const int records = pick(0, 9) == 0 ? pick(0, 20) : pick(20, 250);
    int serial = pick(-12, 5);
    int residue = pick(-3, 4);
    for (int i = 0; i < records; ++i) {
      const int kind = pick(0, 99);
      if (kind < 4) {
        text += "TER\n";
      } else if (kind < 6) {
        text += chance(2) ? "\n" : "MODEL        2\n";
      } else if (kind < 8) {
        text += "ATOM  \n";  // a short record: blank fields read as zero
      } else {
        residue += pick(0, 9) < 7 ? pick(0, 1) : pick(-6, 6);
        serial += chance(3) ? 1 : pick(2, 4);
        testing_support::Atom atom{serial, name(), chain(), residue, pick(-999, 999) / 8.0, 1.5, -2.25};
        if (kind < 12) atom.record = "HETATM";
        std::string record = testing_support::atom_record(atom);
        if (pick(0, 199) == 0) record[static_cast<std::size_t>(pick(6, 53))] = 'x';  // a bad number, maybe unused
        text += record + "\n";
      }
    }
    return text;
  }

  std::vector<Helix> helices() {
    std::vector<Helix> table(static_cast<std::size_t>(pick(1, 6)));
    for (Helix& helix : table) {
      helix.chain = chance(12) ? 'Z' : chain();
      helix.start = pick(-3, 20);
      helix.end = helix.start + pick(-3, 10);
    }
    return table;
  }

  std::string_view atom_type() { return chance(5) ? " N  " : (chance(15) ? " XX " : " CA "); }
  bool verbose() { return !chance(6); }

 private:
  int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }
  bool chance(int one_in) { return pick(1, one_in) == 1; }
  char chain() { return "AAAABBC "[pick(0, 7)]; }
  std::string_view name() { return chance(2) ? " CA " : (chance(2) ? " N  " : (chance(2) ? "CA  " : " C  ")); }

  std::mt19937 random_;
};

TEST(HelixScanProperty, AgreesWithOneScanPerHelixOnGeneratedEntries) {
  for (unsigned seed = 1; seed <= 4000; ++seed) {
    EntryGenerator generate(seed);
    const std::string entry = generate.entry();
    const std::vector<Helix> helices = generate.helices();
    const std::string_view atom_type = generate.atom_type();
    const bool verbose = generate.verbose();
    expect_agreement(entry, helices, atom_type, verbose, "seed " + std::to_string(seed));
    if (HasFailure()) return;
  }
}

std::vector<Helix> declared_helices(const std::string& text) {
  std::vector<Helix> helices;
  records::Input entry(1);
  entry.open_text("entry", text);
  while (const auto record = entry.read()) {
    const reading::HelixFields fields = reading::read_helix(*record);
    if (fields.name == reading::helix_key && reading::is_alpha_helix(fields.helix_class)) {
      helices.push_back({fields.chain[0], reading::convert_I(entry, fields.start.view()),
                         reading::convert_I(entry, fields.end.view())});
    }
  }
  return helices;
}

TEST(HelixScanProperty, AgreesWithOneScanPerHelixOnRealEntries) {
  std::mt19937 random(7);
  for (const auto& file : std::filesystem::directory_iterator(std::filesystem::path(EXTRACT_TEST_DATA) / "pdb")) {
    const std::string entry = testing_support::read_file(file.path());
    const std::string name = file.path().filename().string();
    for (const std::string_view atom_type : {" CA ", " N  ", " O  "}) {
      expect_agreement(entry, declared_helices(entry), atom_type, true, name + " as declared");
    }
    // Made-up tables over real coordinates: other chains, wide and empty
    // spans, ends that never show.
    for (int round = 0; round < 40; ++round) {
      std::vector<Helix> helices(static_cast<std::size_t>(random() % 8 + 1));
      for (Helix& helix : helices) {
        helix.chain = "ABCDEX"[random() % 6];
        helix.start = static_cast<std::int32_t>(random() % 240) - 10;
        helix.end = helix.start + static_cast<std::int32_t>(random() % 40) - 5;
      }
      expect_agreement(entry, helices, " CA ", round % 4 != 0, name + " round " + std::to_string(round));
    }
  }
}

}  // namespace
