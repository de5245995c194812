// Unpacking gzip data with libdeflate.

#include "compressed.hpp"

#include <libdeflate.h>

#include <memory>
#include <new>

namespace records {
namespace {

// Deflate cannot expand data more than about 1032 times; a size trailer
// that claims more is corrupt and must not reserve memory for its claim.
constexpr std::size_t largest_expansion = 1032;

struct FreeDecompressor {
  void operator()(libdeflate_decompressor* decompressor) const { libdeflate_free_decompressor(decompressor); }
};

libdeflate_decompressor& decompressor() {
  static const std::unique_ptr<libdeflate_decompressor, FreeDecompressor> made(libdeflate_alloc_decompressor());
  if (!made) throw std::bad_alloc();
  return *made;
}

// A member's trailer ends with its unpacked size modulo 2^32; the last
// member's is the best first guess for the whole.
std::size_t first_guess(std::string_view compressed) {
  std::size_t stated = 0;
  if (compressed.size() >= 4) {
    for (std::size_t i = 1; i <= 4; ++i) {
      stated = (stated << 8) | static_cast<unsigned char>(compressed[compressed.size() - i]);
    }
  }
  return std::min(stated, compressed.size() * largest_expansion) + 1;
}

}  // namespace

bool is_compressed(std::string_view content) {
  return content.size() >= 2 && static_cast<unsigned char>(content[0]) == 0x1f &&
         static_cast<unsigned char>(content[1]) == 0x8b;
}

std::optional<std::string_view> unpack(std::string_view compressed, PageBuffer& into) {
  std::size_t unpacked = 0;
  into.reserve(first_guess(compressed));
  while (!compressed.empty()) {
    std::size_t taken = 0;
    std::size_t made = 0;
    const libdeflate_result result =
        libdeflate_gzip_decompress_ex(&decompressor(), compressed.data(), compressed.size(), into.data() + unpacked,
                                      into.capacity() - unpacked, &taken, &made);
    if (result == LIBDEFLATE_INSUFFICIENT_SPACE) {
      // The member is larger than guessed: unpack it again with more room.
      into.reserve(2 * into.capacity(), unpacked);
      continue;
    }
    if (result != LIBDEFLATE_SUCCESS) return std::nullopt;
    unpacked += made;
    compressed.remove_prefix(taken);
  }
  return std::string_view(into.data(), unpacked);
}

}  // namespace records
