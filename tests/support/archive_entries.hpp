// The real PDBx/mmCIF entries and their legacy twins in ../shared/pdbx
// beside the project (other projects' files: read from there, never copied
// into this one), for the tests that hold the mmCIF reading to them.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace testing_support {

// The directory, or nullopt when it is not there (the tests then skip).
std::optional<std::filesystem::path> archive_entries();
// The message a test skips with when it is not there.
std::string no_archive_entries();

// The ids of the entries stored in both formats ("1crn"), and of all the
// mmCIF files ("12n6z", ...), in name order.
std::vector<std::string> pair_ids(const std::filesystem::path& dir);
std::vector<std::string> mmcif_ids(const std::filesystem::path& dir);

// The text of gzip data (every member).
std::string gunzip(std::string_view packed);

}  // namespace testing_support
