// One run of READING's routines on an entry held in memory, as the reading
// fuzz targets make it, and the ways they compare two runs.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "reading/reading.hpp"
#include "records/failures.hpp"
#include "records/input.hpp"
#include "reference_reading.hpp"

namespace fuzzing {

using testing_support::Routine;

// Not a resolution any entry states, so keeping it shows.
constexpr float unset_resolution = -7.25F;

struct ReadingOutcome {
  std::optional<reading::AtomList> atoms;
  float resolution = unset_resolution;
  std::optional<std::string> failure;  // the diagnostic line
  std::optional<records::Failure> failure_kind;
  std::string console;
};

// Runs `routine` on the entry PDB/test.pdb or PDB/test.cif of `files`, read
// from `read_from`, with a size limit of `limit`. An entry may only fail
// with a failure of its own file, reported against the file read, and the
// console gets nothing but whole records.
ReadingOutcome run_reading(records::FileSource& files, std::string_view entry, std::string_view read_from,
                           Routine routine, bool verbose, const reading::AtomType& atom_type,
                           std::size_t limit = records::default_size_limit);

// The same atoms, to the last bit of each coordinate.
bool same_atoms(const std::optional<reading::AtomList>& a, const std::optional<reading::AtomList>& b);

bool same_floats(float a, float b);

// The same failure, resolution and atoms: what the report on and off find,
// or an entry and its legacy file.
void check_same_result(const ReadingOutcome& a, const ReadingOutcome& b);

// Whether the routines read `text` as PDBx/mmCIF: its first line that is
// neither blank nor a comment begins with "data_", in any case.
bool is_mmcif(std::string_view text);

}  // namespace fuzzing
