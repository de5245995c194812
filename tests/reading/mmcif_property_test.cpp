// READING gives from an mmCIF entry what it gives from the entry's legacy
// file written the plain way (tests/support/legacy_of_mmcif.cpp, on gemmi's
// parser): on every mmCIF file of ../shared/pdbx whose values fit the legacy
// columns, and on generated entries that play with the rules (models,
// chains that are no polymers, HETATM rows, alternate locations, elements
// of two letters, negative zeros, helix classes and types, unknown values).

#include <random>

#include "archive_entries.hpp"
#include "legacy_of_mmcif.hpp"
#include "mmcif_text.hpp"
#include "run_reading.hpp"

namespace {

using testing_support::Extraction;
using testing_support::Options;
using testing_support::Routine;

class MmcifAsLegacy : public testing_support::ReadingTest {
 protected:
  // Both routines, for several atom types; false after the first
  // disagreement.
  bool expect_same_reading(const std::string& mmcif, const std::string& legacy, const std::string& what,
                           const std::vector<std::string_view>& atom_types) {
    for (const Routine routine : {Routine::backbones, Routine::helices}) {
      for (const std::string_view atom_type : atom_types) {
        const Options options{true, atom_type, -1.0F};
        const Extraction from_mmcif = run(routine, mmcif, options);
        const Extraction from_legacy = run(routine, legacy, options);
        const std::string where = what + ", " + (routine == Routine::helices ? "helices" : "backbones") + ", [" +
                                  std::string(atom_type) + "]";
        EXPECT_EQ(from_mmcif.console, from_legacy.console) << where;
        EXPECT_EQ(from_mmcif.failure, from_legacy.failure) << where;
        EXPECT_EQ(from_mmcif.resolution, from_legacy.resolution) << where;
        EXPECT_EQ(from_mmcif.atoms, from_legacy.atoms) << where;
        if (HasFailure()) return false;
      }
    }
    return true;
  }
};

TEST_F(MmcifAsLegacy, EveryArchiveFileWhoseValuesFit) {
  const auto dir = testing_support::archive_entries();
  if (!dir) GTEST_SKIP() << testing_support::no_archive_entries();
  int compared = 0;
  for (const std::string& id : testing_support::mmcif_ids(*dir)) {
    const std::string text = testing_support::gunzip(testing_support::read_file(*dir / (id + ".cif.gz")));
    const auto legacy = testing_support::legacy_of_mmcif(text);
    if (!legacy) continue;  // an extended or a model's id, or chain names of several characters
    ++compared;
    if (!expect_same_reading(text, *legacy, id, {" CA ", " O  "})) return;
  }
  // All but the three extended ids, the assembly (B-2) and the model file.
  EXPECT_EQ(compared, 39);
}

// The first SEQRES chain and its length come from _pdbx_poly_seq_scheme,
// or, where that comes only after the atoms (the archive writes it there),
// from _struct_asym and _entity_poly_seq before them: on every archive file
// the two ways give the same.
TEST_F(MmcifAsLegacy, BothWaysToTheFirstChainAgreeOnEveryArchiveFile) {
  const auto dir = testing_support::archive_entries();
  if (!dir) GTEST_SKIP() << testing_support::no_archive_entries();
  const auto without = [](std::string text, std::string_view category) {
    for (std::size_t at = text.find(category); at != std::string::npos; at = text.find(category, at)) {
      text[at + category.size() - 2] = 'X';  // another category's name
    }
    return text;
  };
  const auto chain_line = [](const std::string& console) {
    const std::size_t at = console.find("   There are ");
    return at == std::string::npos ? console : console.substr(at, console.find('\n', at) - at);
  };
  int compared = 0;
  for (const std::string& id : testing_support::mmcif_ids(*dir)) {
    const std::string text = testing_support::gunzip(testing_support::read_file(*dir / (id + ".cif.gz")));
    const Options options{true, " CA ", -1.0F};
    const Extraction by_scheme =
        run(Routine::backbones, without(without(text, "_struct_asym."), "_entity_poly_seq."), options);
    const Extraction by_entity = run(Routine::backbones, without(text, "_pdbx_poly_seq_scheme."), options);
    if (!by_scheme.failure.empty() && by_scheme.failure.find("(24)") == std::string::npos) continue;
    ++compared;
    EXPECT_EQ(chain_line(by_entity.console), chain_line(by_scheme.console)) << id;
    EXPECT_EQ(by_entity.atoms, by_scheme.atoms) << id;
  }
  EXPECT_GE(compared, 43);  // all but 7cmaas1, which has no resolution
}

// Entries made at random from a seed, small enough to read fast.
class EntryGenerator {
 public:
  explicit EntryGenerator(unsigned seed) : random_(seed) {}

  std::string entry() {
    using testing_support::SiteRow;
    auto entry = testing_support::MmcifText::with_header(resolution(), method());
    const int chains = pick(1, 3);
    std::vector<std::string> polymers;
    for (int c = 1; c <= chains; ++c) {
      if (!chance(5)) polymers.push_back(std::to_string(c));
    }
    entry.polymers(polymers);
    if (!chance(10)) entry.sequence(chance(8) ? "?" : "A", pick(-1, 12));
    std::vector<testing_support::HelixRow> helices;
    for (int h = pick(0, 4); h > 0; --h) {
      const int start = pick(-2, 10);
      helices.push_back({std::string(1, "ABCX"[pick(0, 3)]), number(start), number(start + pick(-2, 6)),
                         chance(4) ? "6" : (chance(5) ? "5" : (chance(9) ? "?" : "1")),
                         chance(7) ? "TURN_P" : "HELX_P"});
    }
    entry.helices(helices);
    std::vector<SiteRow> rows;
    const int models = chance(4) ? 2 : 1;
    for (int model = 1; model <= models; ++model) {
      for (int c = 1; c <= chains; ++c) {
        const std::string chain(1, "ABC"[c - 1]);
        int residue = pick(-3, 2);
        for (int r = pick(1, 10); r > 0; --r) {
          residue += chance(6) ? pick(-2, 3) : 1;
          for (int a = pick(1, 4); a > 0; --a) {
            SiteRow row;
            row.model = std::to_string(model);
            row.chain = chance(30) ? "?" : chain;
            row.label_chain = chain;
            row.entity = std::to_string(c);
            row.group = chance(8) ? "HETATM" : "ATOM";
            const int kind = pick(0, 5);
            row.atom = kind == 0 ? "N" : kind == 1 ? "C" : kind == 2 ? "O" : kind == 3 ? "\"O5'\"" : "CA";
            row.element = row.atom == "CA" && chance(6) ? "CA" : (row.atom == "\"O5'\"" ? "O" : row.atom.substr(0, 1));
            row.residue = chance(60) ? "?" : std::to_string(residue);
            row.x = coordinate();
            row.y = coordinate();
            row.z = chance(40) ? "?" : coordinate();
            rows.push_back(row);
            // An alternate location: the same atom again, next in the file.
            if (chance(6)) rows.push_back(row);
          }
        }
      }
      // Waters after the chains, of an entity that is no polymer.
      for (int w = pick(0, 2); w > 0; --w) {
        SiteRow water;
        water.group = "HETATM";
        water.atom = "O";
        water.element = "O";
        water.chain = "A";
        water.label_chain = "W";
        water.entity = "9";
        water.residue = std::to_string(100 + w);
        water.model = std::to_string(model);
        rows.push_back(water);
      }
    }
    entry.atoms(rows, chance(2));
    return entry.text();
  }

 private:
  int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }
  bool chance(int one_in) { return pick(1, one_in) == 1; }
  std::string number(int n) { return chance(40) ? "?" : std::to_string(n); }
  std::string coordinate() {
    if (chance(8)) return chance(2) ? "-0.000" : "0.000";
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", pick(-99'999, 99'999) / 1000.0);
    return text;
  }
  std::string resolution() {
    const std::string_view values[] = {"2.00", "1.897", "2.2010", "28", "", "?", "0.95"};
    return std::string(values[pick(0, 6)]);
  }
  std::string method() { return chance(4) ? "'SOLUTION NMR'" : "'X-RAY DIFFRACTION'"; }

  std::mt19937 random_;
};

TEST_F(MmcifAsLegacy, GeneratedEntries) {
  int compared = 0;
  for (unsigned seed = 1; seed <= 600; ++seed) {
    const std::string mmcif = EntryGenerator(seed).entry();
    const auto legacy = testing_support::legacy_of_mmcif(mmcif);
    ASSERT_TRUE(legacy.has_value()) << "seed " << seed << ":\n" << mmcif;
    ++compared;
    if (!expect_same_reading(mmcif, *legacy, "seed " + std::to_string(seed), {" CA ", " N  ", " O  ", "CA  "})) {
      ADD_FAILURE() << mmcif << "\n" << *legacy;
      return;
    }
  }
  EXPECT_EQ(compared, 600);
}

}  // namespace
