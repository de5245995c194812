// The quick check of an mmCIF coordinate agrees with the conversion's own.

#include "mmcif_fields.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "records/fields.hpp"

namespace {

TEST(MmcifFields, ACoordinateIsSeenToConvertExactlyWhenTheConversionSaysSo) {
  std::mt19937 random(7);
  const std::string characters = "0123456789.-+ eEd";
  std::vector<std::string> values = {"",          "-",         ".",    "-.000",  "0.000",   "-0.000", "1234.567",
                                     "12345.678", "-9999.999", "1.23", "1.2345", "--1.000", "1.-00",  "1..000"};
  for (int i = 0; i < 200000; ++i) {
    // Half of them as the archive writes coordinates but for a byte or so.
    const bool archive_like = i % 2 == 0;
    std::string value;
    const auto length = random() % 10;
    for (std::size_t k = 0; k < length; ++k) {
      const bool digit_or_point = archive_like && k + 4 >= length && random() % 8 != 0;
      value += characters[random() % (digit_or_point ? 11 : characters.size())];
    }
    values.push_back(value);
  }
  for (const std::string& value : values) {
    ASSERT_EQ(reading::coordinate_reads(value), records::reads_as_F(value)) << "[" << value << "]";
  }
}

}  // namespace
