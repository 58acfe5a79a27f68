// The subcommands of veskhost beyond a single login.
#pragma once
#include <string>

#include "platform/vesk/veskhost/host.h"

namespace veskhost {

// The broker's encryption of hash ‖ keyRef under the key in keyFile, as another
// front end would make the encrypted digest of a client's answer.
bool BrokerEncrypt(const std::string& keyFile, const Bytes& hash, const Bytes& keyRef, Bytes* out,
                   std::string* error);

// A fresh directory file in a temporary folder with one user whose record is a
// salted SHA-1 hash; a login with the typed password that syncs the plain
// password, then a CHAP login that succeeds against it. Prints both.
bool RunDemo(const HostOptions& options);

}  // namespace veskhost
