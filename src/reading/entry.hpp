// The entry open on its connection: how it is found, and its numbers
// converted with failures that name it.
#pragma once

#include <cstdint>
#include <string_view>

#include "records/input.hpp"

namespace reading {

// Opens the entry at `path`, gzip data read unpacked. The archive hands out
// entries compressed, as `path`.gz: one that was not unpacked is read as it
// is. Failures name the file read, or `path` when neither is there.
void open_entry(records::Input& entry, std::string_view path);

// Whether the open entry is PDBx/mmCIF: its first line that is neither blank
// nor a comment ("#") begins with "data_", in any case. Anything else is a
// legacy entry. The entry is left at its first record.
bool holds_mmcif(records::Input& entry);

// What the routines take of a resolution record, whichever kind of entry
// gave it.
struct ResolutionText {
  bool not_applicable = false;  // " NOT " in columns 23-27
  std::string_view number;      // otherwise the text to convert with F
  bool stated = true;           // false: the entry has no resolution to read at all
};

// Conversions of the number fields of the open entry: a field that is not a
// number ends the run, naming the entry.
std::int32_t convert_I(const records::Input& entry, std::string_view field);
float convert_F(const records::Input& entry, std::string_view field);

}  // namespace reading
