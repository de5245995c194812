#include "test_doubles.hpp"

#include <cerrno>
#include <filesystem>
#include <utility>

#include "memory.hpp"

namespace testing_support {

void FilesInMemory::add(std::string path, std::string content) {
  files_.insert_or_assign(std::move(path), std::move(content));
}

records::LoadedFile FilesInMemory::load(const std::string& path, records::FileMemory&) {
  const auto found = files_.find(path);
  if (found != files_.end()) return {found->second, 0};
  // A directory that holds files, as the file system tells it.
  const std::string directory = path.ends_with('/') ? path : path + "/";
  const auto after = files_.lower_bound(directory);
  if (after != files_.end() && after->first.starts_with(directory)) return {{}, EISDIR};
  return {{}, ENOENT};
}

std::vector<std::string> all_records(records::Input& input) {
  std::vector<std::string> records;
  while (const auto record = input.read()) records.emplace_back(*record);
  return records;
}

std::optional<std::string_view> TextLines::next_line() {
  if (text_.empty()) return std::nullopt;
  const std::size_t newline = text_.find('\n');
  if (newline == std::string_view::npos) return std::exchange(text_, {});
  std::string_view line = text_.substr(0, newline);
  text_.remove_prefix(newline + 1);
  if (line.ends_with('\r')) line.remove_suffix(1);
  return line;
}

records::LoadedFile CutOnceOpened::load(const std::string& path, records::FileMemory& memory) {
  // Mapped from 2 MiB on, as where there are no huge pages, so that the
  // tests' entries of a few MiB meet both ways of being loaded.
  memory.mapped_from = mapped_without_huge_pages;
  const records::LoadedFile loaded = records::file_system().load(path, memory);
  if (path.find(marked_) != std::string::npos) std::filesystem::resize_file(directory_ / path, cut_to_);
  return loaded;
}

}  // namespace testing_support
