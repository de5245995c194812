#include "working_directory.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

namespace testing_support {
namespace {

WorkingDirectory* in_use = nullptr;

const records::SystemCalls& beneath() {
  return in_use->beneath();
}

// Where a path given relative to `directory` is to be found.
int from(int directory, const char* path) {
  return directory == AT_FDCWD && path[0] != '/' ? in_use->directory() : directory;
}

int open_in(const char* path, int flags, mode_t mode) {
  if (path[0] == '/') return beneath().open(path, flags, mode);
  return beneath().openat(in_use->directory(), path, flags, mode);
}

int openat_in(int directory, const char* path, int flags, mode_t mode) {
  return beneath().openat(from(directory, path), path, flags, mode);
}

int openat_beneath_in(int directory, const char* path, int flags) {
  return beneath().openat_beneath(from(directory, path), path, flags);
}

int linkat_in(int from_directory, const char* from_path, int to_directory, const char* to_path, int flags) {
  return beneath().linkat(from(from_directory, from_path), from_path, from(to_directory, to_path), to_path, flags);
}

int renameat_in(int from_directory, const char* from_path, int to_directory, const char* to_path) {
  return beneath().renameat(from(from_directory, from_path), from_path, from(to_directory, to_path), to_path);
}

int unlinkat_in(int directory, const char* path, int flags) {
  return beneath().unlinkat(from(directory, path), path, flags);
}

int mkdirat_in(int directory, const char* path, mode_t mode) {
  return beneath().mkdirat(from(directory, path), path, mode);
}

}  // namespace

WorkingDirectory::WorkingDirectory(const std::filesystem::path& directory)
    : directory_(::open(directory.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)) {
  if (directory_ < 0) throw std::runtime_error("cannot open " + directory.string());
  if (in_use != nullptr) std::abort();  // two at once would restore the wrong table
  in_use = this;
  records::system_calls.open = open_in;
  records::system_calls.openat = openat_in;
  records::system_calls.openat_beneath = openat_beneath_in;
  records::system_calls.linkat = linkat_in;
  records::system_calls.renameat = renameat_in;
  records::system_calls.unlinkat = unlinkat_in;
  records::system_calls.mkdirat = mkdirat_in;
}

WorkingDirectory::~WorkingDirectory() {
  // The calls go back with `calls_`, once this body has run: nothing calls
  // through this stand-in by then.
  in_use = nullptr;
  ::close(directory_);
}

}  // namespace testing_support
