// The process's table of system calls, put back as it was.
#pragma once

#include "records/system_calls.hpp"

namespace testing_support {

// Keeps the table of calls in use when made and puts it back when it goes,
// whatever ends the test: held by a test or a stand-in that replaces some
// of the calls.
class CallsRestored {
 public:
  CallsRestored() : saved_(records::system_calls) {}
  ~CallsRestored() { records::system_calls = saved_; }
  CallsRestored(const CallsRestored&) = delete;
  CallsRestored& operator=(const CallsRestored&) = delete;

  // The calls in use before: those a stand-in passes calls on to.
  const records::SystemCalls& saved() const { return saved_; }

 private:
  records::SystemCalls saved_;
};

}  // namespace testing_support
