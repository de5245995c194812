// The one-pass helix scan agrees with one scan per helix: same report, same
// atoms, same failure after the same lines, on generated and real entries.

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "atom_scan.hpp"
#include "entries.hpp"
#include "helix_scan.hpp"
#include "layouts.hpp"
#include "legacy_entry.hpp"
#include "listing.hpp"
#include "random.hpp"
#include "reference_reading.hpp"
#include "support.hpp"
#include "test_doubles.hpp"

namespace {

using reading::AtomList;
using reading::Helix;
using testing_support::uniform;

struct Outcome {
  std::string console;
  AtomList atoms;
  std::string failure;
};

Outcome one_pass(const std::string& entry_text, const std::vector<Helix>& helices,
                 const reading::AtomType& atom_type, bool verbose) {
  testing_support::FilesInMemory files;
  files.add("PDB/test.pdb", entry_text);
  records::Input entry(1, files);
  entry.open_old("PDB/test.pdb");
  records::Output console = records::Output::in_memory();
  Outcome outcome;
  try {
    reading::LegacyEntry legacy(entry, atom_type);
    reading::collect_helix_atoms(legacy, helices, {console, verbose, atom_type}, outcome.atoms);
  } catch (const records::IoError& error) {
    outcome.failure = error.what();
  }
  outcome.console = console.text();
  return outcome;
}

// What the helices' scans one after another come to, reported helix by
// helix; a failing scan ends the report after the atoms it listed.
Outcome one_scan_per_helix(const std::string& entry_text, const std::vector<Helix>& helices,
                           const reading::AtomType& atom_type, bool verbose) {
  std::vector<testing_support::ReferenceHelix> table;
  for (const Helix& helix : helices) table.push_back({helix.chain.view()[0], helix.start, helix.end});
  const testing_support::HelixScans scans = testing_support::reference_helix_scans(entry_text, table, atom_type);

  records::Output console = records::Output::in_memory();
  const reading::HelixReport report{console, verbose, atom_type};
  Outcome outcome;
  for (std::size_t h = 0; h < scans.atoms.size(); ++h) {
    if (verbose) reading::announce_helix(report, helices[h]);
    for (const reading::AtomEntry& atom : scans.atoms[h]) {
      outcome.atoms.push_back(atom);
      if (verbose) reading::write_listing_line(console, outcome.atoms.size(), atom);
    }
    const bool failed_here = scans.failure && h + 1 == scans.atoms.size();
    if (verbose && !failed_here) console.free_form();
  }
  if (scans.failure) outcome.failure = records::IoError(*scans.failure, 1, "PDB/test.pdb").what();
  outcome.console = console.text();
  return outcome;
}

void expect_agreement(const std::string& entry, const std::vector<Helix>& helices, std::string_view atom_type,
                      bool verbose, const std::string& what) {
  const reading::AtomType type(atom_type);
  const Outcome expected = one_scan_per_helix(entry, helices, type, verbose);
  const Outcome actual = one_pass(entry, helices, type, verbose);
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
  int pick(int low, int high) { return uniform(random_, low, high); }
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

// Every alpha helix the entry declares, in order (the real entries hold
// one run of HELIX records with numbers that read).
std::vector<Helix> declared_helices(const std::string& text) {
  std::vector<Helix> helices;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    const std::string record = text.substr(start, end - start) + std::string(40, ' ');
    if (record.starts_with("HELIX ") && (record.substr(38, 2) == " 1" || record.substr(38, 2) == " 6")) {
      helices.push_back({record[19], std::stoi(record.substr(21, 4)), std::stoi(record.substr(33, 4))});
    }
    start = end + 1;
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
      std::vector<Helix> helices(static_cast<std::size_t>(uniform(random, 1, 8)));
      for (Helix& helix : helices) {
        helix.chain = "ABCDEX"[uniform(random, 0, 5)];
        helix.start = uniform(random, -10, 229);
        helix.end = helix.start + uniform(random, -5, 34);
      }
      expect_agreement(entry, helices, " CA ", round % 4 != 0, name + " round " + std::to_string(round));
    }
  }
}

}  // namespace
