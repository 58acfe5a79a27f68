// The token broker: sizing, deterministic encryption and its compare, the
// key file, admission of calls, and many threads at once.
#include <unistd.h>

#include <cstdio>
#include <thread>

#include "platform/tarn/tarn_host.h"
#include "platform/tarn/test_support.h"

namespace tarn::test {
namespace {

using namespace wistra;

// An open broker handle for the length of one test.
class BrokerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TarnControl_Reset();
    ASSERT_NE(ATBX_OpenATB(handle_), 0);
  }
  void TearDown() override { ATBX_CloseATB(handle_); }

  // The encryption of first ‖ second, sized by a first call as the server sizes it.
  Bytes Encrypt(const Bytes& first, const Bytes& second) {
    std::uint32_t length = 0;
    EXPECT_EQ(ATX_EncryptWithSecretKey(handle_, static_cast<std::uint32_t>(first.size()), first.data(),
                                       static_cast<std::uint32_t>(second.size()), second.data(), 0, &length, nullptr),
              kStatusBufferTooSmall);
    Bytes out(length);
    EXPECT_EQ(ATX_EncryptWithSecretKey(handle_, static_cast<std::uint32_t>(first.size()), first.data(),
                                       static_cast<std::uint32_t>(second.size()), second.data(), length, &length,
                                       out.data()),
              kStatusOk);
    out.resize(length);
    return out;
  }

  int anchor_ = 0;
  const CCS_Word handle_ = reinterpret_cast<CCS_Word>(&anchor_);
  const Bytes hash_ = FromHex("00112233445566778899aabbccddeeff");
  const Bytes reference_ = FromHex("0a0b0c0d");
};

TEST_F(BrokerTest, TooSmallCapacityStoresTheNeededLengthThenSucceeds) {
  constexpr std::uint32_t kNeeded = 4 + 16 + 16 + 4;
  Bytes out(kNeeded, 0xA5);
  std::uint32_t length = 0;
  EXPECT_EQ(ATX_EncryptWithSecretKey(handle_, 16, hash_.data(), 4, reference_.data(), 0, &length, nullptr),
            kStatusBufferTooSmall);
  EXPECT_EQ(length, kNeeded);
  length = 0;
  EXPECT_EQ(ATX_EncryptWithSecretKey(handle_, 16, hash_.data(), 4, reference_.data(), kNeeded - 1, &length,
                                     out.data()),
            kStatusBufferTooSmall);
  EXPECT_EQ(length, kNeeded);
  EXPECT_EQ(out, Bytes(kNeeded, 0xA5));
  ASSERT_EQ(ATX_EncryptWithSecretKey(handle_, 16, hash_.data(), 4, reference_.data(), kNeeded, &length, out.data()),
            kStatusOk);
  EXPECT_EQ(length, kNeeded);
  EXPECT_EQ(ccs::EncryptedValueSize(out.data(), out.size()), kNeeded);
  EXPECT_EQ(ccs::EncryptedValueSize(out.data(), out.size() - 1), 0u);
}

TEST_F(BrokerTest, EqualInputsCompareEqualAndAnyChangeDoesNot) {
  const Bytes value = Encrypt(hash_, reference_);
  EXPECT_EQ(ATX_CompareSecretKeyEncrypted(handle_, value.data(), Encrypt(hash_, reference_).data()), kStatusOk);
  // The plaintext is not in the clear.
  EXPECT_EQ(std::search(value.begin(), value.end(), hash_.begin(), hash_.end()), value.end());

  Bytes otherHash = hash_;
  otherHash[15] ^= 0x01;
  Bytes joined = hash_;
  joined.insert(joined.end(), reference_.begin(), reference_.end());
  struct Case {
    const char* name;
    Bytes other;
  } cases[] = {
      {"one bit of the hash", Encrypt(otherHash, reference_)},
      {"other key reference", Encrypt(hash_, FromHex("0a0b0c0e"))},
      {"same bytes split otherwise", Encrypt(Bytes(joined.begin(), joined.begin() + 15),
                                             Bytes(joined.begin() + 15, joined.end()))},
      {"one bit of the tag", value},
      {"one bit of the ciphertext", value},
  };
  cases[3].other[4] ^= 0x80;
  cases[4].other.back() ^= 0x01;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ATX_CompareSecretKeyEncrypted(handle_, value.data(), c.other.data()), kStatusAtbMismatch);
  }
}

TEST_F(BrokerTest, CompareReadsOnlyWhatHeadersAnnounce) {
  const Bytes value = Encrypt(hash_, reference_);
  Bytes longer = Encrypt(hash_, Bytes(5, 0));
  EXPECT_EQ(ATX_CompareSecretKeyEncrypted(handle_, value.data(), longer.data()), kStatusAtbMismatch);
  // Headers no broker value carries are refused before any body is read.
  const Bytes tooShort = FromHex("0f000000");
  const Bytes tooLong = FromHex("01100000");
  EXPECT_EQ(ATX_CompareSecretKeyEncrypted(handle_, value.data(), tooShort.data()), kStatusAtbBadArgument);
  EXPECT_EQ(ATX_CompareSecretKeyEncrypted(handle_, tooLong.data(), value.data()), kStatusAtbBadArgument);
  EXPECT_EQ(ATX_CompareSecretKeyEncrypted(handle_, nullptr, value.data()), kStatusAtbBadArgument);
}

TEST_F(BrokerTest, RandomBytesAreDrawnAndBadBuffersRefused) {
  Bytes a(16, 0), b(16, 0);
  ASSERT_EQ(ATX_GetRandom(handle_, 16, a.data()), kStatusOk);
  ASSERT_EQ(ATX_GetRandom(handle_, 16, b.data()), kStatusOk);
  EXPECT_NE(a, b);
  EXPECT_EQ(ATX_GetRandom(handle_, 0, nullptr), kStatusOk);
  EXPECT_EQ(ATX_GetRandom(handle_, 16, nullptr), kStatusAtbBadArgument);
}

TEST_F(BrokerTest, ManyThreadsEncryptAndCompareAtOnce) {
  const Bytes expected = Encrypt(hash_, reference_);
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&] {
      for (int r = 0; r < 200; ++r) {
        Bytes out(expected.size());
        std::uint32_t length = 0;
        Bytes random(16);
        if (ATBX_StartCall(handle_) != kStatusOk ||
            ATX_EncryptWithSecretKey(handle_, 16, hash_.data(), 4, reference_.data(),
                                     static_cast<std::uint32_t>(out.size()), &length, out.data()) != kStatusOk ||
            ATX_CompareSecretKeyEncrypted(handle_, out.data(), expected.data()) != kStatusOk ||
            ATX_GetRandom(handle_, 16, random.data()) != kStatusOk) {
          ++failures;
        }
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(failures.load(), 0);
}

// Opening and closing with a key file, and calls on a handle that is not open.
class BrokerKeyTest : public ::testing::Test {
 protected:
  void TearDown() override {
    TarnHost_SetBrokerKeyFile(nullptr);
    for (const std::string& path : files_) std::remove(path.c_str());
  }
  std::string KeyFile(const Bytes& content) {
    std::string path = ::testing::TempDir() + "tarn_key_" + std::to_string(::getpid()) + "_" +
                       std::to_string(files_.size());
    std::FILE* f = std::fopen(path.c_str(), "wb");
    EXPECT_NE(f, nullptr);
    if (f != nullptr) {
      if (!content.empty()) std::fwrite(content.data(), 1, content.size(), f);
      std::fclose(f);
    }
    files_.push_back(path);
    return path;
  }
  // What the broker, opened afresh, makes of a fixed input; empty if it did not open.
  Bytes EncryptAfterOpening() {
    Bytes out;
    if (ATBX_OpenATB(handle_) == 0) return out;
    out.assign(40, 0);
    std::uint32_t length = 0;
    const Bytes in(20, 7);
    EXPECT_EQ(ATX_EncryptWithSecretKey(handle_, 16, in.data(), 4, in.data() + 16, 40, &length, out.data()),
              kStatusOk);
    EXPECT_EQ(ATBX_CloseATB(handle_), kStatusOk);
    return out;
  }

  int anchor_ = 0;
  const CCS_Word handle_ = reinterpret_cast<CCS_Word>(&anchor_);
  std::vector<std::string> files_;
};

TEST_F(BrokerKeyTest, KeyFileGivesTheSameKeyOnEveryOpeningAndRandomKeysDiffer) {
  Bytes key(32);
  for (std::size_t i = 0; i < key.size(); ++i) key[i] = static_cast<std::uint8_t>(i * 7);
  ASSERT_EQ(TarnHost_SetBrokerKeyFile(KeyFile(key).c_str()), kStatusOk);
  const Bytes first = EncryptAfterOpening();
  ASSERT_FALSE(first.empty());
  EXPECT_EQ(EncryptAfterOpening(), first);

  ASSERT_EQ(TarnHost_SetBrokerKeyFile(nullptr), kStatusOk);
  const Bytes random1 = EncryptAfterOpening();
  const Bytes random2 = EncryptAfterOpening();
  ASSERT_FALSE(random1.empty());
  EXPECT_NE(random1, first);
  EXPECT_NE(random1, random2);
}

TEST_F(BrokerKeyTest, KeyFileOfAnotherSizeOrMissingKeepsTheBrokerClosed) {
  struct Case {
    const char* name;
    std::string path;
  } cases[] = {
      {"31 bytes", KeyFile(Bytes(31, 1))},
      {"33 bytes", KeyFile(Bytes(33, 1))},
      {"empty", KeyFile(Bytes())},
      {"missing", ::testing::TempDir() + "tarn_no_such_key_file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(TarnHost_SetBrokerKeyFile(c.path.c_str()), kStatusOk);
    EXPECT_EQ(ATBX_OpenATB(handle_), 0);
    EXPECT_EQ(ATBX_StartCall(handle_), kStatusAtbNotOpen);
  }
}

TEST_F(BrokerKeyTest, CallsOnAHandleThatIsNotOpenAreRefused) {
  Bytes buffer(16, 0xA5);
  std::uint32_t length = 0;
  EXPECT_EQ(ATBX_StartCall(handle_), kStatusAtbNotOpen);
  EXPECT_EQ(ATX_GetRandom(handle_, 16, buffer.data()), kStatusAtbNotOpen);
  EXPECT_EQ(ATX_EncryptWithSecretKey(handle_, 4, buffer.data(), 0, nullptr, 0, &length, nullptr), kStatusAtbNotOpen);
  EXPECT_EQ(ATX_CompareSecretKeyEncrypted(handle_, buffer.data(), buffer.data()), kStatusAtbNotOpen);
  EXPECT_EQ(ATBX_CloseATB(handle_), kStatusAtbNotOpen);
  EXPECT_EQ(buffer, Bytes(16, 0xA5));
  EXPECT_EQ(length, 0u);

  ASSERT_NE(ATBX_OpenATB(handle_), 0);
  EXPECT_EQ(ATBX_StartCall(handle_), kStatusOk);
  ASSERT_EQ(ATBX_CloseATB(handle_), kStatusOk);
  EXPECT_EQ(ATBX_StartCall(handle_), kStatusAtbNotOpen);
}

}  // namespace
}  // namespace tarn::test
