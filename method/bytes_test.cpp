#include "method/bytes.h"

#include <gtest/gtest.h>

#include <vector>

namespace wistra {
namespace {

TEST(ByteReader, ReadsLittleEndianAndStopsAtTheEnd) {
  const std::uint8_t in[] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07};
  ByteReader r(in);
  std::uint32_t w = 0;
  std::uint16_t h = 0;
  std::uint8_t b = 0;
  ASSERT_TRUE(r.ReadU32(&w));
  EXPECT_EQ(w, 0x04030201u);
  ASSERT_TRUE(r.ReadU16(&h));
  EXPECT_EQ(h, 0x0605);
  // A word does not fit in the one byte left: nothing is taken.
  EXPECT_FALSE(r.ReadU32(&w));
  EXPECT_EQ(r.remaining(), 1u);
  ASSERT_TRUE(r.ReadU8(&b));
  EXPECT_EQ(b, 0x07);
  EXPECT_TRUE(r.empty());
  EXPECT_FALSE(r.ReadU8(&b));
}

TEST(ByteReader, ChildAndBytesAreBoundedByWhatIsLeft) {
  const std::uint8_t in[] = {1, 2, 3, 4, 5};
  ByteReader r(in);
  ByteReader child;
  std::span<const std::uint8_t> view;
  EXPECT_FALSE(r.Child(6, &child));
  EXPECT_FALSE(r.ReadBytes(SIZE_MAX, &view));  // no wrap-around on a huge request
  EXPECT_EQ(r.remaining(), 5u);
  ASSERT_TRUE(r.Child(3, &child));
  EXPECT_EQ(child.remaining(), 3u);
  EXPECT_EQ(r.remaining(), 2u);
  std::uint32_t w;
  EXPECT_FALSE(child.ReadU32(&w));  // the child cannot see past its field
}

TEST(ByteWriter, RefusesWhatDoesNotFitAndStaysRefused) {
  std::vector<std::uint8_t> buf(6, 0xEE);
  ByteWriter w(std::span<std::uint8_t>(buf).first(5));
  EXPECT_TRUE(w.PutU32(0xA1B2C3D4));
  EXPECT_FALSE(w.PutU16(0x1122));
  EXPECT_FALSE(w.ok());
  EXPECT_FALSE(w.PutU8(9));  // sticky: nothing more is written
  EXPECT_EQ(w.size(), 4u);
  EXPECT_EQ(buf, (std::vector<std::uint8_t>{0xD4, 0xC3, 0xB2, 0xA1, 0xEE, 0xEE}));
}

TEST(LoadU32Padded, MissingBytesReadAsZero) {
  const std::uint8_t in[] = {0xFF, 0xFF, 0xFF, 0xFF, 0x12};
  struct Case {
    std::size_t n;
    std::uint32_t word;
  };
  for (const Case c : {Case{0, 0}, Case{1, 0xFF}, Case{3, 0xFFFFFF}, Case{4, 0xFFFFFFFF}, Case{5, 0xFFFFFFFF}}) {
    EXPECT_EQ(LoadU32Padded(std::span(in).first(c.n)), c.word) << c.n;
  }
}

}  // namespace
}  // namespace wistra
