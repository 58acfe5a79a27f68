// Unix crypt through libxcrypt: a two-byte salt selects the traditional DES
// scheme, whose text is 13 characters; the service hands it out with its
// terminating zero, and the length counts the zero.
#include <crypt.h>

#include <cstring>
#include <memory>

#include "method/status.h"
#include "osa/secure.h"
#include "platform/tarn/digest.h"

namespace tarn {
namespace {

constexpr std::size_t kCryptTextSize = 13;
constexpr std::size_t kCryptOutputSize = kCryptTextSize + 1;
// crypt takes the password as a C string; one byte is kept for its zero.
constexpr std::size_t kMaxPassword = CRYPT_MAX_PASSPHRASE_SIZE - 1;

class UnixCryptDigest final : public Digest {
 public:
  explicit UnixCryptDigest(std::span<const std::uint8_t> salt) {
    std::memcpy(setting_, salt.data(), ccs::kCryptSaltSize);
    setting_[ccs::kCryptSaltSize] = '\0';
  }
  std::size_t size() const override { return kCryptOutputSize; }

  std::int32_t Update(std::span<const std::uint8_t> data) override {
    if (data.size() > kMaxPassword - length_) return wistra::kStatusCcsBadInputLength;
    if (!data.empty()) std::memcpy(password_.data() + length_, data.data(), data.size());
    length_ += data.size();
    return wistra::kStatusOk;
  }

  std::int32_t Final(std::uint8_t* out) override {
    // 32 KB of working state, which holds the password while crypt runs.
    auto data = std::make_unique<crypt_data>();
    std::memset(data.get(), 0, sizeof *data);
    osa::ScopeExit wipe([&] { osa::Wipe(data.get(), sizeof *data); });
    password_[length_] = 0;
    const char* text = crypt_rn(reinterpret_cast<const char*>(password_.data()), setting_, data.get(),
                                static_cast<int>(sizeof *data));
    // A salt outside the scheme's alphabet fails; no other text length is a
    // traditional crypt result.
    if (text == nullptr || text[0] == '*' || std::strlen(text) != kCryptTextSize) {
      return wistra::kStatusCcsCryptFailed;
    }
    std::memcpy(out, text, kCryptOutputSize);
    return wistra::kStatusOk;
  }

 private:
  char setting_[ccs::kCryptSaltSize + 1];
  osa::SecretBuffer<kMaxPassword + 1> password_;
  std::size_t length_ = 0;
};

}  // namespace

std::unique_ptr<Digest> StartUnixCrypt(std::span<const std::uint8_t> salt) {
  return std::make_unique<UnixCryptDigest>(salt);
}

}  // namespace tarn
