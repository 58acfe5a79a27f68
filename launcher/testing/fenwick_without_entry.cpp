// A library that loads but lacks the wizard entry; it exports something else
// so that it is still an ordinary library with an export table.
#include "wizard_marks.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  markLoadAndRelease(reason, reserved);
  return TRUE;
}

extern "C" void ShowWizardVersion() {
  appendWizardMark("wrong entry ran");
}
