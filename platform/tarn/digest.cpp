#include "platform/tarn/digest.h"

#include <nettle/md4.h>
#include <nettle/md5.h>
#include <nettle/sha1.h>

#include <cstring>

#include "method/status.h"
#include "osa/secure.h"
#include "platform/tarn/tarn_host.h"

namespace tarn {
namespace {

// A Nettle hash. Nettle keeps the tail of its input (a whole short password) in
// its context, so the context is wiped on destruction, not only reset.
template <typename Ctx, void (*Init)(Ctx*), void (*UpdateFn)(Ctx*, std::size_t, const std::uint8_t*),
          void (*DigestFn)(Ctx*, std::size_t, std::uint8_t*), std::size_t Size>
class NettleDigest final : public Digest {
 public:
  NettleDigest() { Init(&ctx_); }
  ~NettleDigest() override { osa::Wipe(&ctx_, sizeof ctx_); }
  std::size_t size() const override { return Size; }
  std::int32_t Update(std::span<const std::uint8_t> data) override {
    if (!data.empty()) UpdateFn(&ctx_, data.size(), data.data());
    return wistra::kStatusOk;
  }
  std::int32_t Final(std::uint8_t* out) override {
    DigestFn(&ctx_, Size, out);
    return wistra::kStatusOk;
  }

 private:
  Ctx ctx_;
};

using Md4Digest = NettleDigest<md4_ctx, md4_init, md4_update, md4_digest, MD4_DIGEST_SIZE>;
using Md5Digest = NettleDigest<md5_ctx, md5_init, md5_update, md5_digest, MD5_DIGEST_SIZE>;
using Sha1Digest = NettleDigest<sha1_ctx, sha1_init, sha1_update, sha1_digest, SHA1_DIGEST_SIZE>;

static_assert(MD4_DIGEST_SIZE == ccs::kMd4Size && MD5_DIGEST_SIZE == ccs::kMd5Size &&
              SHA1_DIGEST_SIZE == ccs::kSha1Size);

// The stand-in's Galt hash: the first 16 bytes of SHA-1(salt ‖ password).
class GaltDigest final : public Digest {
 public:
  explicit GaltDigest(std::span<const std::uint8_t> salt) { sha1_.Update(salt); }
  std::size_t size() const override { return ccs::kGaltHashSize; }
  std::int32_t Update(std::span<const std::uint8_t> data) override { return sha1_.Update(data); }
  std::int32_t Final(std::uint8_t* out) override {
    osa::SecretBuffer<ccs::kSha1Size> full;
    sha1_.Final(full.data());
    std::memcpy(out, full.data(), ccs::kGaltHashSize);
    return wistra::kStatusOk;
  }

 private:
  Sha1Digest sha1_;
};

static_assert(ccs::kGaltHashSize == kGaltHashSize && ccs::kGaltSaltSize == kGaltSaltSize);

}  // namespace

std::unique_ptr<Digest> StartDigest(Role role, std::span<const std::uint8_t> parameter) {
  switch (role) {
    case Role::kMd4: return std::make_unique<Md4Digest>();
    case Role::kMd5: return std::make_unique<Md5Digest>();
    case Role::kSha1: return std::make_unique<Sha1Digest>();
    case Role::kGaltHash: return std::make_unique<GaltDigest>(parameter);
    case Role::kLmHash: return StartLmHash();
    case Role::kCrypt: return StartUnixCrypt(parameter);
    case Role::kDes: break;
  }
  return nullptr;
}

}  // namespace tarn

extern "C" std::int32_t TarnHost_GaltHash(const std::uint8_t* salt, const std::uint8_t* password,
                                          std::uint32_t passwordLength, std::uint8_t* out) {
  if (salt == nullptr || out == nullptr || (password == nullptr && passwordLength != 0)) {
    return wistra::kStatusCcsBadRecord;
  }
  try {
    tarn::GaltDigest galt(std::span<const std::uint8_t>(salt, tarn::kGaltSaltSize));
    galt.Update(std::span<const std::uint8_t>(password, passwordLength));
    return galt.Final(out);
  } catch (...) {
    return wistra::kStatusCcsNoMemory;
  }
}
