// Plinth's logic: find the installation wizard under the current directory,
// run it once, or tell the user it could not be loaded.
//
// Written against a table of the five platform calls, so the same code runs
// in the Windows program (the Win32 calls) and in native tests (a fake).
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>

namespace plinth {

// The Windows path limit, terminator included.
inline constexpr std::size_t kPathBufferSize = 260;
inline constexpr char kWizardRelativePath[] = "\\Plinth\\Fenwick.dll";
inline constexpr char kWizardEntryName[] = "InvokeFenwickard";
inline constexpr char kLoadErrorText[] = "Error loading Fenwick.dll";
inline constexpr char kLoadErrorCaption[] = "Error Loading DLL";

// The Win32 values, repeated here so the logic builds without the Windows
// headers; the Windows build checks them against the headers.
inline constexpr std::uint32_t kLoadWithAlteredSearchPath = 0x00000008;
inline constexpr std::uint32_t kMessageBoxOk = 0x00000000;

using ModuleHandle = void*;
// The wizard entry takes nothing and its result is ignored.
using WizardEntry = void (*)();

// The platform calls in the shape of their Win32 counterparts.
struct PlatformCalls {
  // GetCurrentDirectoryA: the length written (terminator excluded), the size
  // needed when the buffer is too small, or 0 when the directory cannot be read.
  std::uint32_t (*getCurrentDirectory)(std::uint32_t bufferSize, char* buffer);
  // LoadLibraryExA: the module, or null.
  ModuleHandle (*loadLibraryEx)(const char* path, void* file, std::uint32_t flags);
  // GetProcAddress: the export, or null.
  WizardEntry (*getProcAddress)(ModuleHandle module, const char* name);
  // FreeLibrary.
  bool (*freeLibrary)(ModuleHandle module);
  // MessageBoxA: returns when the box is dismissed.
  int (*messageBox)(void* owner, const char* text, const char* caption, std::uint32_t type);
};

// Fills path with the current directory followed by kWizardRelativePath.
// Returns false, with nothing appended, when the directory cannot be read or
// the whole path with its terminator does not fit; never writes past path.
bool composeWizardPath(const PlatformCalls& calls, std::span<char, kPathBufferSize> path);

// Runs the wizard, or shows the load error box; the exit code, always 0.
int runLauncher(const PlatformCalls& calls);

}  // namespace plinth
