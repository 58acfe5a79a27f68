// What the two module-level fuzz targets share: loading a real login module
// once per process as the framework loads it, cutting the input into the
// messages a scripted peer sends, and the independent digests that the
// directory records are made of.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "platform/vesk/vesk.h"
#include "tests/support/reference.h"

namespace fuzzenv {

using Bytes = std::vector<std::uint8_t>;
using wistra::reference::Md5;
using wistra::reference::Of;
using wistra::reference::Sha1;
inline Bytes Cat(std::initializer_list<std::span<const std::uint8_t>> parts) { return wistra::reference::Join(parts); }

[[noreturn]] inline void Fail(const char* target, const std::string& what) {
  std::fprintf(stderr, "%s: %s\n", target, what.c_str());
  std::abort();
}

// The module at path with every late-bound host call present, its entry under
// its symbol version; the process ends with a message when either is missing.
// The module stays loaded for the life of the process.
vesk::Entry LoadEntry(const char* path, const char* name, const char* version);

// One message the peer sends: its bytes and the pair of calls it goes by.
struct Script {
  Bytes bytes;
  vesk::Via via = vesk::Via::kPlain;
};

// The rest of the input as messages: each is a 16-bit little-endian head (low
// 15 bits the length, bit 15 the sync pair) and that many bytes, or what is
// left. At most kMaxMessages messages.
inline constexpr std::size_t kMaxMessages = 12;
std::vector<Script> Messages(std::span<const std::uint8_t> input);

// The messages in the fuzzer's framing, for seeds and reproducers.
Bytes Frame(const std::vector<Script>& messages);

// The crypt text of password under a two-character salt, without its zero
// byte; the process ends when crypt refuses.
Bytes Crypt(const std::string& password, const char salt[2]);

// Whether every crypto context and key object made during the call is gone.
class CryptoBalance {
 public:
  CryptoBalance();
  bool Balanced() const;

 private:
  std::uint32_t contexts_;
  std::uint32_t objects_;
};

}  // namespace fuzzenv
