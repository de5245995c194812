// Names of files beneath a directory.

#include "records/names.hpp"

#include <algorithm>

#include "records/failures.hpp"

namespace records {
namespace {

// Every part of `path` between slashes, until `stop` says so.
template <class Stop>
bool any_part(std::string_view path, Stop stop) {
  for (std::size_t start = 0; start <= path.size();) {
    const std::size_t end = std::min(path.find('/', start), path.size());
    if (stop(path.substr(start, end - start))) return true;
    start = end + 1;
  }
  return false;
}

}  // namespace

std::string path_beneath(std::string_view directory, std::string_view name) {
  std::string path;
  path.reserve(directory.size() + 1 + name.size());
  path.append(directory).append("/").append(name);
  return path;
}

bool within_system_limits(std::string_view path) {
  return path.size() <= longest_path &&
         !any_part(path, [](std::string_view part) { return part.size() > longest_part; });
}

void refuse_unless_beneath(int unit, std::string_view directory, std::string_view name) {
  const std::string path = path_beneath(directory, name);
  // DEL too: a name that a terminal would act on is no file's name here.
  const bool control = std::any_of(name.begin(), name.end(), [](char c) { return (c >= '\0' && c < ' ') || c == 127; });
  const bool climbs = any_part(name, [](std::string_view part) { return part == ".."; });
  if (control || name.starts_with('/') || climbs || !within_system_limits(path)) {
    throw IoError::refused_name(unit, path);
  }
}

}  // namespace records
