// What the fuzz targets share: the entry point's declaration, invariant
// checks, a reader that takes choices from the input's bytes, and the scratch
// working directory of the targets that read and write files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "records/chars.hpp"
#include "records/failures.hpp"
#include "records/fields.hpp"
#include "records/free_form.hpp"
#include "records/input.hpp"
#include "records/output.hpp"
#include "records/pause.hpp"
#include "test_doubles.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace fuzzing {

// A broken invariant is reported like a crash, so that libFuzzer keeps the
// input and the replay test fails on it; the message says which one.
[[noreturn]] void invariant_broken(const char* condition, const char* file, int line);

#define FUZZ_CHECK(condition)                                                       \
  do {                                                                              \
    if (!(condition)) ::fuzzing::invariant_broken(#condition, __FILE__, __LINE__); \
  } while (false)

// Hands out the input's bytes as choices; once they run out every choice is
// zero, so a short input still makes a whole run.
class Bytes {
 public:
  Bytes(const std::uint8_t* data, std::size_t size)
      : text_(reinterpret_cast<const char*>(data), data == nullptr ? 0 : size) {}

  bool empty() const { return text_.empty(); }
  std::uint8_t byte();
  // A number in [low, high], from one byte.
  int in_range(int low, int high);
  std::uint32_t u32();
  // A length byte (at most `max_length`), then that many bytes.
  std::string_view text(std::size_t max_length);
  std::string_view rest();

 private:
  std::string_view text_;
};

// Splits `data` at each `separator`, into at most `max_parts` parts; the last
// part keeps any further separators.
std::vector<std::string_view> split(std::string_view data, std::string_view separator, std::size_t max_parts);

// True when `text` is nothing but whole records: every line feed follows a
// carriage return and the text ends with a line end (or is empty).
bool whole_records(std::string_view text);

// The records of console text, without their line ends.
std::vector<std::string_view> records_of(std::string_view text);

// Makes a fresh scratch directory once per process (under
// $EXTRACT_FUZZ_SCRATCH, else /dev/shm, else the temporary directory), with
// source/ in its working directory, and makes that the current directory.
// Removed when the process exits normally.
void enter_scratch_directory();

void remove_file(const char* path);
// Removes everything in `directory`, keeping the directory.
void empty_directory(const char* directory);

// The number the next opened descriptor would get: a run that leaves a
// descriptor open moves it.
int lowest_free_descriptor();

// Stands in for the command processor at the pause: what is typed there goes
// nowhere.
int ignore_command(const std::string& command);

}  // namespace fuzzing
