#include "server/verify.h"

#include <cstring>

#include "ccs/ccsrec.h"
#include "ccs/scoped.h"
#include "method/status.h"
#include "method/wire.h"
#include "osa/secure.h"
#include "server/maf_buffer.h"
#include "server/password_store.h"
#include "server/schemes.h"

namespace wistra {
namespace {

constexpr std::uint32_t kDigestBuffer = 100;
constexpr std::size_t kSha1Length = 20;
constexpr std::size_t kCryptSaltLength = 2;
constexpr std::uint32_t kUpcaseEntry = 1;

using Bytes = std::span<const std::uint8_t>;

// The stored secret and the digest of one check; both wiped on every path out.
struct Work {
  osa::SecretBuffer<kStoredValueBuffer> stored;
  std::int8_t storedType = 0;
  std::uint32_t storedLength = 0;
  osa::SecretBuffer<kDigestBuffer> digest;
  std::uint32_t digestLength = 0;

  Bytes Stored() const { return Bytes(stored.data(), storedLength); }
  Bytes Digest() const { return Bytes(digest.data(), digestLength); }
};

// Length of the text up to its first zero byte, within bytes.
std::size_t TextLength(Bytes bytes) {
  const void* zero = std::memchr(bytes.data(), 0, bytes.size());
  return zero ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - bytes.data()) : bytes.size();
}

bool Equal(Bytes a, Bytes b) { return osa::ConstantTimeEqual(a, b); }

// Digests first ‖ second into work->digest. The joined copy holds the password,
// so it is wiped before it goes back. False on any failure.
bool DigestOf(const AlgorithmSpec& algorithm, Bytes first, Bytes second, Work* work) {
  const std::size_t total = first.size() + second.size();
  if (total > UINT32_MAX) return false;
  MafBuffer joined(static_cast<std::uint32_t>(total));
  if (!joined.ok()) return false;
  if (!first.empty()) std::memcpy(joined.data(), first.data(), first.size());
  if (!second.empty()) std::memcpy(joined.data() + first.size(), second.data(), second.size());
  work->digestLength = kDigestBuffer;
  return generateHash(&algorithm, joined.data(), static_cast<std::uint32_t>(total), work->digest.data(),
                      &work->digestLength) == kStatusOk &&
         work->digestLength <= kDigestBuffer;
}

bool DigestOf(const std::uint8_t* algorithm, Bytes first, Bytes second, Work* work) {
  return DigestOf(ccs::PlainAlgorithm(algorithm), first, second, work);
}

// The crypt text of password under a 2-byte salt; digestLength counts its zero.
bool CryptOf(Bytes password, const std::uint8_t* salt, Work* work) {
  ParamBlock block{};
  const AlgorithmSpec algorithm =
      ccs::AlgorithmWithParameter(ccs::ALG_CRYPT, &block, ccs::ATTR_SALT, salt, kCryptSaltLength);
  return DigestOf(algorithm, password, {}, work) && work->digestLength >= 1;
}

// The answer's first 20 bytes against a 20-byte SHA-1 digest.
bool MatchesSha1(Bytes answer, Bytes digest) {
  return digest.size() == kSha1Length && answer.size() >= kSha1Length && Equal(answer.first(kSha1Length), digest);
}

bool SameTypeMatches(mafHandle handle, std::span<std::uint8_t> answer, Bytes extra, Work* work) {
  const Bytes stored = work->Stored();
  switch (work->storedType) {
    case HASH_SALTED_SHA1:
      return stored.size() >= kSha1Length && MatchesSha1(answer, stored.first(kSha1Length));
    case HASH_CRYPT: {
      const Bytes text = Bytes(answer).first(TextLength(answer));
      return Equal(text, stored);
    }
    case HASH_GALT:
      // Without a drawn challenge behind the salt there is nothing to answer.
      return extra.size() >= 4 &&
             doRimoGALTCompare(handle, stored.data(), work->storedLength, answer.data(),
                               static_cast<std::uint32_t>(answer.size()), extra.data(),
                               static_cast<std::uint32_t>(extra.size())) == kStatusOk;
    default:
      return Equal(answer, stored);
  }
}

bool ChapMatches(Bytes answer, Work* work) {
  chapAnswer chap;
  if (!DecodeChapAnswer(answer, &chap)) return false;
  // Lengths beyond the record's fields cannot describe a real exchange.
  if (chap.challengeLen > chapAnswer::kMaxField || chap.responseLen > chapAnswer::kMaxField) return false;
  const Bytes stored = work->Stored();
  const std::size_t total = 1 + stored.size() + chap.challengeLen;
  MafBuffer joined(static_cast<std::uint32_t>(total));
  if (!joined.ok()) return false;
  joined.data()[0] = chap.id;
  if (!stored.empty()) std::memcpy(joined.data() + 1, stored.data(), stored.size());
  std::memcpy(joined.data() + 1 + stored.size(), chap.challenge, chap.challengeLen);
  if (!DigestOf(ccs::ALG_MD5, Bytes(joined.data(), total), {}, work)) return false;
  return Equal(work->Digest(), Bytes(chap.response, chap.responseLen));
}

// A plain stored password against an answer of another type.
bool PlainStoredMatches(mafHandle handle, std::int32_t answerType, std::span<std::uint8_t> answer, Bytes extra,
                        Work* work) {
  const Bytes stored = work->Stored();
  const std::int32_t length = static_cast<std::int32_t>(work->storedLength);
  const std::uint32_t answerLength = static_cast<std::uint32_t>(answer.size());
  switch (answerType) {
    case HASH_SALTED_SHA1:
      return DigestOf(ccs::ALG_SHA1, stored, extra, work) && MatchesSha1(answer, work->Digest());
    case HASH_SHA1:
      return DigestOf(ccs::ALG_SHA1, stored, {}, work) && Equal(answer, work->Digest());
    case HASH_MD5:
      return DigestOf(ccs::ALG_MD5, stored, {}, work) && Equal(answer, work->Digest());
    case HASH_CRYPT: {
      // The salt is the answer's own first two bytes; a shorter answer has none.
      if (answer.size() < kCryptSaltLength) return false;
      if (!CryptOf(stored, answer.data(), work)) return false;
      const std::size_t textLength = TextLength(answer);
      return work->digestLength - 1 == textLength && answer.size() <= work->digestLength &&
             Equal(answer, work->Digest().first(answer.size()));
    }
    case HASH_CHAP:
      return ChapMatches(answer, work);
    case HASH_MSCHAP: {
      std::int32_t matched = 0;
      doMSChapCompare(handle, &matched, work->stored.data(), length, answer.data(), answerLength);
      return matched == 1;
    }
    case HASH_CIFS:
      return doCIFSCompare(handle, work->stored.data(), length, answer.data(), answerLength) == kStatusOk;
    case HASH_HEDRA_PIVO:
      return doHEDRA_PIVOCompare(handle, work->stored.data(), length, answer.data(), answerLength) == kStatusOk;
    case HASH_AFP:
      return doAFPCompare(handle, work->stored.data(), length, answer.data(), answerLength) == kStatusOk;
    case HASH_VESK_PELU:
      return doVESKPELUCompare(handle, work->stored.data(), length, answer.data(), answerLength) == kStatusOk;
    default:
      return false;
  }
}

// A plain-password answer against a stored digest.
bool PlainAnswerMatches(std::span<std::uint8_t> answer, Work* work) {
  const Bytes stored = work->Stored();
  switch (work->storedType) {
    case HASH_SALTED_SHA1:
      if (stored.size() <= kSha1Length) return false;
      return DigestOf(ccs::ALG_SHA1, answer, stored.subspan(kSha1Length), work) &&
             work->digestLength == kSha1Length && Equal(stored.first(kSha1Length), work->Digest());
    case HASH_SHA1:
      return DigestOf(ccs::ALG_SHA1, answer, {}, work) && Equal(stored, work->Digest());
    case HASH_MD5:
      return DigestOf(ccs::ALG_MD5, answer, {}, work) && Equal(stored, work->Digest());
    case HASH_CRYPT: {
      // A stored crypt text shorter than its salt was never made by crypt.
      if (stored.size() < kCryptSaltLength) return false;
      std::uint8_t salt[kCryptSaltLength];
      std::memcpy(salt, stored.data(), kCryptSaltLength);
      return CryptOf(answer, salt, work) && work->digestLength - 1 == stored.size() &&
             Equal(stored, work->Digest().first(stored.size()));
    }
    default:
      return false;
  }
}

}  // namespace

int verifyPassword(mafHandle handle, std::int32_t answerType, std::uint32_t upcase, std::span<std::uint8_t> answer,
                   std::span<const std::uint8_t> extra) {
  Work work;
  work.storedLength = kStoredValueBuffer;
  if (getPasswordValue(handle, &work.storedType, &work.storedLength, work.stored.data()) != kStatusOk) return 0;
  if (work.storedLength > kStoredValueBuffer) return 0;

  if (work.storedType == HASH_PLAIN && upcase == kUpcaseEntry) my_strupr(work.stored.data());

  bool matched = false;
  if (work.storedType == answerType) {
    matched = SameTypeMatches(handle, answer, extra, &work);
  } else if (work.storedType == HASH_PLAIN) {
    matched = PlainStoredMatches(handle, answerType, answer, extra, &work);
  } else if (answerType == HASH_PLAIN) {
    matched = PlainAnswerMatches(answer, &work);
  }
  return matched ? 1 : 0;
}

int multiHashVerify(mafHandle handle, std::int32_t answerType, std::span<std::uint8_t> message,
                    std::span<const std::uint8_t> extra) {
  // The walk hands out views into message; the checks that fill in their
  // records need the same bytes writable, at the same place.
  std::uint8_t* const base = message.data();
  return WalkMultiHashAnswer(std::span<const std::uint8_t>(message),
                             [&](std::uint32_t upcase, std::span<const std::uint8_t> entry) {
                               const std::size_t offset = static_cast<std::size_t>(entry.data() - base);
                               return verifyPassword(handle, answerType, upcase, message.subspan(offset, entry.size()),
                                                     extra);
                             });
}

}  // namespace wistra
