// The Vesk framework's calls, as the login modules see them. The host process
// provides them; a module binds the first group by name at load and looks the
// second group up at run time (they may be missing).
//
// Every integer here is a 32-bit word on every build. Lengths of messages and
// attributes count bytes; lengths of the password value count 16-bit units,
// terminator included.
//
// Where the framework's contract is loose, the stand-in and the modules agree on
// the safe reading below; nothing a peer sends can overflow a receiving buffer.
// Every call that takes a handle refuses an unknown one with kStatusMafBadHandle,
// and a missing length pointer (or a missing buffer where bytes must go) with
// kStatusMafBadArgument.
#pragma once
#include <cstdint>

#include "method/status.h"

extern "C" {

// The opaque handle of one login attempt.
typedef std::uint32_t mafHandle;

// --- Bound at load --------------------------------------------------------------

// Opens the attempt. On a non-zero status the module returns it without MAF_End.
// Each end of an attempt (client module, server module) has its own handle.
std::int32_t MAF_Begin(mafHandle handle);
// Closes the attempt; outcome 0 is a successful login. What this end sent before
// is still delivered; after that the peer's reads fail with kStatusMafPeerGone.
std::int32_t MAF_End(mafHandle handle, std::int32_t outcome, std::uint32_t reserved1, std::uint32_t reserved2);

// Delivers one message to the peer; length 0 (bytes may be null) is an empty message.
// Never blocks; a message to a peer that has already ended is dropped, status 0.
std::int32_t MAF_Write(mafHandle handle, std::uint32_t length, const void* bytes);
// Receives the next whole message. *length is the buffer's capacity on input and
// the message's length on output (0 for an empty message). A message longer than
// the capacity is consumed and refused with kStatusMafMessageTooLong (and its
// length in *length); the buffer is never written beyond the capacity. A read on
// a channel whose peer has ended fails with kStatusMafPeerGone instead of blocking.
std::int32_t MAF_Read(mafHandle handle, std::uint32_t* length, void* buffer);
// MAF_Write of (length, bytes), then MAF_Read into (replyLength, reply).
std::int32_t MAF_WriteRead(mafHandle handle, std::uint32_t length, const void* bytes, std::uint32_t* replyLength,
                           void* reply);
// The pair that carries only the sync step's plain password; same contract as above.
std::int32_t MAF_XWrite(mafHandle handle, std::uint32_t length, const void* bytes);
std::int32_t MAF_XRead(mafHandle handle, std::uint32_t* length, void* buffer);

// Reads one attribute of the attempt's user. *length is the capacity on input and
// the value's length on output; with a null buffer only the length is returned.
// A value longer than a non-null buffer's capacity is refused with
// kStatusMafValueTooLong and the needed length, and the buffer is not written.
// name is a zero-terminated UTF-16LE string, or null; it is compared exactly.
// A value the record does not hold fails with the framework's status for it
// (kStatusNoSuchAttribute unless the record says otherwise).
std::int32_t MAF_GetAttribute(mafHandle handle, std::uint32_t kind, const std::uint16_t* name, std::uint32_t* length,
                              void* buffer);
// Writes one attribute (the server writes kind 24, "Password Hash").
std::int32_t MAF_PutAttribute(mafHandle handle, std::uint32_t kind, const std::uint16_t* name, std::uint32_t length,
                              const void* value);

// Memory that message and attribute buffers come from; null when none is left.
void* MAF_Malloc(std::uint32_t size);
void MAF_Free(void* p);

// A printf-style warning from the host, used for start-up errors.
void err_warn(const char* format, ...) __attribute__((format(printf, 1, 2)));

// --- Looked up at run time (dlsym on the global scope); may be missing -----------

// The password value as zero-terminated UCS-2. *length counts 16-bit units
// (capacity in, units with the terminator out); a null buffer asks for the length.
// Too small a capacity: kStatusMafValueTooLong with the units needed.
// flags, when not null, receives the value's flag word (bit 0 is used).
// No value: the framework's status for it (kStatusNoSuchValue unless set otherwise).
typedef std::int32_t (*MAF_GetPassword_t)(mafHandle handle, std::uint32_t* length, std::uint16_t* buffer,
                                          std::uint32_t* flags, std::uint32_t reserved1, std::uint32_t reserved2);
// Stores the password value: units counts 16-bit units with the terminator.
typedef std::int32_t (*MAF_SetPassword_t)(mafHandle handle, std::uint32_t units, const std::uint16_t* text,
                                          std::uint32_t flags);
// The Galt hash and its 4-byte salt; any of salt, length and buffer may be null
// (a buffer needs a length). *length is the capacity in bytes on input and the
// hash's length on output; too small: kStatusMafValueTooLong and the length.
// No hash: the framework's status for it (kStatusNoHash unless set otherwise).
typedef std::int32_t (*MAF_GetPELUPwdHash_t)(mafHandle handle, std::uint8_t* salt, std::uint32_t* length,
                                             std::uint8_t* buffer, std::uint32_t reserved1, std::uint32_t reserved2);
// One trace line, and whether tracing is on for the attempt.
typedef void (*MAF_Trace_t)(mafHandle handle, const char* text);
typedef std::int32_t (*MAF_TraceEnabled_t)(mafHandle handle);

}  // extern "C"

namespace wistra {
// Attribute kinds the modules read and write; names are zero-terminated UTF-16LE.
inline constexpr std::uint32_t kMafKindTypedPassword = 6;     // client: the password as typed
inline constexpr std::uint32_t kMafKindTypedPasswordType = 7;  // client: 8 bytes, first word the type of kind 6
inline constexpr std::uint32_t kMafKindPasswordFlags22 = 22;   // server: "Password Flags", one word
inline constexpr std::uint32_t kMafKindPasswordFlags18 = 18;   // server: "Password Flags" again, ORed in
inline constexpr std::uint32_t kMafKindPasswordHash = 24;      // server: "Password Hash", read and written
}  // namespace wistra
