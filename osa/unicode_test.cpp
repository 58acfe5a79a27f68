#include "osa/unicode.h"

#include <gtest/gtest.h>

namespace {

TEST(OsaUnicode, SizeAndLength) {
  const std::uint16_t one[] = {0x263A, 0};
  const std::uint16_t empty[] = {0};
  const std::uint16_t inner[] = {'a', 0, 'b', 0};
  struct Case {
    const char* label;
    const std::uint16_t* s;
    std::int32_t size, length;
  };
  const Case cases[] = {
      {"one unit", one, 4, 1},
      {"empty", empty, 2, 0},
      {"stops at the first zero", inner, 4, 1},
      {"null", nullptr, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(OSA_UnicodeSize(c.s), c.size);
    EXPECT_EQ(OSA_UnicodeLength(c.s), c.length);
  }
}

}  // namespace
