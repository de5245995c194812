// The helix scans as first written: one scan of the whole entry per helix.
// Kept as the reference that the one-pass scan must agree with.
#pragma once

#include "reading/helix_scan.hpp"

namespace testing_support {

void collect_helix_atoms_by_rescanning(records::Input& entry, const std::vector<reading::Helix>& helices,
                                       const reading::HelixReport& report, reading::AtomList& atoms);

}  // namespace testing_support
