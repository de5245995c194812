// An archive as batches meet it: the real entries, entries compressed by
// gzip itself, and entries that fail in every way an entry's own file can.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace testing_support {

// Makes `dir`/PDB with the real entries of `data`/pdb, z3al1.pdb.gz (one
// member beside no plain file), z1lcd.pdb (two members under the plain
// name), and the failing folder.pdb (a directory), nores.pdb (no
// resolution) and broken.pdb.gz (cut in half); and an empty `dir`/source.
void make_failing_archive(const std::filesystem::path& dir, const std::filesystem::path& data);

// What the recorded session `session` of the real entries in `data`, each
// run alone, wrote as the export `file`.
std::string solo_export(const std::filesystem::path& data, std::string_view session, std::string_view file);

}  // namespace testing_support
