#include "method/wire.h"

namespace wistra {

std::size_t EncodeOpeningMessage(std::span<std::uint8_t> out) {
  ByteWriter w(out);
  w.PutU32(PROTOCOL_MARKER);
  w.PutU32(0);
  return w.ok() ? w.size() : 0;
}

std::size_t EncodeWord(std::uint32_t word, std::span<std::uint8_t> out) {
  ByteWriter w(out);
  return w.PutU32(word) ? w.size() : 0;
}

std::size_t EncodePwdInfo(const wire_pwdInfo& info, std::span<std::uint8_t> out) {
  ByteWriter w(out);
  w.PutI32(info.status);
  w.PutU32(info.flags);
  w.PutI32(info.hashId);
  w.PutU32(info.extraLen);
  return w.ok() ? w.size() : 0;
}

std::size_t EncodeAnswerHeader(const answerHeader& header, std::span<std::uint8_t> out) {
  ByteWriter w(out);
  w.PutI32(header.answerType);
  w.PutU32(header.answerFlags);
  return w.ok() ? w.size() : 0;
}

std::size_t EncodeChapAnswer(const chapAnswer& a, std::span<std::uint8_t> out) {
  ByteWriter w(out);
  w.PutU8(a.id);
  w.PutZeros(chapAnswer::kChallengeOffset - 1);
  w.PutBytes(a.challenge);
  w.PutU32(a.challengeLen);
  w.PutBytes(a.response);
  w.PutU32(a.responseLen);
  return w.ok() ? w.size() : 0;
}

std::size_t EncodeMultiHashAnswer(std::span<const std::uint8_t> plain, std::span<const std::uint8_t> upper,
                                  std::span<std::uint8_t> out) {
  ByteWriter w(out);
  w.PutU32(2);
  w.PutU32(0);
  w.PutU32(static_cast<std::uint32_t>(plain.size()));
  w.PutBytes(plain);
  w.PutU32(1);
  w.PutU32(static_cast<std::uint32_t>(upper.size()));
  w.PutBytes(upper);
  return w.ok() ? w.size() : 0;
}

bool IsOpeningMessage(std::span<const std::uint8_t> message) {
  return LoadU32Padded(message) == PROTOCOL_MARKER;
}

wire_pwdInfo DecodePwdInfo(std::span<const std::uint8_t> message) {
  std::uint8_t padded[kPwdInfoSize] = {};
  const std::size_t n = message.size() < kPwdInfoSize ? message.size() : kPwdInfoSize;
  if (n != 0) std::memcpy(padded, message.data(), n);
  ByteReader r(padded, sizeof padded);
  wire_pwdInfo info;
  r.ReadI32(&info.status);
  r.ReadU32(&info.flags);
  r.ReadI32(&info.hashId);
  r.ReadU32(&info.extraLen);
  return info;
}

answerHeader DecodeAnswerHeader(std::span<const std::uint8_t> message) {
  answerHeader h;
  h.answerType = static_cast<std::int32_t>(LoadU32Padded(message));
  if (message.size() > 4) h.answerFlags = LoadU32Padded(message.subspan(4));
  return h;
}

bool DecodeChapAnswer(std::span<const std::uint8_t> message, chapAnswer* out) {
  if (message.size() != chapAnswer::kSize) return false;
  ByteReader r(message);
  chapAnswer a;
  const bool ok = r.ReadU8(&a.id) && r.Skip(chapAnswer::kChallengeOffset - 1) && r.CopyBytes(a.challenge) &&
                  r.ReadU32(&a.challengeLen) && r.CopyBytes(a.response) && r.ReadU32(&a.responseLen) && r.empty();
  if (!ok) return false;
  *out = a;
  return true;
}

}  // namespace wistra
