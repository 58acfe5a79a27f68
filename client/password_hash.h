// The client's answers to the server's hash requests, computed from the typed
// password through the crypto facade.
#pragma once
#include <cstdint>

namespace wistra {

// Size of the work buffers that join a password or a Galt hash with the server's
// extra data; input that would not fit is refused, never cut.
inline constexpr std::uint32_t kHashWorkBufferSize = 256;

// The answer for HASH_SHA1, HASH_MD5, HASH_CRYPT or HASH_SALTED_SHA1 into out.
// *outLength is out's capacity on entry and the answer's length on return; on
// success *answerType receives the id of the answer made. 0; -1636 for any other
// id (HASH_GALT included: rimoGALTHashPassword makes that one); -1643 for a crypt
// request without 2 salt bytes, a missing pointer, or a password and extra data
// that do not fit the work buffer; or the crypto service's status.
std::int32_t hashPassword(std::int32_t hashId, std::uint32_t extraLength, const std::uint8_t* extra,
                          const std::uint8_t* password, std::uint32_t passwordLength, std::uint8_t* out,
                          std::uint32_t* outLength, std::int32_t* answerType);

// The HASH_GALT answer: SHA-1 over the salted Galt hash of the password followed
// by the extra data after its 4-byte salt. Same conventions as hashPassword;
// -1643 when the extra data holds no 4-byte salt or the joined input would not
// fit the work buffer.
std::int32_t rimoGALTHashPassword(std::uint32_t extraLength, const std::uint8_t* extra, const std::uint8_t* password,
                                  std::uint32_t passwordLength, std::uint8_t* out, std::uint32_t* outLength,
                                  std::int32_t* answerType);

// Upper-cases a zero-terminated byte string in place with the platform's toupper.
void my_strupr(char* text);

}  // namespace wistra
