// The client side of one login attempt: reads the typed password, opens the
// current form or sends a finished answer in the direct form, answers the
// server's hash request, reads the verdict and syncs the password when asked.
#include <cstdint>
#include <cstring>
#include <span>

#include "client/digest_decode.h"
#include "client/maf_buffer.h"
#include "client/password_hash.h"
#include "method/bytes.h"
#include "method/lifecycle.h"
#include "method/maf.h"
#include "method/maftrace.h"
#include "method/status.h"
#include "method/wire.h"
#include "osa/secure.h"

namespace wistra {
namespace {

inline constexpr char kTraceStarted[] = "PWD LCM: started";
inline constexpr char kTraceEncodedDigest[] = "PWD LCM: encoded digest";
inline constexpr char kTraceDecodeFailed[] = "PWD LCM: decodeDigest failed %d";
inline constexpr char kTraceRecordLength[] = "PWD LCM: MAF_Read(wire_pwdInfo) replyLen %d";
inline constexpr char kTraceSyncRequested[] = "PWD LCM: Sync password requested";
inline constexpr char kTraceGaltRequested[] = "PWD LCM: Rimo Galt hash requested";
inline constexpr char kTraceHashRequested[] = "PWD LCM: hash id %d requested";
inline constexpr char kTraceHashFailed[] = "PWD LCM: hash failed %d";
inline constexpr char kTraceUppercaseRequested[] = "PWD LCM: uppercase hash requested";
inline constexpr char kTraceSyncPassword[] = "PWD LCM: sync password";
inline constexpr char kTraceLoginSuccessful[] = "PWD LCM: login successful";
inline constexpr char kTraceLoginFailed[] = "PWD LCM: login failed";

inline constexpr std::uint32_t kKindTypedPassword = 6;
inline constexpr std::uint32_t kKindTypedType = 7;
inline constexpr std::uint32_t kPasswordBufferSize = 512;
// The zero byte behind the password must fit the buffer too.
inline constexpr std::uint32_t kLongestPassword = kPasswordBufferSize - 1;
inline constexpr std::uint32_t kTypedTypeSize = 8;
inline constexpr std::uint32_t kHashBufferSize = 128;

// Everything one attempt holds; the secrets are wiped and the framework's
// buffers wiped and returned when it goes out of scope, on every path.
struct AttemptState {
  explicit AttemptState(mafHandle h) : handle(h) {}

  mafHandle handle;
  osa::SecretBuffer<kPasswordBufferSize> password;
  std::uint32_t passwordLength = 0;
  answerHeader header;
  MafBuffer extra;
  osa::SecretBuffer<kHashBufferSize> hash;
  std::uint32_t hashLength = 0;
  osa::SecretBuffer<kPasswordBufferSize> upper;
  osa::SecretBuffer<kHashBufferSize> upperHash;
  std::uint32_t upperHashLength = 0;
  MafBuffer answer;
  std::uint32_t verdict = 0;
  bool syncRequested = false;
  bool sendEmptyMessage = false;
};

// Ends the attempt with status and, since the server is still waiting for a
// message of ours, releases it with the empty message.
std::int32_t Abandon(AttemptState& s, std::int32_t status) {
  s.sendEmptyMessage = true;
  return status;
}

// Attributes 6 and 7, and the decoding of an encoded digest.
std::int32_t ReadPassword(AttemptState& s) {
  std::uint32_t length = kPasswordBufferSize;
  const std::int32_t rc = MAF_GetAttribute(s.handle, kKindTypedPassword, nullptr, &length, s.password.data());
  if (rc != kStatusOk) return Abandon(s, rc);
  if (length > kLongestPassword) return Abandon(s, kStatusBadArgument);
  s.passwordLength = length;

  std::uint8_t typed[kTypedTypeSize] = {};
  std::uint32_t typedLength = kTypedTypeSize;
  s.header.answerType = HASH_PLAIN;
  if (MAF_GetAttribute(s.handle, kKindTypedType, nullptr, &typedLength, typed) == kStatusOk && typedLength >= 4 &&
      typedLength <= kTypedTypeSize) {
    s.header.answerType = static_cast<std::int32_t>(LoadU32Padded(std::span<const std::uint8_t>(typed, 4)));
  }
  s.header.answerFlags = 0;

  if (pwdIsEncodedDigest(static_cast<std::int32_t>(s.passwordLength), s.password.data())) {
    Trace(s.handle, kTraceEncodedDigest);
    const std::int32_t dc = decodeDigest(&s.passwordLength, kPasswordBufferSize, s.password.data(), &s.header.answerType);
    if (dc != kStatusOk) {
      TracePrintf(s.handle, kTraceDecodeFailed, dc);
      return Abandon(s, dc);
    }
  }
  // A header starting with the marker would read to the server as the opening
  // of the current form.
  if (static_cast<std::uint32_t>(s.header.answerType) == PROTOCOL_MARKER) return Abandon(s, kStatusNotSupported);
  return kStatusOk;
}

std::int32_t BuildDirectAnswer(AttemptState& s) {
  if (!s.answer.Allocate(s.passwordLength)) return Abandon(s, kStatusNoMemory);
  if (s.passwordLength != 0) std::memcpy(s.answer.data(), s.password.data(), s.passwordLength);
  return kStatusOk;
}

// Opening, version, the server's record and its extra data.
std::int32_t ReadRequest(AttemptState& s, wire_pwdInfo* info) {
  s.password[s.passwordLength] = 0;

  std::uint8_t opening[kOpeningMessageSize];
  EncodeOpeningMessage(opening);
  if (const std::int32_t rc = MAF_Write(s.handle, sizeof opening, opening); rc != kStatusOk) return rc;
  std::uint8_t version[kVersionMessageSize];
  EncodeWord(PROTOCOL_VERSION, version);
  if (const std::int32_t rc = MAF_Write(s.handle, sizeof version, version); rc != kStatusOk) return rc;

  std::uint8_t record[kPwdInfoSize] = {};
  std::uint32_t recordLength = sizeof record;
  if (const std::int32_t rc = MAF_Read(s.handle, &recordLength, record); rc != kStatusOk) return rc;
  TracePrintf(s.handle, kTraceRecordLength, static_cast<int>(recordLength));
  // A short record would leave the request made of bytes the server never sent.
  if (recordLength < kPwdInfoSize) return Abandon(s, kStatusLoginFailed);
  *info = DecodePwdInfo(std::span<const std::uint8_t>(record, recordLength));

  if (info->status == 0) return kStatusRecordStatusZero;
  if (info->status != 1) return info->status;

  if (info->flags & PWDINFO_SYNC_PASSWORD) {
    s.header.answerFlags = ANSWER_PASSWORD_CHANGE;
    s.syncRequested = true;
    Trace(s.handle, kTraceSyncRequested);
  }
  if (info->extraLen != 0) {
    if (info->extraLen > kMaxExtraData) return Abandon(s, kStatusLoginFailed);
    if (!s.extra.Allocate(info->extraLen)) return Abandon(s, kStatusNoMemory);
    std::uint32_t got = info->extraLen;
    if (const std::int32_t rc = MAF_Read(s.handle, &got, s.extra.data()); rc != kStatusOk) return rc;
    if (got < info->extraLen) return Abandon(s, kStatusLoginFailed);
  }
  return kStatusOk;
}

// One hash of password for the request, into out.
std::int32_t HashFor(AttemptState& s, const wire_pwdInfo& info, const std::uint8_t* password, std::uint8_t* out,
                     std::uint32_t* outLength) {
  *outLength = kHashBufferSize;
  if (info.hashId == HASH_GALT) {
    return rimoGALTHashPassword(s.extra.size(), s.extra.data(), password, s.passwordLength, out, outLength,
                                &s.header.answerType);
  }
  return hashPassword(info.hashId, s.extra.size(), s.extra.data(), password, s.passwordLength, out, outLength,
                      &s.header.answerType);
}

std::int32_t BuildHashAnswer(AttemptState& s, const wire_pwdInfo& info) {
  if (info.hashId == HASH_GALT) {
    Trace(s.handle, kTraceGaltRequested);
  } else {
    TracePrintf(s.handle, kTraceHashRequested, static_cast<int>(info.hashId));
  }
  if (const std::int32_t rc = HashFor(s, info, s.password.data(), s.hash.data(), &s.hashLength); rc != kStatusOk) {
    TracePrintf(s.handle, kTraceHashFailed, rc);
    return Abandon(s, rc);
  }

  if (!(info.flags & PWDINFO_UPPERCASE_HASH)) {
    if (!s.answer.Allocate(s.hashLength)) return Abandon(s, kStatusNoMemory);
    std::memcpy(s.answer.data(), s.hash.data(), s.hashLength);
    return kStatusOk;
  }

  Trace(s.handle, kTraceUppercaseRequested);
  s.header.answerFlags |= ANSWER_MULTI_HASHES;
  std::memcpy(s.upper.data(), s.password.data(), s.passwordLength + 1);
  my_strupr(reinterpret_cast<char*>(s.upper.data()));
  // The Galt answer is made by its own routine for the upper-cased copy too,
  // so that a Galt request with the upper-case flag can still be answered.
  if (const std::int32_t rc = HashFor(s, info, s.upper.data(), s.upperHash.data(), &s.upperHashLength);
      rc != kStatusOk) {
    TracePrintf(s.handle, kTraceHashFailed, rc);
    return Abandon(s, rc);
  }
  const std::uint32_t total = 5 * 4 + s.hashLength + s.upperHashLength;
  if (!s.answer.Allocate(total)) return Abandon(s, kStatusNoMemory);
  EncodeMultiHashAnswer(std::span<const std::uint8_t>(s.hash.data(), s.hashLength),
                        std::span<const std::uint8_t>(s.upperHash.data(), s.upperHashLength), s.answer.span());
  return kStatusOk;
}

// Header, answer, verdict, and the sync when the server asked for it.
std::int32_t SendAnswer(AttemptState& s) {
  std::uint8_t header[kAnswerHeaderSize];
  EncodeAnswerHeader(s.header, header);
  if (const std::int32_t rc = MAF_Write(s.handle, sizeof header, header); rc != kStatusOk) return rc;

  std::uint8_t verdict[kWordMessageSize] = {};
  std::uint32_t verdictLength = sizeof verdict;
  const std::int32_t rc = MAF_WriteRead(s.handle, s.answer.size(), s.answer.data(), &verdictLength, verdict);
  if (rc != kStatusOk) return rc;
  if (verdictLength < kWordMessageSize) return kStatusLoginFailed;
  s.verdict = LoadU32Padded(verdict);

  if (s.verdict != 0 && s.syncRequested) {
    TracePrintf(s.handle, "%s", kTraceSyncPassword);
    if (const std::int32_t xc = MAF_XWrite(s.handle, s.passwordLength + 1, s.password.data()); xc != kStatusOk) {
      s.verdict = 0;
      return xc;
    }
    std::uint8_t syncResult[kWordMessageSize] = {};
    std::uint32_t syncLength = sizeof syncResult;
    MAF_Read(s.handle, &syncLength, syncResult);  // neither its status nor its value changes the outcome
  }
  return kStatusOk;
}

std::int32_t Exchange(AttemptState& s) {
  if (const std::int32_t rc = ReadPassword(s); rc != kStatusOk) return rc;
  if (s.header.answerType != HASH_PLAIN) {
    if (const std::int32_t rc = BuildDirectAnswer(s); rc != kStatusOk) return rc;
  } else {
    wire_pwdInfo info;
    if (const std::int32_t rc = ReadRequest(s, &info); rc != kStatusOk) return rc;
    if (const std::int32_t rc = BuildHashAnswer(s, info); rc != kStatusOk) return rc;
  }
  return SendAnswer(s);
}

// The attempt between MAF_Begin and MAF_End; its buffers are wiped and
// released before it returns.
std::int32_t RunAttempt(mafHandle handle) {
  AttemptState s(handle);
  std::int32_t result = Exchange(s);
  if (s.verdict != 0) {
    Trace(handle, kTraceLoginSuccessful);
    result = kStatusOk;
  } else {
    Trace(handle, kTraceLoginFailed);
    if (result == kStatusOk) result = kStatusLoginFailed;
    if (s.sendEmptyMessage) MAF_Write(handle, 0, nullptr);
  }
  return result;
}

}  // namespace
}  // namespace wistra

extern "C" __attribute__((visibility("default"))) std::int32_t LCM00000009(mafHandle handle) {
  Trace(handle, wistra::kTraceStarted);
  ++activeThreadCount;
  const std::uint32_t savedGroup = SetThreadGroupID(ourThreadGroupID);

  const std::int32_t begin = MAF_Begin(handle);
  if (begin != wistra::kStatusOk) {
    SetThreadGroupID(savedGroup);
    --activeThreadCount;
    return begin;
  }
  const std::int32_t result = wistra::RunAttempt(handle);
  MAF_End(handle, result, 0, 0);
  SetThreadGroupID(savedGroup);
  --activeThreadCount;
  return result;
}
