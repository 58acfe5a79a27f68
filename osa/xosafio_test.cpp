#include "osa/xosafio.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "osa/osatest_support.h"

namespace {

// What the layer moved, chunk by chunk, and an optional shortfall to inject.
std::vector<std::size_t> reads, writes;
int shortReadAt = -1, shortWriteAt = -1;  // index of the transfer that falls one byte short

ssize_t RecordingRead(int fd, void* buf, std::size_t n) {
  const bool fallShort = static_cast<int>(reads.size()) == shortReadAt && n > 0;
  reads.push_back(n);
  return ::read(fd, buf, fallShort ? n - 1 : n);
}
ssize_t RecordingWrite(int fd, const void* buf, std::size_t n) {
  const bool fallShort = static_cast<int>(writes.size()) == shortWriteAt && n > 0;
  writes.push_back(n);
  return ::write(fd, buf, fallShort ? n - 1 : n);
}

class OsaFile : public ::testing::Test {
 protected:
  void SetUp() override {
    reads.clear();
    writes.clear();
    shortReadAt = shortWriteAt = -1;
    osa::testing::SetFileIo(&RecordingRead, &RecordingWrite);
  }
  void TearDown() override { osa::testing::SetFileIo(nullptr, nullptr); }

  std::string Path(const std::string& name) const { return dir.File(name); }
  static std::string Pattern(std::size_t n) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + i % 23);
    return s;
  }

  osa::test::TempDir dir;
};

TEST_F(OsaFile, OpenByFlags) {
  struct Case {
    const char* label;
    const char* existing;  // content before, or null for no file
    std::uint32_t flags;
    std::int32_t want;
    const char* after;  // content after, or null for no file
  };
  const Case cases[] = {
      {"read-only, missing", nullptr, OSA_FILE_READONLY, -1, nullptr},
      {"read-write, missing", nullptr, 0, -1, nullptr},
      {"create, missing", nullptr, OSA_FILE_CREATE, 0, ""},
      {"create empties", "abc", OSA_FILE_CREATE, 0, ""},
      {"read-write keeps", "abc", 0, 0, "abc"},
      {"other bits ignored", "abc", OSA_FILE_READONLY | 0x100, 0, "abc"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    std::remove(Path("f").c_str());
    if (c.existing != nullptr) dir.Write("f", c.existing);
    OSA_File file;
    std::memset(&file, 0x55, sizeof file);
    EXPECT_EQ(OSA_OpenFile(Path("f").c_str(), c.flags, &file), c.want);
    EXPECT_STREQ(file.path, Path("f").c_str());
    if (c.want != 0) {
      EXPECT_EQ(file.descriptor, -1);
    }
    OSA_CloseFile(&file);
    EXPECT_EQ(dir.Exists("f"), c.after != nullptr);
    if (c.after != nullptr) {
      EXPECT_EQ(dir.Read("f"), c.after);
    }
  }
}

// A path fills a 256-byte buffer with its terminator at 255 characters; one
// character more is refused by every path operation, and nothing is created.
TEST_F(OsaFile, PathsOf256CharactersAreRefused) {
  const std::string base = dir.path() + "/";
  const std::string ok = base + std::string(255 - base.size(), 'p');
  const std::string tooLong = base + std::string(256 - base.size(), 'q');
  ASSERT_EQ(ok.size(), 255u);

  OSA_File file;
  ASSERT_EQ(OSA_CreateFile(ok.c_str(), 0, &file), 0);
  OSA_CloseFile(&file);
  EXPECT_EQ(OSA_FileExist(ok.c_str()), 0);

  std::uint8_t* data = nullptr;
  std::int32_t size = 0;
  struct Case {
    const char* label;
    std::function<std::int32_t()> call;
  };
  const Case cases[] = {
      {"OpenFile", [&] { return OSA_OpenFile(tooLong.c_str(), OSA_FILE_CREATE, &file); }},
      {"CreateFile", [&] { return OSA_CreateFile(tooLong.c_str(), 0, &file); }},
      {"ReadFile", [&] { return OSA_ReadFile(tooLong.c_str(), &data, &size); }},
      {"WriteFile", [&] { return OSA_WriteFile(tooLong.c_str(), "x", 1); }},
      {"CopyFile to", [&] { return OSA_CopyFile(tooLong.c_str(), ok.c_str()); }},
      {"CopyFile from", [&] { return OSA_CopyFile(ok.c_str(), tooLong.c_str()); }},
      {"DeleteFile", [&] { return OSA_DeleteFile(tooLong.c_str()); }},
      {"FileExist", [&] { return OSA_FileExist(tooLong.c_str()); }},
      {"GetFileSize", [&] { return OSA_GetFileSize(tooLong.c_str(), &size); }},
      {"Mkdir", [&] { return OSA_Mkdir(tooLong.c_str()); }},
      {"null path", [&] { return OSA_FileExist(nullptr); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(c.call(), -1);
  }
  // Nothing was made under the long path cut down to what fits.
  EXPECT_NE(access(tooLong.substr(0, 255).c_str(), F_OK), 0);
  EXPECT_EQ(OSA_DeleteFile(ok.c_str()), 0);
}

TEST_F(OsaFile, ReadAndWriteAtOffsets) {
  OSA_File file;
  ASSERT_EQ(OSA_CreateFile(Path("f").c_str(), 0, &file), 0);
  std::int32_t put = 0, got = 77;
  EXPECT_EQ(OSA_WriteBytes(&file, 4, "wxyz", 4, &put), 0);
  EXPECT_EQ(put, 4);
  char buf[16] = {};
  EXPECT_EQ(OSA_ReadBytes(&file, 2, buf, sizeof buf, &got), 0);
  EXPECT_EQ(got, 6);  // up to the end of the file
  EXPECT_EQ(std::string(buf, 6), std::string("\0\0wxyz", 6));
  EXPECT_EQ(OSA_ReadBytes(&file, 100, buf, sizeof buf, &got), 0);
  EXPECT_EQ(got, 0);

  got = 77;
  EXPECT_EQ(OSA_ReadBytes(&file, -1, buf, sizeof buf, &got), -1);
  EXPECT_EQ(got, 77);
  EXPECT_EQ(OSA_WriteBytes(&file, -1, "a", 1, &put), -1);

  shortWriteAt = static_cast<int>(writes.size());
  EXPECT_EQ(OSA_WriteBytes(&file, 0, "abcd", 4, &put), -1);
  EXPECT_EQ(put, 3);
  OSA_CloseFile(&file);
  EXPECT_EQ(dir.Read("f"), std::string("abc\0wxyz", 8));
}

TEST_F(OsaFile, ReadFileInChunks) {
  struct Case {
    std::size_t size;
    std::vector<std::size_t> chunks;
  };
  const Case cases[] = {
      {10000, {4096, 4096, 1808}},
      {4096, {4096}},
      {1, {1}},
      {0, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    const std::string content = Pattern(c.size);
    dir.Write("f", content);
    reads.clear();
    std::uint8_t* data = nullptr;
    std::int32_t size = -1;
    ASSERT_EQ(OSA_ReadFile(Path("f").c_str(), &data, &size), 0);
    EXPECT_EQ(size, static_cast<std::int32_t>(c.size));
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data), c.size), content);
    EXPECT_EQ(reads, c.chunks);
    std::free(data);
  }
}

TEST_F(OsaFile, ReadFileFailures) {
  std::uint8_t* data = reinterpret_cast<std::uint8_t*>(this);
  std::int32_t size = -1;
  EXPECT_EQ(OSA_ReadFile(Path("missing").c_str(), &data, &size), -1);
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(size, 0);

  dir.Write("f", Pattern(10000));
  shortReadAt = 1;
  EXPECT_EQ(OSA_ReadFile(Path("f").c_str(), &data, &size), -1);
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(size, 10000);  // the size noted before reading
  EXPECT_EQ(reads.size(), 2u);  // reading stopped at the short chunk
}

TEST_F(OsaFile, WriteFileReplacesTheFile) {
  dir.Write("f", "old contents");
  const int oldFd = ::open(Path("f").c_str(), O_RDONLY);
  const std::string content = Pattern(10000);
  EXPECT_EQ(OSA_WriteFile(Path("f").c_str(), content.data(), static_cast<std::int32_t>(content.size())), 0);
  EXPECT_EQ(writes, (std::vector<std::size_t>{4096, 4096, 1808}));
  EXPECT_EQ(dir.Read("f"), content);
  char old[12] = {};
  EXPECT_EQ(::read(oldFd, old, sizeof old), 12);  // a holder of the old file keeps it
  EXPECT_EQ(std::string(old, 12), "old contents");
  ::close(oldFd);

  EXPECT_EQ(OSA_WriteFile(Path("f").c_str(), "", 0), 0);
  EXPECT_EQ(dir.Read("f"), "");

  shortWriteAt = static_cast<int>(writes.size());
  EXPECT_EQ(OSA_WriteFile(Path("f").c_str(), "abc", 3), -1);
}

TEST_F(OsaFile, CopyFileInChunks) {
  struct Case {
    std::size_t size;
    std::vector<std::size_t> chunks;
  };
  const Case cases[] = {
      {4096, {4096}},
      {8193, {4096, 4096, 1}},
      {0, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    const std::string content = Pattern(c.size);
    dir.Write("src", content);
    dir.Write("dst", "previous destination");
    reads.clear();
    writes.clear();
    EXPECT_EQ(OSA_CopyFile(Path("dst").c_str(), Path("src").c_str()), 0);
    EXPECT_EQ(dir.Read("dst"), content);
    EXPECT_EQ(reads, c.chunks);
    EXPECT_EQ(writes, c.chunks);
  }
}

TEST_F(OsaFile, CopyFileFailures) {
  dir.Write("dst", "untouched");
  EXPECT_EQ(OSA_CopyFile(Path("dst").c_str(), Path("missing").c_str()), -1);
  EXPECT_EQ(dir.Read("dst"), "untouched");

  dir.Write("src", Pattern(10000));
  shortWriteAt = 1;
  EXPECT_EQ(OSA_CopyFile(Path("dst").c_str(), Path("src").c_str()), -1);
  EXPECT_EQ(writes.size(), 2u);  // the copy ended at the short chunk
  EXPECT_EQ(dir.Read("dst").size(), 4096u + 4095u);
}

TEST_F(OsaFile, PathQueries) {
  std::int32_t size = -1;
  EXPECT_EQ(OSA_GetFileSize(Path("f").c_str(), &size), -1);
  EXPECT_EQ(size, 0);
  EXPECT_EQ(OSA_FileExist(Path("f").c_str()), -1);
  EXPECT_EQ(OSA_DeleteFile(Path("f").c_str()), -1);

  dir.Write("f", Pattern(5000));
  EXPECT_EQ(OSA_GetFileSize(Path("f").c_str(), &size), 0);
  EXPECT_EQ(size, 5000);
  EXPECT_EQ(OSA_FileExist(Path("f").c_str()), 0);
  EXPECT_EQ(OSA_DeleteFile(Path("f").c_str()), 0);
  EXPECT_FALSE(dir.Exists("f"));

  EXPECT_EQ(OSA_Mkdir(Path("d").c_str()), 0);
  struct stat st {};
  ASSERT_EQ(stat(Path("d").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0077, 0u);  // 0700 before the creation mask
  EXPECT_EQ(OSA_Mkdir(Path("d").c_str()), -1);
}

// Every open takes a whole-file lock of its own, so the locks order the layer's
// users within one process as well.
TEST_F(OsaFile, ExclusiveHolderMakesOthersWait) {
  dir.Write("f", "abc");
  OSA_File holder;
  ASSERT_EQ(OSA_OpenFile(Path("f").c_str(), 0, &holder), 0);
  const std::string path = Path("f");

  osa::test::BlockingCall exist([&] { return OSA_FileExist(path.c_str()); });
  osa::test::BlockingCall size([&] {
    std::int32_t n = 0;
    return OSA_GetFileSize(path.c_str(), &n) == 0 ? n : -1;
  });
  EXPECT_TRUE(exist.Blocked());
  EXPECT_TRUE(size.Blocked());
  OSA_CloseFile(&holder);
  EXPECT_EQ(exist.Join(), 0);
  EXPECT_EQ(size.Join(), 3);
}

TEST_F(OsaFile, SharedHoldersDoNotWaitForEachOther) {
  dir.Write("f", "abc");
  OSA_File reader;
  ASSERT_EQ(OSA_OpenFile(Path("f").c_str(), OSA_FILE_READONLY, &reader), 0);
  EXPECT_EQ(OSA_FileExist(Path("f").c_str()), 0);  // returns at once on this thread
  const std::string path = Path("f");
  osa::test::BlockingCall writer([&] {
    OSA_File w;
    const std::int32_t rc = OSA_OpenFile(path.c_str(), 0, &w);
    OSA_CloseFile(&w);
    return rc;
  });
  EXPECT_TRUE(writer.Blocked());  // an exclusive opener waits for the reader
  OSA_CloseFile(&reader);
  EXPECT_EQ(writer.Join(), 0);
}

TEST(OsaExpandPath, CopiesWithoutExpanding) {
  struct Case {
    const char* source;
    std::int32_t len;
    std::string want;  // all five bytes of the destination afterwards
  };
  const Case cases[] = {
      {"abc", 2, std::string("ab***", 5)},
      {"abc", 3, std::string("abc**", 5)},
      {"abc", 5, std::string("abc\0\0", 5)},
      {"~/$H", 5, std::string("~/$H\0", 5)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.source) + " " + std::to_string(c.len));
    char dst[5];
    std::memset(dst, '*', sizeof dst);
    EXPECT_EQ(OSA_ExpandPath(c.source, dst, c.len), 0);
    EXPECT_EQ(std::string(dst, 5), c.want);
  }
}

}  // namespace
