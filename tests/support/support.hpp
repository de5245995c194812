// Shared test helpers: scratch directories and whole-file reads and writes.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace testing_support {

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

void write_file(const std::filesystem::path& path, std::string_view content);
std::string read_file(const std::filesystem::path& path);

// The names in `dir`, sorted, hidden ones included; and only the hidden
// ones (those that begin with a dot): temporaries left behind.
std::vector<std::string> names_in(const std::filesystem::path& dir);
std::vector<std::string> hidden_in(const std::filesystem::path& dir);

// Turns "\n" line ends into the CR LF that every written record ends with.
std::string crlf(std::string_view text);

}  // namespace testing_support
