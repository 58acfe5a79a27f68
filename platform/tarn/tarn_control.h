// Test-only control of the crypto service stand-in: make calls fail or report a
// chosen output length, and see which calls arrived from which module. No login
// module includes this header; tests link libtarn and drive every crypto failure
// path of the modules through it.
//
// An operation is named by its exported name: "CCSX_Digest", "SSLX_CalcMAC",
// "CCSX_Register", "ATBX_StartCall", "ATX_GetRandom". The control has its own
// lock, so a test may use it while module threads are inside the service.
#pragma once
#include <cstdint>

extern "C" {

// The next `count` calls of `operation` return `result` at once: nothing runs, no
// output or handle word is written. "ATBX_OpenATB" with result 0 makes the broker
// refuse to open. The calls are still counted. 0, or kStatusCcsBadRecord when the
// service exports no such operation or count is 0.
std::int32_t TarnControl_FailNext(const char* operation, std::int32_t result, std::uint32_t count);

// The next `count` calls of `operation` run as usual; each one that reports an
// output length (on success, or on a too-small refusal that stores the needed
// length) reports `length` in its place. The bytes written are the real ones.
// Only CCSX_Encrypt, CCSX_Digest, CCSX_DigestFinal and ATX_EncryptWithSecretKey
// report a length; any other name, or count 0, gives kStatusCcsBadRecord.
std::int32_t TarnControl_ReportLengthNext(const char* operation, std::uint32_t length, std::uint32_t count);

// Calls of `operation` since the last reset, injected failures included: from
// every caller, or only those whose first argument was `hModule` (for the broker's
// operations: the broker handle, cut to 32 bits). 0 for an unknown name.
std::uint32_t TarnControl_CallCount(const char* operation);
std::uint32_t TarnControl_CallCountFor(const char* operation, std::uint32_t hModule);

// The first argument of the latest call of `operation` into *hModule. 0, or
// kStatusCcsBadRecord when there was no call since the last reset (or no such
// operation, or hModule is null).
std::int32_t TarnControl_LastModule(const char* operation, std::uint32_t* hModule);

// Non-zero while hModule is registered; the number of registered identifiers.
int TarnControl_IsRegistered(std::uint32_t hModule);
std::uint32_t TarnControl_RegisteredCount(void);

// Contexts and key objects alive, over every module: a test sees that each one a
// routine made was destroyed again.
std::uint32_t TarnControl_LiveContexts(void);
std::uint32_t TarnControl_LiveObjects(void);

// The next context or object handle the service tries to hand out; handles in
// use, 0 and -1 are skipped. Lets a test reach the end of the handle space.
void TarnControl_SetNextHandle(std::uint32_t handle);

// Forgets every pending failure and length and zeroes every count. Registrations,
// contexts, objects and the broker stay as they are.
void TarnControl_Reset(void);

}  // extern "C"
