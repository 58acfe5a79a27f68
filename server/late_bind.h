// The three framework calls that a host may lack. Each is looked up on its
// first use, once per load of the module, and a failed lookup is never retried.
#pragma once
#include <cstdint>

#include "method/maf.h"

// The framework's status, or -1636 when the host has no MAF_SetPassword.
std::int32_t WISTRA_MAF_SetPassword(mafHandle handle, std::uint32_t units, const std::uint16_t* text,
                                    std::uint32_t flags);
// The framework's status, or -1636 when the host has no MAF_GetPassword.
std::int32_t WISTRA_MAF_GetPassword(mafHandle handle, std::uint32_t* length, std::uint16_t* buffer,
                                    std::uint32_t* flags, std::uint32_t reserved1, std::uint32_t reserved2);
// The framework's status, or -1636 when the host has no MAF_GetPELUPwdHash.
std::int32_t WISTRA_MAF_GetPELUPwdHash(mafHandle handle, std::uint8_t* salt, std::uint32_t* length,
                                       std::uint8_t* buffer, std::uint32_t reserved1, std::uint32_t reserved2);
