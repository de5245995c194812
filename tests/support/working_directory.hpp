// A working directory for the tool alone: its calls take relative paths from
// a chosen directory, while the process's own stays where it is.
#pragma once

#include <filesystem>

#include "calls_restored.hpp"
#include "records/system_calls.hpp"

namespace testing_support {

// While it lives, every call of the tool that takes a path relative to the
// working directory takes it from `directory` instead: the tool's calls all
// go through the seam. The process's working directory is never changed: it
// is every test's and every thread's, and a test that changed it and then
// stopped half-way left the tests after it elsewhere. One at a time; a
// SystemCallFaults made meanwhile stands in front of it.
class WorkingDirectory {
 public:
  explicit WorkingDirectory(const std::filesystem::path& directory);
  ~WorkingDirectory();
  WorkingDirectory(const WorkingDirectory&) = delete;
  WorkingDirectory& operator=(const WorkingDirectory&) = delete;

  const records::SystemCalls& beneath() const { return calls_.saved(); }
  int directory() const { return directory_; }

 private:
  CallsRestored calls_;
  int directory_;
};

}  // namespace testing_support
