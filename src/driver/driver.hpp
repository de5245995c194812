// EXTRACT, the main program: the dialogue, one extraction per PDB entry, the
// export files and goodfiles.txt.
#pragma once

#include <string_view>

#include "reading/reading.hpp"
#include "records/records.hpp"

namespace driver {

// A file name of the list: 12 characters, blank-padded.
using FileName = records::Chars<12>;

// The whole session, on the given console. Lines typed at a pause go to
// `run_command`.
void EXTRACT(records::Output& console, records::LineSource& console_in,
             records::CommandRunner run_command = records::run_shell_command);

// Gives `name` the extension `letters` (three letters) after its first dot,
// writing only what falls within the 12 characters. A name without a dot gets
// one after its last non-blank character.
void rewrite_extension(FileName& name, std::string_view letters);

// Writes the export file of one entry to `path` (connection 2), replacing
// any file of that name.
void write_export(std::string_view path, const reading::AtomType& atom_type, float resolution,
                  const reading::AtomList& atoms);

}  // namespace driver
