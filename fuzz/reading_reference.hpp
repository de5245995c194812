// READING worked out the plain way, for reading_fuzz to hold the real one to:
// one scan of the whole entry per helix, one scan along the first chain,
// every column taken straight from the record. Only what the routines hand
// back is compared (the atoms, the resolution and the failure), never the
// wording of the report.
#pragma once

#include <optional>
#include <string_view>

#include "reading/reading.hpp"

namespace fuzzing {

struct ReadingResult {
  std::optional<reading::AtomList> atoms;
  float resolution = 0.0F;
  std::optional<records::Failure> failure;
};

enum class Routine { backbones, helices };

ReadingResult reference_reading(Routine routine, std::string_view entry, const reading::AtomType& atom_type,
                                float resolution);

}  // namespace fuzzing
