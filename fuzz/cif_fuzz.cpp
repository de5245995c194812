// Fuzzes the CIF reader against gemmi's parser: on any text, both take it
// as CIF with the same blocks, tags, values and save frames, or both refuse
// it. Built only where gemmi is installed.
//
// Input: the text.

#include "cif_documents.hpp"
#include "fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), data == nullptr ? 0 : size);
  const auto ours = testing_support::read_with_extract(text);
  const auto theirs = testing_support::read_with_gemmi(text);
  FUZZ_CHECK(ours.has_value() == theirs.has_value());
  if (ours && theirs) FUZZ_CHECK(testing_support::first_difference(*ours, *theirs).empty());
  return 0;
}
