// Fuzzes READING on arbitrary entries: BACKBONES and HELICES, each with the
// report on and off, for one of a few atom types, and holds what they hand
// back to the plain one-scan-per-helix reading of the same entry.
//
// Input: one byte choosing the atom type (its low two bits), then the entry
// file's bytes.

#include <array>
#include <bit>
#include <string>

#include "fuzz_support.hpp"
#include "reading_reference.hpp"
#include "reading/reading.hpp"

namespace {

constexpr std::string_view entry_file = "PDB/test.pdb";
constexpr std::array<std::string_view, 4> atom_types = {" CA ", " N  ", "CA  ", "    "};
// Not a resolution any entry states, so keeping it shows.
constexpr float unset_resolution = -7.25F;

using fuzzing::Routine;

struct Outcome {
  std::optional<reading::AtomList> atoms;
  float resolution = 0.0F;
  std::optional<std::string> failure;  // the diagnostic line
  std::optional<records::Failure> failure_kind;
  std::string console;
};

Outcome run(Routine routine, bool verbose, const reading::AtomType& atom_type) {
  records::Output console = records::Output::capture();
  records::Input entry(1);
  reading::READING component(console, entry);
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
    // What an entry's content can do: end too early, or hold a field that
    // is not a number. Either is reported against the entry.
    FUZZ_CHECK(error.failure() == records::Failure::end_of_file ||
               error.failure() == records::Failure::input_conversion);
    FUZZ_CHECK(error.unit() == 1);
    FUZZ_CHECK(error.file() == entry_file);
    outcome.failure = error.what();
    outcome.failure_kind = error.failure();
  }
  outcome.console = console.captured();
  FUZZ_CHECK(fuzzing::whole_records(outcome.console));
  return outcome;
}

bool same_atoms(const reading::AtomList& a, const reading::AtomList& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].residue != b[i].residue || a[i].chain != b[i].chain) return false;
    if (std::bit_cast<std::uint32_t>(a[i].x) != std::bit_cast<std::uint32_t>(b[i].x)) return false;
    if (std::bit_cast<std::uint32_t>(a[i].y) != std::bit_cast<std::uint32_t>(b[i].y)) return false;
    if (std::bit_cast<std::uint32_t>(a[i].z) != std::bit_cast<std::uint32_t>(b[i].z)) return false;
  }
  return true;
}

// The report decides what is shown, never what is found.
void check_same_result(const Outcome& verbose, const Outcome& quiet) {
  FUZZ_CHECK(verbose.failure == quiet.failure);
  FUZZ_CHECK(std::bit_cast<std::uint32_t>(verbose.resolution) == std::bit_cast<std::uint32_t>(quiet.resolution));
  FUZZ_CHECK(verbose.atoms.has_value() == quiet.atoms.has_value());
  if (verbose.atoms) FUZZ_CHECK(same_atoms(*verbose.atoms, *quiet.atoms));
}

// What the routine hands back is what the plain reading finds.
void check_against_reference(const Outcome& outcome, Routine routine, std::string_view entry,
                             const reading::AtomType& atom_type) {
  const fuzzing::ReadingResult expected = fuzzing::reference_reading(routine, entry, atom_type, unset_resolution);
  FUZZ_CHECK(outcome.failure_kind == expected.failure);
  FUZZ_CHECK(std::bit_cast<std::uint32_t>(outcome.resolution) == std::bit_cast<std::uint32_t>(expected.resolution));
  FUZZ_CHECK(outcome.atoms.has_value() == expected.atoms.has_value());
  if (outcome.atoms) FUZZ_CHECK(same_atoms(*outcome.atoms, *expected.atoms));
}

// The summary record "   nnn helices found." (a title line shown on the
// console is 63 characters long, so it never passes for one).
bool shows_helices_found(std::string_view console) {
  constexpr std::string_view tail = " helices found.";
  for (const std::string_view line : fuzzing::records_of(console)) {
    if (line.size() == 6 + tail.size() && line.substr(0, 3) == "   " && line.substr(6) == tail) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzing::enter_scratch_directory();
  const int descriptors = fuzzing::lowest_free_descriptor();

  fuzzing::Bytes in(data, size);
  const reading::AtomType atom_type(atom_types[in.byte() % atom_types.size()]);
  const std::string_view entry = in.rest();
  fuzzing::write_file(std::string(entry_file).c_str(), entry);

  const Outcome backbones = run(Routine::backbones, true, atom_type);
  check_same_result(backbones, run(Routine::backbones, false, atom_type));
  if (!backbones.failure) FUZZ_CHECK(backbones.atoms.has_value());
  check_against_reference(backbones, Routine::backbones, entry, atom_type);

  const Outcome helices = run(Routine::helices, true, atom_type);
  check_same_result(helices, run(Routine::helices, false, atom_type));
  const bool found = shows_helices_found(helices.console);
  if (helices.atoms) FUZZ_CHECK(found);
  if (!helices.failure) FUZZ_CHECK(helices.atoms.has_value() == found);
  check_against_reference(helices, Routine::helices, entry, atom_type);

  FUZZ_CHECK(fuzzing::lowest_free_descriptor() == descriptors);
  return 0;
}
