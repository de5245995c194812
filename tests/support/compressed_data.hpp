// Gzip data for the tests, made with libdeflate: independent of the tool's
// own unpacking, which the tests hold to it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace testing_support {

// `text` as one gzip member.
std::string gzip(std::string_view text);

// `members` gzip members of `member_size` zero bytes each: a bomb about a
// thousand times smaller than its text, made in a moment however large.
std::string gzip_zeros(std::size_t members, std::size_t member_size);

}  // namespace testing_support
