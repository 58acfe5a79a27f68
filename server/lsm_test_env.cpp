#include "server/lsm_test_env.h"

#include "platform/tarn/tarn_control.h"

namespace lsm_test {

Bytes StoredValue(std::int8_t type, std::span<const std::uint8_t> data) {
  const Bytes head{static_cast<std::uint8_t>(type)};
  const Bytes trailing{0xEE};  // never part of the secret
  return Join({head, data, trailing});
}

Bytes StoredText(std::int8_t type, std::string_view text) {
  const Bytes head{static_cast<std::uint8_t>(type)};
  return Join({head, Of(text)});
}

void LsmTest::SetUp() { Reload(HostCalls()); }

void LsmTest::TearDown() {
  if (module_) {
    EXPECT_TRUE(module_->Unload());
    module_.reset();
  }
  TarnControl_Reset();
}

void LsmTest::Reload(vesk::HostCallSet calls) {
  if (module_) {
    ASSERT_TRUE(module_->Unload());
    module_.reset();
  }
  std::string error;
  ASSERT_TRUE(vesk::SetHostCalls(calls, &error)) << error;
  module_ = vesk::Module::Load(PWDLSM_PATH, &error);
  ASSERT_TRUE(module_) << error;
  entry_ = module_->FindVersioned("LSM00000009", "SHA1_VERSION_1.0.0");
  ASSERT_NE(entry_, nullptr);
  EXPECT_TRUE(module_->Warnings().empty());
}

::testing::AssertionResult LsmTest::Open(vesk::Peer& client, Offer* offer, std::uint32_t version) {
  client.Send(vesk::Le32s({wistra::PROTOCOL_MARKER, 0}));
  client.Send(vesk::Le32(version));
  vesk::Bytes record;
  if (auto r = vesk::ExpectLength(client, wistra::kPwdInfoSize, &record); !r) return r;
  offer->record = wistra::DecodePwdInfo(record);
  offer->extra.clear();
  if (offer->record.status == 1 && offer->record.extraLen != 0) {
    if (auto r = vesk::ExpectLength(client, offer->record.extraLen, &offer->extra); !r) return r;
  }
  return ::testing::AssertionSuccess();
}

void LsmTest::Answer(vesk::Peer& client, std::int32_t type, std::uint32_t flags,
                     std::span<const std::uint8_t> answer) {
  client.Send(vesk::Le32s({static_cast<std::uint32_t>(type), flags}));
  client.Send(answer);
}

std::optional<std::uint32_t> LsmTest::Verdict(vesk::Peer& client) {
  vesk::Bytes word;
  if (!vesk::ExpectLength(client, wistra::kWordMessageSize, &word)) return std::nullopt;
  return wistra::LoadU32Padded(word);
}

std::optional<std::uint32_t> LsmTest::DirectVerdict(vesk::Attempt& attempt, std::int32_t type,
                                                    std::span<const std::uint8_t> answer) {
  Session run(*this, attempt);
  Answer(run.client, type, 0, answer);
  const std::optional<std::uint32_t> verdict = Verdict(run.client);
  EXPECT_EQ(run.server.Join(), 0);
  return verdict;
}

std::vector<std::string> LsmTest::LinesWith(const vesk::Attempt& attempt, std::string_view prefix) {
  std::vector<std::string> out;
  for (const std::string& line : attempt.TraceLines(Side::kServer)) {
    if (line.rfind(prefix, 0) == 0) out.push_back(line);
  }
  return out;
}

}  // namespace lsm_test
