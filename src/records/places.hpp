// Where replaced files are created: a directory opened once, and the name of
// the file in it, reached without following any link or ".." that the name
// itself holds.
#pragma once

#include <string>
#include <string_view>

#include "descriptors.hpp"

namespace records {

// A directory, and the name of a file in it (no "/" in it). The directory
// is an open descriptor, or, when nothing needs to be resolved beneath it,
// the path before the name ("source/"; empty for the working directory):
// opening it for every export of a batch cost two system calls each.
struct Place {
  FileDescriptor directory;
  std::string prefix;  // without `directory`: the names are relative to it
  std::string name;

  // What *at() system calls take as the directory, and the path of a file
  // in it relative to that.
  int at() const;
  std::string path_of(std::string_view file_name) const { return prefix + std::string(file_name); }
};

// Where `path` is: its directory (the working directory when it names none)
// followed wherever it leads, as the system would. Failures name `path`.
Place place_of(int unit, std::string_view path);

// Where `name` is beneath `directory`: `directory` itself may be a link (a
// scratch disk is a common setup), but the directories that `name` holds
// must be real directories beneath it. A name that would lead elsewhere, a
// link or ".." in it, or that holds a NUL byte, is refused
// (IoError::refused_name). With `create_missing`, the directories of `name`
// that are not there are made, each beneath the one before it, never
// through a link. Failures name `shown`, the path `directory`/`name`.
Place place_beneath(int unit, std::string_view directory, std::string_view name, const std::string& shown,
                    bool create_missing = false);

}  // namespace records
