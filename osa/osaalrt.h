// Alert messages: straight to standard output, whatever the log's switches.
#pragma once
#include <cstdint>

extern "C" {
// Writes message and a newline to standard output; always 0.
std::int32_t OSA_WriteAlertMessage(std::int32_t unused1, std::int32_t unused2, std::int32_t unused3,
                                   const char* message);
}
