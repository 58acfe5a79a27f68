#include "tests/support/reference.h"

#include <crypt.h>
#include <nettle/des.h>
#include <nettle/md4.h>
#include <nettle/md5.h>
#include <nettle/sha1.h>

#include <cstring>
#include <string>

namespace wistra::reference {

Bytes Of(std::string_view text) { return Bytes(text.begin(), text.end()); }

void PutLe32(Bytes& b, std::size_t at, std::uint32_t w) {
  for (int i = 0; i < 4; ++i) b.at(at + i) = static_cast<std::uint8_t>(w >> (8 * i));
}

Bytes Join(std::initializer_list<std::span<const std::uint8_t>> parts) {
  Bytes out;
  for (auto p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes Pattern(std::size_t n, std::uint8_t start, std::uint8_t step) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(start + step * i);
  return b;
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

Bytes CryptText(std::string_view password, std::string_view salt) {
  crypt_data data;
  std::memset(&data, 0, sizeof data);
  const std::string p(password), s(salt);
  const char* text = crypt_r(p.c_str(), s.c_str(), &data);
  // libxcrypt refuses a salt with a text that starts with '*', or with null.
  if (text == nullptr || text[0] == '*') return {};
  return Bytes(text, text + std::strlen(text));
}

Bytes CryptWithZero(std::string_view password, std::string_view salt) {
  Bytes out = CryptText(password, salt);
  if (!out.empty()) out.push_back(0);
  return out;
}

Bytes Galt(std::span<const std::uint8_t> salt, std::span<const std::uint8_t> password) {
  Bytes digest = Sha1(Join({salt, password}));
  digest.resize(16);
  return digest;
}

Bytes Galt(std::span<const std::uint8_t> salt, std::string_view password) { return Galt(salt, Of(password)); }

std::array<std::uint8_t, 8> DesKey(std::span<const std::uint8_t, 7> s) {
  std::array<std::uint8_t, 8> key = {
      static_cast<std::uint8_t>(s[0] >> 1),
      static_cast<std::uint8_t>(((s[0] & 0x01) << 6) | (s[1] >> 2)),
      static_cast<std::uint8_t>(((s[1] & 0x03) << 5) | (s[2] >> 3)),
      static_cast<std::uint8_t>(((s[2] & 0x07) << 4) | (s[3] >> 4)),
      static_cast<std::uint8_t>(((s[3] & 0x0F) << 3) | (s[4] >> 5)),
      static_cast<std::uint8_t>(((s[4] & 0x1F) << 2) | (s[5] >> 6)),
      static_cast<std::uint8_t>(((s[5] & 0x3F) << 1) | (s[6] >> 7)),
      static_cast<std::uint8_t>(s[6] & 0x7F),
  };
  for (auto& k : key) k = static_cast<std::uint8_t>(k << 1);
  des_fix_parity(key.size(), key.data(), key.data());
  return key;
}

Bytes DesBlock(std::span<const std::uint8_t> key8, std::span<const std::uint8_t> block8) {
  // Nettle ignores the parity bits, so keys that differ only there encrypt
  // alike; they are set anyway so that what Nettle sees is a proper DES key.
  std::uint8_t key[DES_KEY_SIZE];
  des_fix_parity(DES_KEY_SIZE, key, key8.data());
  des_ctx ctx;
  des_set_key(&ctx, key);
  Bytes out(DES_BLOCK_SIZE);
  des_encrypt(&ctx, DES_BLOCK_SIZE, out.data(), block8.data());
  return out;
}

Bytes DesResponse(std::span<const std::uint8_t> hash16, std::span<const std::uint8_t> challenge8) {
  std::uint8_t padded[21] = {};
  std::memcpy(padded, hash16.data(), 16);
  Bytes out;
  for (int i = 0; i < 3; ++i) {
    const std::array<std::uint8_t, 8> key = DesKey(std::span<const std::uint8_t, 7>(padded + 7 * i, 7));
    const Bytes block = DesBlock(key, challenge8);
    out.insert(out.end(), block.begin(), block.end());
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

}  // namespace wistra::reference
