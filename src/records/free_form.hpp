// Free-form reading of the console answers: one value, leading blanks and
// empty lines skipped, the rest of the line ignored. A "/" or a null value
// (a leading comma) leaves the variable unchanged. The end of input is fatal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "records/chars.hpp"
#include "records/console.hpp"

namespace records {

void read_free(LineSource& in, std::int32_t& value);
void read_free(LineSource& in, std::span<char> value);
template <std::size_t N>
void read_free(LineSource& in, Chars<N>& value) {
  read_free(in, std::span<char>(value.span()));
}

// A whole line as one value: the first line that is not blank, without its
// leading and trailing blanks. Nothing in it ends the value: a name with
// blanks, commas and slashes is read whole.
std::string read_free_line(LineSource& in);

}  // namespace records
