#include "platform/vesk/veskhost/commands.h"

#include <nettle/md5.h>
#include <nettle/sha1.h>
#include <stdlib.h>
#include <unistd.h>

#include <iostream>

#include "ccs/ccsx.h"
#include "method/wire.h"
#include "platform/tarn/tarn_host.h"
#include "platform/vesk/veskhost/directory.h"

namespace veskhost {

bool BrokerEncrypt(const std::string& keyFile, const Bytes& hash, const Bytes& keyRef, Bytes* out,
                   std::string* error) {
  if (TarnHost_SetBrokerKeyFile(keyFile.c_str()) != 0) {
    *error = "broker key file name too long";
    return false;
  }
  static int brokerHandle;  // only its address is used, as the modules do
  const CCS_Word handle = reinterpret_cast<CCS_Word>(&brokerHandle);
  if (ATBX_OpenATB(handle) == 0) {
    *error = "the token broker did not open with key file " + keyFile;
    return false;
  }
  std::uint32_t needed = 0;
  std::int32_t rc = ATX_EncryptWithSecretKey(handle, static_cast<std::uint32_t>(hash.size()), hash.data(),
                                             static_cast<std::uint32_t>(keyRef.size()), keyRef.data(), 0, &needed,
                                             nullptr);
  if (rc == 0 || rc == wistra::kStatusBufferTooSmall) {
    out->assign(needed, 0);
    rc = ATX_EncryptWithSecretKey(handle, static_cast<std::uint32_t>(hash.size()), hash.data(),
                                  static_cast<std::uint32_t>(keyRef.size()), keyRef.data(), needed, &needed,
                                  out->data());
    out->resize(needed);
  }
  ATBX_CloseATB(handle);
  if (rc != 0) *error = "the token broker refused to encrypt: status " + std::to_string(rc);
  return rc == 0;
}

namespace {

constexpr char kDemoUser[] = "alice";
constexpr char kDemoPassword[] = "open sesame";

// "Password Hash" of type 8: SHA-1(password ‖ salt), the salt, one trailing byte.
Bytes SaltedSha1Value(const std::string& password, const Bytes& salt) {
  sha1_ctx ctx;
  sha1_init(&ctx);
  sha1_update(&ctx, password.size(), reinterpret_cast<const std::uint8_t*>(password.data()));
  sha1_update(&ctx, salt.size(), salt.data());
  Bytes value(1 + SHA1_DIGEST_SIZE);
  value[0] = static_cast<std::uint8_t>(wistra::HASH_SALTED_SHA1);
  sha1_digest(&ctx, SHA1_DIGEST_SIZE, value.data() + 1);
  value.insert(value.end(), salt.begin(), salt.end());
  value.push_back(0);
  return value;
}

// The CHAP answer a dial-in front end would hand over: MD5(id ‖ password ‖ challenge).
Bytes ChapAnswer(const std::string& password, std::uint8_t id, const Bytes& challenge) {
  wistra::chapAnswer a;
  a.id = id;
  std::copy(challenge.begin(), challenge.end(), a.challenge);
  a.challengeLen = static_cast<std::uint32_t>(challenge.size());
  md5_ctx ctx;
  md5_init(&ctx);
  md5_update(&ctx, 1, &id);
  md5_update(&ctx, password.size(), reinterpret_cast<const std::uint8_t*>(password.data()));
  md5_update(&ctx, challenge.size(), challenge.data());
  md5_digest(&ctx, MD5_DIGEST_SIZE, a.response);
  a.responseLen = MD5_DIGEST_SIZE;
  Bytes out(wistra::chapAnswer::kSize);
  wistra::EncodeChapAnswer(a, out);
  return out;
}

void Show(const char* title, const LoginResult& r) {
  std::cout << title << ": login " << (r.success ? "succeeded" : "failed") << " (server status " << r.server.status
            << ", client status " << r.client.status << ")\n";
  if (r.stored.password) std::cout << "  the server stored the plain password it was sent\n";
}

}  // namespace

bool RunDemo(const HostOptions& options) {
  char folder[] = "/tmp/veskhost-demo-XXXXXX";
  if (mkdtemp(folder) == nullptr) {
    std::cerr << "veskhost: cannot make a temporary folder\n";
    return false;
  }
  const std::string file = std::string(folder) + "/directory.db";
  std::string error;
  auto dir = Directory::Open(file, &error);
  if (!dir) {
    std::cerr << "veskhost: " << error << "\n";
    return false;
  }
  const Bytes salt = {0x5a, 0x17, 0x90, 0x3c, 0xe1, 0x08, 0x6b, 0xd2, 0x44, 0x9f, 0x21, 0xc7, 0x0e, 0xb3, 0x78, 0x65};
  UserRecord user;
  user.passwordHash = SaltedSha1Value(kDemoPassword, salt);
  if (!dir->Put(kDemoUser, user, &error)) {
    std::cerr << "veskhost: " << error << "\n";
    return false;
  }
  std::cout << "directory " << file << ": user \"" << kDemoUser << "\" holds only a salted SHA-1 hash\n";

  auto host = Host::Start(options, &error);
  if (!host) {
    std::cerr << "veskhost: " << error << "\n";
    return false;
  }
  const std::string password = kDemoPassword;
  ClientInput typed{Bytes(password.begin(), password.end()), std::nullopt};
  const LoginResult first = host->Login(*dir->Get(kDemoUser, &error), typed, false);
  if (first.storedSomething && !dir->Put(kDemoUser, first.stored, &error)) {
    std::cerr << "veskhost: " << error << "\n";
    return false;
  }
  Show("1. typed password against the salted SHA-1 hash", first);

  const Bytes challenge = {0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef, 0xfe, 0xdc, 0xba, 0x98, 0x76, 0x54, 0x32, 0x10};
  ClientInput chap{ChapAnswer(password, 0x2a, challenge), static_cast<std::uint32_t>(wistra::HASH_CHAP)};
  const LoginResult second = host->Login(*dir->Get(kDemoUser, &error), chap, false);
  Show("2. a CHAP answer against the synced plain password", second);
  return first.success && first.storedSomething && second.success;
}

}  // namespace veskhost
