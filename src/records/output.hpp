// Output connections: the console, standard error, and files opened with
// status "REPLACE"; one record at a time, written out whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "records/console.hpp"
#include "records/fields.hpp"

namespace records {

class Record;
struct Place;

// How a replaced file is written until it takes its name: under a hidden
// temporary name beside it, or, where the file system can, with no name at
// all (a file that is not in the directory until it takes a name). Making
// and writing an unnamed file never change the directory, so threads that
// write files at once do not take turns on the directory's lock; only the
// one that names them does. A file system that cannot make unnamed files
// (a network file system) gets named temporaries instead.
enum class Temporary { named, unnamed };

// Where an output in memory keeps its records when what it may hold is
// limited: asked as the records grow, it either lets the output keep them
// or takes them over whole (to show them at once), and the output forgets
// them.
class RecordsHolder {
 public:
  virtual ~RecordsHolder() = default;
  // Whether the output may hold `bytes` of records in all.
  virtual bool may_hold(std::size_t bytes) = 0;
  // Takes `records`, whole records all of them, which the output then drops
  // with their memory, telling so by asking to hold nothing.
  virtual void hand_over(std::string_view records) = 0;
};

// A formatted sequential output connection. Records are collected in a
// buffer and written out whole, so a flush never tears a record. A replaced
// file is written to a temporary beside it and takes the file's name only
// when closed, so the name always holds the previous complete file or the
// new complete one.
class Output {
 public:
  // The console: standard output, shown record by record on a terminal and
  // buffered otherwise.
  static Output console();
  // Standard error, for diagnostics.
  static Output errors();
  // A new file that replaces `path` when closed.
  static Output replace(int unit, std::string_view path);
  // A new file that replaces `name` beneath `directory` when closed
  // ("source", "1abc.bck"): `directory` may be a link, but a `name` that
  // would lead out of it (a link or ".." within it) or holds a NUL byte is
  // refused (IoError::name_refused()). The directories that `name` holds
  // must be there, or, with `Directories::made`, are made where missing.
  enum class Directories { there, made };
  static Output replace_beneath(int unit, std::string_view directory, std::string_view name,
                                Directories directories = Directories::there,
                                Temporary temporary = Temporary::named);
  // Records kept in memory (`text()`), to be shown later or looked at.
  static Output in_memory(int unit = console_out_unit, std::string_view file = console_out_file);
  // The same, with what it holds limited by `holder`, which is asked each
  // time the records have grown by `holding_step` bytes since it was last
  // asked; `text()` is then what was not handed over.
  static Output in_memory(RecordsHolder& holder);
  static constexpr std::size_t holding_step = std::size_t{64} << 10;

  Output(Output&& other) noexcept;
  Output& operator=(Output&&) = delete;
  Output(const Output&) = delete;
  // The console is flushed as far as it can be; a replaced file that was
  // not closed is dropped, leaving the previous file as it was.
  ~Output();

  Record record();
  // A free-form write: a blank, then each value as it stands.
  void free_form(std::string_view value = {});
  // Room for about `bytes` of records made at once, where they would
  // otherwise be made as the buffer grows, record after record (a copy
  // each time it doubles); never more than a flush sends.
  void reserve(std::size_t bytes);
  // Whole records made on another output (its `text()`), written as if each
  // had been written here.
  void write_records(std::string_view records);
  void flush();
  // A replaced file is written out whole and closed under its temporary
  // name, which it keeps until `close` (an unnamed one stays open, without
  // a name, until then); dropped, it still goes. Later writes are an error
  // of the caller.
  void complete();
  // Close with status "KEEP": a replaced file now takes its name. Later
  // writes are an error of the caller.
  void close();
  // The same, for a run that closes many files: an unnamed file is linked
  // to its name at once where `naming` expects the name free (one change of
  // the directory, where a temporary name and a rename make two), and goes
  // through a temporary name where it does not. A name found taken turns
  // `naming` to expect the others taken too: a run over its own earlier
  // files finds every one taken, and a link refused costs a system call.
  enum class Naming { name_free, name_taken };
  void close(Naming& naming);
  // Flush for exit paths that are already failing: never throws, and gives
  // up on a console that takes nothing for a moment.
  void flush_quietly() noexcept;
  // One last record on such a path, written the same way.
  void write_quietly(std::string_view record) noexcept;

  int unit() const { return unit_; }
  const std::string& file() const { return file_; }
  // What an output in memory holds.
  const std::string& text() const { return buffer_; }

 private:
  friend class Record;
  // Sends what is buffered once it is due: after every record where each is
  // flushed, else every 64 kB.
  void flush_if_due();
  Output(int unit, std::string_view file, int fd, bool flush_every_record, bool pieces);
  static Output replace_at(int unit, std::string_view path, Place place, Temporary temporary);
  void end_record();
  void write_out(bool on_the_way_out);
  void drop_torn_record(std::size_t sent);

  // A replaced file's temporary, removed when it goes unless it took the name.
  class Replacement;

  int unit_;
  std::string file_;
  int fd_;  // the console's, or the replacement's
  std::unique_ptr<Replacement> replacement_;
  bool pieces_ = false;  // a pipe or terminal: written in pieces it takes without waiting
  bool flush_every_record_;
  std::string buffer_;
  bool failed_ = false;  // after a write error nothing more is written
  RecordsHolder* holder_ = nullptr;
  std::size_t held_ = 0;  // the bytes of records `holder_` last let it hold
};

// One record being written: fields left to right, then `end()` for the line
// end CR LF, or `hold()` for a prompt that keeps the line open.
class Record {
 public:
  explicit Record(Output& out) : out_(out) {}
  Record& text(std::string_view literal) {
    out_.buffer_.append(literal);
    return *this;
  }
  Record& A(std::string_view value, int w) {
    put_A(out_.buffer_, value, w);
    return *this;
  }
  Record& A(char value, int w) { return A(std::string_view(&value, 1), w); }
  Record& I(std::int32_t value, int w) {
    put_I(out_.buffer_, value, w);
    return *this;
  }
  Record& F(float value, int w, int d) {
    put_F(out_.buffer_, value, w, d);
    return *this;
  }
  void end();
  void hold();

 private:
  Output& out_;
};

}  // namespace records
