// The user's record as the modules reach it: attributes by kind and name, the
// password value, the Galt hash. Every value follows one length rule: capacity
// in, length out; no buffer asks for the length; a value longer than the
// capacity is refused with kStatusMafValueTooLong and its length, and nothing
// is written.
#include <cstring>

#include "method/status.h"
#include "platform/vesk/late.h"
#include "platform/vesk/state.h"

using vesk::Call;
using vesk::Side;
using wistra::kStatusMafBadArgument;
using wistra::kStatusMafBadHandle;
using wistra::kStatusMafValueTooLong;

extern "C" {

__attribute__((visibility("default"))) std::int32_t MAF_GetAttribute(mafHandle handle, std::uint32_t kind,
                                                                      const std::uint16_t* name, std::uint32_t* length,
                                                                      void* buffer) {
  Side side;
  auto s = vesk::LookUp(handle, &side);
  if (!s) return kStatusMafBadHandle;
  std::lock_guard<std::mutex> lock(s->mu);
  if (std::int32_t st = s->CountCall(Call::kGetAttribute, side)) return st;
  std::optional<std::u16string> n;
  if (length == nullptr || !vesk::ReadName(name, &n)) return kStatusMafBadArgument;
  const vesk::AttributeEntry* e = s->FindEntry(kind, n);
  if (e == nullptr) return wistra::kStatusNoSuchAttribute;
  if (!e->present) return e->status;
  const auto size = static_cast<std::uint32_t>(e->value.size());
  if (buffer != nullptr) {
    if (size > *length) {
      *length = size;
      return kStatusMafValueTooLong;
    }
    if (size != 0) std::memcpy(buffer, e->value.data(), size);
  }
  *length = size;
  return 0;
}

__attribute__((visibility("default"))) std::int32_t MAF_PutAttribute(mafHandle handle, std::uint32_t kind,
                                                                      const std::uint16_t* name, std::uint32_t length,
                                                                      const void* value) {
  Side side;
  auto s = vesk::LookUp(handle, &side);
  if (!s) return kStatusMafBadHandle;
  std::lock_guard<std::mutex> lock(s->mu);
  vesk::PutAttributeCall call;
  call.kind = kind;
  call.status = s->CountCall(Call::kPutAttribute, side);
  const bool name_ok = vesk::ReadName(name, &call.name);
  if (call.status == 0 && (!name_ok || (length != 0 && value == nullptr))) call.status = kStatusMafBadArgument;
  if (name_ok && value != nullptr && length != 0) {
    const auto* p = static_cast<const std::uint8_t*>(value);
    call.value.assign(p, p + length);
  }
  if (call.status == 0) s->PutEntry(vesk::AttributeEntry{kind, call.name, true, call.value, 0});
  const std::int32_t status = call.status;
  s->put_calls.push_back(std::move(call));
  return status;
}

// ---- The late-bound record calls (reached through libvesk_late_*.so) --------------

__attribute__((visibility("default"))) std::int32_t vesk_host_GetPassword(mafHandle handle, std::uint32_t* length,
                                                                           std::uint16_t* buffer, std::uint32_t* flags,
                                                                           std::uint32_t, std::uint32_t) {
  Side side;
  auto s = vesk::LookUp(handle, &side);
  if (!s) return kStatusMafBadHandle;
  std::lock_guard<std::mutex> lock(s->mu);
  if (std::int32_t st = s->CountCall(Call::kGetPassword, side)) return st;
  if (!s->password_present) return s->password_status;
  if (buffer != nullptr && length == nullptr) return kStatusMafBadArgument;
  const auto units = static_cast<std::uint32_t>(s->password.size() + 1);  // with the terminator
  if (buffer != nullptr) {
    if (units > *length) {
      *length = units;
      return kStatusMafValueTooLong;
    }
    // Unit by unit through memcpy: the module's buffer need not be aligned.
    auto* out = reinterpret_cast<unsigned char*>(buffer);
    for (std::size_t i = 0; i < s->password.size(); ++i) {
      const auto u = static_cast<std::uint16_t>(s->password[i]);
      std::memcpy(out + 2 * i, &u, 2);
    }
    const std::uint16_t zero = 0;
    std::memcpy(out + 2 * s->password.size(), &zero, 2);
  }
  if (length != nullptr) *length = units;
  if (flags != nullptr) *flags = s->password_flags;
  return 0;
}

__attribute__((visibility("default"))) std::int32_t vesk_host_SetPassword(mafHandle handle, std::uint32_t units,
                                                                           const std::uint16_t* text,
                                                                           std::uint32_t flags) {
  Side side;
  auto s = vesk::LookUp(handle, &side);
  if (!s) return kStatusMafBadHandle;
  std::lock_guard<std::mutex> lock(s->mu);
  vesk::SetPasswordCall call;
  call.flags = flags;
  call.status = s->CountCall(Call::kSetPassword, side);
  // Bounded so that a wild count cannot walk the process: no password value
  // of the framework comes near it.
  constexpr std::uint32_t kMaxUnits = 1u << 16;
  if (call.status == 0 && (text == nullptr || units == 0 || units > kMaxUnits)) call.status = kStatusMafBadArgument;
  if (text != nullptr && units != 0 && units <= kMaxUnits) {
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    for (std::uint32_t i = 0; i < units; ++i) {
      std::uint16_t u;
      std::memcpy(&u, p + 2 * i, 2);
      call.units.push_back(static_cast<char16_t>(u));
    }
  }
  if (call.status == 0) {
    // The value is the text up to its first terminator within the count.
    const std::size_t end = call.units.find(u'\0');
    s->password_present = true;
    s->password = call.units.substr(0, end);
    s->password_flags = flags;
  }
  const std::int32_t status = call.status;
  s->set_password_calls.push_back(std::move(call));
  return status;
}

__attribute__((visibility("default"))) std::int32_t vesk_host_GetPELUPwdHash(mafHandle handle, std::uint8_t* salt,
                                                                              std::uint32_t* length,
                                                                              std::uint8_t* buffer, std::uint32_t,
                                                                              std::uint32_t) {
  Side side;
  auto s = vesk::LookUp(handle, &side);
  if (!s) return kStatusMafBadHandle;
  std::lock_guard<std::mutex> lock(s->mu);
  if (std::int32_t st = s->CountCall(Call::kGetPELUPwdHash, side)) return st;
  if (!s->galt_present) return s->galt_status;
  if (buffer != nullptr && length == nullptr) return kStatusMafBadArgument;
  const auto size = static_cast<std::uint32_t>(s->galt_hash.size());
  if (buffer != nullptr && size > *length) {
    *length = size;
    return kStatusMafValueTooLong;
  }
  if (buffer != nullptr && size != 0) std::memcpy(buffer, s->galt_hash.data(), size);
  if (length != nullptr) *length = size;
  if (salt != nullptr) std::memcpy(salt, s->galt_salt, 4);
  return 0;
}

}  // extern "C"
