// Test wizards leave one line per event in "wizard-marks.txt" in the current
// directory, so a test can see whether the library was loaded, whether its
// entry ran, and whether it was released before the process ended.
#pragma once
#include <windows.h>

inline void appendWizardMark(const char* event) {
  const HANDLE file = CreateFileA("wizard-marks.txt", FILE_APPEND_DATA,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return;
  }
  DWORD written = 0;
  WriteFile(file, event, static_cast<DWORD>(lstrlenA(event)), &written, nullptr);
  WriteFile(file, "\n", 1, &written, nullptr);
  CloseHandle(file);
}

// A null reserved pointer on detach means FreeLibrary released the library;
// otherwise the process is ending with the library still loaded.
inline void markLoadAndRelease(DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    appendWizardMark("loaded");
  } else if (reason == DLL_PROCESS_DETACH) {
    appendWizardMark(reserved == nullptr ? "released" : "still loaded at exit");
  }
}
