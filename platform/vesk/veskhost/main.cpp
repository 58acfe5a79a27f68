// veskhost: runs login attempts between the real server and client modules
// through the framework stand-in, with a directory file of users' records.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>

#include "platform/tarn/tarn_host.h"
#include "platform/vesk/veskhost/commands.h"
#include "platform/vesk/veskhost/directory.h"
#include "platform/vesk/veskhost/host.h"
#ifdef WISTRA_HAVE_BENCH
#include "tests/bench/wistra_bench.h"
#endif

namespace veskhost {
namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// A usage error: the message goes to standard error and the exit code is 2.
struct Usage {
  std::string message;
};

std::string ExeDir() {
  char buf[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  std::string path(buf, static_cast<std::size_t>(n));
  return path.substr(0, path.rfind('/'));
}

Bytes HexArg(const std::string& name, const std::string& text) {
  auto bytes = ParseHex(text);
  if (!bytes) throw Usage{name + ": not an even-length hex string: \"" + text + "\""};
  return *bytes;
}

Bytes SaltArg(const std::string& name, const std::string& text) {
  Bytes salt = HexArg(name, text);
  if (salt.size() != tarn::kGaltSaltSize) {
    throw Usage{name + ": the salt must be 4 bytes (8 hex digits), got " + std::to_string(salt.size())};
  }
  return salt;
}

std::uint32_t WordArg(const std::string& name, const std::string& text) {
  errno = 0;
  char* end = nullptr;
  const unsigned long long v = std::strtoull(text.c_str(), &end, 0);
  if (text.empty() || *end != '\0' || errno != 0 || v > 0xFFFFFFFFull || text[0] == '-') {
    throw Usage{name + ": not a 32-bit number (decimal or 0x hex): \"" + text + "\""};
  }
  return static_cast<std::uint32_t>(v);
}

// The directory options, as given on the command line.
struct DirectoryArgs {
  std::string password;
  bool passwordFlag = false;
  std::string passwordHash, passwordFlags, galtHash, galtSalt, galtFrom;
  std::vector<std::string> without;
  std::string directory, user;
  CLI::Option* passwordOpt = nullptr;

  void Add(CLI::App* app, bool withHostOptions) {
    passwordOpt = app->add_option("--password", password, "the framework's password value");
    app->add_flag("--password-flag", passwordFlag, "bit 0 of the password value's flag word");
    app->add_option("--password-hash", passwordHash, "the raw \"Password Hash\" value, type byte first (hex)");
    app->add_option("--password-flags", passwordFlags, "the \"Password Flags\" word (decimal or 0x hex)");
    auto* gh = app->add_option("--galt-hash", galtHash, "the Galt hash (hex), with --galt-salt");
    auto* gf = app->add_option("--galt-from", galtFrom, "compute the Galt hash from this text, with --galt-salt");
    gh->excludes(gf);
    app->add_option("--galt-salt", galtSalt, "the Galt hash's 4-byte salt (hex)");
    if (withHostOptions) {
      app->add_option("--without", without,
                      "the host lacks this late-bound call (repeatable): MAF_GetPassword, MAF_SetPassword, "
                      "MAF_GetPELUPwdHash, MAF_Trace, MAF_TraceEnabled");
    }
  }

  UserRecord Record() const {
    UserRecord r;
    if (passwordOpt->count() > 0) {
      r.password = password;
      r.passwordFlag = passwordFlag;
    } else if (passwordFlag) {
      throw Usage{"--password-flag: needs --password"};
    }
    if (!passwordHash.empty()) r.passwordHash = HexArg("--password-hash", passwordHash);
    if (!passwordFlags.empty()) r.passwordFlags = WordArg("--password-flags", passwordFlags);
    if (!galtHash.empty() || !galtFrom.empty()) {
      if (galtSalt.empty()) throw Usage{"--galt-hash and --galt-from need --galt-salt"};
      r.galtSalt = SaltArg("--galt-salt", galtSalt);
      if (!galtHash.empty()) {
        r.galtHash = HexArg("--galt-hash", galtHash);
      } else {
        Bytes hash(tarn::kGaltHashSize);
        TarnHost_GaltHash(r.galtSalt->data(), reinterpret_cast<const std::uint8_t*>(galtFrom.data()),
                          static_cast<std::uint32_t>(galtFrom.size()), hash.data());
        r.galtHash = hash;
      }
    } else if (!galtSalt.empty()) {
      throw Usage{"--galt-salt: needs --galt-hash or --galt-from"};
    }
    return r;
  }

  vesk::HostCallSet HostCalls() const {
    vesk::HostCallSet set = vesk::kAllHostCalls;
    for (const auto& name : without) {
      bool known = false;
      for (vesk::HostCall c : {vesk::kGetPassword, vesk::kSetPassword, vesk::kGetPELUPwdHash, vesk::kTrace,
                               vesk::kTraceEnabled}) {
        if (name == vesk::HostCallName(c)) {
          set &= ~static_cast<vesk::HostCallSet>(c);
          known = true;
        }
      }
      if (!known) throw Usage{"--without: unknown call \"" + name + "\""};
    }
    return set;
  }
};

std::string BrokerKeyArg(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw Usage{"--broker-key: cannot read " + path};
  std::string key((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (key.size() != tarn::kBrokerKeySize) {
    throw Usage{"--broker-key: " + path + " must hold exactly 32 bytes, it holds " + std::to_string(key.size())};
  }
  return path;
}

nlohmann::json SideJson(const SideResult& s) { return {{"status", s.status}, {"outcome", s.outcome}}; }

nlohmann::json StoredJson(const UserRecord& r) {
  nlohmann::json j;
  j["password"] = r.password ? nlohmann::json(*r.password) : nlohmann::json(nullptr);
  j["password_hash"] = r.passwordHash ? nlohmann::json(ToHex(*r.passwordHash)) : nlohmann::json(nullptr);
  return j;
}

const char* SideName(vesk::Side s) { return s == vesk::Side::kServer ? "server" : "client"; }

void PrintLogin(const LoginResult& r, bool json, bool trace) {
  if (json) {
    nlohmann::json j = {{"login", r.success ? "success" : "failure"},
                        {"client", SideJson(r.client)},
                        {"server", SideJson(r.server)},
                        {"stored", StoredJson(r.after)}};
    if (trace) {
      nlohmann::json lines = nlohmann::json::array();
      for (const auto& t : r.trace) lines.push_back({{"side", SideName(t.side)}, {"text", t.text}});
      j["trace"] = lines;
    }
    std::cout << j.dump() << "\n";
    return;
  }
  std::cout << "login " << (r.success ? "succeeded" : "failed") << ": server status " << r.server.status
            << " (outcome " << r.server.outcome << "), client status " << r.client.status << " (outcome "
            << r.client.outcome << ")" << (r.server.timedOut || r.client.timedOut ? ", timed out" : "") << "\n";
  if (r.storedSomething) {
    if (r.stored.password) std::cout << "stored the plain password as the framework's password value\n";
    if (r.stored.passwordHash) std::cout << "stored \"Password Hash\" " << ToHex(*r.stored.passwordHash) << "\n";
  }
  if (trace) {
    for (const auto& t : r.trace) std::cout << "  [" << SideName(t.side) << "] " << t.text << "\n";
  }
}

int RunLogin(const DirectoryArgs& dir, const ClientInput& input, const HostOptions& base, bool trace, bool json) {
  HostOptions options = base;
  options.hostCalls = dir.HostCalls();
  UserRecord record = dir.Record();
  std::unique_ptr<Directory> directory;
  if (!dir.directory.empty()) {
    if (dir.user.empty()) throw Usage{"--directory needs --user"};
    std::string error;
    directory = Directory::Open(dir.directory, &error);
    if (!directory) throw Usage{error};
    auto stored = directory->Get(dir.user, &error);
    if (!error.empty()) throw Usage{error};
    if (!stored) throw Usage{"no user \"" + dir.user + "\" in " + dir.directory};
    Overlay(*stored, record);
    record = *stored;
  } else if (!dir.user.empty()) {
    throw Usage{"--user needs --directory"};
  }
  std::string error;
  auto host = Host::Start(options, &error);
  if (!host) throw Usage{error};
  for (const auto& w : host->Warnings()) std::cerr << "veskhost: module warning: " << w << "\n";
  const LoginResult r = host->Login(record, input, trace);
  // The sync is committed before the result is reported.
  if (directory && r.storedSomething && !directory->Put(dir.user, r.stored, &error)) {
    std::cerr << "veskhost: could not store the synced password: " << error << "\n";
    PrintLogin(r, json, trace);
    return kExitFailure;
  }
  PrintLogin(r, json, trace);
  return r.success ? kExitSuccess : kExitFailure;
}

int RunBench(const HostOptions& host, bool quick, const std::vector<std::string>& extra, const char* program) {
#ifdef WISTRA_HAVE_BENCH
  wistra_bench::Options options;
  options.serverModule = host.serverModule;
  options.clientModule = host.clientModule;
  options.quick = quick;
  std::vector<std::string> args{program};
  args.insert(args.end(), extra.begin(), extra.end());
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  return wistra_bench::Run(static_cast<int>(argv.size()), argv.data(), options) == 0 ? kExitSuccess : kExitFailure;
#else
  (void)host, (void)quick, (void)extra, (void)program;
  throw Usage{"bench: this veskhost was built without the benchmarks (WISTRA_BENCH off)"};
#endif
}

int Main(int argc, char** argv) {
  CLI::App app{"veskhost: runs logins between the Wistra login modules"};
  app.require_subcommand(1);
  const std::string exeDir = ExeDir();
  HostOptions host;
  host.serverModule = exeDir + "/" WISTRA_SERVER_MODULE_FROM_HOST;
  host.clientModule = exeDir + "/" WISTRA_CLIENT_MODULE_FROM_HOST;
  std::string brokerKey;
  bool trace = false, json = false;

  auto addModuleOptions = [&](CLI::App* cmd) {
    cmd->add_option("--server-module", host.serverModule, "the server module (default: the built pwdlsm.so)");
    cmd->add_option("--client-module", host.clientModule, "the client module (default: the built pwdlcm.so)");
  };

  // login
  DirectoryArgs loginDir;
  std::string typed, typedHex, typedType;
  auto* login = app.add_subcommand("login", "run one login attempt");
  loginDir.Add(login, true);
  login->add_option("--directory", loginDir.directory, "take the record from this directory file, store a sync back");
  login->add_option("--user", loginDir.user, "the user in --directory");
  auto* typedOpt = login->add_option("--typed", typed, "attribute 6: the password as typed");
  auto* typedHexOpt = login->add_option("--typed-hex", typedHex, "attribute 6 as hex bytes");
  login->add_option("--typed-type", typedType, "attribute 7's first word; when omitted the attribute is absent");
  login->add_option("--broker-key", brokerKey, "the token broker's 32-byte secret key file");
  login->add_flag("--trace", trace, "print every trace line of both sides");
  login->add_flag("--json", json, "print one JSON object");
  addModuleOptions(login);

  // user set / show
  auto* user = app.add_subcommand("user", "keep users' records in a directory file");
  user->require_subcommand(1);
  DirectoryArgs setDir;
  std::string setName, showName, userFile;
  auto* userSet = user->add_subcommand("set", "create or change a user's record");
  userSet->add_option("NAME", setName, "user name")->required();
  setDir.Add(userSet, false);
  userSet->add_option("--directory", userFile, "the directory file")->required();
  auto* userShow = user->add_subcommand("show", "print a user's record as JSON");
  userShow->add_option("NAME", showName, "user name")->required();
  userShow->add_option("--directory", userFile, "the directory file")->required();

  // galt-hash
  std::string galtPassword, galtSalt;
  auto* galt = app.add_subcommand("galt-hash", "print the crypto service's Galt hash of a password");
  galt->add_option("--password", galtPassword, "the password")->required();
  galt->add_option("--salt", galtSalt, "the 4-byte salt (hex)")->required();

  // broker-encrypt
  std::string encHash, encKeyRef;
  auto* enc = app.add_subcommand("broker-encrypt", "print the token broker's encryption of a hash and a key reference");
  enc->add_option("--hash", encHash, "the hash (hex)")->required();
  enc->add_option("--key-ref", encKeyRef, "the 4-byte key reference (hex)")->required();
  enc->add_option("--broker-key", brokerKey, "the token broker's 32-byte secret key file")->required();

  // demo
  auto* demo = app.add_subcommand("demo", "a fresh directory with one user; a login that syncs, then a CHAP login");
  addModuleOptions(demo);

  // bench: the benchmarks (tests/bench); other arguments go to Google Benchmark.
  bool benchShort = false;
  auto* bench = app.add_subcommand("bench", "run the benchmarks and print their ratios");
  bench->add_flag("--short", benchShort, "run each benchmark a few times only, to show that all of them work");
  bench->allow_extras();
  addModuleOptions(bench);

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    std::cout << app.help();
    return kExitSuccess;
  } catch (const CLI::CallForAllHelp&) {
    std::cout << app.help("", CLI::AppFormatMode::All);
    return kExitSuccess;
  } catch (const CLI::ParseError& e) {
    std::cerr << "veskhost: " << e.what() << "\n";
    return kExitUsage;
  }

  try {
    if (!brokerKey.empty()) host.brokerKeyFile = BrokerKeyArg(brokerKey);
    if (*login) {
      if (typedOpt->count() > 0 && typedHexOpt->count() > 0) throw Usage{"--typed and --typed-hex exclude each other"};
      ClientInput input;
      if (typedOpt->count() > 0) input.typed = Bytes(typed.begin(), typed.end());
      if (typedHexOpt->count() > 0) input.typed = HexArg("--typed-hex", typedHex);
      if (!typedType.empty()) input.typedType = WordArg("--typed-type", typedType);
      return RunLogin(loginDir, input, host, trace, json);
    }
    if (*userSet || *userShow) {
      std::string error;
      auto dir = Directory::Open(userFile, &error);
      if (!dir) throw Usage{error};
      if (*userSet) {
        if (!dir->Put(setName, setDir.Record(), &error)) {
          std::cerr << "veskhost: " << error << "\n";
          return kExitFailure;
        }
        return kExitSuccess;
      }
      auto rec = dir->Get(showName, &error);
      if (!error.empty()) throw Usage{error};
      if (!rec) throw Usage{"no user \"" + showName + "\" in " + userFile};
      nlohmann::json j = StoredJson(*rec);
      j["user"] = showName;
      j["password_flag"] = rec->passwordFlag;
      j["password_flags"] = rec->passwordFlags ? nlohmann::json(*rec->passwordFlags) : nlohmann::json(nullptr);
      j["galt_hash"] = rec->galtHash ? nlohmann::json(ToHex(*rec->galtHash)) : nlohmann::json(nullptr);
      j["galt_salt"] = rec->galtSalt ? nlohmann::json(ToHex(*rec->galtSalt)) : nlohmann::json(nullptr);
      std::cout << j.dump() << "\n";
      return kExitSuccess;
    }
    if (*galt) {
      const Bytes salt = SaltArg("--salt", galtSalt);
      Bytes hash(tarn::kGaltHashSize);
      TarnHost_GaltHash(salt.data(), reinterpret_cast<const std::uint8_t*>(galtPassword.data()),
                        static_cast<std::uint32_t>(galtPassword.size()), hash.data());
      std::cout << ToHex(hash) << "\n";
      return kExitSuccess;
    }
    if (*enc) {
      Bytes out;
      std::string error;
      if (!BrokerEncrypt(*host.brokerKeyFile, HexArg("--hash", encHash), HexArg("--key-ref", encKeyRef), &out,
                         &error)) {
        std::cerr << "veskhost: " << error << "\n";
        return kExitFailure;
      }
      std::cout << ToHex(out) << "\n";
      return kExitSuccess;
    }
    if (*demo) return RunDemo(host) ? kExitSuccess : kExitFailure;
    if (*bench) return RunBench(host, benchShort, bench->remaining(), argv[0]);
  } catch (const Usage& u) {
    std::cerr << "veskhost: " << u.message << "\n";
    return kExitUsage;
  }
  return kExitUsage;
}

}  // namespace
}  // namespace veskhost

int main(int argc, char** argv) { return veskhost::Main(argc, argv); }
