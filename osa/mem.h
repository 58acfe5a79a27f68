// Byte-memory helpers of the layer.
#pragma once
#include <cstdint>

extern "C" {
// Fills n bytes with the low 8 bits of value; returns buf.
void* OSA_memset(void* buf, std::int32_t value, std::int32_t n);
// Copies n bytes between regions that do not overlap; returns dst.
void* OSA_memcpy(void* dst, const void* src, std::int32_t n);
// The first of n bytes equal to the low 8 bits of value, or null.
void* OSA_memchr(const void* data, std::int32_t value, std::int32_t n);
// 0, or the first differing byte of a minus that of b (as unsigned bytes).
std::int32_t OSA_memcmp(const void* a, const void* b, std::int32_t n);
// Copies n bytes, overlapping or not; returns dst.
void* OSA_memmove(void* dst, const void* src, std::int32_t n);
}
