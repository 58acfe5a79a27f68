#include "tests/fuzz/module_env.h"

#include <cstring>
#include <memory>

#include "platform/tarn/tarn_control.h"

namespace fuzzenv {

vesk::Entry LoadEntry(const char* path, const char* name, const char* version) {
  std::string error;
  if (!vesk::SetHostCalls(vesk::kAllHostCalls, &error)) Fail("fuzz", "host calls: " + error);
  // Never unloaded, not even at exit: the fuzzer's coverage counters live in
  // the module, and its exit report still reads them.
  vesk::Module* module = vesk::Module::Load(path, &error).release();
  if (module == nullptr) Fail("fuzz", std::string("cannot load ") + path + ": " + error);
  static std::vector<vesk::Module*>* const loaded = new std::vector<vesk::Module*>;
  loaded->push_back(module);
  vesk::Entry entry = module->FindVersioned(name, version);
  if (entry == nullptr) Fail("fuzz", std::string("no ") + name + " under " + version + " in " + path);
  return entry;
}

std::vector<Script> Messages(std::span<const std::uint8_t> input) {
  std::vector<Script> out;
  std::size_t pos = 0;
  while (pos + 2 <= input.size() && out.size() < kMaxMessages) {
    const std::uint16_t head = static_cast<std::uint16_t>(input[pos] | (input[pos + 1] << 8));
    pos += 2;
    const std::size_t want = head & 0x7FFFu;
    const std::size_t take = std::min(want, input.size() - pos);
    Script s;
    s.bytes.assign(input.begin() + static_cast<std::ptrdiff_t>(pos), input.begin() + static_cast<std::ptrdiff_t>(pos + take));
    s.via = (head & 0x8000u) != 0 ? vesk::Via::kX : vesk::Via::kPlain;
    out.push_back(std::move(s));
    pos += take;
  }
  return out;
}

Bytes Frame(const std::vector<Script>& messages) {
  Bytes out;
  for (const Script& s : messages) {
    const std::uint16_t head = static_cast<std::uint16_t>(s.bytes.size() | (s.via == vesk::Via::kX ? 0x8000u : 0u));
    out.push_back(static_cast<std::uint8_t>(head & 0xFF));
    out.push_back(static_cast<std::uint8_t>(head >> 8));
    out.insert(out.end(), s.bytes.begin(), s.bytes.end());
  }
  return out;
}

Bytes Crypt(const std::string& password, const char salt[2]) {
  Bytes text = wistra::reference::CryptText(password, std::string_view(salt, 2));
  if (text.empty() || text[0] == '*') Fail("fuzz", "crypt refused the reference password");
  return text;
}

CryptoBalance::CryptoBalance() : contexts_(TarnControl_LiveContexts()), objects_(TarnControl_LiveObjects()) {}

bool CryptoBalance::Balanced() const {
  return TarnControl_LiveContexts() == contexts_ && TarnControl_LiveObjects() == objects_;
}

}  // namespace fuzzenv
