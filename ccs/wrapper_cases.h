// Test helper: every forwarding wrapper as one row (the service operation it
// reaches, its word count, a way to call it with chosen words), built from the
// same operation table as the wrappers, so that no wrapper escapes a test.
#pragma once
#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>
#include <vector>

#include "ccs/ccs.h"

namespace ccs::test {

// A caller's word as the parameter type P of a wrapper.
template <typename P>
P AsParameter(CCS_Word word) {
  if constexpr (std::is_pointer_v<P>) {
    return reinterpret_cast<P>(word);
  } else {
    return static_cast<P>(word);
  }
}

// What a parameter of type P carries to the service, as a word.
template <typename P>
CCS_Word AsWord(P value) {
  if constexpr (std::is_pointer_v<P>) {
    return reinterpret_cast<CCS_Word>(value);
  } else {
    return static_cast<CCS_Word>(value);
  }
}

struct WrapperCase {
  const char* service;  // the operation the wrapper forwards to
  std::size_t words;
  std::int32_t (*call)(const CCS_Word* words);
  // The words as the wrapper's parameters carry them (a 32-bit handle cut to 32 bits).
  std::vector<CCS_Word> (*carried)(const CCS_Word* words);
};

template <typename... P, std::size_t... I>
std::int32_t CallWith(std::int32_t (*wrapper)(P...), const CCS_Word* words, std::index_sequence<I...>) {
  return wrapper(AsParameter<P>(words[I])...);
}

template <typename... P, std::size_t... I>
std::vector<CCS_Word> Carried(std::int32_t (*)(P...), const CCS_Word* words, std::index_sequence<I...>) {
  return {AsWord<P>(AsParameter<P>(words[I]))...};
}

template <typename... P>
constexpr std::size_t Arity(std::int32_t (*)(P...)) {
  return sizeof...(P);
}

template <auto Wrapper>
WrapperCase MakeCase(const char* service) {
  constexpr std::size_t n = Arity(Wrapper);
  return WrapperCase{
      service, n, [](const CCS_Word* w) { return CallWith(Wrapper, w, std::make_index_sequence<n>{}); },
      [](const CCS_Word* w) { return Carried(Wrapper, w, std::make_index_sequence<n>{}); }};
}

inline std::vector<WrapperCase> AllWrappers() {
  std::vector<WrapperCase> cases = {
      MakeCase<&CCS_CreateContext>("CCSX_CreateContext"),
      MakeCase<&CCS_DestroyContext>("CCSX_DestroyContext"),
      MakeCase<&CCS_DestroyObject>("CCSX_DestroyObject"),
      MakeCase<&CCS_InjectKey>("CCSX_InjectKey"),
      MakeCase<&CCS_DataEncryptInit>("CCSX_DataEncryptInit"),
      MakeCase<&CCS_Encrypt>("CCSX_Encrypt"),
      MakeCase<&CCS_DigestInit>("CCSX_DigestInit"),
      MakeCase<&CCS_Digest>("CCSX_Digest"),
      MakeCase<&CCS_DigestUpdate>("CCSX_DigestUpdate"),
      MakeCase<&CCS_DigestFinal>("CCSX_DigestFinal"),
      MakeCase<&SSL_CalcMAC>("SSLX_CalcMAC"),
#define CCS_OP(family, name, words) MakeCase<&family##_##name>(#family "X_" #name),
#include "ccs/ccs_ops.def"
#undef CCS_OP
  };
  return cases;
}

}  // namespace ccs::test
