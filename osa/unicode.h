// Lengths of zero-terminated strings of 16-bit units.
#pragma once
#include <cstdint>

extern "C" {
// Bytes up to and including the terminating zero unit; 0 for null.
std::int32_t OSA_UnicodeSize(const std::uint16_t* s);
// Units before the terminating zero unit; 0 for null.
std::int32_t OSA_UnicodeLength(const std::uint16_t* s);
}
