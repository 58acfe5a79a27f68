#include "osa/osaureg.h"

#include <dirent.h>
#include <errno.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "osa/osatest_support.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// A read-only stream over text, closed at the end of the scope.
class TextStream {
 public:
  explicit TextStream(const std::string& text) : text_(text) {
    f_ = text_.empty() ? std::fopen("/dev/null", "r") : fmemopen(text_.data(), text_.size(), "r");
  }
  ~TextStream() { std::fclose(f_); }
  FILE* get() const { return f_; }

 private:
  std::string text_;
  FILE* f_;
};

struct ReadCase {
  const char* label;
  std::string line;
  std::uint32_t dstLen;
  std::int32_t want;
  Bytes bytes;       // the first bytes of dst after the read
  std::string name;  // what the name buffer holds afterwards
};

TEST(OsaCfgRead, DecodesOneLine) {
  const std::string name59(59, 'n'), name60(60, 'n');
  const std::string text271(271, 'v'), text272(272, 'v');
  const ReadCase cases[] = {
      {"hex without leading zeros", "K:b:2:1:2\n", 16, 2, {0x01, 0x02}, "K"},
      {"fewer bytes than declared", "K:b:3:01:02\n", 16, 0, {0x01}, "K"},
      {"extra bytes ignored", "K:b:2:01:02:03\n", 16, 2, {0x01, 0x02, 0xEE}, "K"},
      {"empty binary", "K:b:0\n", 16, 0, {0xEE}, "K"},
      {"only the low 8 bits", "K:b:1:1ff\n", 16, 1, {0xFF}, "K"},
      {"declared length above dstLen", "K:b:5:1:2:3:4:5\n", 4, 0, {0xEE}, "K"},
      {"negative length is huge", "K:b:-1:01\n", 16, 0, {0xEE}, "K"},
      {"not a hex number", "K:b:1:zz\n", 16, 0, {0xEE}, "K"},
      {"string keeps spaces, colons and CR", "K:s:0:a b:c\r\n", 16, 7, {'a', ' ', 'b', ':', 'c', '\r', 0}, "K"},
      {"string fills dstLen exactly", "K:s:0:abc\n", 4, 4, {'a', 'b', 'c', 0}, "K"},
      {"string one byte too long", "K:s:0:abcd\n", 4, 0, {0xEE}, "K"},
      {"other type letter", "K:x:1:abc\n", 16, 0, {0xEE}, "K"},
      {"no value text", "K:s:0:\n", 16, 0, {0xEE}, "K"},
      {"no length", "K:s:abc\n", 16, 0, {0xEE}, "K"},
      {"no name", ":s:0:abc\n", 16, 0, {0xEE}, "old"},
      {"59-character name", name59 + ":s:0:v\n", 16, 2, {'v', 0}, name59},
      {"60-character name refused", name60 + ":s:0:v\n", 16, 0, {0xEE}, "old"},
      {"271-character value", "K:s:0:" + text271 + "\n", 300, 272, {'v'}, "K"},
      {"272-character value refused", "K:s:0:" + text272 + "\n", 300, 0, {0xEE}, "K"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    TextStream in(c.line);
    char name[kCfgNameSize] = "old";
    char type = 0;
    std::uint8_t dst[301];
    std::memset(dst, 0xEE, sizeof dst);
    EXPECT_EQ(OSA_unxCfgRead(in.get(), name, &type, dst, c.dstLen), c.want);
    EXPECT_EQ(Bytes(dst, dst + c.bytes.size()), c.bytes);
    EXPECT_EQ(std::string(name), c.name);
    EXPECT_EQ(dst[c.dstLen], 0xEE) << "wrote past dstLen";
  }
}

// A line longer than the 300-byte buffer is read in two parts: the first is
// refused for its over-long value, the rest reads as a line of its own.
TEST(OsaCfgRead, OverlongLineIsReadInParts) {
  TextStream in("K:s:0:" + std::string(293, 'v') + "X:s:0:tail\n");
  char name[kCfgNameSize] = {};
  char type = 0;
  char dst[300] = {};
  EXPECT_EQ(OSA_unxCfgRead(in.get(), name, &type, dst, sizeof dst), 0);
  EXPECT_STREQ(name, "K");
  EXPECT_EQ(OSA_unxCfgRead(in.get(), name, &type, dst, sizeof dst), 5);
  EXPECT_STREQ(name, "X");
  EXPECT_EQ(OSA_unxCfgRead(in.get(), name, &type, dst, sizeof dst), 0);  // end of file
}

TEST(OsaCfgLookup, FirstLineOfTheKeyDecides) {
  struct Case {
    const char* label;
    std::string text;
    const char* key;
    std::int32_t dstLen;
    std::int32_t want;
    char type;
  };
  const Case cases[] = {
      {"later line", "A:s:0:x\nK:b:2:0a:0b\n", "K", 8, 2, 'b'},
      {"keys are case-sensitive", "k:s:0:x\n", "K", 8, 0, 's'},
      {"missing key", "A:s:0:x\nB:s:0:y\n", "K", 8, 0, 's'},
      {"first does not fit, second would", "K:b:5:1:2:3:4:5\nK:b:1:07\n", "K", 4, 0, 'b'},
      {"first of two that fit", "K:s:0:one\nK:s:0:two\n", "K", 8, 4, 's'},
      {"negative size", "K:s:0:x\n", "K", -1, 0, 0},
      {"empty file", "", "K", 8, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    TextStream in(c.text);
    char type = 0;
    char dst[16] = {};
    EXPECT_EQ(OSA_unxCfgLookup(in.get(), c.key, &type, dst, c.dstLen), c.want);
    if (c.want != 0) {
      EXPECT_EQ(type, c.type);
    }
    // The stream is rewound each time, so a second lookup finds the same.
    EXPECT_EQ(OSA_unxCfgLookup(in.get(), c.key, &type, dst, c.dstLen), c.want);
  }
}

TEST(OsaCfgWrite, WritesOneEntry) {
  const std::string name32(32, 'n'), name33(33, 'n');
  const Bytes abff = {0x01, 0xAB, 0xFF};
  const Bytes bytes97(97, 0x11), bytes98(98, 0x11);
  const std::string text291(291, 't'), text292(292, 't');
  struct Case {
    const char* label;
    std::string name;
    char type;
    const void* value;
    std::uint32_t count;
    std::int32_t want;
    std::string line;
  };
  const Case cases[] = {
      {"binary", "K", 'b', abff.data(), 3, 3, "K:b:3:01:ab:ff\n"},
      {"string with its own count", "K", 's', "abc", 7, 3, "K:s:7:abc\n"},
      {"empty binary has no value field", "K", 'b', abff.data(), 0, 0, "K:b:0\n"},
      {"32-character name", name32, 's', "v", 0, 1, name32 + ":s:0:v\n"},
      {"33-character name", name33, 's', "v", 0, 0, ""},
      {"binary of exactly 300", "K", 'b', bytes97.data(), 97, 97, ""},
      {"binary over 300", "K", 'b', bytes98.data(), 98, 0, ""},
      {"string of exactly 300", "K", 's', text291.c_str(), 0, 291, "K:s:0:" + text291 + "\n"},
      {"string over 300", "K", 's', text292.c_str(), 0, 0, ""},
      {"other type letter", "K", 'x', "abc", 3, 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    char* text = nullptr;
    std::size_t size = 0;
    FILE* out = open_memstream(&text, &size);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(OSA_unxCfgWrite(out, c.name.c_str(), c.type, c.value, c.count), c.want);
    std::fclose(out);
    const std::string written(text, size);
    std::free(text);
    if (!c.line.empty() || c.want == 0) {
      EXPECT_EQ(written, c.line);
    } else {
      EXPECT_EQ(written.size(), 6 + 3 * c.count + 1);  // K:b:97, the bytes, newline
    }
  }
}

TEST(OsaCfgWrite, WhatTheWriterWritesTheReaderReads) {
  char* text = nullptr;
  std::size_t size = 0;
  FILE* out = open_memstream(&text, &size);
  const Bytes value = {0x00, 0x7F, 0x80, 0xFF};
  ASSERT_EQ(OSA_unxCfgWrite(out, "Key", 'b', value.data(), 4), 4);
  ASSERT_EQ(OSA_unxCfgWrite(out, "Path", 's', "/a b:c", 0), 6);
  std::fclose(out);
  TextStream in(std::string(text, size));
  std::free(text);

  char type = 0;
  std::uint8_t dst[16] = {};
  EXPECT_EQ(OSA_unxCfgLookup(in.get(), "Key", &type, dst, sizeof dst), 4);
  EXPECT_EQ(Bytes(dst, dst + 4), value);
  EXPECT_EQ(OSA_unxCfgLookup(in.get(), "Path", &type, dst, sizeof dst), 7);
  EXPECT_STREQ(reinterpret_cast<char*>(dst), "/a b:c");
}

class OsaResource : public ::testing::Test {
 protected:
  osa::test::ConfigEnv env;
};

TEST_F(OsaResource, ReadsByIdentifier) {
  struct Case {
    const char* config;
    std::uint32_t id;
    std::int32_t size;
    std::int32_t want;
    std::int32_t wantLen;
    std::uint32_t number;  // for integer resources
    const char* text;      // for raw ones
  };
  const Case cases[] = {
      {"Trace:b:1:01\n", OSA_RES_TRACE, 4, 0, 0, 1, nullptr},
      {"Trace:b:2:01:00\n", OSA_RES_TRACE, 4, 0, 0, 256, nullptr},
      {"Trace:s:0:0\n", OSA_RES_TRACE, 4, 0, 0, 48 * 256, nullptr},
      {"Trace:b:5:1:2:3:4:5\n", OSA_RES_TRACE, 4, -7, 0, 0, nullptr},
      {"Trace:b:1:01\n", OSA_RES_TRACE, 2, -7, 0, 0, nullptr},
      {"", OSA_RES_TRACE, 4, -7, 0, 0, nullptr},
      {"TARNSDI Sync Period:b:4:00:00:01:2c\n", OSA_RES_SYNC_PERIOD, 4, 0, 0, 300, nullptr},
      {"TraceFile:s:0:/tmp/x.log\n", OSA_RES_TRACE_FILE, 128, 0, 11, 0, "/tmp/x.log"},
      {"DAC:s:0:d1\nDAC2:s:0:d2\n", OSA_RES_DAC2, 16, 0, 3, 0, "d2"},
      {"SharedLibrary:s:0:lib.so\n", OSA_RES_SHARED_LIBRARY, 16, 0, 7, 0, "lib.so"},
      {"MkUserDir:s:0:true\n", OSA_RES_MKUSERDIR, 16, 0, 5, 0, "true"},
      {"Trace:b:1:01\n", OSA_RES_DAC, 16, -7, 0, 0, nullptr},
      {"Trace:b:1:01\n", 4097, 16, -18, 0, 0, nullptr},
      {"Trace:b:1:01\n", 5000, 16, -18, 0, 0, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.config) + " id " + std::to_string(c.id));
    env.Config(c.config);
    char dst[129];
    std::memset(dst, 0x55, sizeof dst);
    std::int32_t len = c.size;
    EXPECT_EQ(OSA_GetResource(c.id, dst, &len), c.want);
    EXPECT_EQ(len, c.wantLen);
    if (c.want == 0 && c.text == nullptr) {
      std::uint32_t number = 0;
      std::memcpy(&number, dst, sizeof number);
      EXPECT_EQ(number, c.number);
    }
    if (c.text != nullptr) {
      EXPECT_STREQ(dst, c.text);
    }
    EXPECT_EQ(static_cast<unsigned char>(dst[c.size]), 0x55) << "wrote past the size";
  }
}

class OsaDirectories : public ::testing::Test {
 protected:
  osa::test::ConfigEnv env;
};

TEST_F(OsaDirectories, ReadsBothDirectories) {
  const std::string dir199(199, 'd'), dir200(200, 'd');
  struct Case {
    const char* label;
    std::string config;
    std::int32_t want;
    std::string system;
    std::string user;
  };
  const Case cases[] = {
      {"system only", "ConfigDirectory:s:0:/var/lib/keys\n", 0, "/var/lib/keys", "/var/lib/keys"},
      {"both", "ConfigDirectory:s:0:/var/lib/keys\nUserDirectoryRoot:s:0:/home/keys\n", 0, "/var/lib/keys",
       "/home/keys"},
      {"user root too short", "ConfigDirectory:s:0:/k\nUserDirectoryRoot:b:1:41\n", 0, "/k", "/k"},
      {"trailing slash kept", "ConfigDirectory:s:0:/k/\n", 0, "/k/", "/k/"},
      {"binary values are terminated",
       "Z:s:0:/scratch/left\nConfigDirectory:b:2:2f:6b\nUserDirectoryRoot:b:2:2f:75\n", 0, "/k", "/u"},
      {"199 characters", "ConfigDirectory:s:0:" + dir199 + "\n", 0, dir199, dir199},
      {"200 characters", "ConfigDirectory:s:0:" + dir200 + "\n", -14, dir200, ""},
      // The scan uses the buffer as scratch: what it decoded last stays there.
      {"missing key", "UserDirectoryRoot:s:0:/home/keys\n", -14, "/home/keys", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    osa::testing::ResetDirectories();
    env.Config(c.config);
    EXPECT_EQ(_GetTARNDirectories(), c.want);
    EXPECT_EQ(std::string(TARN_SystemPath), c.system);
    EXPECT_EQ(std::string(TARN_UserPath), c.user);
  }
}

TEST_F(OsaDirectories, ReadOnceAfterSuccessOnly) {
  EXPECT_EQ(_GetTARNDirectories(), -14);  // no file yet
  EXPECT_STREQ(TARN_SystemPath, "");
  env.Config("ConfigDirectory:s:0:/first\n");
  EXPECT_EQ(_GetTARNDirectories(), 0);  // tried again after the failure
  env.Config("ConfigDirectory:s:0:/second\n");
  EXPECT_EQ(_GetTARNDirectories(), 0);
  EXPECT_STREQ(TARN_SystemPath, "/first");
}

int OpenDescriptors() {
  int n = 0;
  DIR* d = opendir("/proc/self/fd");
  while (readdir(d) != nullptr) ++n;
  closedir(d);
  return n;
}

TEST_F(OsaDirectories, MkUserdirRunsTheConfiguredCommand) {
  const std::string made = env.dir.File("made/k");
  env.Config("MkUserDir:s:0:mkdir -p " + made + "\n");
  EXPECT_EQ(OSA_MkUserdir("/ignored/dir"), 0);
  EXPECT_EQ(access(made.c_str(), F_OK), 0);
  EXPECT_NE(access("/ignored/dir", F_OK), 0);

  env.Config("MkUserDir:s:0:exit 3\n");
  EXPECT_EQ(OSA_MkUserdir(nullptr), 3 << 8);  // the shell's wait status
}

TEST_F(OsaDirectories, MkUserdirWithoutTheKey) {
  env.Config("Trace:b:1:01\n");
  const int before = OpenDescriptors();
  EXPECT_EQ(OSA_MkUserdir("/x"), 2);
  EXPECT_EQ(OpenDescriptors(), before);
  std::remove(env.ConfigFile().c_str());
  EXPECT_EQ(OSA_MkUserdir("/x"), ENOENT);
}

}  // namespace
