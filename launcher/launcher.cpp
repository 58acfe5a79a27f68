#include "launcher/launcher.h"

#include <cstring>

namespace plinth {

bool composeWizardPath(const PlatformCalls& calls, std::span<char, kPathBufferSize> path) {
  constexpr std::size_t kSuffixSize = sizeof(kWizardRelativePath);  // with its terminator
  const std::uint32_t length =
      calls.getCurrentDirectory(static_cast<std::uint32_t>(path.size()), path.data());
  // A length of the buffer's size or more is the size the directory would
  // need, and the buffer then holds nothing usable.
  if (length == 0 || length >= path.size()) {
    return false;
  }
  if (path.size() - length < kSuffixSize) {
    return false;
  }
  std::memcpy(path.data() + length, kWizardRelativePath, kSuffixSize);
  return true;
}

int runLauncher(const PlatformCalls& calls) {
  char path[kPathBufferSize] = {};
  if (composeWizardPath(calls, path)) {
    // The altered search path looks for the libraries the wizard needs in
    // the wizard's own folder first. A failed load is not followed by a
    // lookup: with no module, the lookup would search this program's own image.
    if (const ModuleHandle module = calls.loadLibraryEx(path, nullptr, kLoadWithAlteredSearchPath)) {
      if (const WizardEntry entry = calls.getProcAddress(module, kWizardEntryName)) {
        entry();
        calls.freeLibrary(module);
        return 0;
      }
      calls.freeLibrary(module);
    }
  }
  // A modal box with no owner: there is no window of ours to attach it to.
  calls.messageBox(nullptr, kLoadErrorText, kLoadErrorCaption, kMessageBoxOk);
  return 0;
}

}  // namespace plinth
