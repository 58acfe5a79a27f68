// The server side of one login attempt, from MAF_Begin to MAF_End.

#include <cstring>

#include "ccs/atb.h"
#include "method/bytes.h"
#include "method/lifecycle.h"
#include "method/maf.h"
#include "method/maftrace.h"
#include "method/status.h"
#include "method/wire.h"
#include "server/maf_buffer.h"
#include "server/password_store.h"
#include "server/verify.h"

namespace wistra {
namespace {

constexpr char kTraceStarted[] = "PWD LSM: started";
constexpr char kTraceMultiHashes[] = "PWD LSM: multiHashes = %d";
constexpr char kTraceNoPasswordChange[] = "PWD LSM: Password change not requested";
constexpr char kTraceCallingVerifyPassword[] = "PWD LSM: Calling verifyPassword";
constexpr char kTraceCallingMultiHashVerify[] = "PWD LSM: Calling multiHashVerify";
constexpr char kTraceSetPassword[] = "PWD LSM: setPassword %ssuccessful";
constexpr char kTraceLoginSuccessful[] = "PWD LSM: login successful";
constexpr char kTraceLoginFailed[] = "PWD LSM: login failed";

constexpr std::uint32_t kChallengeLength = 16;

// The per-attempt state of one call of the entry.
struct Attempt {
  Attempt(mafHandle h, MafBuffer& buffer) : handle(h), message(buffer) {}

  mafHandle handle;
  MafBuffer& message;
  std::uint32_t messageLength = 0;
  wire_pwdInfo record;
  std::uint8_t extra[kMaxExtraData] = {};
  int verdict = 0;

  std::span<std::uint8_t> Message() { return message.span().first(messageLength); }
  std::span<const std::uint8_t> Extra() const {
    return std::span<const std::uint8_t>(extra, record.extraLen <= kMaxExtraData ? record.extraLen : 0);
  }

  // Reads the next client message into the message buffer; 0 or the framework's status.
  std::int32_t Read() {
    messageLength = 0;
    std::uint32_t length = message.size();
    const std::int32_t status = MAF_Read(handle, &length, message.data());
    if (status != kStatusOk) return status;
    if (length > message.size()) return kStatusMafMessageTooLong;
    messageLength = length;
    return kStatusOk;
  }
  std::int32_t ReadNonEmpty(std::int32_t whenEmpty) {
    const std::int32_t status = Read();
    if (status != kStatusOk) return status;
    return messageLength == 0 ? whenEmpty : kStatusOk;
  }
  std::int32_t SendWord(std::uint32_t word) {
    std::uint8_t bytes[kWordMessageSize];
    EncodeWord(word, bytes);
    return MAF_Write(handle, sizeof bytes, bytes);
  }

  std::int32_t Run();
  std::int32_t OpenCurrentForm();
  std::int32_t VerifyAnswer(std::span<const std::uint8_t> headerMessage);
  void SyncPassword();
};

// The current form's opening: the version, the challenge, the record and the
// extra data, then the answer header. 0 when the header is in the message buffer.
std::int32_t Attempt::OpenCurrentForm() {
  if (const std::int32_t status = ReadNonEmpty(kStatusLoginFailed); status != kStatusOk) return status;
  // A refused version goes to the client as the record's status, which also
  // ends this side below.
  if (LoadU32Padded(Message()) != PROTOCOL_VERSION) record.status = kStatusNotSupported;

  if (record.hashId == HASH_PLAIN) {
    record.hashId = HASH_SALTED_SHA1;
    record.extraLen = kChallengeLength;
    const std::int32_t drawn = ATGetRandom(kChallengeLength, extra);
    if (drawn != kStatusOk && record.status == 1) {
      // A challenge that was not drawn is never sent: the client learns why
      // the attempt ends from the record instead.
      record.status = drawn;
      record.extraLen = 0;
    }
  }

  std::uint8_t recordBytes[kPwdInfoSize];
  EncodePwdInfo(record, recordBytes);
  if (const std::int32_t status = MAF_Write(handle, sizeof recordBytes, recordBytes); status != kStatusOk) {
    return status;
  }
  if (record.status != 1) return record.status;
  if (record.extraLen != 0) {
    const std::span<const std::uint8_t> data = Extra();
    if (const std::int32_t status = MAF_Write(handle, static_cast<std::uint32_t>(data.size()), data.data());
        status != kStatusOk) {
      return status;
    }
  }
  return ReadNonEmpty(kStatusEmptyAnswerHeader);
}

// Reads the answer behind the header in headerMessage, verifies it and sends
// the verdict.
std::int32_t Attempt::VerifyAnswer(std::span<const std::uint8_t> headerMessage) {
  const answerHeader header = DecodeAnswerHeader(headerMessage);
  int multiHashes = 0;
  bool passwordChange = false;
  if (headerMessage.size() > kWordMessageSize) {
    multiHashes = (header.answerFlags & ANSWER_MULTI_HASHES) != 0 ? 1 : 0;
    TracePrintf(handle, kTraceMultiHashes, multiHashes);
    passwordChange = (header.answerFlags & ANSWER_PASSWORD_CHANGE) != 0;
  } else {
    Trace(handle, kTraceNoPasswordChange);
  }

  if (const std::int32_t status = ReadNonEmpty(kStatusLoginFailed); status != kStatusOk) return status;

  int checked = 0;
  if (multiHashes == 0) {
    Trace(handle, kTraceCallingVerifyPassword);
    checked = verifyPassword(handle, header.answerType, 0, Message(), Extra());
  } else if ((record.flags & PWDINFO_UPPERCASE_HASH) != 0) {
    Trace(handle, kTraceCallingMultiHashVerify);
    checked = multiHashVerify(handle, header.answerType, Message(), Extra());
  }

  const std::int32_t sent = SendWord(static_cast<std::uint32_t>(checked));
  if (sent != kStatusOk) return sent;
  verdict = checked;
  if (verdict != 0 && passwordChange) SyncPassword();
  return sent;
}

// Stores the plain password the client sends after a successful verdict. What
// happens here never changes the outcome of the login.
void Attempt::SyncPassword() {
  messageLength = 0;
  std::uint32_t length = message.size();
  if (MAF_XRead(handle, &length, message.data()) != kStatusOk || length == 0 || length > message.size()) return;
  messageLength = length;

  const std::span<std::uint8_t> text = Message();
  const void* zero = std::memchr(text.data(), 0, text.size());
  std::uint32_t textLength = zero ? static_cast<std::uint32_t>(static_cast<const std::uint8_t*>(zero) - text.data())
                                  : static_cast<std::uint32_t>(text.size());
  // A text the client sent without its zero still ends where the message ends.
  if (zero == nullptr && textLength < message.size()) message.data()[textLength] = 0;

  const std::int32_t stored = setPassword(handle, textLength, text.data(), record.flags & PWDINFO_SET_MASK);
  TracePrintf(handle, kTraceSetPassword, stored == kStatusOk ? "" : "not ");
  SendWord(stored == kStatusOk ? 1 : 0);
}

// Steps from reading the password information to sending the verdict.
std::int32_t Attempt::Run() {
  getPasswordInfo(handle, &record, std::span<std::uint8_t>(extra));

  if (const std::int32_t status = ReadNonEmpty(kStatusLoginFailed); status != kStatusOk) return status;
  // The marker opens the current form; any other first message is the direct
  // form's answer header.
  if (IsOpeningMessage(Message())) {
    if (const std::int32_t status = OpenCurrentForm(); status != kStatusOk) return status;
  }

  // The header is kept apart, since the answer is read into the same buffer.
  // Only its first two words count, and whether it has more than one.
  std::uint8_t header[kAnswerHeaderSize] = {};
  const std::size_t headerLength = messageLength < sizeof header ? messageLength : sizeof header;
  std::memcpy(header, message.data(), headerLength);
  return VerifyAnswer(std::span<const std::uint8_t>(header, headerLength));
}

}  // namespace
}  // namespace wistra

extern "C" __attribute__((visibility("default"))) std::int32_t LSM00000009(mafHandle handle) {
  using namespace wistra;
  Trace(handle, kTraceStarted);
  ++activeThreadCount;
  const std::uint32_t savedThreadGroup = SetThreadGroupID(ourThreadGroupID);

  std::int32_t result = kStatusOk;
  {
    // Wiped before it goes back: it last held an answer or the synced password.
    MafBuffer message(kServerMessageBufferSize);
    if (!message.ok()) {
      result = kStatusNoMemory;
    } else if (const std::int32_t begun = MAF_Begin(handle); begun != kStatusOk) {
      result = begun;
    } else {
      Attempt attempt(handle, message);
      result = attempt.Run();
      if (attempt.verdict != 0) {
        result = kStatusOk;
        Trace(handle, kTraceLoginSuccessful);
        MAF_End(handle, kStatusOk, 0, 0);
      } else {
        Trace(handle, kTraceLoginFailed);
        MAF_End(handle, kStatusLoginFailed, 0, 0);
      }
    }
  }

  --activeThreadCount;
  SetThreadGroupID(savedThreadGroup);
  return result;
}
