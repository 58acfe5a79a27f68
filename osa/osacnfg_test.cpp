#include "osa/osacnfg.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "osa/osaname.h"
#include "osa/osatest_support.h"

namespace {

std::string Uid() { return std::to_string(static_cast<long>(getuid())); }

class OsaCfgStore : public ::testing::Test {
 protected:
  void SetUp() override {
    sys = env.dir.File("sys");
    users = env.dir.File("users");
    user = users + "/" + Uid() + "/";
    ASSERT_EQ(mkdir(sys.c_str(), 0700), 0);
    ASSERT_EQ(mkdir(users.c_str(), 0700), 0);
    ASSERT_EQ(mkdir(user.c_str(), 0700), 0);
  }
  void Configure(const std::string& extra = "") {
    env.Config("Trace:b:1:01\nTraceFile:s:0:" + env.dir.File("t.log") + "\nConfigDirectory:s:0:" + sys +
               "\nUserDirectoryRoot:s:0:" + users + "\n" + extra);
  }
  static std::string Name(std::uint32_t entry) {
    const std::int32_t size = _OSA_GetCfgName(entry, nullptr);
    if (size == 0) return "<none>";
    std::string s(static_cast<std::size_t>(size), '*');
    char* p = s.data();
    EXPECT_EQ(_OSA_GetCfgName(entry, &p), size);
    EXPECT_EQ(s.back(), '\0');
    s.pop_back();
    return s;
  }
  // The messages of the log, without their time stamps.
  std::vector<std::string> Trace() const {
    std::vector<std::string> lines;
    std::istringstream in(env.dir.Read("t.log"));
    for (std::string line; std::getline(in, line);) {
      const std::string prefix = " OSA/TARN:";
      lines.push_back(line.size() > 24 + prefix.size() ? line.substr(24 + prefix.size()) : line);
    }
    return lines;
  }

  osa::test::ConfigEnv env;
  std::string sys, users, user;
};

TEST_F(OsaCfgStore, PathsOfEveryEntry) {
  Configure();
  ASSERT_EQ(OSA_cfg_Init(), 0);
  const std::pair<std::uint32_t, std::string> cases[] = {
      {0, sys},
      {1, user},
      {2, sys + "/tarnfk"},
      {3, sys + "/xmgrcfg.nif"},
      {4, user + "xmgrcfg.ks2"},
      {5, sys + "/xarchive.000"},
      {6, user + "xarchive.001"},
      {7, sys + "/xmgrcfg.ks0"},
      {8, sys + "/xmgrcfg.ks1"},
      {9, sys + "/xmgrseed.inf"},
      {10, sys + "/xmgrcfg.inf"},
      {11, sys + "/xmgrcfg.wks"},
      {12, user + "tarnsdi.key"},
      {13, user + "xmgrcfg.ks3"},
      {14, "<none>"},
      {UINT_MAX, "<none>"},
  };
  for (const auto& [entry, path] : cases) {
    SCOPED_TRACE(entry);
    EXPECT_EQ(Name(entry), path);
  }
}

TEST_F(OsaCfgStore, UserDirectoryUnderTheSystemDirectoryWithoutARoot) {
  env.Config("ConfigDirectory:s:0:/var/lib/keys\n");
  ASSERT_EQ(OSA_cfg_Init(), 0);
  EXPECT_EQ(Name(13), "/var/lib/keys/" + Uid() + "/xmgrcfg.ks3");
  EXPECT_EQ(Name(7), "/var/lib/keys/xmgrcfg.ks0");
  EXPECT_EQ(_OSA_GetCfgName(7, nullptr), 26);
}

// The user directory is fixed by the first request that needs it, even when
// the directories are read only afterwards.
TEST_F(OsaCfgStore, UserEntryBeforeInitStaysAsItWas) {
  Configure();
  EXPECT_EQ(Name(12), "/" + Uid() + "/tarnsdi.key");
  ASSERT_EQ(OSA_cfg_Init(), 0);
  EXPECT_EQ(Name(1), "/" + Uid() + "/");
  EXPECT_EQ(Name(12), "/" + Uid() + "/tarnsdi.key");
  EXPECT_EQ(Name(2), sys + "/tarnfk");
}

TEST_F(OsaCfgStore, InitWithoutTheSystemDirectory) {
  env.Config("UserDirectoryRoot:s:0:/home/keys\n");
  EXPECT_EQ(OSA_cfg_Init(), -14);
  EXPECT_EQ(OSA_cfg_Shutdown(), 0);
}

TEST_F(OsaCfgStore, StatusReportsTheEntry) {
  Configure();
  ASSERT_EQ(OSA_cfg_Init(), 0);
  env.dir.Write("sys/xmgrcfg.ks0", "12345");
  const std::string path = sys + "/xmgrcfg.ks0";
  const auto pathSize = static_cast<std::int32_t>(path.size() + 1);

  std::int32_t exists = -1, size = -1, nameSize = -1;
  char buf[300];
  std::memset(buf, '*', sizeof buf);
  EXPECT_EQ(OSA_cfg_Status(nullptr, 7, &exists, &size, nullptr, sizeof buf, buf, &nameSize), 0);
  EXPECT_EQ(exists, 1);
  EXPECT_EQ(size, 5);
  EXPECT_STREQ(buf, path.c_str());
  EXPECT_EQ(nameSize, pathSize);

  std::memset(buf, '*', sizeof buf);
  EXPECT_EQ(OSA_cfg_Status(nullptr, 8, &exists, &size, nullptr, 5, buf, &nameSize), 0);
  EXPECT_EQ(exists, 0);
  EXPECT_EQ(size, 0);
  EXPECT_EQ(std::string(buf, 6), path.substr(0, 5) + "*");  // five characters, no terminator
  EXPECT_EQ(nameSize, pathSize);

  EXPECT_EQ(OSA_cfg_Status(nullptr, 7, nullptr, nullptr, nullptr, 0, nullptr, nullptr), 0);
  EXPECT_EQ(OSA_cfg_Status(nullptr, 14, &exists, &size, nullptr, sizeof buf, buf, &nameSize), 2);
  EXPECT_EQ(OSA_cfg_Status(nullptr, -1, &exists, &size, nullptr, sizeof buf, buf, &nameSize), 2);
}

TEST_F(OsaCfgStore, OpenCreatesReadsAndWrites) {
  Configure();
  ASSERT_EQ(OSA_cfg_Init(), 0);
  OSA_CfgHandle* h = nullptr;
  ASSERT_EQ(OSA_cfg_Open(nullptr, 12, 0, &h), 0);
  ASSERT_EQ(CheckCfPtr(h), 0);
  EXPECT_TRUE(env.dir.Exists("users/" + Uid() + "/tarnsdi.key"));
  EXPECT_STREQ(h->name, (user + "tarnsdi.key").c_str());
  EXPECT_EQ(h->nameSize, static_cast<std::int32_t>(user.size() + 12));

  char buf[16] = {};
  std::int32_t got = -1, put = -1;
  EXPECT_EQ(OSA_cfg_Read(h, 0, sizeof buf, buf, &got), 0);
  EXPECT_EQ(got, 0);
  EXPECT_EQ(OSA_cfg_Write(h, 2, 3, "key", &put), 0);
  EXPECT_EQ(put, 3);
  EXPECT_EQ(OSA_cfg_Read(h, 2, sizeof buf, buf, &got), 0);
  EXPECT_EQ(std::string(buf, static_cast<std::size_t>(got)), "key");
  EXPECT_EQ(OSA_cfg_Close(h), 0);
  EXPECT_EQ(env.dir.Read("users/" + Uid() + "/tarnsdi.key"), std::string("\0\0key", 5));

  // With a null out the open only makes sure the file exists.
  EXPECT_EQ(OSA_cfg_Open(nullptr, 3, OSA_FILE_READONLY, nullptr), 0);
  EXPECT_TRUE(env.dir.Exists("sys/xmgrcfg.nif"));
  // The create flag empties an existing file.
  ASSERT_EQ(OSA_cfg_Open(nullptr, 12, OSA_FILE_CREATE, &h), 0);
  EXPECT_EQ(OSA_cfg_Close(h), 0);
  EXPECT_EQ(env.dir.Read("users/" + Uid() + "/tarnsdi.key"), "");
}

TEST_F(OsaCfgStore, OpenFailures) {
  Configure();
  ASSERT_EQ(OSA_cfg_Init(), 0);
  OSA_CfgHandle* h = reinterpret_cast<OSA_CfgHandle*>(this);
  EXPECT_EQ(OSA_cfg_Open(nullptr, 14, 0, &h), 2);
  ASSERT_EQ(rmdir(user.c_str()), 0);  // the user directory is gone: the file cannot be made
  h = reinterpret_cast<OSA_CfgHandle*>(this);
  EXPECT_EQ(OSA_cfg_Open(nullptr, 13, 0, &h), -1);
  EXPECT_EQ(h, nullptr);
}

TEST_F(OsaCfgStore, HandleChecks) {
  Configure();
  ASSERT_EQ(OSA_cfg_Init(), 0);
  OSA_CfgHandle* h = nullptr;
  ASSERT_EQ(OSA_cfg_Open(nullptr, 7, 0, &h), 0);
  OSA_CfgHandle copy = *h;
  OSA_CfgHandle wrongCheck = *h;
  wrongCheck.self = &wrongCheck;
  wrongCheck.check = 533;
  char buf[4];
  std::int32_t n = 0;
  struct Case {
    const char* label;
    OSA_CfgHandle* handle;
    std::int32_t want;
  };
  const Case cases[] = {{"null", nullptr, 2}, {"copy elsewhere", &copy, 3}, {"check value", &wrongCheck, 4}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(CheckCfPtr(c.handle), c.want);
    EXPECT_EQ(OSA_cfg_Read(c.handle, 0, 4, buf, &n), c.want);
    EXPECT_EQ(OSA_cfg_Write(c.handle, 0, 4, "abcd", &n), c.want);
    EXPECT_EQ(OSA_cfg_Close(c.handle), c.want);
  }
  EXPECT_EQ(OSA_cfg_Close(h), 0);
}

// An open read-write handle holds its file's exclusive lock until it is closed.
TEST_F(OsaCfgStore, OpenHandleMakesOtherOpenersWait) {
  Configure();
  ASSERT_EQ(OSA_cfg_Init(), 0);
  ASSERT_EQ(OSA_openlog("OSA/TARN:", 0, 0), 0);  // the first message must not race the opening
  OSA_CfgHandle* h = nullptr;
  ASSERT_EQ(OSA_cfg_Open(nullptr, 9, 0, &h), 0);
  osa::test::BlockingCall other([] {
    OSA_CfgHandle* mine = nullptr;
    const std::int32_t rc = OSA_cfg_Open(nullptr, 9, OSA_FILE_READONLY, &mine);
    if (rc == 0) OSA_cfg_Close(mine);
    return rc;
  });
  EXPECT_TRUE(other.Blocked());
  EXPECT_EQ(OSA_cfg_Close(h), 0);
  EXPECT_EQ(other.Join(), 0);
}

TEST_F(OsaCfgStore, ClassReportsTheKeyFiles) {
  Configure();
  ASSERT_EQ(OSA_cfg_Init(), 0);
  struct Case {
    const char* label;
    bool systemFile, userFile;
    std::int32_t kind;
  };
  const Case cases[] = {
      {"neither", false, false, -1}, {"user file only", false, true, -1},
      {"system file only", true, false, 0}, {"both", true, true, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    std::remove((sys + "/tarnfk").c_str());
    std::remove((user + "tarnsdi.key").c_str());
    if (c.systemFile) env.dir.Write("sys/tarnfk", "");
    if (c.userFile) env.dir.Write("users/" + Uid() + "/tarnsdi.key", "");
    std::int32_t kind = 99, flags = 99, nameLen = -1;
    char buf[32];
    std::memset(buf, '*', sizeof buf);
    EXPECT_EQ(OSA_cfg_Class(nullptr, &kind, &flags, sizeof buf, buf, &nameLen), 0);
    EXPECT_EQ(kind, c.kind);
    EXPECT_EQ(flags, 0);
    EXPECT_EQ(nameLen, static_cast<std::int32_t>(Uid().size()));
    EXPECT_STREQ(buf, Uid().c_str());
  }
  char small[2] = {'*', '*'};
  std::int32_t kind = 0, flags = 0, nameLen = 0;
  EXPECT_EQ(OSA_cfg_Class(nullptr, &kind, &flags, 1, small, &nameLen), 0);
  EXPECT_EQ(small[0], Uid()[0]);
  EXPECT_EQ(small[1], '*');  // only bufLen characters when the number does not fit
}

TEST_F(OsaCfgStore, Delete) {
  Configure();
  ASSERT_EQ(OSA_cfg_Init(), 0);
  EXPECT_EQ(OSA_cfg_Delete(5), -1);
  env.dir.Write("sys/xarchive.000", "x");
  EXPECT_EQ(OSA_cfg_Delete(5), 0);
  EXPECT_FALSE(env.dir.Exists("sys/xarchive.000"));
  EXPECT_EQ(OSA_cfg_Delete(14), 2);
}

TEST_F(OsaCfgStore, CreateRunsTheUserDirectoryCommand) {
  Configure();
  ASSERT_EQ(OSA_cfg_Init(), 0);
  EXPECT_EQ(OSA_cfg_Create(), 0);  // no "MkUserDir": still 0
  Configure("MkUserDir:s:0:mkdir " + env.dir.File("made") + "\n");
  EXPECT_EQ(OSA_cfg_Create(), 0);
  EXPECT_TRUE(env.dir.Exists("made"));
  EXPECT_EQ(Trace().back(), "OSA_cfg_Create: " + user);
}

TEST_F(OsaCfgStore, EveryOperationIsTraced) {
  Configure();
  OSA_CfgHandle* h = nullptr;
  std::int32_t n = 0;
  char buf[4];
  ASSERT_EQ(OSA_cfg_Init(), 0);
  ASSERT_EQ(OSA_cfg_Open(nullptr, 4, 0, &h), 0);
  OSA_cfg_Write(h, 0, 1, "x", &n);
  OSA_cfg_Read(h, 0, 1, buf, &n);
  OSA_cfg_Close(h);
  OSA_cfg_Open(nullptr, 2, 0, nullptr);
  OSA_cfg_Status(nullptr, 14, nullptr, nullptr, nullptr, 0, nullptr, nullptr);
  OSA_cfg_Close(nullptr);  // a failing call is traced too
  OSA_cfg_Delete(3);
  _OSA_GetUserName();
  OSA_cfg_Shutdown();
  const std::vector<std::string> want = {
      "OSA_cfg_Init",
      "OSA_cfg_Open",
      "_OSA_GetUserName:" + Uid(),
      "OSA_cfg_Open:handle->Name=" + user + "xmgrcfg.ks2",
      "OSA_cfg_Write",
      "OSA_cfg_Read",
      "OSA_cfg_Cloe",
      "OSA_cfg_Open",
      "OSA_cfg_Open:handle->Name=" + sys + "/tarnfk",
      "OSA_cfg_Cloe",
      "OSA_cfg_Status",
      "OSA_cfg_Cloe",
      "OSA_cfg_Delete",
      "_OSA_GetUserName:" + Uid(),
      "OSA_cfg_Shutdown",
  };
  EXPECT_EQ(Trace(), want);
}

}  // namespace
