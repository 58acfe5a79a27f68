#include "platform/vesk/veskhost/host.h"

#include <sys/stat.h>

#include "platform/tarn/tarn_host.h"

namespace veskhost {

namespace {

constexpr char kServerEntry[] = "LSM00000009";
constexpr char kServerVersion[] = "SHA1_VERSION_1.0.0";
constexpr char kClientEntry[] = "LCM00000009";
constexpr char kClientVersion[] = "PXY_SHA1_VERSION_1.0.0";

bool IsFile(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::unique_ptr<vesk::Module> LoadModule(const std::string& path, const char* entry, const char* version,
                                         vesk::Entry* out, std::vector<std::string>* warnings,
                                         std::string* error) {
  if (!IsFile(path)) {
    *error = "module file not found: " + path;
    return nullptr;
  }
  std::string why;
  auto module = vesk::Module::Load(path, &why);
  if (!module) {
    *error = "cannot load " + path + ": " + why;
    return nullptr;
  }
  for (const auto& w : module->Warnings()) warnings->push_back(w);
  *out = module->FindVersioned(entry, version);
  if (*out == nullptr) {
    *error = path + " has no " + entry + "@" + version;
    return nullptr;
  }
  return module;
}

SideResult ResultOf(const vesk::Attempt& attempt, vesk::Side side, std::optional<std::int32_t> status) {
  SideResult r;
  r.timedOut = !status.has_value();
  r.status = status.value_or(wistra::kStatusMafPeerGone);
  const auto outcomes = attempt.EndOutcomes(side);
  r.outcome = outcomes.empty() ? r.status : outcomes.back();
  return r;
}

}  // namespace

std::string Utf8FromUnits(const std::u16string& units) {
  std::string out;
  for (char16_t c : units) {
    const std::uint32_t u = c;
    if (u < 0x80) {
      out += static_cast<char>(u);
    } else if (u < 0x800) {
      out += static_cast<char>(0xC0 | (u >> 6));
      out += static_cast<char>(0x80 | (u & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (u >> 12));
      out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (u & 0x3F));
    }
  }
  return out;
}

std::unique_ptr<Host> Host::Start(const HostOptions& options, std::string* error) {
  std::unique_ptr<Host> host(new Host());
  // Both choices must be made before the modules load: the late-bound calls are
  // looked up once per load, and the broker reads its key when it opens, which
  // the server module does from its constructor.
  if (!vesk::SetHostCalls(options.hostCalls, error)) return nullptr;
  if (TarnHost_SetBrokerKeyFile(options.brokerKeyFile ? options.brokerKeyFile->c_str() : nullptr) != 0) {
    *error = "broker key file name too long";
    return nullptr;
  }
  host->server_ = LoadModule(options.serverModule, kServerEntry, kServerVersion, &host->server_entry_,
                             &host->warnings_, error);
  if (!host->server_) return nullptr;
  host->client_ = LoadModule(options.clientModule, kClientEntry, kClientVersion, &host->client_entry_,
                             &host->warnings_, error);
  if (!host->client_) return nullptr;
  return host;
}

Host::~Host() {
  // The client first: the reverse of the load order.
  client_.reset();
  server_.reset();
}

void LoadRecord(vesk::Attempt& attempt, const UserRecord& record) {
  if (record.password) attempt.SetPasswordValue(*record.password, record.passwordFlag ? 1u : 0u);
  if (record.passwordHash) attempt.SetPasswordHash(*record.passwordHash);
  if (record.passwordFlags) attempt.SetPasswordFlags(vesk::kKindPasswordFlags22, *record.passwordFlags);
  if (record.galtHash && record.galtSalt && record.galtSalt->size() == 4) {
    attempt.SetGaltHash(*record.galtHash, std::span<const std::uint8_t, 4>(record.galtSalt->data(), 4));
  }
}

LoginResult Host::Login(const UserRecord& record, const ClientInput& input, bool trace) {
  vesk::Attempt attempt;
  LoadRecord(attempt, record);
  if (input.typed) attempt.SetTypedPassword(std::span<const std::uint8_t>(*input.typed));
  if (input.typedType) attempt.SetTypedType(*input.typedType);
  attempt.SetTraceEnabled(trace);

  const vesk::PairResult pair = vesk::RunPair(attempt, client_entry_, server_entry_);
  LoginResult r;
  r.client = ResultOf(attempt, vesk::Side::kClient, pair.client);
  r.server = ResultOf(attempt, vesk::Side::kServer, pair.server);
  r.success = !r.client.timedOut && !r.server.timedOut && r.server.status == 0 && r.server.outcome == 0 &&
              r.client.status == 0;

  r.after = record;
  for (const auto& call : attempt.SetPasswordCalls()) {
    if (call.status != 0) continue;
    std::u16string units = call.units;
    if (!units.empty() && units.back() == u'\0') units.pop_back();
    r.stored.password = Utf8FromUnits(units);
    r.stored.passwordFlag = record.passwordFlag;
    r.storedSomething = true;
  }
  for (const auto& call : attempt.PutAttributeCalls()) {
    if (call.status != 0 || call.kind != vesk::kKindPasswordHash) continue;
    r.stored.passwordHash = call.value;
    r.storedSomething = true;
  }
  Overlay(r.after, r.stored);
  r.trace = attempt.Trace();
  return r;
}

}  // namespace veskhost
