#include "system_call_faults.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace testing_support {
namespace {

SystemCallFaults* active = nullptr;

const records::SystemCalls& beneath() {
  return active->beneath();
}

// The result of a failed call, with its errno.
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
  return opened_or_failed(path, beneath().open(path, flags, mode));
}

int faulty_openat(int directory, const char* path, int flags, mode_t mode) {
  if (const Fault* fault = active->hits(Call::open, path, nullptr, -1)) return failing(fault->error, -1);
  return opened_or_failed(path, beneath().openat(directory, path, flags, mode));
}

int faulty_openat_beneath(int directory, const char* path, int flags) {
  if (const Fault* fault = active->hits(Call::open, path, nullptr, -1)) return failing(fault->error, -1);
  return opened_or_failed(path, beneath().openat_beneath(directory, path, flags));
}

ssize_t faulty_read(int fd, void* buffer, std::size_t count) {
  const Fault* fault = active->hits(Call::read, nullptr, nullptr, fd);
  if (fault != nullptr && fault->error != 0) return failing<ssize_t>(fault->error, -1);
  if (fault != nullptr) count = std::min(count, fault->at_most);
  return beneath().read(fd, buffer, count);
}

ssize_t faulty_write(int fd, const void* buffer, std::size_t count) {
  const Fault* fault = active->hits(Call::write, nullptr, nullptr, fd);
  if (fault != nullptr && fault->error != 0) return failing<ssize_t>(fault->error, -1);
  if (fault != nullptr) count = std::min(count, fault->at_most);
  return beneath().write(fd, buffer, count);
}

int faulty_close(int fd) {
  const Fault* fault = active->hits(Call::close, nullptr, nullptr, fd);
  active->closed(fd);
  const int result = beneath().close(fd);
  return fault != nullptr ? failing(fault->error, -1) : result;
}

int faulty_fstat(int fd, struct stat* info) {
  if (const Fault* fault = active->hits(Call::fstat, nullptr, nullptr, fd)) return failing(fault->error, -1);
  return beneath().fstat(fd, info);
}

off_t faulty_lseek(int fd, off_t offset, int whence) {
  if (const Fault* fault = active->hits(Call::lseek, nullptr, nullptr, fd)) return failing<off_t>(fault->error, -1);
  return beneath().lseek(fd, offset, whence);
}

int faulty_ftruncate(int fd, off_t length) {
  if (const Fault* fault = active->hits(Call::ftruncate, nullptr, nullptr, fd)) return failing(fault->error, -1);
  return beneath().ftruncate(fd, length);
}

int faulty_linkat(int from_directory, const char* from, int to_directory, const char* to, int flags) {
  if (const Fault* fault = active->hits(Call::link, from, to, -1)) return failing(fault->error, -1);
  return beneath().linkat(from_directory, from, to_directory, to, flags);
}

int faulty_renameat(int from_directory, const char* from, int to_directory, const char* to) {
  if (const Fault* fault = active->hits(Call::rename, from, to, -1)) return failing(fault->error, -1);
  return beneath().renameat(from_directory, from, to_directory, to);
}

int faulty_unlinkat(int directory, const char* path, int flags) {
  if (const Fault* fault = active->hits(Call::unlink, path, nullptr, -1)) return failing(fault->error, -1);
  return beneath().unlinkat(directory, path, flags);
}

int faulty_eventfd(unsigned int initial, int flags) {
  if (const Fault* fault = active->hits(Call::eventfd, nullptr, nullptr, -1)) return failing(fault->error, -1);
  return beneath().eventfd(initial, flags);
}

bool holds(const char* path, const std::string& part) {
  return path != nullptr && std::strstr(path, part.c_str()) != nullptr;
}

}  // namespace

SystemCallFaults::SystemCallFaults(std::vector<Fault> faults)
    : faults_(std::move(faults)), counted_(faults_.size()), hit_(faults_.size()) {
  if (active != nullptr) std::abort();  // two at once would restore the wrong table
  active = this;
  records::system_calls.open = faulty_open;
  records::system_calls.openat = faulty_openat;
  records::system_calls.openat_beneath = faulty_openat_beneath;
  records::system_calls.read = faulty_read;
  records::system_calls.write = faulty_write;
  records::system_calls.close = faulty_close;
  records::system_calls.fstat = faulty_fstat;
  records::system_calls.lseek = faulty_lseek;
  records::system_calls.ftruncate = faulty_ftruncate;
  records::system_calls.linkat = faulty_linkat;
  records::system_calls.renameat = faulty_renameat;
  records::system_calls.unlinkat = faulty_unlinkat;
  records::system_calls.eventfd = faulty_eventfd;
}

SystemCallFaults::~SystemCallFaults() {
  // The calls go back with `calls_`, once this body has run.
  active = nullptr;
}

int SystemCallFaults::counted(std::size_t index) const {
  const std::lock_guard lock(mutex_);
  return counted_.at(index);
}

int SystemCallFaults::hit(std::size_t index) const {
  const std::lock_guard lock(mutex_);
  return hit_.at(index);
}

void SystemCallFaults::opened(int fd, const char* path) {
  const std::lock_guard lock(mutex_);
  paths_[fd] = path;
}

void SystemCallFaults::closed(int fd) {
  const std::lock_guard lock(mutex_);
  paths_.erase(fd);
}

const Fault* SystemCallFaults::hits(Call call, const char* path, const char* other_path, int fd) {
  const std::lock_guard lock(mutex_);
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
