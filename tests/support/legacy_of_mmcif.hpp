// The legacy file of a PDBx/mmCIF entry, as far as READING reads it,
// written the plain way for the tests and fuzzing to hold the mmCIF reading
// to: gemmi parses the entry, and the records are written column by column
// (HEADER, TITLE, REMARK 2, SEQRES, HELIX, ATOM, HETATM, TER, MODEL).
// READING must then give, from the mmCIF entry, what it gives from this
// text.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace testing_support {

// Nullopt when the entry is not CIF to gemmi, is no entry the routines can
// read as mmCIF (no _atom_site or one of its needed items, a category read
// given twice), or holds a value the legacy columns cannot (a chain name of
// more than one character, a serial past 99,999, a number wider than its
// field, an extended id).
std::optional<std::string> legacy_of_mmcif(std::string_view text);

}  // namespace testing_support
