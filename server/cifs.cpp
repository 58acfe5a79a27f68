#include "server/cifs.h"

#include <cstring>

#include "ccs/ccs.h"
#include "ccs/ccsrec.h"
#include "ccs/keytemplates.h"
#include "ccs/scoped.h"
#include "method/bytes.h"
#include "method/maftrace.h"
#include "osa/secure.h"
#include "server/lanman.h"

namespace {

constexpr char kInjectFailed[] = "PWD LSM: cifsStyleX CCS_InjectKey desKey0 ERROR = %d";
constexpr char kEncryptInitFailed[] = "PWD LSM: cifsStyleX CCS_DataEncryptInit desKey0 ERROR = %d";
constexpr char kEncryptFailed[] = "PWD LSM: cifsStyleX CCS_Encrypt desKey0 ERROR = %d";
constexpr char kEncryptBadLength[] = "PWD LSM: cifsStyleX CCS_Encrypt bad length = %d";

constexpr char kTryingMd4[] = "PWD LSM: doCIFSCompare trying MD4";
constexpr char kNtHashFailed[] = "PWD LSM: doCIFSCompare computeNTHash failed %d";
constexpr char kXp24Failed[] = "PWD LSM: doCIFSCompare xP24 failed %d";
constexpr char kMd4Matched[] = "PWD LSM: doCIFSCompare MD4 matched";
constexpr char kMd4NoMatch[] = "PWD LSM: doCIFSCompare MD4 did not match";
constexpr char kTryingLanman[] = "PWD LSM: doCIFSCompare trying LanMan";
constexpr char kLanmanHashFailed[] = "PWD LSM: doCIFSCompare computeLanmanHash failed %d";
constexpr char kLanmanMatched[] = "PWD LSM: doCIFSCompare LanMan matched";
constexpr char kLanmanNoMatch[] = "PWD LSM: doCIFSCompare LanMan did not match";
constexpr char kCifsReturning[] = "PWD LSM: doCIFSCompare returning %d";

// A CIFS answer carries either the NT response or the LAN Manager one: each is
// tried in turn, with its own hash and its own trace lines.
struct CifsTry {
  const char* trying;
  std::int32_t (*hash)(mafHandle, const std::uint8_t*, std::int32_t, std::uint8_t*, std::uint32_t*);
  const char* hashFailed;
  const char* matched;
  const char* noMatch;
};
constexpr CifsTry kCifsTries[] = {
    {kTryingMd4, computeNTHash, kNtHashFailed, kMd4Matched, kMd4NoMatch},
    {kTryingLanman, computeLanmanHash, kLanmanHashFailed, kLanmanMatched, kLanmanNoMatch},
};

constexpr std::size_t kSliceSize = 7;
// The encryption's output buffer is larger than one block, so that a service
// that reports more than a block is caught by the length check, not by an overrun.
constexpr std::uint32_t kCipherCapacity = 16;

}  // namespace

std::int32_t cifsStyleX(mafHandle handle, const std::uint8_t* challenge, std::uint8_t* out, const std::uint8_t* slice) {
  osa::SecretBuffer<ccs::kDesKeySize> key;
  osa::SecretBuffer<kSliceSize> sliceCopy;
  osa::SecretBuffer<kCipherCapacity> cipher;
  osa::SecretBuffer<ccs::kDesBlockSize> challengeCopy;

  ccs::ScopedContext context;
  std::int32_t status = context.Create();
  if (status != 0) return status;

  std::memcpy(sliceCopy.data(), slice, kSliceSize);
  str_to_key(sliceCopy.data(), key.data());

  KeyAttribute keyTemplate[ccs::kKeyTemplateEntries];
  ccs::BuildDesKeyTemplate(ccs::kCifsKeyTemplate, key.data(), keyTemplate);
  ccs::ScopedKey desKey(context);
  status = desKey.Inject(keyTemplate, ccs::kKeyTemplateEntries);
  if (status != 0) {
    TracePrintf(handle, kInjectFailed, status);
    return status;
  }

  std::memcpy(challengeCopy.data(), challenge, ccs::kDesBlockSize);
  std::uint32_t cipherLength = kCipherCapacity;
  const std::uint8_t iv[ccs::kDesBlockSize] = {};
  ParamBlock block;
  const AlgorithmSpec des = ccs::AlgorithmWithParameter(ccs::ALG_DES, &block, ccs::ATTR_IV, iv, sizeof(iv));

  status = CCS_DataEncryptInit(context.get(), &des, desKey.get());
  if (status != 0) {
    TracePrintf(handle, kEncryptInitFailed, status);
  } else {
    status = CCS_Encrypt(context.get(), challengeCopy.data(), ccs::kDesBlockSize, cipher.data(), &cipherLength);
    if (status != 0) {
      TracePrintf(handle, kEncryptFailed, status);
    } else if (cipherLength != ccs::kDesBlockSize) {
      status = wistra::kStatusBadLength;
      TracePrintf(handle, kEncryptBadLength, static_cast<int>(cipherLength));
    }
  }
  if (status == 0) std::memcpy(out, cipher.data(), ccs::kDesBlockSize);
  return status;
}

std::int32_t xP24(mafHandle handle, const std::uint8_t* paddedHash, const std::uint8_t* challenge, std::uint8_t* out) {
  for (std::size_t block = 0; block < 3; ++block) {
    const std::int32_t status =
        cifsStyleX(handle, challenge, out + block * ccs::kDesBlockSize, paddedHash + block * kSliceSize);
    if (status != 0) return status;
  }
  return 0;
}

std::int32_t doCIFSCompare(mafHandle handle, const std::uint8_t* password, std::int32_t passwordLength,
                           const std::uint8_t* answer, std::uint32_t answerLength) {
  // A short answer would have the response read from beyond what the client sent.
  wistra::ByteReader reader(answer, answer != nullptr ? answerLength : 0);
  std::span<const std::uint8_t> challenge;
  std::span<const std::uint8_t> expected;
  if (!reader.ReadBytes(kCifsChallengeSize, &challenge) || !reader.ReadBytes(kCifsResponseSize, &expected)) {
    TracePrintf(handle, kCifsReturning, wistra::kStatusLoginFailed);
    return wistra::kStatusLoginFailed;
  }

  bool matched = false;
  osa::SecretBuffer<kPaddedHashSize> paddedHash;
  osa::SecretBuffer<kCifsAnswerSize> response;
  std::uint32_t hashLength = kPaddedHashSize;
  const auto responseView = response.span().first(kCifsResponseSize);

  std::int32_t status = 0;
  for (const CifsTry& attempt : kCifsTries) {
    Trace(handle, attempt.trying);
    osa::Wipe(paddedHash.data(), paddedHash.size());
    osa::Wipe(response.data(), response.size());
    status = attempt.hash(handle, password, passwordLength, paddedHash.data(), &hashLength);
    if (status != 0) {
      TracePrintf(handle, attempt.hashFailed, status);
      continue;
    }
    status = xP24(handle, paddedHash.data(), challenge.data(), response.data());
    if (status != 0) {
      TracePrintf(handle, kXp24Failed, status);
    } else if (osa::ConstantTimeEqual(responseView, expected)) {
      matched = true;
      Trace(handle, attempt.matched);
      break;
    } else {
      Trace(handle, attempt.noMatch);
    }
  }

  if (!matched && status == 0) status = wistra::kStatusLoginFailed;
  TracePrintf(handle, kCifsReturning, status);
  return status;
}
