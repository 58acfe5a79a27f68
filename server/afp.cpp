#include "server/afp.h"

#include <cstring>

#include "ccs/ccs.h"
#include "ccs/ccsrec.h"
#include "ccs/keytemplates.h"
#include "ccs/scoped.h"
#include "method/bytes.h"
#include "method/maftrace.h"
#include "osa/secure.h"

namespace {

constexpr char kAfpStart[] = "PWD LSM: doAFPCompare";
constexpr char kAfpRandNum[] = "PWD LSM: doAFPCompare Random Number Exchange.";
constexpr char kAfpTwoWay[] = "PWD LSM: doAFPCompare Two-Way Random Number Exchange.";
constexpr char kAfpUnsupported[] = "PWD LSM: doAFPCompare unsupported AFP UAM: %d";
constexpr char kAfpReturning[] = "PWD LSM: doAFPCompare returning %d";


// The check proper, from the password key on. matched is set only when the
// client proof is right and the server proof has been written.
std::int32_t CompareWithKey(std::uint16_t uam, const std::uint8_t* key, std::uint8_t* answer, bool* matched,
                            bool* noContext) {
  osa::SecretBuffer<ccs::kDesBlockSize> result;
  osa::SecretBuffer<ccs::kDesBlockSize> serverProof;

  ccs::ScopedContext context;
  std::int32_t status = context.Create();
  if (status != 0) {
    *noContext = true;
    return status;
  }
  KeyAttribute keyTemplate[ccs::kKeyTemplateEntries];
  ccs::BuildDesKeyTemplate(ccs::kAfpKeyTemplate, key, keyTemplate);
  ccs::ScopedKey desKey(context);
  status = desKey.Inject(keyTemplate, ccs::kKeyTemplateEntries);
  if (status != 0) return status;

  const std::uint8_t iv[ccs::kDesBlockSize] = {};
  ParamBlock block;
  const AlgorithmSpec des = ccs::AlgorithmWithParameter(ccs::ALG_DES, &block, ccs::ATTR_IV, iv, sizeof(iv));
  status = CCS_DataEncryptInit(context.get(), &des, desKey.get());
  if (status != 0) return status;

  std::uint32_t length = ccs::kDesBlockSize;
  status = CCS_Encrypt(context.get(), answer + kAfpServerRandomOffset, kAfpBlockSize, result.data(), &length);
  if (status != 0) return status;
  // A short block would leave part of the comparison to bytes the service never wrote.
  if (length != ccs::kDesBlockSize) return 0;
  const std::span<const std::uint8_t> clientProof(answer + kAfpClientProofOffset, kAfpBlockSize);
  if (!osa::ConstantTimeEqual(result.span(), clientProof)) return 0;

  if (uam == kAfpUamTwoWayRandNum) {
    length = ccs::kDesBlockSize;
    status = CCS_Encrypt(context.get(), answer + kAfpClientRandomOffset, kAfpBlockSize, serverProof.data(), &length);
    // The record keeps what the client sent unless a whole proof was made.
    if (status != 0 || length != ccs::kDesBlockSize) return status;
  }
  std::memcpy(answer + kAfpServerProofOffset, serverProof.data(), kAfpBlockSize);
  *matched = true;
  return 0;
}

}  // namespace

std::int32_t doAFPCompare(mafHandle handle, const std::uint8_t* password, std::int32_t passwordLength,
                          std::uint8_t* answer, std::uint32_t answerLength) {
  bool matched = false;
  std::int32_t status = 0;
  Trace(handle, kAfpStart);

  wistra::ByteReader reader(answer, answer != nullptr ? answerLength : 0);
  std::uint16_t uam = 0;
  if (password == nullptr || passwordLength <= 0 || reader.remaining() < kAfpAnswerSize || !reader.ReadU16(&uam)) {
    status = wistra::kStatusLoginFailed;
  } else if (uam == kAfpUamRandNum) {
    Trace(handle, kAfpRandNum);
  } else if (uam == kAfpUamTwoWayRandNum) {
    Trace(handle, kAfpTwoWay);
  } else {
    TracePrintf(handle, kAfpUnsupported, static_cast<int>(uam));
    status = wistra::kStatusLoginFailed;
  }

  if (status == 0) {
    osa::SecretBuffer<ccs::kDesKeySize> key;
    const std::size_t used = passwordLength < static_cast<std::int32_t>(ccs::kDesKeySize)
                                 ? static_cast<std::size_t>(passwordLength)
                                 : ccs::kDesKeySize;
    std::memcpy(key.data(), password, used);
    if (uam == kAfpUamTwoWayRandNum) {
      for (std::size_t i = 0; i < ccs::kDesKeySize; ++i) key[i] = static_cast<std::uint8_t>(key[i] << 1);
    }
    bool noContext = false;
    status = CompareWithKey(uam, key.data(), answer, &matched, &noContext);
    // Without a context the check ends here, with no closing line.
    if (noContext) return status;
  }

  if (!matched && status == 0) status = wistra::kStatusLoginFailed;
  TracePrintf(handle, kAfpReturning, status);
  return status;
}
