#include "server/digest_compare.h"

#include <cstring>

#include "ccs/atb.h"
#include "ccs/ccs.h"
#include "ccs/ccsrec.h"
#include "ccs/ccsx.h"
#include "ccs/scoped.h"
#include "method/bytes.h"
#include "method/maftrace.h"
#include "osa/secure.h"
#include "server/generate_hash.h"

namespace {

constexpr char kHedraStarting[] = "PWD LSM: doHEDRA_PIVOCompare starting";
constexpr char kHedraDigestFailed[] = "PWD LSM doHEDRA_PIVOCompare: CCS_Digest failed %d";
constexpr char kHedraReturning[] = "PWD LSM: doHEDRA_PIVOCompare: returning=%d";

constexpr char kVeskPeluStart[] = "PWD LSM: doVESKPELUCompare";
constexpr char kVeskPeluMatched[] = "PWD LSM: doVESKPELUCompare matched";
constexpr char kVeskPeluFirstFailed[] = "PWD LSM: doVESKPELUCompare first compare failed";
constexpr char kVeskPeluFailed[] = "PWD LSM: doVESKPELUCompare compare failed";
constexpr char kVeskPeluReturning[] = "PWD LSM: doVESKPELUCompare returning %d";

constexpr char kGaltStart[] = "PWD LSM: doRimoGALTCompare";
constexpr char kGaltReturning[] = "PWD LSM: doRimoGALTCompare returning %d";

constexpr std::size_t kHedraDigestCapacity = 24;
constexpr std::uint32_t kBrokerFirstLength = 16;
constexpr std::uint32_t kBrokerSecondLength = 4;
constexpr std::int32_t kStatusBrokerNoMemory = -150;
constexpr std::size_t kGaltDigestCapacity = 100;

// A negative length or a missing password would reach the service as a huge read.
bool PasswordUsable(const std::uint8_t* password, std::int32_t passwordLength) {
  return passwordLength >= 0 && (password != nullptr || passwordLength == 0);
}

struct VeskPeluFields {
  std::uint8_t salt[ccs::kGaltSaltSize];
  std::int32_t expectedLength;
  std::span<const std::uint8_t> expected;
  std::int32_t dataALength;
  std::span<const std::uint8_t> dataA;
  std::int32_t dataBLength;
  std::span<const std::uint8_t> dataB;
};

bool LengthFits(std::int32_t length) { return length >= 0 && length <= static_cast<std::int32_t>(kVeskPeluFieldSize); }

// Each length field must describe its own 36-byte field, so that no digest
// reaches into the next field or past the record.
bool ReadVeskPelu(const std::uint8_t* answer, std::uint32_t answerLength, VeskPeluFields* f) {
  if (answer == nullptr || answerLength < kVeskPeluAnswerSize) return false;
  wistra::ByteReader reader(answer, kVeskPeluAnswerSize);
  if (!reader.CopyBytes(std::span<std::uint8_t>(f->salt)) || !reader.ReadI32(&f->expectedLength) ||
      !reader.ReadBytes(kVeskPeluFieldSize, &f->expected) || !reader.ReadI32(&f->dataALength) ||
      !reader.ReadBytes(kVeskPeluFieldSize, &f->dataA) || !reader.ReadI32(&f->dataBLength) ||
      !reader.ReadBytes(kVeskPeluFieldSize, &f->dataB)) {
    return false;
  }
  return LengthFits(f->expectedLength) && LengthFits(f->dataALength) && LengthFits(f->dataBLength);
}

}  // namespace

std::int32_t atbTestHashValidity(const std::uint8_t* digest, std::uint32_t keyReference,
                                 const std::uint8_t* clientEncrypted, std::int32_t* compareResult) {
  std::uint32_t outputLength = 0;
  const auto* reference = reinterpret_cast<const std::uint8_t*>(&keyReference);
  std::int32_t status =
      ATEncryptWithSecretKey(kBrokerFirstLength, digest, kBrokerSecondLength, reference, 0, &outputLength, nullptr);
  if (status != 0 && status != wistra::kStatusBufferTooSmall) return status;

  const std::uint32_t size = outputLength;
  auto* buffer = static_cast<std::uint8_t*>(MAF_Malloc(size));
  if (buffer == nullptr) return kStatusBrokerNoMemory;
  const osa::ScopeExit release([buffer, size] {
    osa::Wipe(buffer, size);
    MAF_Free(buffer);
  });

  status = ATEncryptWithSecretKey(kBrokerFirstLength, digest, kBrokerSecondLength, reference, size, &outputLength,
                                  buffer);
  if (status == 0) {
    // The compare reads the value by its own length header; one that does not
    // fit the buffer cannot be ours, and is not read.
    if (ccs::EncryptedValueSize(buffer, size) == 0) {
      *compareResult = -1;
    } else {
      *compareResult = ATCompareSecretKeyEncrypted(buffer, clientEncrypted);
    }
  }
  return status;
}

std::int32_t doHEDRA_PIVOCompare(mafHandle handle, const std::uint8_t* password, std::int32_t passwordLength,
                                 const std::uint8_t* answer, std::uint32_t answerLength) {
  std::int32_t status = 0;
  bool matched = false;
  osa::SecretBuffer<kHedraDigestCapacity> digest;
  std::uint32_t digestLength = kHedraDigestCapacity;
  TracePrintf(handle, "%s", kHedraStarting);

  wistra::ByteReader reader(answer, answer != nullptr ? answerLength : 0);
  std::uint8_t keyBytes[4] = {};
  std::uint8_t salt[ccs::kGaltSaltSize] = {};
  // The broker's compare reads the client's value by its own header, so the
  // value must be whole within what the client sent before it is handed over.
  if (!reader.CopyBytes(std::span<std::uint8_t>(keyBytes)) || !reader.CopyBytes(std::span<std::uint8_t>(salt)) ||
      !reader.Skip(kHedraEncryptedOffset - kHedraSaltOffset - ccs::kGaltSaltSize) ||
      ccs::EncryptedValueSize(reader.rest().data(), reader.remaining()) == 0) {
    status = wistra::kStatusLoginFailed;
  } else if (!PasswordUsable(password, passwordLength)) {
    status = wistra::kStatusBadArgument;
  } else {
    std::uint32_t keyReference = 0;
    std::memcpy(&keyReference, keyBytes, sizeof(keyReference));
    ccs::ScopedContext context;
    status = context.Create();
    if (status == 0) {
      ParamBlock block;
      const AlgorithmSpec galt =
          ccs::AlgorithmWithParameter(ccs::ALG_GALT_HASH, &block, ccs::ATTR_SALT, salt, sizeof(salt));
      status = CCS_DigestInit(context.get(), &galt);
      if (status == 0) {
        status = CCS_Digest(context.get(), password, static_cast<std::uint32_t>(passwordLength), digest.data(),
                            &digestLength);
        if (status != 0) {
          TracePrintf(handle, kHedraDigestFailed, status);
        } else {
          std::int32_t compareResult = -1;
          status = atbTestHashValidity(digest.data(), keyReference, reader.rest().data(), &compareResult);
          matched = status == 0 && compareResult == 0;
        }
      }
      context.Reset();
    }
  }

  osa::Wipe(digest.data(), digest.size());
  if (!matched && status == 0) status = wistra::kStatusLoginFailed;
  TracePrintf(handle, kHedraReturning, status);
  return status;
}

std::int32_t doVESKPELUCompare(mafHandle handle, const std::uint8_t* password, std::int32_t passwordLength,
                               const std::uint8_t* answer, std::uint32_t answerLength) {
  std::int32_t status = 0;
  Trace(handle, kVeskPeluStart);
  VeskPeluFields f{};
  if (!ReadVeskPelu(answer, answerLength, &f)) {
    status = wistra::kStatusLoginFailed;
  } else if (!PasswordUsable(password, passwordLength)) {
    status = wistra::kStatusBadArgument;
  } else {
    osa::SecretBuffer<kVeskPeluFieldSize> inner;
    osa::SecretBuffer<kVeskPeluFieldSize> outer;
    // Not reset between attempts: the second runs with the lengths the first left.
    std::uint32_t innerLength = kVeskPeluFieldSize;
    std::uint32_t outerLength = kVeskPeluFieldSize;
    ccs::ScopedContext context;
    status = context.Create();
    if (status == 0) {
      AlgorithmSpec innerSpec = ccs::PlainAlgorithm(ccs::ALG_SHA1);
      const AlgorithmSpec outerSpec = ccs::PlainAlgorithm(ccs::ALG_SHA1);
      ParamBlock block;
      bool firstAttempt = true;
      const std::uint32_t ctx = context.get();
      while (status == 0) {
        status = CCS_DigestInit(ctx, &innerSpec);
        if (status == 0)
          status = CCS_Digest(ctx, password, static_cast<std::uint32_t>(passwordLength), inner.data(), &innerLength);
        if (status == 0) status = CCS_DigestInit(ctx, &outerSpec);
        if (status == 0) status = CCS_DigestUpdate(ctx, inner.data(), innerLength);
        if (status == 0) status = CCS_DigestUpdate(ctx, f.dataB.data(), static_cast<std::uint32_t>(f.dataBLength));
        if (status == 0) status = CCS_DigestUpdate(ctx, f.dataA.data(), static_cast<std::uint32_t>(f.dataALength));
        if (status == 0) status = CCS_DigestFinal(ctx, outer.data(), &outerLength);
        if (status != 0) break;

        if (static_cast<std::uint32_t>(f.expectedLength) == outerLength &&
            osa::ConstantTimeEqual(f.expected.first(outerLength), outer.span().first(outerLength))) {
          Trace(handle, kVeskPeluMatched);
          break;
        }
        if (firstAttempt) {
          Trace(handle, kVeskPeluFirstFailed);
          innerSpec = ccs::AlgorithmWithParameter(ccs::ALG_GALT_HASH, &block, ccs::ATTR_SALT, f.salt, sizeof(f.salt));
          firstAttempt = false;
        } else {
          Trace(handle, kVeskPeluFailed);
          status = wistra::kStatusLoginFailed;
        }
      }
      context.Reset();
    }
  }
  TracePrintf(handle, kVeskPeluReturning, status);
  return status;
}

std::int32_t doRimoGALTCompare(mafHandle handle, const std::uint8_t* storedHash, std::uint32_t storedLength,
                               const std::uint8_t* answer, std::uint32_t answerLength, const std::uint8_t* extra,
                               std::uint32_t extraLength) {
  std::int32_t status = 0;
  osa::SecretBuffer<kGaltDigestCapacity> digest;
  std::uint32_t digestLength = kGaltDigestCapacity;
  osa::SecretBuffer<kGaltInputMax> input;
  Trace(handle, kGaltStart);

  // The work buffer bounds what may be digested; extra must at least hold its salt.
  if ((storedHash == nullptr && storedLength != 0) || extra == nullptr || extraLength < kGaltExtraSaltSize ||
      storedLength > kGaltInputMax || extraLength - kGaltExtraSaltSize > kGaltInputMax - storedLength) {
    status = wistra::kStatusBadArgument;
  } else {
    wistra::ByteWriter writer(input.span());
    writer.PutBytes(std::span<const std::uint8_t>(storedHash, storedLength));
    writer.PutBytes(std::span<const std::uint8_t>(extra + kGaltExtraSaltSize, extraLength - kGaltExtraSaltSize));
    const AlgorithmSpec sha1 = ccs::PlainAlgorithm(ccs::ALG_SHA1);
    status = generateHash(&sha1, input.data(), static_cast<std::uint32_t>(writer.size()), digest.data(), &digestLength);
    if (status == 0 &&
        (answer == nullptr || digestLength != answerLength ||
         !osa::ConstantTimeEqual(digest.span().first(digestLength), std::span<const std::uint8_t>(answer, answerLength)))) {
      status = wistra::kStatusLoginFailed;
    }
  }
  TracePrintf(handle, kGaltReturning, status);
  return status;
}
