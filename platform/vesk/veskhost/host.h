// A host process as the framework would be: it loads the two real login
// modules and runs login attempts between them through the framework stand-in.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/vesk/vesk.h"
#include "platform/vesk/veskhost/record.h"

namespace veskhost {

struct HostOptions {
  std::string serverModule;
  std::string clientModule;
  vesk::HostCallSet hostCalls = vesk::kAllHostCalls;
  std::optional<std::string> brokerKeyFile;
};

// What the user's host hands the client module.
struct ClientInput {
  std::optional<Bytes> typed;              // attribute 6; absent when nullopt
  std::optional<std::uint32_t> typedType;  // attribute 7's first word; absent when nullopt
};

struct SideResult {
  std::int32_t status = 0;   // what the entry returned
  std::int32_t outcome = 0;  // what it passed to MAF_End (its status when it never did)
  bool timedOut = false;
};

struct LoginResult {
  bool success = false;
  SideResult client;
  SideResult server;
  UserRecord after;              // the record after the attempt
  UserRecord stored;             // only the fields the attempt stored (a sync)
  bool storedSomething = false;
  std::vector<vesk::TraceLine> trace;
};

class Host {
 public:
  // Loads the modules with the chosen host calls; nullptr with *error on failure.
  static std::unique_ptr<Host> Start(const HostOptions& options, std::string* error);
  ~Host();

  LoginResult Login(const UserRecord& record, const ClientInput& input, bool trace);
  const std::vector<std::string>& Warnings() const { return warnings_; }

  vesk::Entry clientEntry() const { return client_entry_; }
  vesk::Entry serverEntry() const { return server_entry_; }

 private:
  Host() = default;
  std::unique_ptr<vesk::Module> server_;
  std::unique_ptr<vesk::Module> client_;
  vesk::Entry server_entry_ = nullptr;
  vesk::Entry client_entry_ = nullptr;
  std::vector<std::string> warnings_;
};

// Hands the record to an attempt as the directory would.
void LoadRecord(vesk::Attempt& attempt, const UserRecord& record);
// UTF-8 of a UCS-2 password value.
std::string Utf8FromUnits(const std::u16string& units);

}  // namespace veskhost
