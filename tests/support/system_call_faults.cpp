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

// Every way of opening is an open: by path, relative to a directory, or
// beneath one; a path relative to a directory is matched as it is given.
int opened_or_failed(const char* path, int fd) {
  const int error = errno;
  if (fd >= 0) active->opened(fd, path);
  errno = error;
  return fd;
}

int faulty_open(const char* path, int flags, mode_t mode) {
  if (const Fault* fault = active->hits(Call::open, path, nullptr, -1)) return failing(fault->error, -1);
  return opened_or_failed(path, real().open(path, flags, mode));
}

int faulty_openat(int directory, const char* path, int flags, mode_t mode) {
  if (const Fault* fault = active->hits(Call::open, path, nullptr, -1)) return failing(fault->error, -1);
  return opened_or_failed(path, real().openat(directory, path, flags, mode));
}

int faulty_openat_beneath(int directory, const char* path, int flags) {
  if (const Fault* fault = active->hits(Call::open, path, nullptr, -1)) return failing(fault->error, -1);
  return opened_or_failed(path, real().openat_beneath(directory, path, flags));
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

int faulty_linkat(int from_directory, const char* from, int to_directory, const char* to, int flags) {
  if (const Fault* fault = active->hits(Call::link, from, to, -1)) return failing(fault->error, -1);
  return real().linkat(from_directory, from, to_directory, to, flags);
}

int faulty_renameat(int from_directory, const char* from, int to_directory, const char* to) {
  if (const Fault* fault = active->hits(Call::rename, from, to, -1)) return failing(fault->error, -1);
  return real().renameat(from_directory, from, to_directory, to);
}

int faulty_unlinkat(int directory, const char* path, int flags) {
  if (const Fault* fault = active->hits(Call::unlink, path, nullptr, -1)) return failing(fault->error, -1);
  return real().unlinkat(directory, path, flags);
}

bool holds(const char* path, const std::string& part) {
  return path != nullptr && std::strstr(path, part.c_str()) != nullptr;
}

}  // namespace

SystemCallFaults::SystemCallFaults(std::vector<Fault> faults)
    : faults_(std::move(faults)), counted_(faults_.size()), hit_(faults_.size()) {
  if (active != nullptr) std::abort();  // two at once would restore the wrong table
  active = this;
  // The calls no fault names go straight through.
  records::system_calls = real();
  records::system_calls.open = faulty_open;
  records::system_calls.openat = faulty_openat;
  records::system_calls.openat_beneath = faulty_openat_beneath;
  records::system_calls.read = faulty_read;
  records::system_calls.write = faulty_write;
  records::system_calls.close = faulty_close;
  records::system_calls.linkat = faulty_linkat;
  records::system_calls.renameat = faulty_renameat;
  records::system_calls.unlinkat = faulty_unlinkat;
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
