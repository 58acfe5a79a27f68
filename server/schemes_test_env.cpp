#include "server/schemes_test_env.h"

#include <nettle/des.h>
#include <nettle/md4.h>
#include <nettle/sha1.h>

#include <cctype>
#include <cstring>

#include "ccs/atb.h"
#include "ccs/ccs.h"
#include "platform/tarn/tarn_control.h"

namespace schemes_test {

namespace {

// The broker handle's address; only the address matters to the broker.
CCS_Word atbHandle = 0;

class FacadeEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    // The trace lookup happens once per process, so the framework's trace
    // calls must be there before the first line.
    std::string error;
    ASSERT_TRUE(vesk::SetHostCalls(vesk::kTrace | vesk::kTraceEnabled, &error)) << error;
    ASSERT_EQ(ATBOpenATB(reinterpret_cast<CCS_Word>(&atbHandle)), 0);
  }
  void TearDown() override { ATBCloseATB(); }
};

const ::testing::Environment* const facade = ::testing::AddGlobalTestEnvironment(new FacadeEnvironment);

void StrToKey(const std::uint8_t* s, std::uint8_t* k) {
  k[0] = static_cast<std::uint8_t>(s[0] >> 1);
  k[1] = static_cast<std::uint8_t>(((s[0] & 0x01) << 6) | (s[1] >> 2));
  k[2] = static_cast<std::uint8_t>(((s[1] & 0x03) << 5) | (s[2] >> 3));
  k[3] = static_cast<std::uint8_t>(((s[2] & 0x07) << 4) | (s[3] >> 4));
  k[4] = static_cast<std::uint8_t>(((s[3] & 0x0F) << 3) | (s[4] >> 5));
  k[5] = static_cast<std::uint8_t>(((s[4] & 0x1F) << 2) | (s[5] >> 6));
  k[6] = static_cast<std::uint8_t>(((s[5] & 0x3F) << 1) | (s[6] >> 7));
  k[7] = static_cast<std::uint8_t>(s[6] & 0x7F);
  for (int i = 0; i < 8; ++i) k[i] = static_cast<std::uint8_t>(k[i] << 1);
}

}  // namespace

Bytes FromHex(std::string_view hex) {
  Bytes out;
  int high = -1;
  for (char c : hex) {
    if (c == ' ') continue;
    const int v = std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : std::tolower(c) - 'a' + 10;
    if (high < 0) {
      high = v;
    } else {
      out.push_back(static_cast<std::uint8_t>(high << 4 | v));
      high = -1;
    }
  }
  return out;
}

Bytes Of(std::string_view text) { return Bytes(text.begin(), text.end()); }

std::string HexOf(std::span<const std::uint8_t> bytes) { return vesk::Hex(bytes); }

Bytes NettleMd4(std::span<const std::uint8_t> data) {
  md4_ctx ctx;
  md4_init(&ctx);
  md4_update(&ctx, data.size(), data.data());
  Bytes out(MD4_DIGEST_SIZE);
  md4_digest(&ctx, out.size(), out.data());
  return out;
}

Bytes NettleSha1(std::span<const std::uint8_t> data) {
  sha1_ctx ctx;
  sha1_init(&ctx);
  sha1_update(&ctx, data.size(), data.data());
  Bytes out(SHA1_DIGEST_SIZE);
  sha1_digest(&ctx, out.size(), out.data());
  return out;
}

Bytes NettleDes(std::span<const std::uint8_t> key, std::span<const std::uint8_t> block) {
  std::uint8_t k[DES_KEY_SIZE];
  std::memcpy(k, key.data(), DES_KEY_SIZE);
  des_fix_parity(DES_KEY_SIZE, k, k);
  des_ctx ctx;
  des_set_key(&ctx, k);
  Bytes out(DES_BLOCK_SIZE);
  des_encrypt(&ctx, DES_BLOCK_SIZE, out.data(), block.data());
  return out;
}

Bytes NettleLanman(std::span<const std::uint8_t> password) {
  std::uint8_t upper[14] = {};
  for (std::size_t i = 0; i < 14 && i < password.size(); ++i) {
    const std::uint8_t c = password[i];
    upper[i] = (c >= 'a' && c <= 'z') ? static_cast<std::uint8_t>(c - 'a' + 'A') : c;
  }
  static const std::uint8_t kMagic[8] = {'K', 'G', 'S', '!', '@', '#', '$', '%'};
  Bytes out;
  for (int half = 0; half < 2; ++half) {
    std::uint8_t key[8];
    StrToKey(upper + 7 * half, key);
    const Bytes block = NettleDes(key, kMagic);
    out.insert(out.end(), block.begin(), block.end());
  }
  return out;
}

Bytes NettleResponse(std::span<const std::uint8_t> hash, std::span<const std::uint8_t> challenge) {
  std::uint8_t padded[21] = {};
  std::memcpy(padded, hash.data(), 16);
  Bytes out;
  for (int i = 0; i < 3; ++i) {
    std::uint8_t key[8];
    StrToKey(padded + 7 * i, key);
    const Bytes block = NettleDes(key, challenge);
    out.insert(out.end(), block.begin(), block.end());
  }
  return out;
}

Bytes NettleGalt(std::span<const std::uint8_t> salt, std::span<const std::uint8_t> password) {
  Bytes input(salt.begin(), salt.end());
  input.insert(input.end(), password.begin(), password.end());
  Bytes digest = NettleSha1(input);
  digest.resize(16);
  return digest;
}

void SchemeTest::SetUp() { TarnControl_Reset(); }

void SchemeTest::TearDown() {
  TarnControl_Reset();
  EXPECT_EQ(TarnControl_LiveContexts(), 0u) << "a context was left behind";
  EXPECT_EQ(TarnControl_LiveObjects(), 0u) << "a key object was left behind";
  EXPECT_EQ(attempt_.Allocs().outstanding, 0u) << "a buffer was not freed";
}

std::uint32_t SchemeTest::Calls(const char* operation) { return TarnControl_CallCount(operation); }

}  // namespace schemes_test
