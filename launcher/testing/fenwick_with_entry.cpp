// A stand-in wizard library: its entry only records that it ran.
#include "wizard_marks.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  markLoadAndRelease(reason, reserved);
  return TRUE;
}

extern "C" void InvokeFenwickard() {
  appendWizardMark("wizard ran");
}
