#include "server/lsm_test_env.h"

#include <crypt.h>
#include <nettle/des.h>
#include <nettle/md4.h>
#include <nettle/md5.h>
#include <nettle/sha1.h>

#include <cstring>

#include "platform/tarn/tarn_control.h"

namespace lsm_test {

Bytes Of(std::string_view text) { return Bytes(text.begin(), text.end()); }

Bytes Join(std::initializer_list<std::span<const std::uint8_t>> parts) {
  Bytes out;
  for (auto p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes Sha1(std::span<const std::uint8_t> data) {
  sha1_ctx ctx;
  sha1_init(&ctx);
  sha1_update(&ctx, data.size(), data.data());
  Bytes out(SHA1_DIGEST_SIZE);
  sha1_digest(&ctx, out.size(), out.data());
  return out;
}

Bytes Md5(std::span<const std::uint8_t> data) {
  md5_ctx ctx;
  md5_init(&ctx);
  md5_update(&ctx, data.size(), data.data());
  Bytes out(MD5_DIGEST_SIZE);
  md5_digest(&ctx, out.size(), out.data());
  return out;
}

Bytes Md4(std::span<const std::uint8_t> data) {
  md4_ctx ctx;
  md4_init(&ctx);
  md4_update(&ctx, data.size(), data.data());
  Bytes out(MD4_DIGEST_SIZE);
  md4_digest(&ctx, out.size(), out.data());
  return out;
}

Bytes Crypt(std::string_view password, std::string_view salt) {
  crypt_data data;
  std::memset(&data, 0, sizeof data);
  const std::string p(password), s(salt);
  const char* text = crypt_r(p.c_str(), s.c_str(), &data);
  if (text == nullptr || text[0] == '*') return {};
  Bytes out(text, text + std::strlen(text));
  out.push_back(0);
  return out;
}

namespace {
// Seven bytes of a hash spread over the top seven bits of eight key bytes.
void SliceToKey(const std::uint8_t* s, std::uint8_t* key) {
  key[0] = s[0] >> 1;
  key[1] = static_cast<std::uint8_t>(((s[0] & 0x01) << 6) | (s[1] >> 2));
  key[2] = static_cast<std::uint8_t>(((s[1] & 0x03) << 5) | (s[2] >> 3));
  key[3] = static_cast<std::uint8_t>(((s[2] & 0x07) << 4) | (s[3] >> 4));
  key[4] = static_cast<std::uint8_t>(((s[3] & 0x0F) << 3) | (s[4] >> 5));
  key[5] = static_cast<std::uint8_t>(((s[4] & 0x1F) << 2) | (s[5] >> 6));
  key[6] = static_cast<std::uint8_t>(((s[5] & 0x3F) << 1) | (s[6] >> 7));
  key[7] = s[6] & 0x7F;
  for (int i = 0; i < 8; ++i) key[i] = static_cast<std::uint8_t>(key[i] << 1);
  des_fix_parity(8, key, key);
}
}  // namespace

Bytes DesBlock(std::span<const std::uint8_t> key8, std::span<const std::uint8_t> block8) {
  des_ctx ctx;
  des_set_key(&ctx, key8.data());
  Bytes out(8);
  des_encrypt(&ctx, 8, out.data(), block8.data());
  return out;
}

Bytes DesResponse(std::span<const std::uint8_t> hash16, std::span<const std::uint8_t> challenge8) {
  std::uint8_t padded[21] = {};
  std::memcpy(padded, hash16.data(), 16);
  Bytes out(24);
  for (int i = 0; i < 3; ++i) {
    std::uint8_t key[8];
    SliceToKey(padded + 7 * i, key);
    des_ctx ctx;
    des_set_key(&ctx, key);
    des_encrypt(&ctx, 8, out.data() + 8 * i, challenge8.data());
  }
  return out;
}

Bytes NtHash(std::string_view password) {
  Bytes utf16;
  for (char c : password) {
    utf16.push_back(static_cast<std::uint8_t>(c));
    utf16.push_back(0);
  }
  return Md4(utf16);
}

Bytes Galt(std::span<const std::uint8_t> salt, std::string_view password) {
  Bytes digest = Sha1(Join({salt, Of(password)}));
  digest.resize(16);
  return digest;
}

Bytes StoredValue(std::int8_t type, std::span<const std::uint8_t> data) {
  const Bytes head{static_cast<std::uint8_t>(type)};
  const Bytes trailing{0xEE};  // never part of the secret
  return Join({head, data, trailing});
}

Bytes StoredText(std::int8_t type, std::string_view text) {
  const Bytes head{static_cast<std::uint8_t>(type)};
  return Join({head, Of(text)});
}

void LsmTest::SetUp() { Reload(HostCalls()); }

void LsmTest::TearDown() {
  if (module_) {
    EXPECT_TRUE(module_->Unload());
    module_.reset();
  }
  TarnControl_Reset();
}

void LsmTest::Reload(vesk::HostCallSet calls) {
  if (module_) {
    ASSERT_TRUE(module_->Unload());
    module_.reset();
  }
  std::string error;
  ASSERT_TRUE(vesk::SetHostCalls(calls, &error)) << error;
  module_ = vesk::Module::Load(PWDLSM_PATH, &error);
  ASSERT_TRUE(module_) << error;
  entry_ = module_->FindVersioned("LSM00000009", "SHA1_VERSION_1.0.0");
  ASSERT_NE(entry_, nullptr);
  EXPECT_TRUE(module_->Warnings().empty());
}

::testing::AssertionResult LsmTest::Open(vesk::Peer& client, Offer* offer, std::uint32_t version) {
  client.Send(vesk::Le32s({wistra::PROTOCOL_MARKER, 0}));
  client.Send(vesk::Le32(version));
  vesk::Bytes record;
  if (auto r = vesk::ExpectLength(client, wistra::kPwdInfoSize, &record); !r) return r;
  offer->record = wistra::DecodePwdInfo(record);
  offer->extra.clear();
  if (offer->record.status == 1 && offer->record.extraLen != 0) {
    if (auto r = vesk::ExpectLength(client, offer->record.extraLen, &offer->extra); !r) return r;
  }
  return ::testing::AssertionSuccess();
}

void LsmTest::Answer(vesk::Peer& client, std::int32_t type, std::uint32_t flags,
                     std::span<const std::uint8_t> answer) {
  client.Send(vesk::Le32s({static_cast<std::uint32_t>(type), flags}));
  client.Send(answer);
}

std::optional<std::uint32_t> LsmTest::Verdict(vesk::Peer& client) {
  vesk::Bytes word;
  if (!vesk::ExpectLength(client, wistra::kWordMessageSize, &word)) return std::nullopt;
  return wistra::LoadU32Padded(word);
}

std::optional<std::uint32_t> LsmTest::DirectVerdict(vesk::Attempt& attempt, std::int32_t type,
                                                    std::span<const std::uint8_t> answer) {
  Session run(*this, attempt);
  Answer(run.client, type, 0, answer);
  const std::optional<std::uint32_t> verdict = Verdict(run.client);
  EXPECT_EQ(run.server.Join(), 0);
  return verdict;
}

std::vector<std::string> LsmTest::LinesWith(const vesk::Attempt& attempt, std::string_view prefix) {
  std::vector<std::string> out;
  for (const std::string& line : attempt.TraceLines(Side::kServer)) {
    if (line.rfind(prefix, 0) == 0) out.push_back(line);
  }
  return out;
}

}  // namespace lsm_test
