// System calls that fail, come back short or are interrupted on purpose:
// while a `SystemCallFaults` lives, the tool's calls go through it, so a
// test can run the branches that keep the tool's promises on failure (a
// full disk, a rename refused, a signal in the middle of a read).
#pragma once

#include <cerrno>
#include <cstddef>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "calls_restored.hpp"
#include "records/system_calls.hpp"

namespace testing_support {

// `open` counts every way of opening (by path, relative to a directory,
// beneath one), `link`, `rename` and `unlink` their forms relative to
// directories; a path relative to a directory is matched as it is given.
// `eventfd` makes the wake-up call between threads.
enum class Call { open, read, write, close, link, rename, unlink, fstat, lseek, ftruncate, eventfd };

// Which calls one fault hits, and what it makes of them.
struct Fault {
  Call call;
  // The calls it counts: those on a path that holds `path` (for the calls
  // on a descriptor: one opened on such a path; for link and rename:
  // either name), or those on descriptor `fd`. Every call of the kind when
  // neither is given.
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

// Puts `faults` in the way of the calls in use (the system's, or those of
// another stand-in such as WorkingDirectory), and those back when it goes.
// One at a time: the table of calls is the process's. The tool's threads
// may make their calls through it at once.
class SystemCallFaults {
 public:
  explicit SystemCallFaults(std::vector<Fault> faults);
  ~SystemCallFaults();
  SystemCallFaults(const SystemCallFaults&) = delete;
  SystemCallFaults& operator=(const SystemCallFaults&) = delete;

  // How many calls fault `index` counted, and how many it hit.
  int counted(std::size_t index) const;
  int hit(std::size_t index) const;

  // The fault that hits this call, if any; every fault that counts it
  // counts it.
  const Fault* hits(Call call, const char* path, const char* other_path, int fd);
  void opened(int fd, const char* path);
  void closed(int fd);
  // The calls the faults stand in front of.
  const records::SystemCalls& beneath() const { return calls_.saved(); }

 private:
  CallsRestored calls_;
  mutable std::mutex mutex_;  // over what follows
  std::vector<Fault> faults_;
  std::vector<int> counted_;
  std::vector<int> hit_;
  std::map<int, std::string> paths_;  // the descriptors opened meanwhile
};

}  // namespace testing_support
