// Expected answers for the tests, built straight from Nettle and libxcrypt.
// Nothing here may call the modules, the facade or the crypto service
// stand-in: an answer computed by the code under test would agree with its
// faults.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string_view>
#include <vector>

namespace wistra::reference {

using Bytes = std::vector<std::uint8_t>;

// The bytes of text, without a terminator.
Bytes Of(std::string_view text);
// The parts one after another.
Bytes Join(std::initializer_list<std::span<const std::uint8_t>> parts);
// Writes w little-endian into b[at..at+4), for the word fields of an answer record.
void PutLe32(Bytes& b, std::size_t at, std::uint32_t w);
// n bytes start, start + step, start + 2 * step, ... (modulo 256).
Bytes Pattern(std::size_t n, std::uint8_t start, std::uint8_t step);

// The SHA-1 digest of data (20 bytes).
Bytes Sha1(std::span<const std::uint8_t> data);
// The MD5 digest of data (16 bytes).
Bytes Md5(std::span<const std::uint8_t> data);
// The MD4 digest of data (16 bytes).
Bytes Md4(std::span<const std::uint8_t> data);

// The crypt text of password under salt, without a zero byte; empty when crypt refuses the salt.
Bytes CryptText(std::string_view password, std::string_view salt);
// The crypt text followed by its zero byte, as the modules send and store it; empty when refused.
Bytes CryptWithZero(std::string_view password, std::string_view salt);

// The stand-in's Galt hash: the first 16 bytes of SHA-1(salt ‖ password).
Bytes Galt(std::span<const std::uint8_t> salt, std::span<const std::uint8_t> password);
// The same for a password given as text.
Bytes Galt(std::span<const std::uint8_t> salt, std::string_view password);

// Seven bytes spread over the top seven bits of eight DES key bytes, parity set.
std::array<std::uint8_t, 8> DesKey(std::span<const std::uint8_t, 7> seven);
// DES of one 8-byte block under an 8-byte key; the key's parity bits do not count.
Bytes DesBlock(std::span<const std::uint8_t> key8, std::span<const std::uint8_t> block8);
// The 24-byte response to an 8-byte challenge: DES under the three 7-byte slices of the zero-padded 16-byte hash.
Bytes DesResponse(std::span<const std::uint8_t> hash16, std::span<const std::uint8_t> challenge8);
// The NT hash of an ASCII password: MD4 of its UTF-16LE form.
Bytes NtHash(std::string_view password);

}  // namespace wistra::reference
