#include "launcher/launcher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

namespace plinth {
namespace {

// What the fake platform holds and how each call answers.
struct FakeWorld {
  std::string currentDirectory = "C:\\Setup";
  bool directoryReadable = true;
  bool libraryPresent = true;
  bool exportPresent = true;
  std::vector<std::string> calls;  // every platform call, in order, with its arguments
};

FakeWorld* world = nullptr;
char moduleToken;  // its address is the fake module handle
const ModuleHandle kModule = &moduleToken;

std::string show(const void* p) {
  return p == nullptr ? "null" : p == kModule ? "module" : "other";
}

std::uint32_t fakeGetCurrentDirectory(std::uint32_t size, char* buffer) {
  world->calls.push_back("GetCurrentDirectoryA(" + std::to_string(size) + ")");
  if (!world->directoryReadable) {
    return 0;
  }
  const std::uint32_t length = static_cast<std::uint32_t>(world->currentDirectory.size());
  if (length + 1 > size) {
    return length + 1;  // the size needed; the buffer is left alone
  }
  std::memcpy(buffer, world->currentDirectory.c_str(), length + 1);
  return length;
}

ModuleHandle fakeLoadLibraryEx(const char* path, void* file, std::uint32_t flags) {
  world->calls.push_back("LoadLibraryExA(" + std::string(path) + ", " + show(file) + ", " +
                         std::to_string(flags) + ")");
  return world->libraryPresent ? kModule : nullptr;
}

void fakeWizard() { world->calls.push_back("InvokeFenwickard()"); }

WizardEntry fakeGetProcAddress(ModuleHandle module, const char* name) {
  world->calls.push_back("GetProcAddress(" + show(module) + ", " + name + ")");
  return world->exportPresent && module == kModule && std::strcmp(name, kWizardEntryName) == 0
             ? fakeWizard
             : nullptr;
}

bool fakeFreeLibrary(ModuleHandle module) {
  world->calls.push_back("FreeLibrary(" + show(module) + ")");
  return true;
}

int fakeMessageBox(void* owner, const char* text, const char* caption, std::uint32_t type) {
  world->calls.push_back("MessageBoxA(" + show(owner) + ", " + text + ", " + caption + ", " +
                         std::to_string(type) + ")");
  return 1;  // IDOK
}

constexpr PlatformCalls kFakeCalls = {fakeGetCurrentDirectory, fakeLoadLibraryEx,
                                      fakeGetProcAddress, fakeFreeLibrary, fakeMessageBox};

class LauncherTest : public ::testing::Test {
 protected:
  void SetUp() override { world = &fake; }
  void TearDown() override { world = nullptr; }
  FakeWorld fake;
};

const std::string kBox = "MessageBoxA(null, Error loading Fenwick.dll, Error Loading DLL, 0)";
const std::string kReadDirectory = "GetCurrentDirectoryA(260)";
const std::string kLoad = "LoadLibraryExA(C:\\Setup\\Plinth\\Fenwick.dll, null, 8)";
const std::string kLookUp = "GetProcAddress(module, InvokeFenwickard)";
const std::string kRelease = "FreeLibrary(module)";

TEST_F(LauncherTest, RunsTheWizardOrShowsTheLoadErrorAndAlwaysExitsWithZero) {
  struct Case {
    const char* name;
    std::string directory;
    bool directoryReadable;
    bool libraryPresent;
    bool exportPresent;
    std::vector<std::string> calls;
  };
  const Case cases[] = {
      {"wizard found", "C:\\Setup", true, true, true,
       {kReadDirectory, kLoad, kLookUp, "InvokeFenwickard()", kRelease}},
      {"no export", "C:\\Setup", true, true, false, {kReadDirectory, kLoad, kLookUp, kRelease, kBox}},
      {"no library", "C:\\Setup", true, false, true, {kReadDirectory, kLoad, kBox}},
      {"directory unreadable", "C:\\Setup", false, true, true, {kReadDirectory, kBox}},
      {"250-character directory", "C:\\" + std::string(247, 'd'), true, true, true,
       {kReadDirectory, kBox}},
      {"directory longer than the buffer", "C:\\" + std::string(400, 'd'), true, true, true,
       {kReadDirectory, kBox}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake = FakeWorld{c.directory, c.directoryReadable, c.libraryPresent, c.exportPresent, {}};
    EXPECT_EQ(runLauncher(kFakeCalls), 0);
    EXPECT_EQ(fake.calls, c.calls);
  }
}

TEST_F(LauncherTest, ComposedPathFitsTheBufferOrIsRefusedWithoutWritingPastIt) {
  constexpr std::size_t kSuffix = sizeof(kWizardRelativePath) - 1;
  constexpr std::size_t kLongestDirectory = kPathBufferSize - 1 - kSuffix;
  const std::size_t lengths[] = {3, kLongestDirectory, kLongestDirectory + 1, 250,
                                 kPathBufferSize - 1};
  for (const std::size_t length : lengths) {
    SCOPED_TRACE("directory of " + std::to_string(length) + " characters");
    fake.currentDirectory = "C:\\" + std::string(length - 3, 'd');
    // The path buffer sits at the front of a larger block; the rest must stay untouched.
    std::array<char, kPathBufferSize + 64> block;
    block.fill('\x5a');
    const bool fits = composeWizardPath(kFakeCalls, std::span<char, kPathBufferSize>(block.data(),
                                                                                     kPathBufferSize));
    EXPECT_EQ(fits, length <= kLongestDirectory);
    if (fits) {
      EXPECT_EQ(std::string(block.data()), fake.currentDirectory + "\\Plinth\\Fenwick.dll");
    }
    EXPECT_TRUE(std::all_of(block.begin() + kPathBufferSize, block.end(),
                            [](char b) { return b == '\x5a'; }));
  }
}

}  // namespace
}  // namespace plinth
