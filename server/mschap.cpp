#include "server/mschap.h"

#include <cstring>

#include "ccs/ccs.h"
#include "ccs/ccsrec.h"
#include "ccs/keytemplates.h"
#include "ccs/scoped.h"
#include "osa/secure.h"
#include "server/lanman.h"

namespace {

constexpr std::size_t kHashBufferSize = 24;
constexpr std::uint32_t kHashSize = 16;
constexpr std::size_t kHashPadEnd = 21;
constexpr std::uint8_t kMinChallengeLength = 8;

// Seven hash bytes into a DES key; the lowest bit of each byte is left to the
// service, which ignores DES parity.
void ExpandKey(const std::uint8_t* s, std::uint8_t* key) {
  key[0] = static_cast<std::uint8_t>(s[0] & 0xFE);
  key[1] = static_cast<std::uint8_t>(((s[0] & 0x01) << 7) | (s[1] >> 1));
  key[2] = static_cast<std::uint8_t>(((s[1] & 0x03) << 6) | (s[2] >> 2));
  key[3] = static_cast<std::uint8_t>(((s[2] & 0x07) << 5) | (s[3] >> 3));
  key[4] = static_cast<std::uint8_t>(((s[3] & 0x0F) << 4) | (s[4] >> 4));
  key[5] = static_cast<std::uint8_t>(((s[4] & 0x1F) << 3) | (s[5] >> 5));
  key[6] = static_cast<std::uint8_t>(((s[5] & 0x3F) << 2) | (s[6] >> 6));
  key[7] = static_cast<std::uint8_t>((s[6] & 0x7F) << 1);
}

}  // namespace

std::int32_t MSCHAP_ChallengeResponse(const std::uint8_t* challenge, std::uint8_t* hash, std::uint32_t hashLength,
                                      std::uint8_t* out) {
  if (hashLength != kHashSize) return kStatusMsChapBadRecord;
  ccs::ScopedContext context;
  std::int32_t status = context.Create();
  if (status != 0) return status;
  std::memset(hash + kHashSize, 0, kHashPadEnd - kHashSize);

  osa::SecretBuffer<ccs::kDesKeySize> key;
  const std::uint8_t iv[ccs::kDesBlockSize] = {};
  ParamBlock block;
  const AlgorithmSpec des = ccs::AlgorithmWithParameter(ccs::ALG_DES, &block, ccs::ATTR_IV, iv, sizeof(iv));
  KeyAttribute keyTemplate[ccs::kKeyTemplateEntries];
  ccs::BuildDesKeyTemplate(ccs::kMsChapKeyTemplate, key.data(), keyTemplate);

  for (std::size_t i = 0; i < 3 && status == 0; ++i) {
    ExpandKey(hash + 7 * i, key.data());
    ccs::ScopedKey desKey(context);
    status = desKey.Inject(keyTemplate, ccs::kKeyTemplateEntries);
    if (status != 0) break;
    status = CCS_DataEncryptInit(context.get(), &des, desKey.get());
    // The started encryption outlives its key object; holding the key no
    // longer than that keeps it out of the service for the block itself.
    const std::int32_t destroyed = desKey.Reset();
    if (status == 0) status = destroyed;
    if (status != 0) break;
    std::uint32_t outLength = ccs::kDesBlockSize;
    status = CCS_Encrypt(context.get(), challenge, ccs::kDesBlockSize, out + ccs::kDesBlockSize * i, &outLength);
    if (status == 0 && outLength != ccs::kDesBlockSize) status = kStatusMsChapHashFailed;
  }
  return status;
}

std::int32_t doMSChapCompare(mafHandle handle, std::int32_t* matched, const std::uint8_t* password,
                             std::int32_t passwordLength, std::uint8_t* answer, std::uint32_t answerLength) {
  *matched = 0;
  if (answer == nullptr || answerLength != kMsChapAnswerSize) return kStatusMsChapBadRecord;
  if (answer[kMsChapChallengeLengthOffset] < kMinChallengeLength) return kStatusMsChapBadRecord;

  osa::SecretBuffer<kHashBufferSize> hash;
  osa::SecretBuffer<kMsChapResponseSize> response;
  std::uint32_t hashLength = kHashBufferSize;
  const std::uint8_t* challenge = answer + kMsChapChallengeOffset;
  const bool useNt = (answer[kMsChapFlagsOffset] & kMsChapFlagUseNt) != 0;

  std::int32_t status =
      useNt ? computeNTHash(handle, password, passwordLength, hash.data(), &hashLength)
            : computeLanmanHash(handle, password, passwordLength, hash.data(), &hashLength);
  if (status == 0) status = MSCHAP_ChallengeResponse(challenge, hash.data(), hashLength, response.data());
  if (status != 0) return kStatusMsChapHashFailed;

  const std::span<const std::uint8_t> sent(answer + (useNt ? kMsChapNtResponseOffset : kMsChapLmResponseOffset),
                                           kMsChapResponseSize);
  if (!osa::ConstantTimeEqual(response.span(), sent)) return useNt ? kStatusMsChapNtMismatch : kStatusMsChapLmMismatch;

  *matched = 1;
  if (useNt) {
    std::memcpy(answer + kMsChapNtHashOffset, hash.data(), kMsChapNtHashSize);
    status = computeLanmanHash(handle, password, passwordLength, hash.data(), &hashLength);
    if (status == 0) std::memcpy(answer + kMsChapLmHashHeadOffset, hash.data(), kMsChapLmHashHeadSize);
  } else {
    std::memcpy(answer + kMsChapLmHashHeadOffset, hash.data(), kMsChapLmHashHeadSize);
    status = computeNTHash(handle, password, passwordLength, hash.data(), &hashLength);
    if (status == 0) std::memcpy(answer + kMsChapNtHashOffset, hash.data(), kMsChapNtHashSize);
  }
  return status;
}
