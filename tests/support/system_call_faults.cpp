#include "system_call_faults.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "records/system_calls.hpp"

namespace testing_support {
namespace {

SystemCallFaults* active = nullptr;

const records::SystemCalls& real() {
  return records::real_system_calls();
}

// The real call's result, with the errno it left.
template <typename Result>
Result failing(int error, Result result) {
  errno = error;
  return result;
}

int faulty_open(const char* path, int flags, mode_t mode) {
  if (const Fault* fault = active->hits(Call::open, path, nullptr, -1)) return failing(fault->error, -1);
  const int fd = real().open(path, flags, mode);
  const int error = errno;
  if (fd >= 0) active->opened(fd, path);
  errno = error;
  return fd;
}

ssize_t faulty_read(int fd, void* buffer, std::size_t count) {
  const Fault* fault = active->hits(Call::read, nullptr, nullptr, fd);
  if (fault != nullptr && fault->error != 0) return failing<ssize_t>(fault->error, -1);
  if (fault != nullptr) count = std::min(count, fault->at_most);
  return real().read(fd, buffer, count);
}

ssize_t faulty_write(int fd, const void* buffer, std::size_t count) {
  const Fault* fault = active->hits(Call::write, nullptr, nullptr, fd);
  if (fault != nullptr && fault->error != 0) return failing<ssize_t>(fault->error, -1);
  if (fault != nullptr) count = std::min(count, fault->at_most);
  return real().write(fd, buffer, count);
}

int faulty_close(int fd) {
  const Fault* fault = active->hits(Call::close, nullptr, nullptr, fd);
  active->closed(fd);
  const int result = real().close(fd);
  return fault != nullptr ? failing(fault->error, -1) : result;
}

int faulty_rename(const char* from, const char* to) {
  if (const Fault* fault = active->hits(Call::rename, from, to, -1)) return failing(fault->error, -1);
  return real().rename(from, to);
}

int faulty_unlink(const char* path) {
  if (const Fault* fault = active->hits(Call::unlink, path, nullptr, -1)) return failing(fault->error, -1);
  return real().unlink(path);
}

bool holds(const char* path, const std::string& part) {
  return path != nullptr && std::strstr(path, part.c_str()) != nullptr;
}

}  // namespace

SystemCallFaults::SystemCallFaults(std::vector<Fault> faults)
    : faults_(std::move(faults)), counted_(faults_.size()), hit_(faults_.size()) {
  if (active != nullptr) std::abort();  // two at once would restore the wrong table
  active = this;
  records::system_calls = {faulty_open, faulty_read, faulty_write, faulty_close, faulty_rename, faulty_unlink};
}

SystemCallFaults::~SystemCallFaults() {
  records::system_calls = real();
  active = nullptr;
}

const Fault* SystemCallFaults::hits(Call call, const char* path, const char* other_path, int fd) {
  const auto opened_on = paths_.find(fd);
  const char* fd_path = opened_on == paths_.end() ? nullptr : opened_on->second.c_str();
  const Fault* hitting = nullptr;
  for (std::size_t i = 0; i < faults_.size(); ++i) {
    const Fault& fault = faults_[i];
    if (fault.call != call) continue;
    if (!fault.path.empty() && !holds(path, fault.path) && !holds(other_path, fault.path) &&
        !holds(fd_path, fault.path)) {
      continue;
    }
    if (fault.fd >= 0 && fault.fd != fd) continue;
    const int n = ++counted_[i];
    if (n < fault.first || (fault.count != 0 && n >= fault.first + fault.count) || hitting != nullptr) continue;
    ++hit_[i];
    hitting = &fault;
  }
  return hitting;
}

}  // namespace testing_support
