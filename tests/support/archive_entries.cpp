// The real entries of ../shared/pdbx.

#include "archive_entries.hpp"

#include <libdeflate.h>

#include <algorithm>
#include <memory>
#include <stdexcept>

namespace testing_support {
namespace {

std::vector<std::string> ids_with(const std::filesystem::path& dir, std::string_view suffix) {
  std::vector<std::string> ids;
  for (const auto& file : std::filesystem::directory_iterator(dir)) {
    const std::string name = file.path().filename().string();
    if (name.size() > suffix.size() && name.ends_with(suffix))
      ids.push_back(name.substr(0, name.size() - suffix.size()));
  }
  std::sort(ids.begin(), ids.end());
  return ids;
}

}  // namespace

std::optional<std::filesystem::path> archive_entries() {
  const std::filesystem::path dir = EXTRACT_ARCHIVE_ENTRIES;
  if (!std::filesystem::is_directory(dir)) return std::nullopt;
  return dir;
}

std::string no_archive_entries() {
  return std::string("the real entries are not there (") + EXTRACT_ARCHIVE_ENTRIES +
         "): check out ../shared/pdbx beside the project to run this test";
}

std::vector<std::string> pair_ids(const std::filesystem::path& dir) {
  std::vector<std::string> pairs;
  for (const std::string& id : ids_with(dir, ".pdb.gz")) {
    if (std::filesystem::exists(dir / (id + ".cif.gz"))) pairs.push_back(id);
  }
  return pairs;
}

std::vector<std::string> mmcif_ids(const std::filesystem::path& dir) {
  return ids_with(dir, ".cif.gz");
}

std::string gunzip(std::string_view packed) {
  struct Free {
    void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
  };
  const std::unique_ptr<libdeflate_decompressor, Free> decompressor(libdeflate_alloc_decompressor());
  std::string text;
  while (!packed.empty()) {
    std::string member(std::max<std::size_t>(packed.size() * 8, 4096), '\0');
    std::size_t taken = 0;
    std::size_t made = 0;
    libdeflate_result result = LIBDEFLATE_INSUFFICIENT_SPACE;
    while ((result = libdeflate_gzip_decompress_ex(decompressor.get(), packed.data(), packed.size(), member.data(),
                                                   member.size(), &taken, &made)) == LIBDEFLATE_INSUFFICIENT_SPACE) {
      member.resize(member.size() * 2);
    }
    if (result != LIBDEFLATE_SUCCESS) throw std::runtime_error("corrupt gzip data");
    text.append(member, 0, made);
    packed.remove_prefix(taken);
  }
  return text;
}

}  // namespace testing_support
