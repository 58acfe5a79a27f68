// The Windows program: binds the platform table to the Win32 calls.
#include <windows.h>

#include "launcher/launcher.h"

static_assert(plinth::kLoadWithAlteredSearchPath == LOAD_WITH_ALTERED_SEARCH_PATH);
static_assert(plinth::kMessageBoxOk == MB_OK);

namespace {

std::uint32_t win32GetCurrentDirectory(std::uint32_t bufferSize, char* buffer) {
  return GetCurrentDirectoryA(bufferSize, buffer);
}

plinth::ModuleHandle win32LoadLibraryEx(const char* path, void* file, std::uint32_t flags) {
  return LoadLibraryExA(path, static_cast<HANDLE>(file), flags);
}

plinth::WizardEntry win32GetProcAddress(plinth::ModuleHandle module, const char* name) {
  // The entry takes no arguments, so calling it as a plain function is the
  // same call whichever convention the wizard was built with; its result is
  // not used.
  return reinterpret_cast<plinth::WizardEntry>(GetProcAddress(static_cast<HMODULE>(module), name));
}

bool win32FreeLibrary(plinth::ModuleHandle module) {
  return FreeLibrary(static_cast<HMODULE>(module)) != FALSE;
}

int win32MessageBox(void* owner, const char* text, const char* caption, std::uint32_t type) {
  return MessageBoxA(static_cast<HWND>(owner), text, caption, type);
}

constexpr plinth::PlatformCalls kWin32Calls = {
    win32GetCurrentDirectory, win32LoadLibraryEx, win32GetProcAddress,
    win32FreeLibrary,         win32MessageBox,
};

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  return plinth::runLauncher(kWin32Calls);
}
