#include "client/password_hash.h"

#include <cctype>
#include <cstring>

#include "ccs/ccs.h"
#include "ccs/scoped.h"
#include "method/status.h"
#include "method/wire.h"
#include "osa/secure.h"

namespace wistra {
namespace {

// Hands the service a real address for an empty input, so that no null pointer
// reaches a copy of zero bytes.
const std::uint8_t* OrEmpty(const std::uint8_t* p) {
  static const std::uint8_t kNothing = 0;
  return p != nullptr ? p : &kNothing;
}

bool ArgumentsPresent(std::uint32_t extraLength, const std::uint8_t* extra, const std::uint8_t* password,
                      std::uint32_t passwordLength, const std::uint8_t* out, const std::uint32_t* outLength,
                      const std::int32_t* answerType) {
  return out != nullptr && outLength != nullptr && answerType != nullptr && (password != nullptr || passwordLength == 0) &&
         (extra != nullptr || extraLength == 0);
}

// One digest of one input in a context of its own, destroyed on every path.
std::int32_t DigestOnce(const AlgorithmSpec& algorithm, const std::uint8_t* data, std::uint32_t length, std::uint8_t* out,
                        std::uint32_t* outLength) {
  ccs::ScopedContext context;
  if (const std::int32_t rc = context.Create(); rc != kStatusOk) return rc;
  if (const std::int32_t rc = CCS_DigestInit(context.get(), &algorithm); rc != kStatusOk) return rc;
  return CCS_Digest(context.get(), OrEmpty(data), length, out, outLength);
}

}  // namespace

std::int32_t hashPassword(std::int32_t hashId, std::uint32_t extraLength, const std::uint8_t* extra,
                          const std::uint8_t* password, std::uint32_t passwordLength, std::uint8_t* out,
                          std::uint32_t* outLength, std::int32_t* answerType) {
  if (hashId != HASH_SHA1 && hashId != HASH_MD5 && hashId != HASH_CRYPT && hashId != HASH_SALTED_SHA1) {
    return kStatusNotSupported;
  }
  if (!ArgumentsPresent(extraLength, extra, password, passwordLength, out, outLength, answerType)) {
    return kStatusBadArgument;
  }

  switch (hashId) {
    case HASH_SHA1:
      *answerType = HASH_SHA1;
      return DigestOnce(ccs::PlainAlgorithm(ccs::ALG_SHA1), password, passwordLength, out, outLength);
    case HASH_MD5:
      *answerType = HASH_MD5;
      return DigestOnce(ccs::PlainAlgorithm(ccs::ALG_MD5), password, passwordLength, out, outLength);
    case HASH_CRYPT: {
      if (extraLength < ccs::kCryptSaltSize) return kStatusBadArgument;
      *answerType = HASH_CRYPT;
      ParamBlock block;
      const AlgorithmSpec crypt = ccs::AlgorithmWithParameter(ccs::ALG_CRYPT, &block, ccs::ATTR_SALT, extra,
                                                             static_cast<std::uint32_t>(ccs::kCryptSaltSize));
      return DigestOnce(crypt, password, passwordLength, out, outLength);
    }
    default: {  // HASH_SALTED_SHA1
      if (passwordLength > kHashWorkBufferSize || extraLength > kHashWorkBufferSize - passwordLength) {
        return kStatusBadArgument;
      }
      osa::SecretBuffer<kHashWorkBufferSize> joined;
      if (passwordLength != 0) std::memcpy(joined.data(), password, passwordLength);
      if (extraLength != 0) std::memcpy(joined.data() + passwordLength, extra, extraLength);
      *answerType = HASH_SALTED_SHA1;
      return DigestOnce(ccs::PlainAlgorithm(ccs::ALG_SHA1), joined.data(), passwordLength + extraLength, out,
                        outLength);
    }
  }
}

std::int32_t rimoGALTHashPassword(std::uint32_t extraLength, const std::uint8_t* extra, const std::uint8_t* password,
                                  std::uint32_t passwordLength, std::uint8_t* out, std::uint32_t* outLength,
                                  std::int32_t* answerType) {
  if (!ArgumentsPresent(extraLength, extra, password, passwordLength, out, outLength, answerType)) {
    return kStatusBadArgument;
  }
  // Without its salt the Galt hash cannot be made, and the challenge behind the
  // salt would be taken from before the extra data.
  if (extraLength < ccs::kGaltSaltSize) return kStatusBadArgument;
  const std::uint32_t challengeLength = extraLength - static_cast<std::uint32_t>(ccs::kGaltSaltSize);

  // Holds the password's Galt hash: as secret as the password itself.
  osa::SecretBuffer<kHashWorkBufferSize> work;
  std::uint32_t innerLength = kHashWorkBufferSize;
  *answerType = HASH_GALT;

  ccs::ScopedContext context;
  if (const std::int32_t rc = context.Create(); rc != kStatusOk) return rc;
  ParamBlock block;
  const AlgorithmSpec galt = ccs::AlgorithmWithParameter(ccs::ALG_GALT_HASH, &block, ccs::ATTR_SALT, extra,
                                                         static_cast<std::uint32_t>(ccs::kGaltSaltSize));
  if (const std::int32_t rc = CCS_DigestInit(context.get(), &galt); rc != kStatusOk) return rc;
  if (const std::int32_t rc = CCS_Digest(context.get(), OrEmpty(password), passwordLength, work.data(), &innerLength);
      rc != kStatusOk) {
    return rc;
  }
  if (innerLength > kHashWorkBufferSize || challengeLength > kHashWorkBufferSize - innerLength) {
    return kStatusBadArgument;
  }
  if (challengeLength != 0) std::memcpy(work.data() + innerLength, extra + ccs::kGaltSaltSize, challengeLength);

  const AlgorithmSpec sha1 = ccs::PlainAlgorithm(ccs::ALG_SHA1);
  if (const std::int32_t rc = CCS_DigestInit(context.get(), &sha1); rc != kStatusOk) return rc;
  return CCS_Digest(context.get(), work.data(), innerLength + challengeLength, out, outLength);
}

void my_strupr(char* text) {
  if (text == nullptr) return;
  for (; *text != '\0'; ++text) *text = static_cast<char>(std::toupper(static_cast<unsigned char>(*text)));
}

}  // namespace wistra
