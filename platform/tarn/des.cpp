#include "platform/tarn/des.h"

#include <cstring>

#include "osa/secure.h"

namespace tarn {

DesKey::DesKey(const std::uint8_t* key) {
  // A weak key is still a key: the LAN Manager hash of an empty password runs
  // DES under the all-zero key.
  (void)des_set_key(&schedule_, key);
}

DesKey::~DesKey() { osa::Wipe(&schedule_, sizeof schedule_); }

DesEncryption::DesEncryption(const DesKey& key, std::span<const std::uint8_t> iv) : schedule_(key.schedule()) {
  std::memcpy(iv_, iv.data(), sizeof iv_);
}

DesEncryption::~DesEncryption() {
  osa::Wipe(&schedule_, sizeof schedule_);
  osa::Wipe(iv_, sizeof iv_);
}

void DesEncryption::Encrypt(std::span<const std::uint8_t> input, std::uint8_t* out) const {
  osa::SecretBuffer<ccs::kDesBlockSize> chain;
  osa::SecretBuffer<ccs::kDesBlockSize> block;
  std::memcpy(chain.data(), iv_, sizeof iv_);
  for (std::size_t at = 0; at < input.size(); at += ccs::kDesBlockSize) {
    for (std::size_t i = 0; i < ccs::kDesBlockSize; ++i) block[i] = input[at + i] ^ chain[i];
    des_encrypt(&schedule_, ccs::kDesBlockSize, chain.data(), block.data());
    std::memcpy(out + at, chain.data(), ccs::kDesBlockSize);
  }
}

void ExpandDesKey(const std::uint8_t* s, std::uint8_t* key) {
  key[0] = s[0] >> 1;
  key[1] = static_cast<std::uint8_t>(((s[0] & 0x01) << 6) | (s[1] >> 2));
  key[2] = static_cast<std::uint8_t>(((s[1] & 0x03) << 5) | (s[2] >> 3));
  key[3] = static_cast<std::uint8_t>(((s[2] & 0x07) << 4) | (s[3] >> 4));
  key[4] = static_cast<std::uint8_t>(((s[3] & 0x0F) << 3) | (s[4] >> 5));
  key[5] = static_cast<std::uint8_t>(((s[4] & 0x1F) << 2) | (s[5] >> 6));
  key[6] = static_cast<std::uint8_t>(((s[5] & 0x3F) << 1) | (s[6] >> 7));
  key[7] = s[6] & 0x7F;
  for (std::size_t i = 0; i < ccs::kDesBlockSize; ++i) key[i] = static_cast<std::uint8_t>(key[i] << 1);
}

}  // namespace tarn
