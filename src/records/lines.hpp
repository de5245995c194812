// Line ends of fixed-column text, found the way its records are mostly
// laid out.
#pragma once

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <cstddef>
#include <cstring>

namespace records {

// The records of a legacy entry are 80 columns wide, nearly all of them.
inline constexpr std::size_t full_record = 80;

// The line feed that ends a record of 80 columns at `start` (with or
// without a carriage return before it), or null: looked at where it would
// be, and the columns before it looked through for one at once, without
// the call and the setting up of a search for every record. `start` has at
// least 82 bytes after it.
inline const char* full_record_end(const char* start) {
  const char* end = start + full_record;
  if (*end != '\n') {
    if (*end != '\r' || end[1] != '\n') return nullptr;
    ++end;
  }
#if defined(__SSE2__)
  const __m128i line_feed = _mm_set1_epi8('\n');
  const auto at = [&](std::size_t offset) {
    return _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(start + offset)), line_feed);
  };
  const __m128i found = _mm_or_si128(_mm_or_si128(_mm_or_si128(at(0), at(16)), _mm_or_si128(at(32), at(48))), at(64));
  return _mm_movemask_epi8(found) == 0 ? end : nullptr;
#else
  return std::memchr(start, '\n', full_record) == nullptr ? end : nullptr;
#endif
}

}  // namespace records
