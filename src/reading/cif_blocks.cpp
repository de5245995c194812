// CIF text 64 bytes at a time, as bit masks.
//
// The count of an entry's loop values is most of the work of reading its
// structure: on the 16 MB bench entry written as mmCIF (18.8 MB), with SSE2
// it took a quarter of the run's time. AVX2 does the same compares on 32
// bytes at once.

#include "cif_blocks.hpp"

#include <cstddef>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define EXTRACT_X86_BLOCKS 1
#endif

namespace reading::cif {
namespace {

bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// The rule, byte by byte: what the vector forms compute.
[[maybe_unused]] CountMasks count_masks_bytewise(const char* block) {
  CountMasks masks;
  std::uint64_t attention = 0;
  for (unsigned i = 0; i < 64; ++i) {
    const char c = block[i];
    const std::uint64_t bit = std::uint64_t{1} << i;
    const bool printable = c > ' ' && c < '\x7f';
    if (is_space(c)) masks.space |= bit;
    if (c == '\'' || c == '"' || c == '#' || c == ';' || c == '_' || c == '$' || (!is_space(c) && !printable)) {
      attention |= bit;
    }
  }
  masks.attention = attention;
  return masks;
}

// A run of plain blocks by any kernel's masks.
template <CountMasks (*masks_of)(const char*)>
PlainRun plain_run(const char* at, const char* limit, bool inside) {
  std::uint64_t values = 0;
  while (limit - at >= 64) {
    const CountMasks masks = masks_of(at);
    if (masks.attention != 0) break;
    values += static_cast<std::uint64_t>(count_bits(starts_of(masks.space, inside)));
    inside = (masks.space >> 63) == 0;
    at += 64;
  }
  return {at, values, inside};
}

[[maybe_unused]] ValueMasks value_masks_bytewise(const char* block) {
  ValueMasks masks;
  for (unsigned i = 0; i < 64; ++i) {
    const auto c = static_cast<signed char>(block[i]);
    const std::uint64_t bit = std::uint64_t{1} << i;
    if (c < '!') masks.space |= bit;
    if (c == '\'' || c == '"' || c == '#' || c == ';') masks.lead |= bit;
  }
  return masks;
}

#if EXTRACT_X86_BLOCKS

// The bytes of a vector from `low` on, `count` of them (at most 3): shifted
// so that the range starts at the smallest signed byte.
template <int count>
__m128i in_range(__m128i bytes, char low) {
  const auto shift = static_cast<char>(0x80 - static_cast<unsigned char>(low));
  return _mm_cmplt_epi8(_mm_add_epi8(bytes, _mm_set1_epi8(shift)), _mm_set1_epi8(static_cast<char>(0x80 + count)));
}
__m128i equal(__m128i bytes, char c) {
  return _mm_cmpeq_epi8(bytes, _mm_set1_epi8(c));
}
std::uint64_t bits(__m128i mask) {
  return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(mask)));
}
// Tab and carriage return are the bytes that read 0x0D with bit 2 set.
__m128i space_of(__m128i bytes) {
  return _mm_or_si128(_mm_or_si128(equal(bytes, ' '), equal(bytes, '\n')),
                      equal(_mm_or_si128(bytes, _mm_set1_epi8(4)), '\r'));
}
// Signed: bytes from 0x80 on compare below '!' too.
__m128i attention_of(__m128i bytes, __m128i space) {
  const __m128i not_printable =
      _mm_or_si128(_mm_andnot_si128(space, _mm_cmplt_epi8(bytes, _mm_set1_epi8('!'))), equal(bytes, '\x7f'));
  const __m128i marks = _mm_or_si128(_mm_or_si128(in_range<3>(bytes, '"'), equal(bytes, '\'')),
                                     _mm_or_si128(equal(bytes, ';'), equal(bytes, '_')));
  return _mm_or_si128(marks, not_printable);
}

CountMasks count_masks_sse2(const char* block) {
  CountMasks masks;
  __m128i any = _mm_setzero_si128();
  for (int part = 0; part < 4; ++part) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * part));
    const __m128i space = space_of(bytes);
    any = _mm_or_si128(any, attention_of(bytes, space));
    masks.space |= bits(space) << static_cast<unsigned>(16 * part);
  }
  // Most blocks need no closer look: the exact mask only when one does.
  if (_mm_movemask_epi8(any) == 0) return masks;
  for (int part = 0; part < 4; ++part) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * part));
    masks.attention |= bits(attention_of(bytes, space_of(bytes))) << static_cast<unsigned>(16 * part);
  }
  return masks;
}

// In values already counted, every byte below '!' outside quotes is a
// blank: one comparison finds them. (Inside a quoted value or a text field
// other bytes may be, but the tokenizer reads those, and the masks are made
// again after them.)
ValueMasks value_masks_sse2(const char* block) {
  ValueMasks masks;
  for (int part = 0; part < 4; ++part) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * part));
    const __m128i space = _mm_cmplt_epi8(bytes, _mm_set1_epi8('!'));
    const __m128i lead = _mm_or_si128(_mm_or_si128(in_range<2>(bytes, '"'), equal(bytes, '\'')), equal(bytes, ';'));
    const auto shift = static_cast<unsigned>(16 * part);
    masks.space |= bits(space) << shift;
    masks.lead |= bits(lead) << shift;
  }
  return masks;
}

// The same on 32 bytes at once.
#define AVX2 __attribute__((target("avx2")))

AVX2 __m256i in_range_avx2(__m256i bytes, char low, int count) {
  const auto shift = static_cast<char>(0x80 - static_cast<unsigned char>(low));
  return _mm256_cmpgt_epi8(_mm256_set1_epi8(static_cast<char>(0x80 + count)),
                           _mm256_add_epi8(bytes, _mm256_set1_epi8(shift)));
}
AVX2 __m256i equal_avx2(__m256i bytes, char c) {
  return _mm256_cmpeq_epi8(bytes, _mm256_set1_epi8(c));
}
AVX2 std::uint64_t bits_avx2(__m256i mask) {
  return static_cast<std::uint64_t>(static_cast<unsigned>(_mm256_movemask_epi8(mask)));
}
AVX2 __m256i space_of_avx2(__m256i bytes) {
  return _mm256_or_si256(_mm256_or_si256(equal_avx2(bytes, ' '), equal_avx2(bytes, '\n')),
                         equal_avx2(_mm256_or_si256(bytes, _mm256_set1_epi8(4)), '\r'));
}
AVX2 __m256i attention_of_avx2(__m256i bytes, __m256i space) {
  const __m256i not_printable = _mm256_or_si256(
      _mm256_andnot_si256(space, _mm256_cmpgt_epi8(_mm256_set1_epi8('!'), bytes)), equal_avx2(bytes, '\x7f'));
  const __m256i marks = _mm256_or_si256(_mm256_or_si256(in_range_avx2(bytes, '"', 3), equal_avx2(bytes, '\'')),
                                        _mm256_or_si256(equal_avx2(bytes, ';'), equal_avx2(bytes, '_')));
  return _mm256_or_si256(marks, not_printable);
}

AVX2 CountMasks count_masks_avx2(const char* block) {
  CountMasks masks;
  const __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(block));
  const __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(block + 32));
  const __m256i low_space = space_of_avx2(low);
  const __m256i high_space = space_of_avx2(high);
  masks.space = bits_avx2(low_space) | bits_avx2(high_space) << 32U;
  const __m256i low_attention = attention_of_avx2(low, low_space);
  const __m256i high_attention = attention_of_avx2(high, high_space);
  if (_mm256_testz_si256(_mm256_or_si256(low_attention, high_attention), _mm256_set1_epi8(-1)) != 0) return masks;
  masks.attention = bits_avx2(low_attention) | bits_avx2(high_attention) << 32U;
  return masks;
}

AVX2 ValueMasks value_masks_avx2(const char* block) {
  ValueMasks masks;
  for (int part = 0; part < 2; ++part) {
    const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(block + 32 * part));
    const __m256i space = _mm256_cmpgt_epi8(_mm256_set1_epi8('!'), bytes);
    const __m256i lead = _mm256_or_si256(_mm256_or_si256(in_range_avx2(bytes, '"', 2), equal_avx2(bytes, '\'')),
                                         equal_avx2(bytes, ';'));
    const auto shift = static_cast<unsigned>(32 * part);
    masks.space |= bits_avx2(space) << shift;
    masks.lead |= bits_avx2(lead) << shift;
  }
  return masks;
}

// A run of plain blocks classifies every byte by two table lookups, one by
// its low four bits and one by its high four, whose AND says what it is
// (bits 0-1 a blank, bits 2-6 a byte that needs a closer look): fewer
// operations than the comparisons above, on the bytes that are nearly all
// of an entry.
//
//   bit 0  tab, line feed, carriage return   low 9, A, D      high 0
//   bit 1  space                             low 0            high 2
//   bit 2  other control characters          low not 9, A, D  high 0
//   bit 3  control characters, past ASCII    any low          high 1, 8-F
//   bit 4  " # $ '                           low 2, 3, 4, 7   high 2
//   bit 5  ;                                 low B            high 3
//   bit 6  _ and DEL                         low F            high 5, 7
AVX2 PlainRun plain_run_avx2(const char* at, const char* limit, bool inside) {
  const __m256i by_low = _mm256_setr_epi8(
      0x0E, 0x0C, 0x1C, 0x1C, 0x1C, 0x0C, 0x0C, 0x1C, 0x0C, 0x09, 0x09, 0x2C, 0x0C, 0x09, 0x0C, 0x4C,  //
      0x0E, 0x0C, 0x1C, 0x1C, 0x1C, 0x0C, 0x0C, 0x1C, 0x0C, 0x09, 0x09, 0x2C, 0x0C, 0x09, 0x0C, 0x4C);
  const __m256i by_high = _mm256_setr_epi8(
      0x05, 0x08, 0x12, 0x20, 0x00, 0x40, 0x00, 0x40, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08,  //
      0x05, 0x08, 0x12, 0x20, 0x00, 0x40, 0x00, 0x40, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08);
  const __m256i nibble = _mm256_set1_epi8(0x0F);
  const __m256i blank = _mm256_set1_epi8(0x03);
  const __m256i look = _mm256_set1_epi8(0x7C);
  const auto classes = [&](const char* bytes) __attribute__((target("avx2"))) {
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes));
    return _mm256_and_si256(_mm256_shuffle_epi8(by_low, _mm256_and_si256(b, nibble)),
                            _mm256_shuffle_epi8(by_high, _mm256_and_si256(_mm256_srli_epi16(b, 4), nibble)));
  };
  std::uint64_t values = 0;
  while (limit - at >= 64) {
    const __m256i low = classes(at);
    const __m256i high = classes(at + 32);
    if (_mm256_testz_si256(_mm256_or_si256(low, high), look) == 0) break;
    // The blanks are the bytes whose class has a blank's bit.
    const std::uint64_t words =
        bits_avx2(_mm256_cmpeq_epi8(_mm256_and_si256(low, blank), _mm256_setzero_si256())) |
        bits_avx2(_mm256_cmpeq_epi8(_mm256_and_si256(high, blank), _mm256_setzero_si256())) << 32U;
    values += static_cast<std::uint64_t>(count_bits(starts_of(~words, inside)));
    inside = (words >> 63) != 0;
    at += 64;
  }
  return {at, values, inside};
}

#undef AVX2

PlainRun plain_run_sse2(const char* at, const char* limit, bool inside) {
  return plain_run<count_masks_sse2>(at, limit, inside);
}

constexpr Kernel sse2{"sse2", count_masks_sse2, value_masks_sse2, plain_run_sse2};
constexpr Kernel avx2{"avx2", count_masks_avx2, value_masks_avx2, plain_run_avx2};

// Chosen once, the first time; a static's start is safe on any thread.
const Kernel& chosen() {
  static const Kernel kernel = __builtin_cpu_supports("avx2") ? avx2 : sse2;
  return kernel;
}

#endif

PlainRun plain_run_bytewise(const char* at, const char* limit, bool inside) {
  return plain_run<count_masks_bytewise>(at, limit, inside);
}
constexpr Kernel bytewise{"bytewise", count_masks_bytewise, value_masks_bytewise, plain_run_bytewise};

}  // namespace

#if EXTRACT_X86_BLOCKS

CountMasks count_masks(const char* block) {
  return chosen().count(block);
}
ValueMasks value_masks(const char* block) {
  return chosen().values(block);
}
PlainRun count_plain_blocks(const char* at, const char* limit, bool inside) {
  return chosen().plain(at, limit, inside);
}
std::size_t kernel_count() {
  return __builtin_cpu_supports("avx2") ? 3 : 2;
}
Kernel kernel(std::size_t index) {
  return index == 0 ? bytewise : index == 1 ? sse2 : avx2;
}

#else

CountMasks count_masks(const char* block) {
  return count_masks_bytewise(block);
}
ValueMasks value_masks(const char* block) {
  return value_masks_bytewise(block);
}
PlainRun count_plain_blocks(const char* at, const char* limit, bool inside) {
  return plain_run_bytewise(at, limit, inside);
}
std::size_t kernel_count() {
  return 1;
}
Kernel kernel(std::size_t) {
  return bytewise;
}

#endif

}  // namespace reading::cif
