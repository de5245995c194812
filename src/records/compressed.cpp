// Unpacking gzip data with ISA-L's streaming inflate: only a streaming
// inflate can stop between steps, for a control event or at the size limit,
// and ISA-L's also unpacked faster than libdeflate's whole-file one
// (bench/README.md).

#include "compressed.hpp"

#include <isa-l/igzip_lib.h>

#include <algorithm>
#include <cstdint>
#include <limits>

#include "records/control_events.hpp"

namespace records {
namespace {

// Deflate cannot expand data more than about 1032 times; a size trailer
// that claims more is corrupt and must not reserve memory for its claim.
constexpr std::size_t largest_expansion = 1032;
// What one step may take in and give out: a few milliseconds of work
// whatever the data, a bomb of zeros (output bound) or a stream of tiny
// blocks (input bound).
constexpr std::size_t step_in = std::size_t{256} << 10;
constexpr std::size_t step_out = std::size_t{4} << 20;
constexpr std::size_t smallest_guess = std::size_t{64} << 10;

// A member's trailer ends with its unpacked size modulo 2^32; the last
// member's is the best first guess for the whole, but it can lie.
std::size_t first_guess(std::string_view compressed) {
  std::size_t stated = 0;
  if (compressed.size() >= 4) {
    for (std::size_t i = 1; i <= 4; ++i) {
      stated = (stated << 8) | static_cast<unsigned char>(compressed[compressed.size() - i]);
    }
  }
  return std::max(std::min(stated, compressed.size() * largest_expansion) + 1, smallest_guess);
}

// A member begins with the magic bytes, the method deflate and no flag bit
// that the format reserves (ISA-L would take one).
bool member_begins(std::string_view rest) {
  constexpr unsigned char reserved_flags = 0xe0;
  return rest.size() >= 4 && is_compressed(rest) && rest[2] == 8 &&
         (static_cast<unsigned char>(rest[3]) & reserved_flags) == 0;
}

}  // namespace

bool is_compressed(std::string_view content) {
  return content.size() >= 2 && static_cast<unsigned char>(content[0]) == 0x1f &&
         static_cast<unsigned char>(content[1]) == 0x8b;
}

Unpacker::Unpacker() = default;
Unpacker::~Unpacker() = default;

Unpacked Unpacker::unpack(std::string_view compressed, PageBuffer& into, std::size_t limit) {
  using Outcome = Unpacked::Outcome;
  if (!state_) state_ = std::make_unique<inflate_state>();
  inflate_state& state = *state_;
  // One byte past the limit tells that the text is longer. The largest
  // limit has no byte past it: `limit + 1` wrapped to 0 and refused every
  // text. No memory reaches it, and memory runs out first.
  const std::size_t room = limit < std::numeric_limits<std::size_t>::max() ? limit + 1 : limit;
  into.reserve(std::min(first_guess(compressed), room));
  std::size_t made = 0;
  bool in_member = false;
  const char* const end = compressed.data() + compressed.size();
  const char* next = compressed.data();
  for (;;) {
    const std::string_view rest(next, static_cast<std::size_t>(end - next));
    if (!in_member) {
      if (rest.empty()) return {Outcome::whole, {into.data(), made}};
      if (!member_begins(rest)) return {Outcome::corrupt, {}};
      isal_inflate_init(&state);
      state.crc_flag = ISAL_GZIP;
      in_member = true;
    }
    throw_if_control_event();
    if (made == into.capacity()) {
      if (made >= room) return {Outcome::too_large, {}};
      into.reserve(std::min(2 * into.capacity(), room), made);
    }
    const std::size_t space = std::min(into.capacity() - made, step_out);
    state.next_in = reinterpret_cast<std::uint8_t*>(const_cast<char*>(next));
    state.avail_in = static_cast<std::uint32_t>(std::min(rest.size(), step_in));
    state.next_out = reinterpret_cast<std::uint8_t*>(into.data() + made);
    state.avail_out = static_cast<std::uint32_t>(space);
    const int result = isal_inflate(&state);
    // Where the input goes on: at the end of a member, ISA-L hands back what
    // it had read ahead, even from an earlier step, so the place may lie
    // before where this step began.
    const char* const now = reinterpret_cast<const char*>(state.next_in);
    const std::size_t given_out = space - state.avail_out;
    const bool moved = now != next;
    next = now;
    made += given_out;
    if (result != ISAL_DECOMP_OK) return {Outcome::corrupt, {}};
    if (made >= room) return {Outcome::too_large, {}};
    if (state.block_state == ISAL_BLOCK_FINISH) {
      // The member's checksum and size were right; another may follow.
      in_member = false;
    } else if (!moved && given_out == 0) {
      // Neither input left to take nor output to give: cut short.
      return {Outcome::corrupt, {}};
    }
  }
}

}  // namespace records
