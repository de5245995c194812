// Fuzzes READING on PDBx/mmCIF entries: BACKBONES and HELICES, report on and
// off, for one of a few atom types. What an entry can do is fail with its
// own diagnostic (24, 64, 70 or 71), never anything else; the report
// decides what is shown, never what is found; and where gemmi is installed,
// the routines give from the entry what they give from its legacy file,
// written the plain way (tests/support/legacy_of_mmcif.cpp) whenever its
// values fit the legacy columns.
//
// Input: one byte, then the entry. The byte's low two bits choose the atom
// type. An entry whose first line (past blank and comment lines) does not
// begin with data_ gets one, so that every input is read as mmCIF.

#include <array>
#include <bit>
#include <cctype>
#include <string>

#include "fuzz_support.hpp"
#include "reading/reading.hpp"
#if EXTRACT_WITH_GEMMI
#include "legacy_of_mmcif.hpp"
#endif

namespace {

constexpr std::string_view entry_file = "PDB/test.cif";
constexpr std::array<std::string_view, 4> atom_types = {" CA ", " N  ", "CA  ", " O  "};
constexpr float unset_resolution = -7.25F;

enum class Routine { backbones, helices };

struct Outcome {
  std::optional<reading::AtomList> atoms;
  float resolution = 0.0F;
  std::optional<std::string> failure;
  std::string console;
};

Outcome run(std::string_view entry, Routine routine, bool verbose, const reading::AtomType& atom_type) {
  testing_support::FilesInMemory files;
  files.add(std::string(entry_file), std::string(entry));
  records::Output console = records::Output::in_memory();
  records::Input input(1, files);
  reading::READING component(console, input);
  const reading::EntryPath path(entry_file);
  Outcome outcome;
  outcome.resolution = unset_resolution;
  try {
    if (routine == Routine::helices) {
      component.HELICES(path, outcome.resolution, outcome.atoms, verbose, atom_type);
    } else {
      component.BACKBONES(path, outcome.resolution, outcome.atoms, verbose, atom_type);
    }
  } catch (const records::IoError& error) {
    FUZZ_CHECK(error.failure() == records::Failure::end_of_file ||
               error.failure() == records::Failure::input_conversion ||
               error.failure() == records::Failure::chain_name_too_long ||
               error.failure() == records::Failure::malformed_mmcif);
    FUZZ_CHECK(error.unit() == 1 && error.file() == entry_file);
    outcome.failure = error.what();
  }
  outcome.console = console.text();
  FUZZ_CHECK(fuzzing::whole_records(outcome.console));
  if (outcome.atoms) {
    for (const reading::AtomEntry& atom : *outcome.atoms) FUZZ_CHECK(atom.chain.size() <= reading::ChainName::capacity);
  }
  return outcome;
}

bool same_floats(float a, float b) {
  return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b);
}

bool same_atoms(const std::optional<reading::AtomList>& a, const std::optional<reading::AtomList>& b) {
  if (a.has_value() != b.has_value()) return false;
  if (!a) return true;
  if (a->size() != b->size()) return false;
  for (std::size_t i = 0; i < a->size(); ++i) {
    const reading::AtomEntry& x = (*a)[i];
    const reading::AtomEntry& y = (*b)[i];
    if (x.residue != y.residue || x.chain != y.chain || !same_floats(x.x, y.x) || !same_floats(x.y, y.y) ||
        !same_floats(x.z, y.z)) {
      return false;
    }
  }
  return true;
}

bool begins_with_data(std::string_view text) {
  std::size_t at = 0;
  for (;;) {
    at = text.find_first_not_of(" \t\r\n", at);
    if (at == std::string_view::npos) return false;
    if (text[at] != '#') break;
    at = text.find('\n', at);
    if (at == std::string_view::npos) return false;
  }
  std::string word(text.substr(at, 5));
  for (char& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return word == "data_";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzing::Bytes in(data, size);
  const std::uint8_t choice = in.byte();
  const reading::AtomType atom_type(atom_types[choice % atom_types.size()]);
  std::string entry(in.rest());
  if (!begins_with_data(entry)) entry.insert(0, "data_fuzz\n");

#if EXTRACT_WITH_GEMMI
  const std::optional<std::string> legacy = testing_support::legacy_of_mmcif(entry);
#endif
  for (const Routine routine : {Routine::backbones, Routine::helices}) {
    const Outcome shown = run(entry, routine, true, atom_type);
    const Outcome quiet = run(entry, routine, false, atom_type);
    FUZZ_CHECK(shown.failure == quiet.failure);
    FUZZ_CHECK(same_floats(shown.resolution, quiet.resolution));
    FUZZ_CHECK(same_atoms(shown.atoms, quiet.atoms));
    if (routine == Routine::backbones && !shown.failure) FUZZ_CHECK(shown.atoms.has_value());
#if EXTRACT_WITH_GEMMI
    if (legacy) {
      // The legacy file is read under the mmCIF entry's name, so that the
      // diagnostics are the same too.
      const Outcome from_legacy = run(*legacy, routine, true, atom_type);
      FUZZ_CHECK(shown.console == from_legacy.console);
      FUZZ_CHECK(shown.failure == from_legacy.failure);
      FUZZ_CHECK(same_floats(shown.resolution, from_legacy.resolution));
      FUZZ_CHECK(same_atoms(shown.atoms, from_legacy.atoms));
    }
#endif
  }
  return 0;
}
