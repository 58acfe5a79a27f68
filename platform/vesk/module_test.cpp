// Loading modules as the framework does, the switches for the late-bound
// calls, and a whole exchange between two entries of the test module.
#include <gtest/gtest.h>

#include "method/status.h"
#include "platform/vesk/vesk.h"

namespace {

using vesk::Attempt;
using vesk::Module;
using vesk::Side;

class VeskModules : public testing::Test {
 protected:
  void TearDown() override { vesk::SetHostCalls(vesk::kNoHostCalls); }

  std::unique_ptr<Module> LoadTestModule() {
    std::string error;
    auto m = Module::Load(VESK_TEST_MODULE, &error);
    EXPECT_TRUE(m) << error;
    return m;
  }
};

TEST_F(VeskModules, LoadsBindsByNameAndUnloads) {
  std::string error;
  auto m = Module::Load(VESK_TEST_MODULE, &error);
  ASSERT_TRUE(m) << error;
  EXPECT_NE(m->Find("VTM_Client"), nullptr);
  EXPECT_NE(m->FindVersioned("VTM_Server", "VTM_1.0"), nullptr);
  EXPECT_EQ(m->FindVersioned("VTM_Server", "VTM_2.0"), nullptr);
  EXPECT_EQ(m->Find("Late"), nullptr) << "only the version script's names are exported";
  EXPECT_EQ(m->Warnings(), std::vector<std::string>{"vesk test module: loaded 1"});
  EXPECT_TRUE(m->Unload());
  EXPECT_EQ(m->Warnings().back(), "vesk test module: unloaded");
  EXPECT_TRUE(vesk::GlobalErrWarnLines().empty()) << "load and unload lines belong to the module";
}

TEST_F(VeskModules, AModuleNeedingACallTheHostLacksFailsAtLoad) {
  std::string error;
  EXPECT_FALSE(Module::Load(VESK_UNBOUND_MODULE, &error));
  EXPECT_NE(error.find("MAF_NoSuchCall"), std::string::npos) << error;
}

TEST_F(VeskModules, AHostCanLackAnyOfTheLateBoundCalls) {
  const vesk::HostCall calls[] = {vesk::kGetPassword, vesk::kSetPassword, vesk::kGetPELUPwdHash, vesk::kTrace,
                                  vesk::kTraceEnabled};
  std::vector<vesk::HostCallSet> sets = {vesk::kNoHostCalls, vesk::kAllHostCalls};
  for (vesk::HostCall c : calls) {
    sets.push_back(vesk::kAllHostCalls & ~c);
    sets.push_back(c);
  }
  for (vesk::HostCallSet set : sets) {
    SCOPED_TRACE(testing::Message() << "set " << set);
    std::string error;
    ASSERT_TRUE(vesk::SetHostCalls(set, &error)) << error;
    EXPECT_EQ(vesk::CurrentHostCalls(), set);
    auto m = LoadTestModule();
    ASSERT_TRUE(m);
    Attempt a;
    EXPECT_EQ(static_cast<vesk::HostCallSet>(m->Find("VTM_Probe")(a.Handle(Side::kServer))), set);
    m.reset();  // a fresh load for the next set: the module looks its calls up once
  }
}

TEST_F(VeskModules, TheLateBoundSetCannotChangeUnderALoadedModule) {
  ASSERT_TRUE(vesk::SetHostCalls(vesk::kTrace));
  auto m = LoadTestModule();
  std::string error;
  EXPECT_FALSE(vesk::SetHostCalls(vesk::kAllHostCalls, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_TRUE(vesk::SetHostCalls(vesk::kTrace)) << "asking for the set in force is no change";
  m->Unload();
  EXPECT_TRUE(vesk::SetHostCalls(vesk::kAllHostCalls, &error)) << error;
}

TEST_F(VeskModules, ClientAndServerEntriesRunAWholeExchange) {
  ASSERT_TRUE(vesk::SetHostCalls(vesk::kAllHostCalls));
  auto m = LoadTestModule();
  ASSERT_TRUE(m);
  struct Case {
    const char* typed;
    const char* stored;
    std::int32_t client;
    std::int32_t server_outcome;
  };
  const Case cases[] = {{"secret", "secret", 0, 0},
                        {"secret", "secreT", wistra::kStatusLoginFailed, wistra::kStatusLoginFailed},
                        {"", "", 0, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.typed << " against " << c.stored);
    Attempt a;
    a.SetTypedPassword(c.typed);
    a.SetPasswordValue(c.stored);
    const vesk::PairResult r = vesk::RunPair(a, m->Find("VTM_Client"), m->Find("VTM_Server"));
    EXPECT_EQ(r.client, std::optional<std::int32_t>(c.client));
    EXPECT_EQ(r.server, std::optional<std::int32_t>(0));
    EXPECT_EQ(a.EndOutcomes(Side::kClient), std::vector<std::int32_t>{c.client});
    EXPECT_EQ(a.EndOutcomes(Side::kServer), std::vector<std::int32_t>{c.server_outcome});
    const auto t = a.Transcript();
    ASSERT_EQ(t.size(), c.client == 0 ? 5u : 4u);
    if (c.client == 0) {
      EXPECT_EQ(t.back().via, vesk::Via::kX);
    }
    EXPECT_EQ(a.Allocs().outstanding, 0u);
    EXPECT_EQ(a.Allocs().calls, 2u) << "one buffer on each side, both counted to the attempt";
    EXPECT_EQ(a.TraceLines(Side::kServer), std::vector<std::string>{"VTM server: started"});
    EXPECT_EQ(a.TraceLines(Side::kClient).size(), 2u);
  }
}

TEST_F(VeskModules, TraceEnabledIsAnsweredPerAttempt) {
  ASSERT_TRUE(vesk::SetHostCalls(vesk::kAllHostCalls));
  auto m = LoadTestModule();
  ASSERT_TRUE(m);
  Attempt quiet;
  quiet.SetTraceEnabled(false);
  quiet.SetTypedPasswordAbsent(wistra::kStatusNoSuchAttribute);
  vesk::Peer server = quiet.Play(Side::kServer);
  vesk::EntryThread client(quiet, Side::kClient, m->Find("VTM_Client"));
  EXPECT_EQ(client.Join(), wistra::kStatusNoSuchAttribute);
  EXPECT_EQ(quiet.TraceLines(Side::kClient), std::vector<std::string>{"VTM client: started"})
      << "with tracing off only the unconditional line is written";
}

TEST_F(VeskModules, BeginFailureEndsTheEntryWithoutMafEnd) {
  ASSERT_TRUE(vesk::SetHostCalls(vesk::kAllHostCalls));
  auto m = LoadTestModule();
  ASSERT_TRUE(m);
  Attempt a;
  a.FailBegin(-1234);
  vesk::Peer client = a.Play(Side::kClient);
  vesk::EntryThread server(a, Side::kServer, m->Find("VTM_Server"));
  EXPECT_EQ(server.Join(), -1234);
  EXPECT_TRUE(a.EndOutcomes(Side::kServer).empty());
  EXPECT_EQ(a.Allocs().outstanding, 0u);
}

}  // namespace
