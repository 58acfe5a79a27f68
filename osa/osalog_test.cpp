#include "osa/osalog.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "osa/osaalrt.h"
#include "osa/osactx.h"
#include "osa/osatest_support.h"

namespace {

std::int64_t fixedSeconds = 0;
void FixedClock(std::int64_t* seconds, std::int64_t* micros) {
  *seconds = fixedSeconds;
  *micros = 999999;
}

constexpr const char* kEpoch = "Thu Jan  1 00:00:00 1970";

class OsaLog : public ::testing::Test {
 protected:
  void SetUp() override {
    fixedSeconds = 0;
    osa::testing::SetWallClock(&FixedClock);
  }
  void TearDown() override { osa::testing::SetWallClock(nullptr); }

  // Tracing on, messages to t.log in the test's folder.
  void TraceTo(const std::string& file) { env.Config("Trace:b:1:01\nTraceFile:s:0:" + file + "\n"); }
  std::string Log() const { return env.dir.Read("t.log"); }

  osa::test::ConfigEnv env;
};

TEST_F(OsaLog, FormatsOneValueSlotPerConversion) {
  TraceTo(env.dir.File("t.log"));
  const std::string zeros24(24, '0'), zeros25(25, '0');
  const std::string exact27 = "%" + zeros24 + "5d|\n";  // 27 characters from % to d
  const std::string over27 = "%" + zeros25 + "5d|%s\n";
  struct Case {
    const char* label;
    std::function<void()> log;
    std::string message;
  };
  const Case cases[] = {
      {"percent sign", [] { OSA_syslog(0, "a%%b\n"); }, "a%b\n"},
      {"lone percent at the end", [] { OSA_syslog(0, "50%"); }, "50"},
      {"long modifier", [] { OSA_syslog(0, "%ld\n", 42); }, "42\n"},
      {"field width", [] { OSA_syslog(0, "%5s|\n", "ab"); }, "   ab|\n"},
      {"character", [] { OSA_syslog(0, "%c\n", 65); }, "A\n"},
      {"flags and precision", [] { OSA_syslog(0, "%-4d|%04x|%.2s\n", 7, 255, "abcdef"); }, "7   |00ff|ab\n"},
      {"every integer conversion",
       [] { OSA_syslog(0, "%d %u %x %X %o %i\n", -1, 0xFFFFFFFFu, 0xab, 0xab, 8, 3); },
       "-1 4294967295 ab AB 10 3\n"},
      {"char-sized", [] { OSA_syslog(0, "%hhd %hu\n", 300, 0x12345); }, "44 9029\n"},
      {"n is never handed on", [] { OSA_syslog(0, "%nd|\n", 5); }, "5|\n"},
      {"star takes no second slot", [] { OSA_syslog(0, "%*d|%s\n", 7, "next"); }, "7|next\n"},
      {"null text", [] { OSA_syslog(0, "%s|%s\n", "x", static_cast<const char*>(nullptr)); }, "x|(null)\n"},
      {"27-character directive", [&] { OSA_syslog(0, exact27.c_str(), 42); }, "00042|\n"},
      {"over-long directive keeps its slot", [&] { OSA_syslog(0, over27.c_str(), 42, "z"); }, "|z\n"},
      {"unfinished directive ends the message", [] { OSA_syslog(0, "abc%-5"); }, "abc"},
      {"plain text", [] { OSA_syslog(0, "plain\n"); }, "plain\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    env.dir.Write("t.log", "");
    c.log();
    EXPECT_EQ(Log(), std::string(kEpoch) + " OSA/TARN:" + c.message);
  }
}

TEST_F(OsaLog, TimeStampIsUtcInTheStandardForm) {
  TraceTo(env.dir.File("t.log"));
  const std::pair<std::int64_t, const char*> cases[] = {
      {0, kEpoch},
      {951786061, "Tue Feb 29 01:01:01 2000"},
      {2147483647, "Tue Jan 19 03:14:07 2038"},
  };
  for (const auto& [seconds, stamp] : cases) {
    SCOPED_TRACE(stamp);
    env.dir.Write("t.log", "");
    fixedSeconds = seconds;
    EXPECT_EQ(OSA_syslog(0, "OSA_cfg_Init\n"), 0);
    EXPECT_EQ(Log(), std::string(stamp) + " OSA/TARN:OSA_cfg_Init\n");
  }
}

TEST_F(OsaLog, WithoutTraceNothingIsWritten) {
  env.Config("TraceFile:s:0:" + env.dir.File("t.log") + "\n");
  EXPECT_EQ(OSA_syslog(0, "x\n"), 0);
  EXPECT_EQ(osa::testing::LogOpenCount(), 1);  // open nevertheless
  EXPECT_FALSE(env.dir.Exists("t.log"));
  EXPECT_FALSE(env.dir.Exists("tarn.log"));
}

TEST_F(OsaLog, NullFormatDoesNotOpenTheLog) {
  TraceTo(env.dir.File("t.log"));
  EXPECT_EQ(OSA_syslog(0, nullptr), 0);
  EXPECT_EQ(osa::testing::LogOpenCount(), 0);
}

TEST_F(OsaLog, WithoutTraceFileTheDefaultFileIsUsed) {
  env.Config("Trace:b:1:01\n");
  EXPECT_EQ(OSA_syslog(0, "one\n"), 0);
  EXPECT_EQ(OSA_syslog(0, "two\n"), 0);
  EXPECT_EQ(env.dir.Read("tarn.log"),
            std::string(kEpoch) + " OSA/TARN:one\n" + kEpoch + " OSA/TARN:two\n");
}

TEST_F(OsaLog, TraceFileName) {
  struct Case {
    const char* label;
    std::string traceFile;  // the TraceFile line, or empty for none
    std::string want;
  };
  const Case cases[] = {
      {"string", "TraceFile:s:0:/tmp/a.log\n", "/tmp/a.log"},
      {"absent", "", env.DefaultLog()},
      {"too long for the buffer", "TraceFile:s:0:/" + std::string(140, 'p') + "\n", env.DefaultLog()},
      {"binary ends after its bytes", "TraceFile:b:3:2f:61:62\n", "/ab"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    // The failed or short lookups leave other bytes in the name buffer first.
    env.Config("Trace:s:0:" + std::string(100, 'x') + "\n" + c.traceFile);
    ASSERT_EQ(OSA_openlog("OSA/TARN:", 0, 0), 0);
    EXPECT_EQ(std::string(osa::testing::LogTraceFileName()), c.want);
    ASSERT_EQ(OSA_closelog(), 0);
  }
}

TEST_F(OsaLog, NullIdentIsWrittenAsColon) {
  TraceTo(env.dir.File("t.log"));
  ASSERT_EQ(OSA_openlog(nullptr, 0, 0), 0);
  EXPECT_EQ(OSA_syslog(0, "m\n"), 0);
  EXPECT_EQ(Log(), std::string(kEpoch) + " :m\n");
}

TEST_F(OsaLog, OpenAndCloseCount) {
  TraceTo(env.dir.File("t.log"));
  EXPECT_EQ(OSA_closelog(), -1);
  EXPECT_EQ(OSA_openlog("id", 1, 0), -1);
  EXPECT_EQ(OSA_openlog("id", 0, 1), -1);
  EXPECT_EQ(osa::testing::LogOpenCount(), 0);

  EXPECT_EQ(OSA_openlog("id:", 0, 0), 0);
  EXPECT_TRUE(osa::testing::LogTraceEnabled());
  EXPECT_EQ(OSA_openlog("id:", 0, 0), 0);
  EXPECT_FALSE(osa::testing::LogTraceEnabled());  // a nested opening turns tracing off
  EXPECT_EQ(OSA_closelog(), 0);
  EXPECT_EQ(osa::testing::LogOpenCount(), 1);
  EXPECT_EQ(osa::testing::LogIdent(), nullptr);
  EXPECT_EQ(OSA_syslog(0, "dropped\n"), 0);
  EXPECT_FALSE(env.dir.Exists("t.log"));

  EXPECT_EQ(OSA_closelog(), 0);
  EXPECT_EQ(osa::testing::LogOpenCount(), 0);
  // The next message opens the log again and reads the configuration afresh.
  EXPECT_EQ(OSA_syslog(0, "again\n"), 0);
  EXPECT_EQ(osa::testing::LogOpenCount(), 1);
  EXPECT_EQ(Log(), std::string(kEpoch) + " OSA/TARN:again\n");
}

TEST_F(OsaLog, SwitchesAreReadWhenTheLogOpens) {
  TraceTo(env.dir.File("t.log"));
  ASSERT_EQ(OSA_syslog(0, "on\n"), 0);
  env.Config("");
  EXPECT_EQ(OSA_syslog(0, "still on\n"), 0);
  ASSERT_EQ(OSA_closelog(), 0);
  EXPECT_EQ(OSA_syslog(0, "off now\n"), 0);
  EXPECT_EQ(Log(), std::string(kEpoch) + " OSA/TARN:on\n" + kEpoch + " OSA/TARN:still on\n");
}

TEST_F(OsaLog, FileInAMissingFolderDropsMessages) {
  TraceTo(env.dir.File("missing/t.log"));
  EXPECT_EQ(OSA_syslog(0, "x\n"), 0);
  EXPECT_FALSE(env.dir.Exists("missing"));
  // The mutex was released: the next message does not hang.
  EXPECT_EQ(OSA_syslog(0, "y\n"), 0);
}

TEST_F(OsaLog, ConcurrentMessagesDoNotInterleave) {
  TraceTo(env.dir.File("t.log"));
  ASSERT_EQ(OSA_openlog("OSA/TARN:", 0, 0), 0);  // the first message must not race the opening
  constexpr int kLines = 200;
  auto work = [](const char* word) {
    for (int i = 0; i < kLines; ++i) OSA_syslog(0, "%s %s %s\n", word, word, word);
  };
  std::thread a(work, "aaaaaaaaaaaaaaaaaaaaaaaa"), b(work, "bbbbbbbbbbbbbbbbbbbbbbbb");
  a.join();
  b.join();
  const std::string prefix = std::string(kEpoch) + " OSA/TARN:";
  std::istringstream in(Log());
  int lines = 0;
  for (std::string line; std::getline(in, line); ++lines) {
    const std::string a3 = prefix + "aaaaaaaaaaaaaaaaaaaaaaaa aaaaaaaaaaaaaaaaaaaaaaaa aaaaaaaaaaaaaaaaaaaaaaaa";
    const std::string b3 = prefix + "bbbbbbbbbbbbbbbbbbbbbbbb bbbbbbbbbbbbbbbbbbbbbbbb bbbbbbbbbbbbbbbbbbbbbbbb";
    ASSERT_TRUE(line == a3 || line == b3) << line;
  }
  EXPECT_EQ(lines, 2 * kLines);
}

TEST(OsaAlert, WritesTheMessageToStandardOutput) {
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(OSA_WriteAlertMessage(1, 2, 3, "hello"), 0);
  std::fflush(stdout);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "hello\n");
}

}  // namespace
