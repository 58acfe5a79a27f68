#include "client/digest_decode.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "method/status.h"
#include "platform/vesk/vesk.h"

namespace wistra {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Text(std::string_view s) { return Bytes(s.begin(), s.end()); }

std::string HexOf(const Bytes& b) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string s;
  for (std::uint8_t c : b) {
    s += kDigits[c >> 4];
    s += kDigits[c & 15];
  }
  return s;
}

// The encoded digest of a record: marker, type byte, then the encoded body.
Bytes Encoded(std::uint8_t type, const Bytes& body) {
  Bytes out(kEncodedDigestMarker, kEncodedDigestMarker + 4);
  out.push_back(type);
  out.insert(out.end(), body.begin(), body.end());
  return out;
}
Bytes EncodedHex(std::uint8_t type, const Bytes& record) { return Encoded(type, Text(HexOf(record))); }

Bytes Prefix(const Bytes& b, std::size_t n) { return Bytes(b.begin(), b.begin() + n); }

Bytes Sequence(std::size_t n, std::uint8_t start = 1) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(start + 7 * i);
  return b;
}

Bytes Le32(std::uint32_t v) {
  return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v >> 16),
          static_cast<std::uint8_t>(v >> 24)};
}
Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// The escaped form of bytes: a zero byte or 0xF3 behind the escape byte.
Bytes Escape(const Bytes& raw) {
  Bytes out;
  for (std::uint8_t b : raw) {
    if (b == 0 || b == 0xF3) {
      out.push_back(0xF3);
      out.push_back(static_cast<std::uint8_t>(b + 1));
    } else {
      out.push_back(b);
    }
  }
  return out;
}

// A Vesk Pelu text with the given length words and fields.
Bytes VeskPeluText(std::int32_t expectedLength, const Bytes& expected, std::int32_t aLength, const Bytes& a,
                   std::int32_t bLength, const Bytes& b) {
  const Bytes head = Cat({Bytes{1, 2, 3, 4}, Le32(expectedLength), Le32(aLength), Le32(bLength)});
  return Encoded(11, Escape(Cat({head, expected, a, b})));
}

TEST(PwdIsEncodedDigest, NeedsTheMarkerInOrderAndMoreThanItsFourBytes) {
  const Bytes marker(kEncodedDigestMarker, kEncodedDigestMarker + 4);
  const Bytes withType = Cat({marker, Bytes{7}});
  const Bytes swapped = {0xFF, 0xFE, 0xFF, 0xFE, 7};
  EXPECT_EQ(pwdIsEncodedDigest(4, marker.data()), 0);
  EXPECT_EQ(pwdIsEncodedDigest(5, withType.data()), 1);
  EXPECT_EQ(pwdIsEncodedDigest(5, swapped.data()), 0);
  EXPECT_EQ(pwdIsEncodedDigest(-1, withType.data()), 0);
}

TEST(HextoByte, MapsDigitsAndLettersAndReportsWhichCharacterFailed) {
  struct Case {
    const char* text;
    std::int32_t status;
    std::uint8_t out;  // 0x5A: untouched
    std::size_t consumed;
  } const cases[] = {
      {"aB", 0, 0xAB, 2},   {"Ab", 0, 0xAB, 2},   {"09", 0, 0x09, 2},   {"G1", 0, 0x01, 2},
      {"G0", 0, 0x00, 2},   {"zz", 0, 0x53, 2},   {"1-", kStatusBadSecondDigit, 0x10, 2},
      {"-1", kStatusBadFirstDigit, 0x5A, 1},      {"7", kStatusNotSupported, 0x70, 1},
      {"", kStatusNotSupported, 0x5A, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("text \"") + c.text + "\"");
    const Bytes text = Text(c.text);
    ByteReader cursor(text.data(), text.size());
    std::uint8_t out = 0x5A;
    EXPECT_EQ(hextoByte(&cursor, &out), c.status);
    EXPECT_EQ(out, c.out);
    EXPECT_EQ(text.size() - cursor.remaining(), c.consumed);
  }
}

TEST(F3toByte, UnescapesAndStopsAtTheEndOfTheText) {
  struct Case {
    Bytes text;
    std::int32_t status;
    std::uint8_t out;
  } const cases[] = {
      {{0xF3, 0x01}, 0, 0x00}, {{0xF3, 0xF4}, 0, 0xF3}, {{0xF3, 0x00}, 0, 0xFF},
      {{0x41, 0x42}, 0, 0x41}, {{0xF3}, kStatusNotSupported, 0x5A}, {{}, kStatusNotSupported, 0x5A},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("text " + HexOf(c.text));
    ByteReader cursor(c.text.data(), c.text.size());
    std::uint8_t out = 0x5A;
    EXPECT_EQ(F3toByte(&cursor, &out), c.status);
    EXPECT_EQ(out, c.out);
  }
}

struct DecodeCase {
  const char* name;
  Bytes text;
  std::int32_t status;
  std::int32_t type;
  std::uint32_t length;  // after decoding (checked on success)
  Bytes record;          // the start of the buffer after decoding (checked on success)
};

std::vector<DecodeCase> DecodeCases() {
  const Bytes cifs = Sequence(32);
  const Bytes afp = Sequence(36, 0x30);
  const Bytes hedraHead = Cat({Bytes{9, 8, 7, 6, 5, 4, 3, 2}, Le32(3)});
  const Bytes hedra = Cat({hedraHead, Bytes{0xAA, 0xBB, 0xCC}});
  const Bytes expected = Sequence(36, 0x11);
  const Bytes dataA = Sequence(5, 0x80);
  const Bytes dataB = {0xF3, 0x00, 0x01};
  Bytes vesk(kVeskPeluAnswerSize, 0);
  {
    const Bytes head = Cat({Bytes{1, 2, 3, 4}, Le32(36)});
    std::copy(head.begin(), head.end(), vesk.begin());
    std::copy(expected.begin(), expected.end(), vesk.begin() + 8);
    const Bytes al = Le32(5), bl = Le32(3);
    std::copy(al.begin(), al.end(), vesk.begin() + 44);
    std::copy(dataA.begin(), dataA.end(), vesk.begin() + 48);
    std::copy(bl.begin(), bl.end(), vesk.begin() + 84);
    std::copy(dataB.begin(), dataB.end(), vesk.begin() + 88);
  }
  Bytes cifsBadSecond = EncodedHex(7, cifs);
  cifsBadSecond[5 + 2 * 20 + 1] = '-';
  Bytes cifsBadFirst = EncodedHex(7, cifs);
  cifsBadFirst[5 + 2 * 31] = ' ';

  return {
      {"unknown type", Encoded(3, {}), kStatusNotSupported, 3, 0, {}},
      {"type byte read as signed", Encoded(0x87, Text("00")), kStatusNotSupported, -121, 0, {}},
      {"CIFS of 68 bytes", Prefix(EncodedHex(7, cifs), 68), kStatusNotSupported,
       7, 0, {}},
      {"CIFS of 69 bytes", EncodedHex(7, cifs), kStatusOk, 7, 69, cifs},
      {"CIFS with a bad second character", cifsBadSecond, kStatusBadSecondDigit, 7, 0, {}},
      {"CIFS with a bad first character", cifsBadFirst, kStatusBadFirstDigit, 7, 0, {}},
      {"AFP of 40 bytes", Prefix(EncodedHex(10, afp), 40), kStatusNotSupported,
       10, 0, {}},
      {"AFP accepted length but ends early", Prefix(EncodedHex(10, afp), 41),
       kStatusNotSupported, 10, 0, {}},
      {"AFP whole", EncodedHex(10, afp), kStatusOk, 10, 77, afp},
      {"Hedra Pivo with 3 encrypted bytes", EncodedHex(9, hedra), kStatusOk, 9, 35, hedra},
      {"Hedra Pivo of 16 bytes", Prefix(EncodedHex(9, hedra), 16),
       kStatusNotSupported, 9, 0, {}},
      {"Hedra Pivo with encrypted length 0", EncodedHex(9, Cat({Bytes(8, 1), Le32(0), Bytes(4, 2)})),
       kStatusNotSupported, 9, 0, {}},
      {"Hedra Pivo longer than the buffer holds", EncodedHex(9, Cat({Bytes(8, 1), Le32(501), Bytes(4, 2)})),
       kStatusNotSupported, 9, 0, {}},
      {"Hedra Pivo whose text ends inside the digest", EncodedHex(9, Cat({Bytes(8, 1), Le32(4), Bytes(3, 2)})),
       kStatusNotSupported, 9, 0, {}},
      {"Vesk Pelu with a 36-byte field", VeskPeluText(36, expected, 5, dataA, 3, dataB), kStatusOk, 11, 144, vesk},
      {"Vesk Pelu length field 37", VeskPeluText(37, Sequence(37), 0, {}, 0, {}), kStatusNotSupported, 11, 0, {}},
      {"Vesk Pelu negative length field", VeskPeluText(0, {}, -1, {}, 0, {}), kStatusNotSupported, 11, 0, {}},
      {"Vesk Pelu text ends inside a field", VeskPeluText(0, {}, 0, {}, 5, Bytes{1, 2}), kStatusNotSupported, 11, 0,
       {}},
      {"Vesk Pelu text ends inside the head", Encoded(11, Bytes{1, 2, 3, 4, 5, 6}), kStatusNotSupported, 11, 0, {}},
      {"Vesk Pelu text ends on an escape byte", Cat({VeskPeluText(0, {}, 0, {}, 1, {}), Bytes{0xF3}}),
       kStatusNotSupported, 11, 0, {}},
  };
}

TEST(DecodeDigest, TableOfTexts) {
  vesk::Attempt attempt;  // the type 9 digest comes from the framework's allocator
  vesk::Attempt::ThreadScope scope(attempt);
  for (const DecodeCase& c : DecodeCases()) {
    SCOPED_TRACE(c.name);
    // The buffer is exactly as large as the capacity given, so that any write
    // past it is caught by the sanitizer builds and by the guard bytes here.
    constexpr std::uint32_t kCapacity = 512;
    Bytes buffer(kCapacity + 16, 0xEE);
    ASSERT_LE(c.text.size(), kCapacity);
    std::copy(c.text.begin(), c.text.end(), buffer.begin());
    std::uint32_t length = static_cast<std::uint32_t>(c.text.size());
    std::int32_t type = 0x7777;
    EXPECT_EQ(decodeDigest(&length, kCapacity, buffer.data(), &type), c.status);
    EXPECT_EQ(type, c.type);
    if (c.status == kStatusOk) {
      EXPECT_EQ(length, c.length);
      EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + c.record.size()), c.record);
    }
    EXPECT_EQ(Bytes(buffer.begin() + kCapacity, buffer.end()), Bytes(16, 0xEE));
  }
  EXPECT_EQ(attempt.Allocs().outstanding, 0u);
}

TEST(DecodeDigest, VeskPeluSendsZerosWhereTheTextHadEnded) {
  const Bytes text = VeskPeluText(0, {}, 0, {}, 0, {});
  Bytes buffer(512, 0xEE);
  std::copy(text.begin(), text.end(), buffer.begin());
  std::uint32_t length = static_cast<std::uint32_t>(text.size());
  std::int32_t type = 0;
  ASSERT_EQ(decodeDigest(&length, 512, buffer.data(), &type), kStatusOk);
  EXPECT_EQ(length, kVeskPeluSentLength);
  EXPECT_EQ(Bytes(buffer.begin() + kVeskPeluAnswerSize, buffer.begin() + kVeskPeluSentLength), Bytes(20, 0));
  EXPECT_EQ(buffer[kVeskPeluSentLength], 0xEE);
}

TEST(DecodeDigest, RefusesBuffersItCouldOverrun) {
  // A Vesk Pelu record is sent as 144 bytes, which a smaller buffer cannot give.
  Bytes vesk = VeskPeluText(0, {}, 0, {}, 0, {});
  std::uint32_t length = static_cast<std::uint32_t>(vesk.size());
  std::int32_t type = 0;
  EXPECT_EQ(decodeDigest(&length, 143, vesk.data(), &type), kStatusBadArgument);

  // A text cannot be longer than the buffer that holds it.
  Bytes afp = EncodedHex(10, Sequence(36));
  length = static_cast<std::uint32_t>(afp.size());
  EXPECT_EQ(decodeDigest(&length, length - 1, afp.data(), &type), kStatusBadArgument);

}

TEST(DecodeDigest, HedraPivoWithoutMemoryFailsAndLeavesNothingTaken) {
  vesk::Attempt attempt;
  vesk::Attempt::ThreadScope scope(attempt);
  attempt.FailMalloc(1);
  Bytes text = EncodedHex(9, Cat({Bytes(8, 1), Le32(2), Bytes{5, 6}}));
  text.resize(512);
  std::uint32_t length = 33;
  std::int32_t type = 0;
  EXPECT_EQ(decodeDigest(&length, 512, text.data(), &type), kStatusNoMemory);
  EXPECT_EQ(attempt.Allocs().outstanding, 0u);
}

}  // namespace
}  // namespace wistra
