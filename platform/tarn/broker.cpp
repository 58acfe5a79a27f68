// The token broker: a secret key of its own (from the host's key file, else
// drawn at random when it opens), deterministic authenticated encryption of
// two joined inputs under it, constant-time comparison of encrypted values, and
// random bytes. One lock keeps its state whole under concurrent callers.
#include <fcntl.h>
#include <nettle/siv-cmac.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "ccs/ccsx.h"
#include "method/status.h"
#include "osa/secure.h"
#include "platform/tarn/control_hooks.h"
#include "platform/tarn/tarn_host.h"

namespace tarn {
namespace {

using namespace wistra;

static_assert(kBrokerKeySize == SIV_CMAC_AES128_KEY_SIZE);
static_assert(ccs::kEncryptedTagSize == SIV_DIGEST_SIZE);

// The most plaintext one encrypted value carries.
constexpr std::size_t kMaxPlaintext = ccs::kEncryptedMaxBody - ccs::kEncryptedTagSize;
// The SIV nonce is the two input lengths, so that the same bytes split
// differently between the inputs never encrypt alike.
constexpr std::size_t kNonceSize = 8;

void PutLe32(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
  p[2] = static_cast<std::uint8_t>(v >> 16);
  p[3] = static_cast<std::uint8_t>(v >> 24);
}

std::uint32_t GetLe32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// Fills buffer from the kernel's generator; false if it cannot.
bool FillRandom(std::uint8_t* buffer, std::size_t length) {
  while (length > 0) {
    const ssize_t got = getrandom(buffer, length, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    buffer += got;
    length -= static_cast<std::size_t>(got);
  }
  return true;
}

// Reads the key file: exactly kBrokerKeySize bytes, or false.
bool ReadKeyFile(const std::string& path, osa::SecretBuffer<kBrokerKeySize>& key) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  osa::ScopeExit closeFile([fd] { ::close(fd); });
  // One byte more than a key, to see a file that is too long.
  osa::SecretBuffer<kBrokerKeySize + 1> bytes;
  std::size_t have = 0;
  while (have < bytes.size()) {
    const ssize_t got = ::read(fd, bytes.data() + have, bytes.size() - have);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) break;
    have += static_cast<std::size_t>(got);
  }
  if (have != kBrokerKeySize) return false;
  std::memcpy(key.data(), bytes.data(), kBrokerKeySize);
  return true;
}

class Broker {
 public:
  static Broker& Instance() {
    // Never destroyed, for a server module that closes the broker from its
    // unload destructor at process exit.
    static Broker* const broker = new Broker;
    return *broker;
  }

  std::int32_t SetKeyFile(const char* path) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (path == nullptr) {
      keyFile_.clear();
      return kStatusOk;
    }
    if (std::strlen(path) >= PATH_MAX) return kStatusAtbBadArgument;
    keyFile_ = path;
    return kStatusOk;
  }

  // Non-zero when the broker is open for handle afterwards.
  std::int32_t Open(CCS_Word handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (opened_.empty() && !LoadKey()) return 0;
    ++opened_[handle];
    return 1;
  }

  std::int32_t Close(CCS_Word handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = opened_.find(handle);
    if (it == opened_.end()) return kStatusAtbNotOpen;
    if (--it->second == 0) opened_.erase(it);
    if (opened_.empty()) Forget();
    return kStatusOk;
  }

  bool IsOpen(CCS_Word handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    return opened_.count(handle) != 0;
  }

  std::int32_t Encrypt(CCS_Word handle, std::uint32_t firstLength, const std::uint8_t* first,
                       std::uint32_t secondLength, const std::uint8_t* second, std::uint32_t capacity,
                       std::uint32_t* outputLength, std::uint8_t* output) {
    if (outputLength == nullptr || (first == nullptr && firstLength != 0) ||
        (second == nullptr && secondLength != 0)) {
      return kStatusAtbBadArgument;
    }
    if (firstLength > kMaxPlaintext || secondLength > kMaxPlaintext - firstLength) return kStatusAtbBadArgument;
    const std::size_t plainLength = std::size_t{firstLength} + secondLength;
    const std::size_t body = ccs::kEncryptedTagSize + plainLength;
    const std::size_t needed = ccs::kEncryptedHeaderSize + body;
    if (capacity < needed) {
      *outputLength = static_cast<std::uint32_t>(needed);
      control::OverrideLength(Op::ATX_EncryptWithSecretKey, outputLength);
      return kStatusBufferTooSmall;
    }
    if (output == nullptr) return kStatusAtbBadArgument;

    osa::SecretBuffer<kMaxPlaintext> joined;
    if (firstLength != 0) std::memcpy(joined.data(), first, firstLength);
    if (secondLength != 0) std::memcpy(joined.data() + firstLength, second, secondLength);
    std::uint8_t nonce[kNonceSize];
    PutLe32(nonce, firstLength);
    PutLe32(nonce + 4, secondLength);

    std::lock_guard<std::mutex> lock(mutex_);
    if (opened_.count(handle) == 0) return kStatusAtbNotOpen;
    PutLe32(output, static_cast<std::uint32_t>(body));
    siv_cmac_aes128_encrypt_message(&cipher_, kNonceSize, nonce, 0, nullptr, body,
                                    output + ccs::kEncryptedHeaderSize, joined.data());
    *outputLength = static_cast<std::uint32_t>(needed);
    control::OverrideLength(Op::ATX_EncryptWithSecretKey, outputLength);
    return kStatusOk;
  }

 private:
  // The key for a broker that opens from closed.
  bool LoadKey() {
    osa::SecretBuffer<kBrokerKeySize> key;
    const bool loaded = keyFile_.empty() ? FillRandom(key.data(), key.size()) : ReadKeyFile(keyFile_, key);
    if (!loaded) return false;
    siv_cmac_aes128_set_key(&cipher_, key.data());
    return true;
  }

  void Forget() { osa::Wipe(&cipher_, sizeof cipher_); }

  std::mutex mutex_;
  std::string keyFile_;
  std::map<CCS_Word, std::uint32_t> opened_;  // opens not yet matched by a close, per handle
  siv_cmac_aes128_ctx cipher_{};
};

// Admits a broker call through the test control, cutting the handle to the
// 32 bits the control counts by.
bool Injected(Op op, CCS_Word handle, std::int32_t* result) {
  return control::Admit(op, static_cast<std::uint32_t>(handle), result);
}

// The size of one encrypted value as its header gives it, or 0 when the header
// announces what the broker never makes.
std::size_t BodySize(const std::uint8_t* value) {
  const std::size_t body = GetLe32(value);
  if (body < ccs::kEncryptedTagSize || body > ccs::kEncryptedMaxBody) return 0;
  return body;
}

}  // namespace
}  // namespace tarn

using tarn::Broker;
using tarn::Op;
using namespace wistra;

extern "C" {

std::int32_t ATBX_OpenATB(CCS_Word handle) {
  try {
    std::int32_t result = 0;
    if (tarn::Injected(Op::ATBX_OpenATB, handle, &result)) return result;
    return Broker::Instance().Open(handle);
  } catch (...) {
    return 0;
  }
}

std::int32_t ATBX_CloseATB(CCS_Word handle) {
  try {
    std::int32_t result = 0;
    if (tarn::Injected(Op::ATBX_CloseATB, handle, &result)) return result;
    return Broker::Instance().Close(handle);
  } catch (...) {
    return kStatusCcsNoMemory;
  }
}

std::int32_t ATBX_StartCall(CCS_Word handle) {
  try {
    std::int32_t result = 0;
    if (tarn::Injected(Op::ATBX_StartCall, handle, &result)) return result;
    return Broker::Instance().IsOpen(handle) ? kStatusOk : kStatusAtbNotOpen;
  } catch (...) {
    return kStatusCcsNoMemory;
  }
}

std::int32_t ATX_CompareSecretKeyEncrypted(CCS_Word handle, const std::uint8_t* encrypted, const std::uint8_t* other) {
  try {
    std::int32_t result = 0;
    if (tarn::Injected(Op::ATX_CompareSecretKeyEncrypted, handle, &result)) return result;
    if (!Broker::Instance().IsOpen(handle)) return kStatusAtbNotOpen;
    if (encrypted == nullptr || other == nullptr) return kStatusAtbBadArgument;
    // Each value says how long it is; neither is read past its own length.
    const std::size_t size = tarn::BodySize(encrypted);
    const std::size_t otherSize = tarn::BodySize(other);
    if (size == 0 || otherSize == 0) return kStatusAtbBadArgument;
    if (size != otherSize) return kStatusAtbMismatch;
    const std::span<const std::uint8_t> a(encrypted + ccs::kEncryptedHeaderSize, size);
    const std::span<const std::uint8_t> b(other + ccs::kEncryptedHeaderSize, otherSize);
    return osa::ConstantTimeEqual(a, b) ? kStatusOk : kStatusAtbMismatch;
  } catch (...) {
    return kStatusCcsNoMemory;
  }
}

std::int32_t ATX_EncryptWithSecretKey(CCS_Word handle, std::uint32_t firstLength, const std::uint8_t* first,
                                      std::uint32_t secondLength, const std::uint8_t* second,
                                      std::uint32_t capacity, std::uint32_t* outputLength, std::uint8_t* output) {
  try {
    std::int32_t result = 0;
    if (tarn::Injected(Op::ATX_EncryptWithSecretKey, handle, &result)) return result;
    if (!Broker::Instance().IsOpen(handle)) return kStatusAtbNotOpen;
    return Broker::Instance().Encrypt(handle, firstLength, first, secondLength, second, capacity, outputLength,
                                      output);
  } catch (...) {
    return kStatusCcsNoMemory;
  }
}

std::int32_t ATX_GetRandom(CCS_Word handle, std::uint32_t length, std::uint8_t* buffer) {
  try {
    std::int32_t result = 0;
    if (tarn::Injected(Op::ATX_GetRandom, handle, &result)) return result;
    if (!Broker::Instance().IsOpen(handle)) return kStatusAtbNotOpen;
    if (buffer == nullptr && length != 0) return kStatusAtbBadArgument;
    return tarn::FillRandom(buffer, length) ? kStatusOk : kStatusAtbRandomFailed;
  } catch (...) {
    return kStatusCcsNoMemory;
  }
}

std::int32_t TarnHost_SetBrokerKeyFile(const char* path) {
  try {
    return Broker::Instance().SetKeyFile(path);
  } catch (...) {
    return kStatusCcsNoMemory;
  }
}

}  // extern "C"
