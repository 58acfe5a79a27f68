// veskhost run as a process, as a person or a script runs it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <nettle/md5.h>
#include <nettle/sha1.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "platform/vesk/veskhost/hex.h"

extern char** environ;

namespace {

using veskhost::Bytes;
using veskhost::ToHex;

struct Outcome {
  int exit = -1;
  std::string out, err;
};

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class Veskhost : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/veskhost-test-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

  // Starts veskhost with args; returns the child's pid. Output goes to files named by tag.
  pid_t Start(const std::vector<std::string>& args, const std::string& tag) {
    std::vector<char*> argv;
    std::string exe = VESKHOST_PATH;
    argv.push_back(exe.data());
    std::vector<std::string> copy = args;
    for (auto& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, (dir_ + "/" + tag + ".out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&fa, 2, (dir_ + "/" + tag + ".err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = -1;
    EXPECT_EQ(posix_spawn(&pid, exe.c_str(), &fa, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&fa);
    return pid;
  }
  Outcome Wait(pid_t pid, const std::string& tag) {
    int st = 0;
    waitpid(pid, &st, 0);
    Outcome r;
    r.exit = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    r.out = ReadAll(dir_ + "/" + tag + ".out");
    r.err = ReadAll(dir_ + "/" + tag + ".err");
    return r;
  }
  Outcome Exec(const std::vector<std::string>& args) { return Wait(Start(args, "run"), "run"); }

  nlohmann::json Json(const Outcome& r) {
    auto j = nlohmann::json::parse(r.out, nullptr, false);
    EXPECT_FALSE(j.is_discarded()) << r.out << r.err;
    return j;
  }

  std::string File(const std::string& name, const std::string& content) {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }

  std::string dir_;
};

std::string Sha1Hex(const std::string& text) {
  sha1_ctx c;
  sha1_init(&c);
  sha1_update(&c, text.size(), reinterpret_cast<const std::uint8_t*>(text.data()));
  Bytes d(SHA1_DIGEST_SIZE);
  sha1_digest(&c, d.size(), d.data());
  return ToHex(d);
}

// "Password Hash" of type 8 for password with a 16-byte salt.
std::string SaltedSha1Hex(const std::string& password, const Bytes& salt) {
  sha1_ctx c;
  sha1_init(&c);
  sha1_update(&c, password.size(), reinterpret_cast<const std::uint8_t*>(password.data()));
  sha1_update(&c, salt.size(), salt.data());
  Bytes d(SHA1_DIGEST_SIZE);
  sha1_digest(&c, d.size(), d.data());
  return "08" + ToHex(d) + ToHex(salt) + "00";
}

TEST_F(Veskhost, JsonForASuccessAndAFailure) {
  struct Case {
    const char* name;
    std::vector<std::string> args;
    int exit;
    const char* login;
  };
  const Case cases[] = {
      {"plain value, right password", {"--password", "hunter2", "--typed", "hunter2"}, 0, "success"},
      {"plain value, wrong password", {"--password", "hunter2", "--typed", "hunter3"}, 1, "failure"},
      {"SHA-1 hash, right password", {"--password-hash", "02" + Sha1Hex("hunter2") + "00", "--typed", "hunter2"}, 0,
       "success"},
      {"SHA-1 hash, wrong password", {"--password-hash", "02" + Sha1Hex("hunter2") + "00", "--typed", "Hunter2"}, 1,
       "failure"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> args = {"login", "--json"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const Outcome r = Exec(args);
    EXPECT_EQ(r.exit, c.exit) << r.err;
    const auto j = Json(r);
    EXPECT_EQ(j.value("login", ""), c.login);
    ASSERT_TRUE(j.contains("client") && j.contains("server") && j.contains("stored"));
    EXPECT_EQ(j["server"]["outcome"].get<int>() == 0, c.exit == 0);
    EXPECT_TRUE(j["client"]["status"].is_number_integer());
  }
}

TEST_F(Veskhost, TraceShowsBothSides) {
  const Outcome r = Exec({"login", "--json", "--trace", "--password", "pw", "--typed", "pw"});
  EXPECT_EQ(r.exit, 0) << r.err;
  const auto j = Json(r);
  bool server = false, client = false;
  for (const auto& line : j["trace"]) {
    server |= line["side"] == "server" && line["text"].get<std::string>().rfind("PWD LSM", 0) == 0;
    client |= line["side"] == "client" && line["text"].get<std::string>().rfind("PWD LCM", 0) == 0;
  }
  EXPECT_TRUE(server && client) << r.out;
}

TEST_F(Veskhost, BadArgumentsAreUsageErrors) {
  const std::string shortKey = File("short.key", "0123456789");
  struct Case {
    std::vector<std::string> args;
    const char* message;
  };
  const Case cases[] = {
      {{"login", "--password-hash", "0x12"}, "--password-hash: not an even-length hex string"},
      {{"login", "--password-hash", "abc"}, "--password-hash: not an even-length hex string"},
      {{"login", "--galt-hash", "00112233445566778899aabbccddeeff", "--galt-salt", "0011"}, "the salt must be 4 bytes"},
      {{"login", "--typed", "a", "--typed-hex", "61"}, "--typed and --typed-hex exclude each other"},
      {{"login", "--typed", "a", "--server-module", "/nonexistent/pwdlsm.so"}, "module file not found"},
      {{"login", "--typed", "a", "--broker-key", "/nonexistent/key"}, "--broker-key: cannot read"},
      {{"login", "--typed", "a", "--broker-key", shortKey}, "must hold exactly 32 bytes"},
      {{"login", "--password-flags", "12x"}, "--password-flags: not a 32-bit number"},
      {{"login", "--without", "MAF_Nothing"}, "--without: unknown call"},
      {{"login", "--no-such-option"}, "veskhost: "},
      {{"galt-hash", "--password", "x", "--salt", "001122"}, "the salt must be 4 bytes"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[1]);
    const Outcome r = Exec(c.args);
    EXPECT_EQ(r.exit, 2);
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  }
}

TEST_F(Veskhost, DirectoryRoundTripStoresTheSync) {
  const std::string db = dir_ + "/users.db";
  const Bytes salt(16, 0x42);
  Outcome r = Exec({"user", "set", "bob", "--password-hash", SaltedSha1Hex("s3cret", salt), "--directory", db});
  ASSERT_EQ(r.exit, 0) << r.err;
  r = Exec({"login", "--json", "--directory", db, "--user", "bob", "--typed", "s3cret"});
  EXPECT_EQ(r.exit, 0) << r.err;
  EXPECT_EQ(Json(r)["stored"]["password"], "s3cret");
  r = Exec({"user", "show", "bob", "--directory", db});
  ASSERT_EQ(r.exit, 0) << r.err;
  EXPECT_EQ(Json(r)["password"], "s3cret");
  // The stored plain password now serves a login of another kind.
  std::uint8_t id = 7;
  const Bytes challenge(16, 0x33);
  md5_ctx m;
  md5_init(&m);
  md5_update(&m, 1, &id);
  md5_update(&m, 6, reinterpret_cast<const std::uint8_t*>("s3cret"));
  md5_update(&m, challenge.size(), challenge.data());
  Bytes answer(76, 0);
  answer[0] = id;
  std::copy(challenge.begin(), challenge.end(), answer.begin() + 4);
  answer[36] = 16;
  md5_digest(&m, 16, answer.data() + 40);
  answer[72] = 16;
  r = Exec({"login", "--json", "--directory", db, "--user", "bob", "--typed-hex", ToHex(answer), "--typed-type", "5"});
  EXPECT_EQ(r.exit, 0) << r.err << r.out;
}

TEST_F(Veskhost, TwoProcessesSyncingOneFileKeepBothUpdates) {
  const std::string db = dir_ + "/users.db";
  const Bytes salt(16, 0x17);
  const std::vector<std::string> users = {"carol", "dave", "erin", "frank"};
  for (const auto& u : users) {
    ASSERT_EQ(Exec({"user", "set", u, "--password-hash", SaltedSha1Hex("pw-" + u, salt), "--directory", db}).exit, 0);
  }
  std::vector<pid_t> pids;
  for (const auto& u : users) {
    pids.push_back(Start({"login", "--json", "--directory", db, "--user", u, "--typed", "pw-" + u}, u));
  }
  for (std::size_t i = 0; i < users.size(); ++i) {
    const Outcome r = Wait(pids[i], users[i]);
    EXPECT_EQ(r.exit, 0) << users[i] << r.err;
  }
  for (const auto& u : users) {
    const Outcome r = Exec({"user", "show", u, "--directory", db});
    EXPECT_EQ(Json(r)["password"], "pw-" + u) << u;
  }
}

TEST_F(Veskhost, DemoPrintsTwoLogins) {
  const Outcome r = Exec({"demo"});
  EXPECT_EQ(r.exit, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("1. typed password against the salted SHA-1 hash: login succeeded"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("2. a CHAP answer against the synced plain password: login succeeded"), std::string::npos)
      << r.out;
}

}  // namespace
