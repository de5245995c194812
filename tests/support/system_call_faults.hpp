// System calls that fail, come back short or are interrupted on purpose:
// while a `SystemCallFaults` lives, the tool's calls go through it, so a
// test can run the branches that keep the tool's promises on failure (a
// full disk, a rename refused, a signal in the middle of a read).
#pragma once

#include <cerrno>
#include <cstddef>
#include <map>
#include <string>
#include <vector>

namespace testing_support {

// `open` counts every way of opening (by path, relative to a directory,
// beneath one), `link`, `rename` and `unlink` their forms relative to
// directories; a path relative to a directory is matched as it is given.
enum class Call { open, read, write, close, link, rename, unlink };

// Which calls one fault hits, and what it makes of them.
struct Fault {
  Call call;
  // The calls it counts: those on a path that holds `path` (for read, write
  // and close: on a descriptor opened on such a path; for link and rename:
  // either name), or those on descriptor `fd`. Every call of the kind when neither
  // is given.
  std::string path = {};
  int fd = -1;
  // The calls hit: the `first` counted one (from 1) and the `count` - 1
  // after it; all from the `first` on when `count` is 0.
  int first = 1;
  int count = 1;
  // A hit call fails with `error` and does nothing (EINTR: a signal came
  // before it began), except close, which releases the descriptor all the
  // same, as Linux does. With `error` 0, a read or write moves at most
  // `at_most` bytes instead.
  int error = EIO;
  std::size_t at_most = 0;
};

// Puts `faults` in the calls' way, and the real calls back when it goes.
// One at a time: the table of calls is the process's.
class SystemCallFaults {
 public:
  explicit SystemCallFaults(std::vector<Fault> faults);
  ~SystemCallFaults();
  SystemCallFaults(const SystemCallFaults&) = delete;
  SystemCallFaults& operator=(const SystemCallFaults&) = delete;

  // How many calls fault `index` counted, and how many it hit.
  int counted(std::size_t index) const { return counted_.at(index); }
  int hit(std::size_t index) const { return hit_.at(index); }

  // The fault that hits this call, if any; every fault that counts it
  // counts it.
  const Fault* hits(Call call, const char* path, const char* other_path, int fd);
  void opened(int fd, const char* path) { paths_[fd] = path; }
  void closed(int fd) { paths_.erase(fd); }

 private:
  std::vector<Fault> faults_;
  std::vector<int> counted_;
  std::vector<int> hit_;
  std::map<int, std::string> paths_;  // the descriptors opened meanwhile
};

}  // namespace testing_support
