// Runs READING's routines on a synthetic entry held in memory and keeps what
// they report.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "entries.hpp"
#include "reading/reading.hpp"
#include "support.hpp"
#include "test_doubles.hpp"

namespace reading {
// Chain names shown as text in the tests' messages.
inline void PrintTo(const ChainName& chain, std::ostream* out) {
  *out << '"' << chain.view() << '"';
}
}  // namespace reading

namespace testing_support {

struct Extraction {
  std::string console;  // with "\n" for each CR LF
  float resolution = 0.0F;
  std::optional<reading::AtomList> atoms;
  std::string failure;  // the diagnostic line of a failure that ended the run
};

enum class Routine { helices, backbones };

struct Options {
  bool verbose = true;
  std::string_view atom_type = " CA ";
  float resolution = 0.0F;  // as the caller's variable holds it
  bool allow_no_resolution = false;
};

class ReadingTest : public ::testing::Test {
 protected:
  Extraction run(Routine routine, const std::string& entry, const Options& options = {});
  Extraction backbones(const EntryText& entry, const Options& options = {}) {
    return run(Routine::backbones, entry.text(), options);
  }
  Extraction helices(const EntryText& entry, const Options& options = {}) {
    return run(Routine::helices, entry.text(), options);
  }
};

// The atom list as (residue, chain) pairs, for compact expectations.
using Residues = std::vector<std::pair<int, reading::ChainName>>;
Residues residues_of(const reading::AtomList& atoms);
// Residues first to last of one chain.
Residues numbered(int first, int last, reading::ChainName chain = 'A');
// `a`, then `b`.
Residues operator+(Residues a, const Residues& b);

// What the header scan reports for EntryText::with_header() at 2.00 angstroms.
inline constexpr std::string_view header_report =
    "   The following protein is going to be analysed:\n"
    " \n"
    "   SYNTHETIC PROTEIN                       01-JAN-00   0TST    \n"
    "   AN ENTRY BUILT FOR A TEST                                   \n"
    " \n"
    "   The structure data has a resolution of 2.00 angstroems\n"
    " \n";

}  // namespace testing_support
