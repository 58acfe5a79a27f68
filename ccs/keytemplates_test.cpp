// The three key templates: each entry once, in its user's order, and all three
// making the same DES key in the crypto service stand-in.
#include "ccs/keytemplates.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "ccs/ccs.h"
#include "ccs/scoped.h"
#include "platform/tarn/tarn_control.h"

namespace {

struct TemplateCase {
  const char* name;
  const ccs::DesKeyTemplate* keyTemplate;
  std::vector<std::uint32_t> types;  // the entry types in order
  std::uint32_t flags;
};

const TemplateCase kTemplates[] = {
    {"MS-CHAP response", &ccs::kMsChapKeyTemplate,
     {ccs::ATTR_KEY_VALUE, ccs::ATTR_KEY_BITS, ccs::ATTR_ALGORITHM, ccs::ATTR_KEY_FLAGS, 7, 21}, 0x10000},
    {"CIFS-style response", &ccs::kCifsKeyTemplate,
     {ccs::ATTR_KEY_FLAGS, 21, ccs::ATTR_KEY_BITS, ccs::ATTR_ALGORITHM, ccs::ATTR_KEY_VALUE, 7}, 0x1110000},
    {"AFP exchange", &ccs::kAfpKeyTemplate,
     {ccs::ATTR_KEY_BITS, ccs::ATTR_KEY_VALUE, 21, ccs::ATTR_KEY_FLAGS, 7, ccs::ATTR_ALGORITHM}, 0x10000},
};

TEST(KeyTemplates, EntriesComeInTheirUsersOrderWithTheirValues) {
  const std::uint8_t key[ccs::kDesKeySize] = {1, 2, 3, 4, 5, 6, 7, 8};
  for (const auto& c : kTemplates) {
    SCOPED_TRACE(c.name);
    KeyAttribute entries[ccs::kKeyTemplateEntries];
    ccs::BuildDesKeyTemplate(*c.keyTemplate, key, entries);
    for (std::size_t i = 0; i < ccs::kKeyTemplateEntries; ++i) {
      SCOPED_TRACE(i);
      const KeyAttribute& e = entries[i];
      EXPECT_EQ(e.type, c.types[i]);
      EXPECT_EQ(e.reserved, 0u);
      switch (e.type) {
        case ccs::ATTR_KEY_VALUE:
          EXPECT_EQ(e.value1, reinterpret_cast<std::uintptr_t>(key));
          EXPECT_EQ(e.value2, 8u);
          break;
        case ccs::ATTR_ALGORITHM:
          EXPECT_EQ(e.value1, reinterpret_cast<std::uintptr_t>(ccs::ALG_DES));
          EXPECT_EQ(e.value2, sizeof(ccs::ALG_DES));
          break;
        case ccs::ATTR_KEY_BITS: EXPECT_EQ(e.value2, 56u); break;
        case ccs::ATTR_KEY_FLAGS: EXPECT_EQ(e.value2, c.flags); break;
        case 7: EXPECT_EQ(e.value2, 3u); break;
        case 21: EXPECT_EQ(e.value2, 1u); break;
      }
      if ((e.type & ccs::kAttrBytesBit) == 0) {
        EXPECT_EQ(e.value1, 1u);
      }
    }
  }
}

TEST(KeyTemplates, AllThreeMakeTheSameDesKey) {
  CCS_ShutdownAll();
  int caller = 0;
  ASSERT_EQ(CCS_Init(&caller), 0);
  const std::uint8_t key[ccs::kDesKeySize] = {0x13, 0x34, 0x57, 0x79, 0x9B, 0xBC, 0xDF, 0xF1};
  const std::uint8_t block[ccs::kDesBlockSize] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
  // The classic worked example of DES: this key and block give 85e813540f0ab405.
  const std::vector<std::uint8_t> expected = {0x85, 0xE8, 0x13, 0x54, 0x0F, 0x0A, 0xB4, 0x05};
  for (const auto& c : kTemplates) {
    SCOPED_TRACE(c.name);
    KeyAttribute entries[ccs::kKeyTemplateEntries];
    ccs::BuildDesKeyTemplate(*c.keyTemplate, key, entries);
    ccs::ScopedContext context;
    ASSERT_EQ(context.Create(), 0);
    ccs::ScopedKey desKey(context);
    ASSERT_EQ(desKey.Inject(entries, ccs::kKeyTemplateEntries), 0);
    const std::uint8_t iv[ccs::kDesBlockSize] = {};
    ParamBlock params;
    const AlgorithmSpec des = ccs::AlgorithmWithParameter(ccs::ALG_DES, &params, ccs::ATTR_IV, iv, sizeof iv);
    ASSERT_EQ(CCS_DataEncryptInit(context.get(), &des, desKey.get()), 0);
    std::vector<std::uint8_t> out(ccs::kDesBlockSize);
    std::uint32_t length = static_cast<std::uint32_t>(out.size());
    ASSERT_EQ(CCS_Encrypt(context.get(), block, sizeof block, out.data(), &length), 0);
    EXPECT_EQ(length, 8u);
    EXPECT_EQ(out, expected);
  }
  CCS_ShutdownAll();
}

}  // namespace
