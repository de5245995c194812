// CIF text 64 bytes at a time, as bit masks.
//
// Reading an entry's structure counts the values of all its loops, and the
// atom records read every value of _atom_site: on the 16 MB bench entry
// written as mmCIF (18.8 MB) the count took a quarter of the run with SSE2
// compares. With AVX2 a byte's class comes from two table lookups, one by
// its low four bits and one by its high four, whose AND says what it is
// (bits 0-1 a blank, bits 2-6 a byte that needs a closer look):
//
//   bit 0  tab, line feed, carriage return   low 9, A, D      high 0
//   bit 1  space                             low 0            high 2
//   bit 2  other control characters          low not 9, A, D  high 0
//   bit 3  control characters, past ASCII    any low          high 1, 8-F
//   bit 4  " # $ '                           low 2, 3, 4, 7   high 2
//   bit 5  ;                                 low B            high 3
//   bit 6  _ and DEL                         low F            high 5, 7

#include "cif_blocks.hpp"

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
CountMasks masks_bytewise(const char* block) {
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

constexpr Kernel bytewise{"bytewise", masks_bytewise, plain_run<masks_bytewise>};

#if EXTRACT_X86_BLOCKS

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
// Signed: bytes from 0x80 on compare below '!' too. '"', '#' and '$' are
// the three bytes that, shifted to start at the smallest signed byte, are
// below 0x83.
__m128i attention_of(__m128i bytes, __m128i space) {
  const __m128i not_printable =
      _mm_or_si128(_mm_andnot_si128(space, _mm_cmplt_epi8(bytes, _mm_set1_epi8('!'))), equal(bytes, '\x7f'));
  const __m128i quote_hash_dollar =
      _mm_cmplt_epi8(_mm_add_epi8(bytes, _mm_set1_epi8(0x80 - '"')), _mm_set1_epi8(static_cast<char>(0x83)));
  const __m128i marks = _mm_or_si128(_mm_or_si128(quote_hash_dollar, equal(bytes, '\'')),
                                     _mm_or_si128(equal(bytes, ';'), equal(bytes, '_')));
  return _mm_or_si128(marks, not_printable);
}

CountMasks masks_sse2(const char* block) {
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

constexpr Kernel sse2{"sse2", masks_sse2, plain_run<masks_sse2>};

#define AVX2 __attribute__((target("avx2")))

// The class of each of 32 bytes (see the table above).
AVX2 __m256i classes_avx2(const char* bytes) {
  const __m256i by_low = _mm256_setr_epi8(
      0x0E, 0x0C, 0x1C, 0x1C, 0x1C, 0x0C, 0x0C, 0x1C, 0x0C, 0x09, 0x09, 0x2C, 0x0C, 0x09, 0x0C, 0x4C,  //
      0x0E, 0x0C, 0x1C, 0x1C, 0x1C, 0x0C, 0x0C, 0x1C, 0x0C, 0x09, 0x09, 0x2C, 0x0C, 0x09, 0x0C, 0x4C);
  const __m256i by_high = _mm256_setr_epi8(
      0x05, 0x08, 0x12, 0x20, 0x00, 0x40, 0x00, 0x40, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08,  //
      0x05, 0x08, 0x12, 0x20, 0x00, 0x40, 0x00, 0x40, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08);
  const __m256i nibble = _mm256_set1_epi8(0x0F);
  const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes));
  return _mm256_and_si256(_mm256_shuffle_epi8(by_low, _mm256_and_si256(b, nibble)),
                          _mm256_shuffle_epi8(by_high, _mm256_and_si256(_mm256_srli_epi16(b, 4), nibble)));
}
// The bytes of the class's bits `kind`, as a mask.
AVX2 std::uint64_t of_kind_avx2(__m256i low, __m256i high, char kind) {
  const __m256i bits = _mm256_set1_epi8(kind);
  const __m256i zero = _mm256_setzero_si256();
  const auto not_of_kind = [&](__m256i classes) __attribute__((target("avx2"))) {
    return static_cast<std::uint64_t>(
        static_cast<unsigned>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_and_si256(classes, bits), zero))));
  };
  return ~(not_of_kind(low) | not_of_kind(high) << 32U);
}
constexpr char blank = 0x03;
constexpr char look = 0x7C;

AVX2 CountMasks masks_avx2(const char* block) {
  const __m256i low = classes_avx2(block);
  const __m256i high = classes_avx2(block + 32);
  CountMasks masks;
  masks.space = of_kind_avx2(low, high, blank);
  if (_mm256_testz_si256(_mm256_or_si256(low, high), _mm256_set1_epi8(look)) == 0) {
    masks.attention = of_kind_avx2(low, high, look);
  }
  return masks;
}

AVX2 PlainRun plain_run_avx2(const char* at, const char* limit, bool inside) {
  std::uint64_t values = 0;
  while (limit - at >= 64) {
    const __m256i low = classes_avx2(at);
    const __m256i high = classes_avx2(at + 32);
    if (_mm256_testz_si256(_mm256_or_si256(low, high), _mm256_set1_epi8(look)) == 0) break;
    const std::uint64_t space = of_kind_avx2(low, high, blank);
    values += static_cast<std::uint64_t>(count_bits(starts_of(space, inside)));
    inside = (space >> 63) == 0;
    at += 64;
  }
  return {at, values, inside};
}

#undef AVX2

constexpr Kernel avx2{"avx2", masks_avx2, plain_run_avx2};

bool has_avx2() {
  return __builtin_cpu_supports("avx2");
}

// Chosen once, the first time; a static's start is safe on any thread.
const Kernel& chosen() {
  static const Kernel kernel = has_avx2() ? avx2 : sse2;
  return kernel;
}

#else

const Kernel& chosen() {
  return bytewise;
}

#endif

}  // namespace

const Kernel& kernel_for_this_processor() {
  return chosen();
}

CountMasks count_masks(const char* block) {
  return chosen().masks(block);
}

PlainRun count_plain_blocks(const char* at, const char* limit, bool inside) {
  return chosen().plain(at, limit, inside);
}

#if EXTRACT_X86_BLOCKS

std::size_t kernel_count() {
  return has_avx2() ? 3 : 2;
}
Kernel kernel(std::size_t index) {
  return index == 0 ? bytewise : index == 1 ? sse2 : avx2;
}

#else

std::size_t kernel_count() {
  return 1;
}
Kernel kernel(std::size_t) {
  return bytewise;
}

#endif

}  // namespace reading::cif
