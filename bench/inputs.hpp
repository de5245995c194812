// Benchmark inputs made from the bundled real entries: one big entry tiled
// from their residues, and a batch of copies. Both the input generator and
// the micro-benchmarks build them here, so they measure the same entry.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace bench_inputs {

// A real entry: its file name and its text.
struct RealEntry {
  std::string name;
  std::string text;
};

// The real entries of a directory, in file-name order.
std::vector<RealEntry> read_real_entries(const std::filesystem::path& dir);

// What the big entry holds, for the report next to the timings.
struct BigShape {
  std::size_t bytes = 0;
  int atoms = 0;    // ATOM records (in the big entry each followed by its ANISOU record)
  int serials = 0;  // atoms and TER records, the serials used (past 99,999 written wrapped)
  int chains = 0;
  int first_chain = 0;    // residues of the first chain (its SEQRES count)
  int residues = 0;       // over all chains
  int helices = 0;        // HELIX records
  int alpha_helices = 0;  // of class " 1" or " 6", the ones helix mode collects
};

struct BigEntry {
  std::string text;
  BigShape shape;
};

// Tiles the real entries' residues into one entry of at most 99,999 serials:
// a first chain of `first_chain` residues, then as many more chains as the
// chain letters allow, with SEQRES, HELIX and TER records to match.
BigEntry make_big_entry(const std::vector<RealEntry>& real, int first_chain = 6000, int helices = 570);

// An entry crowded with short helices: `chains` chains of
// `residues_per_chain` residues, each residue only its backbone (N, CA, C,
// O), and `helices` right-handed alpha helices of 6 to 20 residues shared
// evenly between the chains and spread along each, HELIX records first.
BigEntry make_many_helices_entry(const std::vector<RealEntry>& real, int chains = 60, int residues_per_chain = 3000,
                                 int helices = 10'000);

// The default location of the bundled real entries.
std::filesystem::path default_real_entries();

}  // namespace bench_inputs
