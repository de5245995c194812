// Stand-ins for the tool's files and console, for tests and fuzzing: the
// tool itself never includes this.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "records/console.hpp"
#include "records/input.hpp"

namespace testing_support {

// Input files held in memory, by path; a path that leads to some of them
// is a directory.
class FilesInMemory final : public records::FileSource {
 public:
  void add(std::string path, std::string content);
  records::LoadedFile load(const std::string& path, records::FileMemory& memory) override;

 private:
  std::map<std::string, std::string, std::less<>> files_;
};

// Every record left to read on `input`.
std::vector<std::string> all_records(records::Input& input);

// Console lines taken from a string.
class TextLines final : public records::LineSource {
 public:
  explicit TextLines(std::string_view text) : text_(text) {}
  std::optional<std::string_view> next_line() override;
  int unit() const override { return records::console_in_unit; }
  std::string_view file() const override { return records::console_in_file; }

 private:
  std::string_view text_;
};

// Where files are mapped when the system grants no huge pages; tests that
// mean to meet a mapped file ask for mapping from there (Input::map_from),
// so that they do wherever they run.
inline constexpr std::size_t mapped_without_huge_pages = std::size_t{2} << 20;

// The file system, with every file whose path holds `marked` cut to
// `cut_to` bytes as soon as it is opened: another program cutting an entry
// between the tool's looks at it. A relative path is one in `directory`,
// the tool's working directory (WorkingDirectory). Files of 2 MiB or more
// are mapped.
class CutOnceOpened final : public records::FileSource {
 public:
  CutOnceOpened(std::filesystem::path directory, std::string marked, std::size_t cut_to)
      : directory_(std::move(directory)), marked_(std::move(marked)), cut_to_(cut_to) {}
  records::LoadedFile load(const std::string& path, records::FileMemory& memory) override;

 private:
  std::filesystem::path directory_;
  std::string marked_;
  std::size_t cut_to_;
};

}  // namespace testing_support
