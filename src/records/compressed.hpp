// Entries as the archive distributes them: gzip data, unpacked in steps.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

#include "memory.hpp"

struct inflate_state;

namespace records {

// True when `content` begins like gzip data.
bool is_compressed(std::string_view content);

// What unpacking came to: the whole text, or why not.
struct Unpacked {
  enum class Outcome { whole, corrupt, too_large };
  Outcome outcome = Outcome::corrupt;
  std::string_view text;  // with `whole`
};

// Unpacks gzip data, all its members in turn, in steps of bounded work: a
// control event, data that is corrupt, truncated or followed by anything
// else, and text longer than the limit are each seen within one step, and
// no memory beyond the limit (and a page) is ever taken for the text. One
// per input connection: its state is its own.
class Unpacker {
 public:
  Unpacker();
  ~Unpacker();
  Unpacker(const Unpacker&) = delete;
  Unpacker& operator=(const Unpacker&) = delete;

  // The text of `compressed` in `into`, unless it is longer than `limit`.
  Unpacked unpack(std::string_view compressed, PageBuffer& into, std::size_t limit);

 private:
  std::unique_ptr<inflate_state> state_;
};

}  // namespace records
