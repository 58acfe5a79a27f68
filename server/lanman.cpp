#include "server/lanman.h"

#include <cstring>

#include "ccs/ccsrec.h"
#include "method/maftrace.h"
#include "osa/secure.h"
#include "server/generate_hash.h"
#include "server/n_utf8.h"

namespace {

constexpr char kNtStarting[] = "PWD LSM: computeNTHash starting";
constexpr char kLanmanStarting[] = "PWD LSM: computeLanmanHash starting";

constexpr std::size_t kLanmanWorkSize = ccs::kLmMaxInput + 1;

}  // namespace

const std::uint8_t odd_parity[256] = {
    0x01, 0x01, 0x02, 0x02, 0x04, 0x04, 0x07, 0x07, 0x08, 0x08, 0x0B, 0x0B, 0x0D, 0x0D, 0x0E, 0x0E,
    0x10, 0x10, 0x13, 0x13, 0x15, 0x15, 0x16, 0x16, 0x19, 0x19, 0x1A, 0x1A, 0x1C, 0x1C, 0x1F, 0x1F,
    0x20, 0x20, 0x23, 0x23, 0x25, 0x25, 0x26, 0x26, 0x29, 0x29, 0x2A, 0x2A, 0x2C, 0x2C, 0x2F, 0x2F,
    0x31, 0x31, 0x32, 0x32, 0x34, 0x34, 0x37, 0x37, 0x38, 0x38, 0x3B, 0x3B, 0x3D, 0x3D, 0x3E, 0x3E,
    0x40, 0x40, 0x43, 0x43, 0x45, 0x45, 0x46, 0x46, 0x49, 0x49, 0x4A, 0x4A, 0x4C, 0x4C, 0x4F, 0x4F,
    0x51, 0x51, 0x52, 0x52, 0x54, 0x54, 0x57, 0x57, 0x58, 0x58, 0x5B, 0x5B, 0x5D, 0x5D, 0x5E, 0x5E,
    0x61, 0x61, 0x62, 0x62, 0x64, 0x64, 0x67, 0x67, 0x68, 0x68, 0x6B, 0x6B, 0x6D, 0x6D, 0x6E, 0x6E,
    0x70, 0x70, 0x73, 0x73, 0x75, 0x75, 0x76, 0x76, 0x79, 0x79, 0x7A, 0x7A, 0x7C, 0x7C, 0x7F, 0x7F,
    0x80, 0x80, 0x83, 0x83, 0x85, 0x85, 0x86, 0x86, 0x89, 0x89, 0x8A, 0x8A, 0x8C, 0x8C, 0x8F, 0x8F,
    0x91, 0x91, 0x92, 0x92, 0x94, 0x94, 0x97, 0x97, 0x98, 0x98, 0x9B, 0x9B, 0x9D, 0x9D, 0x9E, 0x9E,
    0xA1, 0xA1, 0xA2, 0xA2, 0xA4, 0xA4, 0xA7, 0xA7, 0xA8, 0xA8, 0xAB, 0xAB, 0xAD, 0xAD, 0xAE, 0xAE,
    0xB0, 0xB0, 0xB3, 0xB3, 0xB5, 0xB5, 0xB6, 0xB6, 0xB9, 0xB9, 0xBA, 0xBA, 0xBC, 0xBC, 0xBF, 0xBF,
    0xC1, 0xC1, 0xC2, 0xC2, 0xC4, 0xC4, 0xC7, 0xC7, 0xC8, 0xC8, 0xCB, 0xCB, 0xCD, 0xCD, 0xCE, 0xCE,
    0xD0, 0xD0, 0xD3, 0xD3, 0xD5, 0xD5, 0xD6, 0xD6, 0xD9, 0xD9, 0xDA, 0xDA, 0xDC, 0xDC, 0xDF, 0xDF,
    0xE0, 0xE0, 0xE3, 0xE3, 0xE5, 0xE5, 0xE6, 0xE6, 0xE9, 0xE9, 0xEA, 0xEA, 0xEC, 0xEC, 0xEF, 0xEF,
    0xF1, 0xF1, 0xF2, 0xF2, 0xF4, 0xF4, 0xF7, 0xF7, 0xF8, 0xF8, 0xFB, 0xFB, 0xFD, 0xFD, 0xFE, 0xFE,
};

std::int32_t computeNTHash(mafHandle handle, const std::uint8_t* password, std::int32_t passwordLength,
                           std::uint8_t* out, std::uint32_t* outLength) {
  Trace(handle, kNtStarting);
  if (passwordLength > kNtHashPasswordMax) return kStatusNtPasswordTooLong;
  if (passwordLength < 0 || (password == nullptr && passwordLength > 0)) return wistra::kStatusBadArgument;
  const std::size_t length = static_cast<std::size_t>(passwordLength);

  // The conversion reads up to a zero byte; a copy ended within passwordLength
  // keeps it inside the caller's password even if its terminator is missing.
  osa::SecretBuffer<kNtHashPasswordMax + 1> text;
  if (length != 0) std::memcpy(text.data(), password, length);
  text[length] = 0;

  const std::uint32_t units = static_cast<std::uint32_t>(length) + 1;
  const std::size_t bufferSize = static_cast<std::size_t>(units) * 2;
  auto* buffer = static_cast<std::uint8_t*>(MAF_Malloc(static_cast<std::uint32_t>(bufferSize)));
  if (buffer == nullptr) return wistra::kStatusNoMemory;
  const osa::ScopeExit release([buffer, bufferSize] {
    osa::Wipe(buffer, bufferSize);
    MAF_Free(buffer);
  });

  auto* wide = reinterpret_cast<std::uint16_t*>(buffer);
  const std::int32_t n = utf8s_to_unicodeStr(wide, text.data(), units);
  if (n < 0) return wistra::kStatusLoginFailed;
  // The digest is over UTF-16LE whatever the machine's byte order.
  for (std::int32_t i = 0; i < n; ++i) {
    const std::uint16_t unit = wide[i];
    buffer[2 * i] = static_cast<std::uint8_t>(unit & 0xFF);
    buffer[2 * i + 1] = static_cast<std::uint8_t>(unit >> 8);
  }

  std::memset(out, 0, *outLength);
  const AlgorithmSpec algorithm{ccs::ALG_MD4, nullptr, 0};
  return generateHash(&algorithm, buffer, static_cast<std::uint32_t>(n) * 2, out, outLength);
}

std::int32_t computeLanmanHash(mafHandle handle, const std::uint8_t* password, std::int32_t passwordLength,
                               std::uint8_t* out, std::uint32_t* outLength) {
  std::size_t length = 0;
  if (password != nullptr && passwordLength > 0) length = static_cast<std::size_t>(passwordLength);
  if (length > ccs::kLmMaxInput) length = ccs::kLmMaxInput;

  osa::SecretBuffer<kLanmanWorkSize> work;
  if (length != 0) std::memcpy(work.data(), password, length);
  my_strupr(work.data());

  Trace(handle, kLanmanStarting);
  const AlgorithmSpec algorithm{ccs::ALG_LMHASH, nullptr, 0};
  return generateHash(&algorithm, work.data(), static_cast<std::uint32_t>(length), out, outLength);
}

void des_set_odd_parity(std::uint8_t* key) {
  for (int i = 0; i < 8; ++i) key[i] = odd_parity[key[i]];
}

void str_to_key(const std::uint8_t* slice, std::uint8_t* key) {
  key[0] = static_cast<std::uint8_t>(slice[0] >> 1);
  key[1] = static_cast<std::uint8_t>(((slice[0] & 0x01) << 6) | (slice[1] >> 2));
  key[2] = static_cast<std::uint8_t>(((slice[1] & 0x03) << 5) | (slice[2] >> 3));
  key[3] = static_cast<std::uint8_t>(((slice[2] & 0x07) << 4) | (slice[3] >> 4));
  key[4] = static_cast<std::uint8_t>(((slice[3] & 0x0F) << 3) | (slice[4] >> 5));
  key[5] = static_cast<std::uint8_t>(((slice[4] & 0x1F) << 2) | (slice[5] >> 6));
  key[6] = static_cast<std::uint8_t>(((slice[5] & 0x3F) << 1) | (slice[6] >> 7));
  key[7] = static_cast<std::uint8_t>(slice[6] & 0x7F);
  for (int i = 0; i < 8; ++i) key[i] = static_cast<std::uint8_t>(key[i] << 1);
  des_set_odd_parity(key);
}
