// Where replaced files are created.

#include "places.hpp"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "records/failures.hpp"
#include "records/names.hpp"
#include "records/system_calls.hpp"

namespace records {
namespace {

constexpr int directory_flags = O_PATH | O_DIRECTORY | O_CLOEXEC;

[[noreturn]] void fail_to_reach(int os_error, int unit, const std::string& shown) {
  // ELOOP: a link on the way; EXDEV: a way out of the directory.
  if (os_error == ELOOP || os_error == EXDEV) throw IoError::refused_name(unit, shown);
  // A directory of the name missing, or no directory: the name's failure,
  // not the directory's.
  if (os_error == ENOENT || os_error == ENOTDIR || os_error == ENAMETOOLONG) {
    throw IoError::on_the_names_way(creation_failure_for(os_error), unit, shown);
  }
  throw IoError(creation_failure_for(os_error), unit, shown);
}

// The part `part` of a name, in `from`, as itself: a link is opened as a
// link (O_PATH with O_NOFOLLOW), and nothing blocks. Made first when it is
// missing and `create_missing` says so; one made meanwhile by another
// thread or run is as good.
FileDescriptor open_part(int from, const std::string& part, bool create_missing) {
  FileDescriptor next(system_calls.openat(from, part.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC, 0));
  if (next || errno != ENOENT || !create_missing) return next;
  if (system_calls.mkdirat(from, part.c_str(), 0777) != 0 && errno != EEXIST) return next;
  return FileDescriptor(system_calls.openat(from, part.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC, 0));
}

// The directories of `inner` one by one beneath `top`, none of them a link
// and none "..": for kernels without openat2 (before Linux 5.6), and to make
// the missing ones a part at a time. Each part is
// opened as itself (O_PATH with O_NOFOLLOW opens a link, not what it points
// to, and never blocks) and then looked at.
FileDescriptor walk_beneath(const FileDescriptor& top, std::string_view inner, int unit, const std::string& shown,
                            bool create_missing) {
  FileDescriptor here;
  std::size_t start = 0;
  while (start < inner.size()) {
    const std::size_t end = std::min(inner.find('/', start), inner.size());
    const std::string part(inner.substr(start, end - start));
    start = end + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") fail_to_reach(EXDEV, unit, shown);
    const int from = here ? here.get() : top.get();
    FileDescriptor next = open_part(from, part, create_missing);
    if (!next) fail_to_reach(errno, unit, shown);
    struct stat info {};
    if (system_calls.fstat(next.get(), &info) != 0) fail_to_reach(errno, unit, shown);
    if (S_ISLNK(info.st_mode)) fail_to_reach(ELOOP, unit, shown);
    if (!S_ISDIR(info.st_mode)) fail_to_reach(ENOTDIR, unit, shown);
    here = std::move(next);
  }
  if (!here) {
    FileDescriptor same(system_calls.openat(top.get(), ".", directory_flags, 0));
    if (!same) fail_to_reach(errno, unit, shown);
    return same;
  }
  return here;
}

FileDescriptor open_directory(std::string_view directory, int unit, const std::string& shown) {
  FileDescriptor opened(system_calls.open(std::string(directory).c_str(), directory_flags, 0));
  if (!opened) throw IoError(creation_failure_for(errno), unit, shown);
  return opened;
}

// True when a part of `name` is "..": even one that stays beneath (openat2
// would take "a/../b") is refused, as the walk without openat2 refuses it.
bool climbs(std::string_view name) {
  for (std::size_t start = 0; start <= name.size();) {
    const std::size_t end = std::min(name.find('/', start), name.size());
    if (name.substr(start, end - start) == "..") return true;
    start = end + 1;
  }
  return false;
}

// The last part of `path`, which must name a file.
std::string file_name(std::string_view path, int unit, const std::string& shown) {
  const std::size_t slash = path.rfind('/');
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  if (name == "..") throw IoError::refused_name(unit, shown);
  if (name.empty() || name == ".") throw IoError(Failure::open_failure, unit, shown);
  return std::string(name);
}

}  // namespace

int Place::at() const {
  return directory ? directory.get() : AT_FDCWD;
}

Place place_of(int unit, std::string_view path) {
  const std::string shown(path);
  if (shown.find('\0') != std::string::npos) throw IoError::refused_name(unit, shown);
  const std::size_t slash = path.rfind('/');
  std::string name = file_name(path, unit, shown);
  const std::string_view prefix = slash == std::string_view::npos ? std::string_view() : path.substr(0, slash + 1);
  return {FileDescriptor(), std::string(prefix), std::move(name)};
}

Place place_beneath(int unit, std::string_view directory, std::string_view name, const std::string& shown,
                    bool create_missing) {
  if (shown.find('\0') != std::string::npos || climbs(name)) throw IoError::refused_name(unit, shown);
  std::string base = file_name(name, unit, shown);
  const std::size_t slash = name.rfind('/');
  std::string_view inner = slash == std::string_view::npos ? std::string_view() : name.substr(0, slash);
  while (inner.starts_with('/')) inner.remove_prefix(1);
  // The file right in the directory: nothing beneath it to resolve, and the
  // file itself is created new and renamed onto its name, never followed.
  if (inner.empty()) return {FileDescriptor(), path_beneath(directory, {}), std::move(base)};
  const FileDescriptor top = open_directory(directory, unit, shown);

  const std::string inner_path(inner);
  for (int attempt = 0;; ++attempt) {
    FileDescriptor beneath(system_calls.openat_beneath(top.get(), inner_path.c_str(), directory_flags));
    if (beneath) return {std::move(beneath), {}, std::move(base)};
    if (errno == ENOSYS) break;
    // A rename elsewhere in the tree while it was resolved: resolve again.
    if (errno == EAGAIN && attempt < 8) continue;
    // What is missing is made on the walk, a part at a time.
    if (errno == ENOENT && create_missing) break;
    fail_to_reach(errno, unit, shown);
  }
  return {walk_beneath(top, inner, unit, shown, create_missing), {}, std::move(base)};
}

}  // namespace records
