// Output connections: records through a buffer, written out whole, and
// replaced files that take their name only when complete.

#include "records/output.hpp"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <utility>

#include "descriptors.hpp"
#include "places.hpp"
#include "records/control_events.hpp"
#include "records/failures.hpp"
#include "records/names.hpp"
#include "records/system_calls.hpp"
#include "waits.hpp"

namespace records {
namespace {

constexpr std::string_view line_end = "\r\n";
// Files and a redirected console are written in pieces of about this size.
constexpr std::size_t flush_threshold = 64 * 1024;
// On the way out, a console that takes nothing for this long is given up.
constexpr int patience_on_the_way_out_ms = 250;

// A pipe or terminal can make a write wait for its reader; a regular file
// or a device that is always ready cannot. A descriptor that cannot be
// looked at is taken as one that may: a wait for a file costs a poll, but a
// write to a pipe made without waiting can stall the way out for good.
bool may_make_writes_wait(int fd) {
  struct stat info {};
  if (fd < 0) return false;
  if (system_calls.fstat(fd, &info) != 0) return true;
  return S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode) || system_calls.isatty(fd) == 1;
}

// Six letters or digits that no other run is likely to pick at once: a
// sequence seeded once per thread from the system's randomness (a call per
// file cost a system call per export in a batch of thousands).
std::string random_suffix() {
  thread_local std::uint64_t state = [] {
    std::uint64_t seed = 0;
    if (::getrandom(&seed, sizeof seed, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof seed)) {
      seed = static_cast<std::uint64_t>(::getpid()) << 32 ^ reinterpret_cast<std::uintptr_t>(&seed);
    }
    return seed | 1;
  }();
  constexpr std::string_view alphabet = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  // xorshift64*
  state ^= state >> 12;
  state ^= state << 25;
  state ^= state >> 27;
  std::uint64_t bits = state * 0x2545F4914F6CDD1DULL;
  std::string suffix;
  for (int i = 0; i < 6; ++i, bits >>= 8) suffix.push_back(alphabet[(bits & 0xff) % alphabet.size()]);
  return suffix;
}

// The temporary of a file: beside it, hidden by a leading dot, showing the
// name it stands for: ".1abc.bck.Xq3Tz8". Of a name near the system's
// limit it shows the beginning: the temporary must fit where its file does.
std::string temporary_name(std::string_view name) {
  constexpr std::size_t added = 8;  // the dots and the suffix
  std::string temporary(".");
  temporary.append(name.substr(0, longest_part - added)).append(".").append(random_suffix());
  return temporary;
}

// Refusals that say the file system (or the kernel) makes no unnamed files,
// rather than a failure that a named temporary would meet as well.
bool refuses_unnamed_files(int os_error) {
  return os_error == EOPNOTSUPP || os_error == EISDIR || os_error == EINVAL;
}

// An unnamed file is named through its descriptor's entry in /proc: without
// /proc mounted, only named temporaries are made. Looked at once a run.
bool can_name_unnamed_files() {
  static const bool can = [] {
    const FileDescriptor descriptors(system_calls.open("/proc/self/fd", O_PATH | O_DIRECTORY | O_CLOEXEC, 0));
    return static_cast<bool>(descriptors);
  }();
  return can;
}

}  // namespace

class Output::Replacement {
 public:
  // A temporary named `temporary` in `place`; an unnamed file when
  // `temporary` is empty.
  Replacement(Place place, FileDescriptor file, std::string temporary)
      : place_(std::move(place)),
        file_(std::move(file)),
        temporary_(std::move(temporary)),
        unnamed_(temporary_.empty()) {}
  Replacement(const Replacement&) = delete;
  Replacement& operator=(const Replacement&) = delete;
  ~Replacement() {
    // An unnamed file goes with its descriptor.
    file_.reset();
    if (temporary_.empty()) return;
    // A temporary that cannot be removed stays behind, hidden; the README
    // tells how to recognise one.
    system_calls.unlinkat(place_.at(), place_.path_of(temporary_).c_str(), 0);
  }

  int fd() const { return file_.get(); }

  // Closes the temporary, complete under its own name. An unnamed file
  // stays open: it is named through its descriptor.
  void finish(int unit, const std::string& path) {
    if (unnamed_) return;
    if (file_ && system_calls.close(file_.release()) != 0) throw IoError(Failure::write_error, unit, path);
  }

  // The finished temporary takes its file's name (`path` in diagnostics);
  // nothing remains of it whether this succeeds or not. An unnamed file
  // gets a temporary name first and is closed under it, so that a failed
  // close leaves the name as it was, as for a named one; where `naming`
  // expects the name free, it is linked to the name at once instead.
  void take_the_name(int unit, const std::string& path, Naming& naming) {
    if (unnamed_ && naming == Naming::name_free && took_the_free_name(unit, path, naming)) return;
    if (unnamed_) name_the_file(unit, path);
    finish(unit, path);
    const int directory = place_.at();
    // A directory at the name is an open failure, told here rather than
    // looked for before every export (a system call per export).
    if (system_calls.renameat(directory, place_.path_of(temporary_).c_str(), directory,
                              place_.path_of(place_.name).c_str()) != 0) {
      throw IoError(creation_failure_for(errno), unit, path);
    }
    temporary_.clear();
  }

 private:
  // Links the unnamed file into the directory as `name`; errno tells a
  // failure.
  bool link_as(const std::string& name) const {
    std::array<char, 32> descriptor{};
    constexpr std::string_view descriptors = "/proc/self/fd/";
    std::copy(descriptors.begin(), descriptors.end(), descriptor.begin());
    std::to_chars(descriptor.data() + descriptors.size(), descriptor.data() + descriptor.size() - 1, file_.get());
    return system_calls.linkat(AT_FDCWD, descriptor.data(), place_.at(), place_.path_of(name).c_str(),
                               AT_SYMLINK_FOLLOW) == 0;
  }

  // Links the unnamed file to its own name where nothing holds it: the
  // complete file appears there at once, as a rename would leave it, and
  // a close that fails then takes the name away again, leaving it as it
  // was. False where the link is refused: the way through a temporary name
  // then tells any failure, and a name found taken changes `naming`.
  bool took_the_free_name(int unit, const std::string& path, Naming& naming) {
    if (!link_as(place_.name)) {
      if (errno == EEXIST) naming = Naming::name_taken;
      return false;
    }
    unnamed_ = false;  // named now: closed as a named file is
    try {
      finish(unit, path);
    } catch (const IoError&) {
      system_calls.unlinkat(place_.at(), place_.path_of(place_.name).c_str(), 0);
      throw;
    }
    return true;
  }

  // Links the unnamed file into the directory under a temporary name.
  void name_the_file(int unit, const std::string& path) {
    for (int attempt = 0;; ++attempt) {
      std::string temporary = temporary_name(place_.name);
      if (link_as(temporary)) {
        temporary_ = std::move(temporary);
        unnamed_ = false;
        return;
      }
      if (errno != EEXIST || attempt == 100) throw IoError(creation_failure_for(errno), unit, path);
    }
  }

  Place place_;
  FileDescriptor file_;
  std::string temporary_;  // its name in the directory, until it takes the final one
  bool unnamed_;           // not in the directory at all yet
};

Output::Output(int unit, std::string_view file, int fd, bool flush_every_record, bool pieces)
    : unit_(unit), file_(file), fd_(fd), pieces_(pieces), flush_every_record_(flush_every_record) {}

Output::Output(Output&& other) noexcept
    : unit_(other.unit_),
      file_(std::move(other.file_)),
      fd_(std::exchange(other.fd_, -1)),
      replacement_(std::move(other.replacement_)),
      pieces_(other.pieces_),
      flush_every_record_(other.flush_every_record_),
      buffer_(std::move(other.buffer_)),
      failed_(other.failed_),
      holder_(std::exchange(other.holder_, nullptr)),
      held_(other.held_) {}

Output Output::console() {
  return Output(console_out_unit, console_out_file, STDOUT_FILENO, system_calls.isatty(STDOUT_FILENO) == 1,
                may_make_writes_wait(STDOUT_FILENO));
}

Output Output::errors() {
  Output errors(0, "stderr", STDERR_FILENO, true, may_make_writes_wait(STDERR_FILENO));
  // Room for a diagnostic made now: once memory has run out, writing it
  // must not need any.
  errors.buffer_.reserve(256);
  return errors;
}

Output Output::in_memory(int unit, std::string_view file) {
  return Output(unit, file, -1, false, false);
}

Output Output::in_memory(RecordsHolder& holder) {
  Output out(console_out_unit, console_out_file, -1, false, false);
  out.holder_ = &holder;
  return out;
}

Output Output::replace(int unit, std::string_view path) {
  return replace_at(unit, path, place_of(unit, path), Temporary::named);
}

Output Output::replace_beneath(int unit, std::string_view directory, std::string_view name, Directories directories,
                               Temporary temporary) {
  const std::string path = path_beneath(directory, name);
  return replace_at(unit, path, place_beneath(unit, directory, name, path, directories == Directories::made),
                    temporary);
}

Output Output::replace_at(int unit, std::string_view path, Place place, Temporary temporary) {
  const int directory = place.at();
  FileDescriptor fd;
  std::string temporary_name_given;
  if (temporary == Temporary::unnamed && can_name_unnamed_files()) {
    // No name, so nothing at any name can receive these records either.
    fd = FileDescriptor(
        system_calls.openat(directory, place.path_of(".").c_str(), O_WRONLY | O_TMPFILE | O_CLOEXEC, 0666));
    if (!fd && !refuses_unnamed_files(errno)) throw IoError(creation_failure_for(errno), unit, path);
  }
  // Created new and never through a link, so no other run's temporary and
  // no link planted at the name can receive these records.
  for (int attempt = 0; !fd; ++attempt) {
    temporary_name_given = temporary_name(place.name);
    fd = FileDescriptor(system_calls.openat(directory, place.path_of(temporary_name_given).c_str(),
                                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (!fd && (errno != EEXIST || attempt == 100)) throw IoError(creation_failure_for(errno), unit, path);
  }
  Output out(unit, path, fd.get(), false, false);  // a regular file: written without waits
  out.replacement_ = std::make_unique<Replacement>(std::move(place), std::move(fd), std::move(temporary_name_given));
  return out;
}

Output::~Output() {
  if (replacement_) return;  // dropped with its temporary
  flush_quietly();
}

Record Output::record() {
  return Record(*this);
}

void Output::free_form(std::string_view value) {
  buffer_.push_back(' ');
  buffer_.append(value);
  end_record();
}

void Output::end_record() {
  buffer_.append(line_end);
  // A long entry or a long list must not keep a control event waiting until
  // the next console read; a record's end is a safe place to stop, in memory
  // too: a helper thread reports an entry there.
  throw_if_control_event();
  flush_if_due();
}

void Output::write_records(std::string_view records) {
  // Either all of them or, after an event, none.
  throw_if_control_event();
  buffer_.append(records);
  flush_if_due();
}

void Output::reserve(std::size_t bytes) {
  // A flush comes once a record has taken the buffer past the threshold.
  constexpr std::size_t a_record_past_it = 1024;
  buffer_.reserve(std::min(bytes, flush_threshold + a_record_past_it));
}

void Output::flush_if_due() {
  if (fd_ >= 0 && (flush_every_record_ || buffer_.size() >= flush_threshold)) flush();
  if (holder_ != nullptr && buffer_.size() >= held_ + holding_step) {
    if (holder_->may_hold(buffer_.size())) {
      held_ = buffer_.size();
    } else {
      holder_->hand_over(buffer_);
      // Its memory goes too: what is held is what the holder counts.
      std::string().swap(buffer_);
      buffer_.reserve(holding_step);
      held_ = 0;
      holder_->may_hold(0);
    }
  }
}

void Output::flush() {
  if (fd_ < 0 || buffer_.empty()) return;
  // After a write error nothing more is written, nor kept.
  if (failed_) return buffer_.clear();
  write_out(false);
}

void Output::flush_quietly() noexcept {
  if (fd_ < 0 || failed_ || buffer_.empty()) return;
  try {
    write_out(true);
  } catch (...) {
    // Already on a failing exit path: the first failure is the one reported.
  }
}

void Output::write_quietly(std::string_view record) noexcept {
  try {
    buffer_.append(record).append(line_end);
  } catch (...) {
    return;  // no memory left even for the line
  }
  flush_quietly();
}

void Output::complete() {
  flush();
  fd_ = -1;
  // A file waiting to take its name holds no memory meanwhile.
  std::string().swap(buffer_);
  if (replacement_) replacement_->finish(unit_, file_);
}

void Output::close() {
  Naming naming = Naming::name_taken;
  close(naming);
}

void Output::close(Naming& naming) {
  complete();
  if (replacement_) {
    const std::unique_ptr<Replacement> replacement = std::move(replacement_);
    replacement->take_the_name(unit_, file_, naming);
  }
}

void Output::write_out(bool on_the_way_out) {
  std::size_t done = 0;
  // What was sent is gone from the buffer whatever ends the write, so the
  // last flush on the way out never sends it twice.
  const auto consume_sent = [&] {
    buffer_.erase(0, done);
    done = 0;
  };
  try {
    while (done < buffer_.size()) {
      std::size_t piece = buffer_.size() - done;
      if (pieces_) {
        // A piece no larger than PIPE_BUF, once the reader has room, is
        // taken without waiting; so every wait happens where a control
        // event can end it.
        if (!on_the_way_out) {
          wait_until_ready(fd_, POLLOUT);
        } else if (!wait_briefly(fd_, POLLOUT, patience_on_the_way_out_ms)) {
          return consume_sent();
        }
        piece = std::min<std::size_t>(piece, PIPE_BUF);
      }
      const ssize_t n = system_calls.write(fd_, buffer_.data() + done, piece);
      if (n > 0) {
        done += static_cast<std::size_t>(n);
        continue;
      }
      if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
        pieces_ = pieces_ || errno == EAGAIN;  // a console someone made non-blocking
        if (!on_the_way_out) throw_if_control_event();
        continue;
      }
      drop_torn_record(done);
      throw IoError(Failure::write_error, unit_, file_);
    }
  } catch (...) {
    consume_sent();
    throw;
  }
  consume_sent();
}

void Output::drop_torn_record(std::size_t done) {
  failed_ = true;
  // Cut a regular file back to where its torn last record began, so that a
  // full disk never leaves half a record for the programs that read it.
  // Back from where this write ended, never further: a log appended to
  // (`>> run.log`) keeps every byte it had, and so does a file that another
  // writer has written past us since.
  const std::string_view sent(buffer_.data(), done);
  const std::size_t last_end = sent.rfind('\n');
  const std::size_t torn = done - (last_end == std::string_view::npos ? 0 : last_end + 1);
  struct stat info {};
  if (torn != 0 && system_calls.fstat(fd_, &info) == 0 && S_ISREG(info.st_mode)) {
    const off_t ended = system_calls.lseek(fd_, 0, SEEK_CUR);
    if (ended == info.st_size && ended >= static_cast<off_t>(torn)) {
      if (system_calls.ftruncate(fd_, ended - static_cast<off_t>(torn)) != 0) {
        // Nothing more can be done for a file that refuses even to shrink.
      }
    }
  }
  buffer_.clear();
}

void Record::end() {
  out_.end_record();
}

void Record::hold() {
  if (out_.flush_every_record_) out_.flush();
}

}  // namespace records
