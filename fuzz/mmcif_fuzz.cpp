// Fuzzes READING on PDBx/mmCIF entries: BACKBONES and HELICES, report on and
// off, for one of a few atom types. What an entry can do is fail with its
// own diagnostic (24, 64, 70 or 71), never anything else; the report
// decides what is shown, never what is found; and where gemmi is installed,
// the routines give from the entry what they give from its legacy file,
// written the plain way (tests/support/legacy_of_mmcif.cpp) whenever its
// values fit the legacy columns and its rows keep to their lines.
//
// Input: one byte, then the entry. The byte's low two bits choose the atom
// type. An entry whose first line (past blank and comment lines) does not
// begin with data_ gets one, so that every input is read as mmCIF.

#include <array>
#include <string>

#include "fuzz_support.hpp"
#include "reading/reading.hpp"
#include "reading_runs.hpp"
#if EXTRACT_WITH_GEMMI
#include "legacy_of_mmcif.hpp"
#endif

namespace {

constexpr std::string_view entry_file = "PDB/test.cif";
constexpr std::array<std::string_view, 4> atom_types = {" CA ", " N  ", "CA  ", " O  "};

using fuzzing::ReadingOutcome;
using fuzzing::Routine;

ReadingOutcome run(std::string_view entry, Routine routine, bool verbose, const reading::AtomType& atom_type) {
  testing_support::FilesInMemory files;
  files.add(std::string(entry_file), std::string(entry));
  ReadingOutcome outcome = fuzzing::run_reading(files, entry_file, entry_file, routine, verbose, atom_type);
  FUZZ_CHECK(outcome.failure_kind != records::Failure::corrupt_compressed_data &&
             outcome.failure_kind != records::Failure::too_large);
  if (outcome.atoms) {
    for (const reading::AtomEntry& atom : *outcome.atoms) FUZZ_CHECK(atom.chain.size() <= reading::ChainName::capacity);
  }
  return outcome;
}

// A loop written one row to a line whose row does not end its line is
// refused on purpose (a value lost or gained would read every later one a
// column off); CIF allows it, and gemmi reads it.
bool refused_for_its_row_lines(const ReadingOutcome& outcome) {
  return outcome.failure && outcome.failure->find(": a row with a value missing or one too many,") != std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzing::Bytes in(data, size);
  const std::uint8_t choice = in.byte();
  const reading::AtomType atom_type(atom_types[choice % atom_types.size()]);
  std::string entry(in.rest());
  if (!fuzzing::is_mmcif(entry)) entry.insert(0, "data_fuzz\n");

#if EXTRACT_WITH_GEMMI
  const std::optional<std::string> legacy = testing_support::legacy_of_mmcif(entry);
#endif
  for (const Routine routine : {Routine::backbones, Routine::helices}) {
    const ReadingOutcome shown = run(entry, routine, true, atom_type);
    fuzzing::check_same_result(shown, run(entry, routine, false, atom_type));
    if (routine == Routine::backbones && !shown.failure) FUZZ_CHECK(shown.atoms.has_value());
#if EXTRACT_WITH_GEMMI
    if (legacy && !refused_for_its_row_lines(shown)) {
      // The legacy file is read under the mmCIF entry's name, so that the
      // diagnostics are the same too.
      const ReadingOutcome from_legacy = run(*legacy, routine, true, atom_type);
      FUZZ_CHECK(shown.console == from_legacy.console);
      fuzzing::check_same_result(shown, from_legacy);
    }
#endif
  }
  return 0;
}
