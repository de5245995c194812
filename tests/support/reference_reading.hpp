// READING worked out the plain way, for the tests and the fuzz targets to
// hold the real one to: one scan of the whole entry per helix, one scan along
// the first chain, every column taken straight from the record. Only what
// the routines hand back is worked out (the atoms, the resolution and the
// failure), never the wording of the report.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "reading/reading.hpp"

namespace testing_support {

struct ReadingResult {
  std::optional<reading::AtomList> atoms;
  float resolution = 0.0F;
  std::optional<records::Failure> failure;
};

enum class Routine { backbones, helices };

ReadingResult reference_reading(Routine routine, std::string_view entry, const reading::AtomType& atom_type,
                                float resolution);

struct ReferenceHelix {
  char chain;
  std::int32_t start;
  std::int32_t end;
};

// The helices' scans one after another: each helix's atoms, up to the helix
// whose scan failed (its atoms last), and that failure.
struct HelixScans {
  std::vector<reading::AtomList> atoms;
  std::optional<records::Failure> failure;
};

HelixScans reference_helix_scans(std::string_view entry, const std::vector<ReferenceHelix>& helices,
                                 const reading::AtomType& atom_type);

}  // namespace testing_support
