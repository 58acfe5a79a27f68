// The LAN Manager password hash: the input (already upper-cased by the caller,
// at most 14 bytes) zero-padded to 14, each 7-byte half made into a DES key that
// encrypts the published constant.
#include <cstring>

#include "method/status.h"
#include "osa/secure.h"
#include "platform/tarn/des.h"
#include "platform/tarn/digest.h"

namespace tarn {
namespace {

constexpr std::size_t kHalfSize = 7;
constexpr std::uint8_t kLmConstant[ccs::kDesBlockSize] = {'K', 'G', 'S', '!', '@', '#', '$', '%'};
static_assert(ccs::kLmMaxInput == 2 * kHalfSize && ccs::kLmHashSize == 2 * ccs::kDesBlockSize);

class LmHashDigest final : public Digest {
 public:
  std::size_t size() const override { return ccs::kLmHashSize; }

  // Longer input is refused rather than cut: cutting is the caller's decision,
  // and a silent cut would hash a different password than the one given.
  std::int32_t Update(std::span<const std::uint8_t> data) override {
    if (data.size() > ccs::kLmMaxInput - length_) return wistra::kStatusCcsBadInputLength;
    if (!data.empty()) std::memcpy(input_.data() + length_, data.data(), data.size());
    length_ += data.size();
    return wistra::kStatusOk;
  }

  std::int32_t Final(std::uint8_t* out) override {
    // input_ beyond length_ is still zero: the padding.
    osa::SecretBuffer<ccs::kDesBlockSize> key;
    for (std::size_t half = 0; half < 2; ++half) {
      ExpandDesKey(input_.data() + half * kHalfSize, key.data());
      DesKey des(key.data());
      des_encrypt(&des.schedule(), ccs::kDesBlockSize, out + half * ccs::kDesBlockSize, kLmConstant);
    }
    return wistra::kStatusOk;
  }

 private:
  osa::SecretBuffer<ccs::kLmMaxInput> input_;
  std::size_t length_ = 0;
};

}  // namespace

std::unique_ptr<Digest> StartLmHash() { return std::make_unique<LmHashDigest>(); }

}  // namespace tarn
