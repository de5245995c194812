#include "compressed_data.hpp"

#include <libdeflate.h>

#include <memory>
#include <stdexcept>

namespace testing_support {

std::string gzip(std::string_view text) {
  struct Free {
    void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
  };
  // One per thread, made once: fuzzing compresses an entry per input.
  static thread_local const std::unique_ptr<libdeflate_compressor, Free> compressor(libdeflate_alloc_compressor(6));
  std::string packed(libdeflate_gzip_compress_bound(compressor.get(), text.size()), '\0');
  packed.resize(libdeflate_gzip_compress(compressor.get(), text.data(), text.size(), packed.data(), packed.size()));
  if (packed.empty()) throw std::runtime_error("libdeflate could not compress");
  return packed;
}

std::string gzip_zeros(std::size_t members, std::size_t member_size) {
  const std::string member = gzip(std::string(member_size, '\0'));
  std::string bomb;
  bomb.reserve(members * member.size());
  for (std::size_t i = 0; i < members; ++i) bomb += member;
  return bomb;
}

}  // namespace testing_support
