#include "osa/mem.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(OsaMem, ChrAndCmpTakeBytesAsUnsigned) {
  const std::uint8_t data[] = {0x10, 0xFF, 0x20, 0xFF};
  EXPECT_EQ(OSA_memchr(data, 255, 4), data + 1);
  EXPECT_EQ(OSA_memchr(data, -1, 4), data + 1);
  EXPECT_EQ(OSA_memchr(data, 0x120, 4), data + 2);  // only the low 8 bits count
  EXPECT_EQ(OSA_memchr(data, 0x20, 2), nullptr);

  struct Case {
    std::string a, b;
    std::int32_t n, want;
  };
  const Case cases[] = {
      {"\x61\x62", "\x61\x63", 2, -1},
      {"\x80", "\x01", 1, 127},
      {"\x61\x62", "\x61\x63", 1, 0},
      {"\x61\x62", "\x61\x63", 0, 0},
      {"\x61\x62", "\x61\x63", -2, 0},
      {"same", "same", 4, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.a + "/" + c.b + " " + std::to_string(c.n));
    EXPECT_EQ(OSA_memcmp(c.a.data(), c.b.data(), c.n), c.want);
  }
}

TEST(OsaMem, MoveHandlesOverlapBothWays) {
  struct Case {
    int dst, src, n;
    const char* want;
  };
  const Case cases[] = {
      {2, 0, 5, "ababcdehij"},  // destination above the source
      {0, 2, 5, "cdefgfghij"},  // destination below the source
      {3, 3, 4, "abcdefghij"},
      {0, 2, 0, "abcdefghij"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.dst) + "<-" + std::to_string(c.src));
    char buf[] = "abcdefghij";
    EXPECT_EQ(OSA_memmove(buf + c.dst, buf + c.src, c.n), buf + c.dst);
    EXPECT_STREQ(buf, c.want);
  }
}

TEST(OsaMem, SetAndCopy) {
  char buf[6] = "xxxxx";
  EXPECT_EQ(OSA_memset(buf, 0x141, 3), buf);
  EXPECT_STREQ(buf, "AAAxx");
  EXPECT_EQ(OSA_memcpy(buf + 3, "yz", 2), buf + 3);
  EXPECT_STREQ(buf, "AAAyz");
  OSA_memset(buf, 'q', -1);  // a negative count touches nothing
  OSA_memcpy(buf, "zzzz", -1);
  EXPECT_STREQ(buf, "AAAyz");
}

}  // namespace
