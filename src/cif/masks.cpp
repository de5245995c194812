// CIF text 64 bytes at a time, as bit masks: the byte-by-byte rule, and the
// same rule with SSE2 and AVX2 compares. Each instruction set says how it
// loads and classes a chunk; the kernel around that (chunk_kernel.inc) is
// one text, compiled once per set.
//
// With AVX2 a byte's class comes from two table lookups, one by its low four
// bits and one by its high four, whose AND says what it is (bits 0-1 a
// blank, bits 2-6 a byte that needs a closer look):
//
//   bit 0  tab, line feed, carriage return   low 9, A, D      high 0
//   bit 1  space                             low 0            high 2
//   bit 2  other control characters          low not 9, A, D  high 0
//   bit 3  control characters, past ASCII    any low          high 1, 8-F
//   bit 4  " # $ '                           low 2, 3, 4, 7   high 2
//   bit 5  ;                                 low B            high 3
//   bit 6  _ and DEL                         low F            high 5, 7
//
// (SSE2 has no byte shuffle; it compares with each byte of interest.)

#include "cif/masks.hpp"

#include <array>

#include "cif/text.hpp"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define EXTRACT_X86_CHUNKS 1
#endif

namespace cif {
namespace {

// The rule, byte by byte: what the vector forms compute.
namespace bytewise {

using Chunk = ChunkMasks;

Chunk load(const char* at) {
  Chunk chunk;
  for (unsigned i = 0; i < chunk_size; ++i) {
    const char c = at[i];
    const std::uint64_t bit = std::uint64_t{1} << i;
    if (is_blank(c)) chunk.blank |= bit;
    const bool mark = c == '\'' || c == '"' || c == '#' || c == ';' || c == '_' || c == '$';
    if (mark || (!is_blank(c) && !is_word_character(c))) chunk.attention |= bit;
  }
  return chunk;
}
bool needs_look(const Chunk& chunk) {
  return chunk.attention != 0;
}
std::uint64_t blank(const Chunk& chunk) {
  return chunk.blank;
}
std::uint64_t attention(const Chunk& chunk) {
  return chunk.attention;
}

#include "chunk_kernel.inc"

constexpr Kernel kernel{"bytewise", masks, plain_run};

}  // namespace bytewise

#if EXTRACT_X86_CHUNKS

namespace sse2 {

__m128i equal(__m128i bytes, char c) {
  return _mm_cmpeq_epi8(bytes, _mm_set1_epi8(c));
}
std::uint64_t bits(__m128i mask) {
  return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(mask)));
}
__m128i load_part(const char* at, int part) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 16 * part));
}
// Tab and carriage return are the bytes that read 0x0D with bit 2 set.
__m128i blank_of(__m128i bytes) {
  return _mm_or_si128(_mm_or_si128(equal(bytes, ' '), equal(bytes, '\n')),
                      equal(_mm_or_si128(bytes, _mm_set1_epi8(4)), '\r'));
}
// Signed: bytes from 0x80 on compare below '!' too. '"', '#' and '$' are
// the three bytes that, shifted to start at the smallest signed byte, are
// below 0x83.
[[gnu::always_inline]] inline __m128i attention_of(__m128i bytes, __m128i blanks) {
  const __m128i not_printable =
      _mm_or_si128(_mm_andnot_si128(blanks, _mm_cmplt_epi8(bytes, _mm_set1_epi8('!'))), equal(bytes, '\x7f'));
  const __m128i quote_hash_dollar =
      _mm_cmplt_epi8(_mm_add_epi8(bytes, _mm_set1_epi8(0x80 - '"')), _mm_set1_epi8(static_cast<char>(0x83)));
  const __m128i marks = _mm_or_si128(_mm_or_si128(quote_hash_dollar, equal(bytes, '\'')),
                                     _mm_or_si128(equal(bytes, ';'), equal(bytes, '_')));
  return _mm_or_si128(marks, not_printable);
}

// The blanks are needed anyway; the attention mask is made again, exactly,
// only for the few chunks that need a look.
struct Chunk {
  const char* at;
  std::uint64_t blank;
  bool look;
};

// Inline in the kernel: a chunk is loaded once per 64 bytes of every loop.
[[gnu::always_inline]] inline Chunk load(const char* at) {
  Chunk chunk{at, 0, false};
  __m128i any = _mm_setzero_si128();
  for (int part = 0; part < 4; ++part) {
    const __m128i bytes = load_part(at, part);
    const __m128i blanks = blank_of(bytes);
    any = _mm_or_si128(any, attention_of(bytes, blanks));
    chunk.blank |= bits(blanks) << static_cast<unsigned>(16 * part);
  }
  chunk.look = _mm_movemask_epi8(any) != 0;
  return chunk;
}
bool needs_look(const Chunk& chunk) {
  return chunk.look;
}
std::uint64_t blank(const Chunk& chunk) {
  return chunk.blank;
}
std::uint64_t attention(const Chunk& chunk) {
  std::uint64_t mask = 0;
  for (int part = 0; part < 4; ++part) {
    const __m128i bytes = load_part(chunk.at, part);
    mask |= bits(attention_of(bytes, blank_of(bytes))) << static_cast<unsigned>(16 * part);
  }
  return mask;
}

#include "chunk_kernel.inc"

constexpr Kernel kernel{"sse2", masks, plain_run};

}  // namespace sse2

// Everything up to the matching pop is compiled for AVX2; it runs only
// where the processor has it.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

namespace avx2 {

// The class of each of 32 bytes (see the table above).
__m256i classes_of(const char* bytes) {
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

constexpr char blank_classes = 0x03;
constexpr char look_classes = 0x7C;

struct Chunk {
  __m256i low;   // classes of bytes 0-31
  __m256i high;  // and of bytes 32-63
};

// The bytes whose class has one of the bits of `classes`, as a mask.
std::uint64_t of_class(const Chunk& chunk, char classes) {
  const __m256i bits = _mm256_set1_epi8(classes);
  const __m256i zero = _mm256_setzero_si256();
  const __m256i low_none = _mm256_cmpeq_epi8(_mm256_and_si256(chunk.low, bits), zero);
  const __m256i high_none = _mm256_cmpeq_epi8(_mm256_and_si256(chunk.high, bits), zero);
  const auto low_mask = static_cast<std::uint64_t>(static_cast<unsigned>(_mm256_movemask_epi8(low_none)));
  const auto high_mask = static_cast<std::uint64_t>(static_cast<unsigned>(_mm256_movemask_epi8(high_none)));
  return ~(low_mask | high_mask << 32U);
}

Chunk load(const char* at) {
  return {classes_of(at), classes_of(at + 32)};
}
bool needs_look(const Chunk& chunk) {
  return _mm256_testz_si256(_mm256_or_si256(chunk.low, chunk.high), _mm256_set1_epi8(look_classes)) == 0;
}
std::uint64_t blank(const Chunk& chunk) {
  return of_class(chunk, blank_classes);
}
std::uint64_t attention(const Chunk& chunk) {
  return of_class(chunk, look_classes);
}

#include "chunk_kernel.inc"

}  // namespace avx2

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

// Outside the AVX2 region: a constant of the baseline's.
constexpr Kernel avx2_kernel{"avx2", avx2::masks, avx2::plain_run};

bool has_avx2() {
  return __builtin_cpu_supports("avx2");
}

const std::array<Kernel, 3> all_kernels{bytewise::kernel, sse2::kernel, avx2_kernel};

std::span<const Kernel> kernels_here() {
  return std::span<const Kernel>(all_kernels).first(has_avx2() ? 3 : 2);
}

const Kernel& best_kernel() {
  return has_avx2() ? all_kernels[2] : all_kernels[1];
}

#else

const std::array<Kernel, 1> all_kernels{bytewise::kernel};

std::span<const Kernel> kernels_here() {
  return all_kernels;
}

const Kernel& best_kernel() {
  return all_kernels[0];
}

#endif

}  // namespace

const Kernel& kernel() {
  // Chosen once; a static's start is safe on any thread.
  static const Kernel& chosen = best_kernel();
  return chosen;
}

std::span<const Kernel> kernels() {
  return kernels_here();
}

}  // namespace cif
