// What each wrapper hands the service, word for word. The stand-in does not
// report arguments, so this test links a recording service of its own in its
// place: every operation notes the identifier and the words it received.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ccs/ccs.h"
#include "ccs/wrapper_cases.h"

namespace {

struct Received {
  std::string operation;
  std::uint32_t module = 0;
  std::vector<CCS_Word> words;
};
Received last;
std::uint32_t registered = 0;

std::int32_t Record(const char* operation, std::uint32_t module, std::vector<CCS_Word> words) {
  last = Received{operation, module, std::move(words)};
  return 0;
}

using ccs::test::AsWord;

}  // namespace

extern "C" {

std::int32_t CCSX_Register(std::uint32_t hModule) {
  registered = hModule;
  return 0;
}
std::int32_t CCSX_Goodbye(std::uint32_t) { return 0; }

std::int32_t CCSX_CreateContext(std::uint32_t m, std::uint32_t flags, std::uint32_t* context) {
  return Record("CCSX_CreateContext", m, {AsWord(flags), AsWord(context)});
}
std::int32_t CCSX_DestroyContext(std::uint32_t m, std::uint32_t context) {
  return Record("CCSX_DestroyContext", m, {AsWord(context)});
}
std::int32_t CCSX_DestroyObject(std::uint32_t m, std::uint32_t context, std::uint32_t object) {
  return Record("CCSX_DestroyObject", m, {AsWord(context), AsWord(object)});
}
std::int32_t CCSX_InjectKey(std::uint32_t m, std::uint32_t context, const KeyAttribute* keyTemplate,
                            std::uint32_t count, std::uint32_t* key) {
  return Record("CCSX_InjectKey", m, {AsWord(context), AsWord(keyTemplate), AsWord(count), AsWord(key)});
}
std::int32_t CCSX_DataEncryptInit(std::uint32_t m, std::uint32_t context, const AlgorithmSpec* algorithm,
                                  std::uint32_t key) {
  return Record("CCSX_DataEncryptInit", m, {AsWord(context), AsWord(algorithm), AsWord(key)});
}
std::int32_t CCSX_Encrypt(std::uint32_t m, std::uint32_t context, const std::uint8_t* input,
                          std::uint32_t inputLength, std::uint8_t* output, std::uint32_t* outputLength) {
  return Record("CCSX_Encrypt", m,
                {AsWord(context), AsWord(input), AsWord(inputLength), AsWord(output), AsWord(outputLength)});
}
std::int32_t CCSX_DigestInit(std::uint32_t m, std::uint32_t context, const AlgorithmSpec* algorithm) {
  return Record("CCSX_DigestInit", m, {AsWord(context), AsWord(algorithm)});
}
std::int32_t CCSX_Digest(std::uint32_t m, std::uint32_t context, const std::uint8_t* data, std::uint32_t dataLength,
                         std::uint8_t* output, std::uint32_t* outputLength) {
  return Record("CCSX_Digest", m,
                {AsWord(context), AsWord(data), AsWord(dataLength), AsWord(output), AsWord(outputLength)});
}
std::int32_t CCSX_DigestUpdate(std::uint32_t m, std::uint32_t context, const std::uint8_t* data,
                               std::uint32_t dataLength) {
  return Record("CCSX_DigestUpdate", m, {AsWord(context), AsWord(data), AsWord(dataLength)});
}
std::int32_t CCSX_DigestFinal(std::uint32_t m, std::uint32_t context, std::uint8_t* output,
                              std::uint32_t* outputLength) {
  return Record("CCSX_DigestFinal", m, {AsWord(context), AsWord(output), AsWord(outputLength)});
}
std::int32_t SSLX_CalcMAC(std::uint32_t m, CCS_Word w1, CCS_Word w2, CCS_Word w3, std::uint8_t w4, CCS_Word w5,
                          CCS_Word w6, CCS_Word w7) {
  return Record("SSLX_CalcMAC", m, {w1, w2, w3, AsWord(w4), w5, w6, w7});
}
#define CCS_OP(family, name, words)                                           \
  std::int32_t family##X_##name(std::uint32_t m, CCS_WORDS_##words) {         \
    return Record(#family "X_" #name, m, {CCS_ARGS_##words});                 \
  }
#include "ccs/ccs_ops.def"
#undef CCS_OP

}  // extern "C"

namespace {

// Distinct words; on a 64-bit build each has its upper half set too, so that a
// word cut to 32 bits on its way through shows.
CCS_Word Word(std::size_t i) {
  const CCS_Word low = 0x5A000000u | static_cast<CCS_Word>((i + 1) * 0x01010101u & 0x00FFFFFFu);
  if constexpr (sizeof(CCS_Word) > 4) return low | ((low << 16) << 16);
  return low;
}

TEST(WrapperWords, EveryWrapperPassesTheModuleFirstAndTheCallersWordsInOrder) {
  int caller = 0;
  ASSERT_EQ(CCS_Init(&caller), 0);
  CCS_Word words[10];
  for (std::size_t i = 0; i < 10; ++i) words[i] = Word(i);

  for (const auto& wrapper : ccs::test::AllWrappers()) {
    SCOPED_TRACE(wrapper.service);
    last = Received{};
    ASSERT_EQ(wrapper.call(words), 0);
    EXPECT_EQ(last.operation, wrapper.service);
    EXPECT_EQ(last.module, registered);
    EXPECT_EQ(last.words, wrapper.carried(words));
    EXPECT_EQ(last.words.size(), wrapper.words);
  }
  CCS_ShutdownAll();
}

TEST(WrapperWords, PassThroughWordsAndAddressesArriveWhole) {
  int caller = 0;
  ASSERT_EQ(CCS_Init(&caller), 0);
  // Ten words, the widest pass-through operation.
  ASSERT_EQ(CCS_KeyExchangePhase2(Word(0), Word(1), Word(2), Word(3), Word(4), Word(5), Word(6), Word(7), Word(8),
                                  Word(9)),
            0);
  ASSERT_EQ(last.words.size(), 10u);
  for (std::size_t i = 0; i < 10; ++i) EXPECT_EQ(last.words[i], Word(i)) << "word " << i + 1;

  std::uint32_t context = 0;
  ASSERT_EQ(CCS_CreateContext(0, &context), 0);
  EXPECT_EQ(last.words[1], reinterpret_cast<CCS_Word>(&context));
  CCS_ShutdownAll();
}

TEST(WrapperWords, CalcMacFourthArgumentArrivesAsAnUnsigned8BitValue) {
  int caller = 0;
  ASSERT_EQ(CCS_Init(&caller), 0);
  ASSERT_EQ(SSL_CalcMAC(1, 2, 3, 200, 5, 6, 7), 0);
  ASSERT_EQ(last.words.size(), 7u);
  EXPECT_EQ(last.words[3], CCS_Word{200});
  EXPECT_EQ(last.words[4], CCS_Word{5});
  CCS_ShutdownAll();
}

}  // namespace
