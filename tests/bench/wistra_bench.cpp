#include "tests/bench/wistra_bench.h"

#include <benchmark/benchmark.h>
#include <crypt.h>
#include <unistd.h>
#include <nettle/des.h>
#include <nettle/md4.h>
#include <nettle/md5.h>
#include <nettle/sha1.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ccs/atb.h"
#include "ccs/ccs.h"
#include "platform/tarn/tarn_control.h"
#include "platform/tarn/tarn_host.h"
#include "platform/vesk/vesk.h"
#include "server/verify.h"
#include "tests/support/reference.h"

namespace wistra_bench {
namespace {

using Bytes = std::vector<std::uint8_t>;

const std::string kPassword = "Secret1";

using wistra::reference::Of;
using wistra::reference::PutLe32;
using wistra::reference::Join;

// --- The raw primitives, straight from Nettle and libxcrypt --------------------

void Sha1(std::span<const std::uint8_t> in, std::uint8_t out[SHA1_DIGEST_SIZE]) {
  sha1_ctx c;
  sha1_init(&c);
  sha1_update(&c, in.size(), in.data());
  sha1_digest(&c, SHA1_DIGEST_SIZE, out);
}
void Md5(std::span<const std::uint8_t> in, std::uint8_t out[MD5_DIGEST_SIZE]) {
  md5_ctx c;
  md5_init(&c);
  md5_update(&c, in.size(), in.data());
  md5_digest(&c, MD5_DIGEST_SIZE, out);
}
Bytes Sha1(std::span<const std::uint8_t> in) {
  Bytes out(SHA1_DIGEST_SIZE);
  Sha1(in, out.data());
  return out;
}
Bytes Md5(std::span<const std::uint8_t> in) {
  Bytes out(MD5_DIGEST_SIZE);
  Md5(in, out.data());
  return out;
}
// The NT hash of an ASCII or Latin-1-free UTF-8 password (the benchmark's is ASCII).
void NtHash(const std::string& pw, std::uint8_t out[MD4_DIGEST_SIZE]) {
  std::uint8_t units[512];
  std::size_t n = 0;
  for (unsigned char c : pw) {
    units[n++] = c;
    units[n++] = 0;
  }
  md4_ctx c;
  md4_init(&c);
  md4_update(&c, n, units);
  md4_digest(&c, MD4_DIGEST_SIZE, out);
}
// DES of one block under the key spread from a 7-byte slice.
void DesSlice(const std::uint8_t s[7], const std::uint8_t in[8], std::uint8_t out[8]) {
  std::uint8_t k[8] = {
      static_cast<std::uint8_t>(s[0] & 0xFE),
      static_cast<std::uint8_t>(((s[0] & 0x01) << 7) | (s[1] >> 1)),
      static_cast<std::uint8_t>(((s[1] & 0x03) << 6) | (s[2] >> 2)),
      static_cast<std::uint8_t>(((s[2] & 0x07) << 5) | (s[3] >> 3)),
      static_cast<std::uint8_t>(((s[3] & 0x0F) << 4) | (s[4] >> 4)),
      static_cast<std::uint8_t>(((s[4] & 0x1F) << 3) | (s[5] >> 5)),
      static_cast<std::uint8_t>(((s[5] & 0x3F) << 2) | (s[6] >> 6)),
      static_cast<std::uint8_t>((s[6] & 0x7F) << 1),
  };
  des_fix_parity(8, k, k);
  des_ctx c;
  des_set_key(&c, k);
  des_encrypt(&c, 8, out, in);
}
// The 24-byte response of a 16-byte hash to an 8-byte challenge.
void Response(const std::uint8_t hash[16], const std::uint8_t challenge[8], std::uint8_t out[24]) {
  std::uint8_t padded[21] = {};
  std::memcpy(padded, hash, 16);
  for (int i = 0; i < 3; ++i) DesSlice(padded + 7 * i, challenge, out + 8 * i);
}
void Lanman(const std::string& pw, std::uint8_t out[16]) {
  std::uint8_t upper[14] = {};
  for (std::size_t i = 0; i < pw.size() && i < 14; ++i) upper[i] = static_cast<std::uint8_t>(std::toupper(pw[i]));
  static const std::uint8_t kMagic[8] = {'K', 'G', 'S', '!', '@', '#', '$', '%'};
  DesSlice(upper, kMagic, out);
  DesSlice(upper + 7, kMagic, out + 8);
}

// --- The schemes ----------------------------------------------------------------

constexpr std::uint8_t kChallenge16[16] = {0x5A, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
constexpr std::uint8_t kGaltSalt[4] = {0x10, 0x20, 0x30, 0x40};

struct Scheme {
  const char* name;
  std::int32_t answerType;
  Bytes answer;
  Bytes extra;
  bool galtRecord = false;  // the directory holds the Galt hash, not the password
  std::function<void()> raw;  // one verification's worth of raw primitive work
};

std::vector<Scheme> MakeSchemes() {
  const Bytes pw = Of(kPassword);
  std::vector<Scheme> s;

  s.push_back({"salted_sha1", 8, Sha1(Join({pw, kChallenge16})), Bytes(kChallenge16, kChallenge16 + 16), false, nullptr});
  s.back().raw = [pw, expect = s.back().answer] {
    std::uint8_t in[64], d[20];
    std::memcpy(in, pw.data(), pw.size());
    std::memcpy(in + pw.size(), kChallenge16, 16);
    Sha1(std::span<const std::uint8_t>(in, pw.size() + 16), d);
    benchmark::DoNotOptimize(std::memcmp(d, expect.data(), 20));
  };
  s.push_back({"sha1", 2, Sha1(pw), {}, false, nullptr});
  s.back().raw = [pw, expect = s.back().answer] {
    std::uint8_t d[20];
    Sha1(pw, d);
    benchmark::DoNotOptimize(std::memcmp(d, expect.data(), 20));
  };
  s.push_back({"md5", 3, Md5(pw), {}, false, nullptr});
  s.back().raw = [pw, expect = s.back().answer] {
    std::uint8_t d[16];
    Md5(pw, d);
    benchmark::DoNotOptimize(std::memcmp(d, expect.data(), 16));
  };
  {
    crypt_data cd;
    std::memset(&cd, 0, sizeof cd);
    const char* text = crypt_r(kPassword.c_str(), "ab", &cd);
    Bytes answer(text, text + std::strlen(text) + 1);
    s.push_back({"crypt", 4, answer, {}, false, nullptr});
    s.back().raw = [answer] {
      crypt_data data;
      data.initialized = 0;
      const char* t = crypt_r(kPassword.c_str(), reinterpret_cast<const char*>(answer.data()), &data);
      benchmark::DoNotOptimize(std::strcmp(t, reinterpret_cast<const char*>(answer.data())));
    };
  }
  {
    Bytes chap(76, 0);
    chap[0] = 7;
    std::memcpy(chap.data() + 4, kChallenge16, 16);
    PutLe32(chap, 36, 16);
    const Bytes r = Md5(Join({Bytes{7}, pw, kChallenge16}));
    std::memcpy(chap.data() + 40, r.data(), 16);
    PutLe32(chap, 72, 16);
    s.push_back({"chap", 5, chap, {}, false, nullptr});
    s.back().raw = [pw, r] {
      std::uint8_t in[64], d[16];
      in[0] = 7;
      std::memcpy(in + 1, pw.data(), pw.size());
      std::memcpy(in + 1 + pw.size(), kChallenge16, 16);
      Md5(std::span<const std::uint8_t>(in, 1 + pw.size() + 16), d);
      benchmark::DoNotOptimize(std::memcmp(d, r.data(), 16));
    };
  }
  {
    // The NT variant; a match also fills in both hashes, so the LAN Manager
    // hash is part of the work.
    std::uint8_t nt[16], resp[24];
    NtHash(kPassword, nt);
    Response(nt, kChallenge16, resp);
    Bytes ms(91, 0);
    std::memcpy(ms.data(), kChallenge16, 8);
    std::memcpy(ms.data() + 40, resp, 24);
    ms[88] = 8;
    ms[89] = 1;
    s.push_back({"mschap", 6, ms, {}, false, [] {
                   std::uint8_t h[16], r[24], lm[16];
                   NtHash(kPassword, h);
                   Response(h, kChallenge16, r);
                   Lanman(kPassword, lm);
                   benchmark::DoNotOptimize(r);
                   benchmark::DoNotOptimize(lm);
                 }});
  }
  {
    std::uint8_t nt[16], resp[24];
    NtHash(kPassword, nt);
    Response(nt, kChallenge16, resp);
    Bytes cifs(32, 0);
    std::memcpy(cifs.data(), kChallenge16, 8);
    std::memcpy(cifs.data() + 8, resp, 24);
    s.push_back({"cifs", 7, cifs, {}, false, [] {
                   std::uint8_t h[16], r[24];
                   NtHash(kPassword, h);
                   Response(h, kChallenge16, r);
                   benchmark::DoNotOptimize(r);
                 }});
  }
  {
    // Random-number exchange: the proof is DES of the server random under the
    // password's first eight bytes.
    std::uint8_t key[8] = {};
    std::memcpy(key, kPassword.data(), std::min<std::size_t>(8, kPassword.size()));
    des_ctx c;
    des_fix_parity(8, key, key);
    des_set_key(&c, key);
    std::uint8_t proof[8];
    des_encrypt(&c, 8, proof, kChallenge16);
    Bytes afp(36, 0);
    afp[0] = 2;
    std::memcpy(afp.data() + 4, kChallenge16, 8);
    std::memcpy(afp.data() + 12, proof, 8);
    s.push_back({"afp", 10, afp, {}, false, [] {
                   std::uint8_t k[8] = {};
                   std::memcpy(k, kPassword.data(), std::min<std::size_t>(8, kPassword.size()));
                   des_fix_parity(8, k, k);
                   des_ctx ctx;
                   des_set_key(&ctx, k);
                   std::uint8_t out[8];
                   des_encrypt(&ctx, 8, out, kChallenge16);
                   benchmark::DoNotOptimize(out);
                 }});
  }
  {
    const Bytes a(kChallenge16, kChallenge16 + 16), b(kChallenge16 + 4, kChallenge16 + 12);
    const Bytes expected = Sha1(Join({Sha1(pw), b, a}));
    Bytes pelu(144, 0);  // the record and the buffer bytes that travel behind it
    std::memcpy(pelu.data(), kGaltSalt, 4);
    PutLe32(pelu, 4, 20);
    std::memcpy(pelu.data() + 8, expected.data(), 20);
    PutLe32(pelu, 44, static_cast<std::uint32_t>(a.size()));
    std::memcpy(pelu.data() + 48, a.data(), a.size());
    PutLe32(pelu, 84, static_cast<std::uint32_t>(b.size()));
    std::memcpy(pelu.data() + 88, b.data(), b.size());
    s.push_back({"vesk_pelu", 11, pelu, {}, false, [pw, a, b] {
                   std::uint8_t inner[20], in[20 + 36 + 36], outer[20];
                   Sha1(pw, inner);
                   std::memcpy(in, inner, 20);
                   std::memcpy(in + 20, b.data(), b.size());
                   std::memcpy(in + 20 + b.size(), a.data(), a.size());
                   Sha1(std::span<const std::uint8_t>(in, 20 + b.size() + a.size()), outer);
                   benchmark::DoNotOptimize(outer);
                 }});
  }
  {
    Bytes galt(tarn::kGaltHashSize);
    TarnHost_GaltHash(kGaltSalt, pw.data(), static_cast<std::uint32_t>(pw.size()), galt.data());
    const Bytes extra = Join({kGaltSalt, std::span<const std::uint8_t>(kChallenge16, 16)});
    const Bytes answer = Sha1(Join({galt, std::span<const std::uint8_t>(kChallenge16, 16)}));
    s.push_back({"galt", 12, answer, extra, true, [galt, answer] {
                   std::uint8_t in[32], d[20];
                   std::memcpy(in, galt.data(), 16);
                   std::memcpy(in + 16, kChallenge16, 16);
                   Sha1(std::span<const std::uint8_t>(in, 32), d);
                   benchmark::DoNotOptimize(std::memcmp(d, answer.data(), 20));
                 }});
  }
  return s;
}

// --- Results, collected as the run reports them ----------------------------------

class Collector : public benchmark::ConsoleReporter {
 public:
  Collector() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      if (r.error_occurred || r.iterations == 0) continue;
      // Per iteration across all threads: wall time divided by the work done.
      std::string key = r.run_name.function_name;
      if (key == "login" || key == "bare") key += "/threads:" + std::to_string(r.threads);
      nanos[key] = r.real_accumulated_time * 1e9 / static_cast<double>(r.iterations);
    }
  }
  std::map<std::string, double> nanos;
};

// Facade calls one verification makes, counted at the crypto service.
constexpr const char* kFacadeOperations[] = {
    "CCSX_CreateContext", "CCSX_DestroyContext", "CCSX_DestroyObject", "CCSX_InjectKey",
    "CCSX_DataEncryptInit", "CCSX_Encrypt",      "CCSX_DigestInit",    "CCSX_Digest",
    "CCSX_DigestUpdate",  "CCSX_DigestFinal",    "ATX_EncryptWithSecretKey"};
std::uint32_t FacadeCalls() {
  std::uint32_t n = 0;
  for (const char* op : kFacadeOperations) n += TarnControl_CallCount(op);
  return n;
}

std::map<std::string, std::uint32_t> facadeCallsPerScheme;

// One attempt whose record holds the secret; refreshed now and then, since the
// stand-in keeps every trace line an attempt receives.
struct Record {
  explicit Record(const Scheme& s) : scheme(s) { Renew(); }
  void Renew() {
    scope.reset();
    attempt = std::make_unique<vesk::Attempt>();
    if (scheme.galtRecord) {
      Bytes galt(tarn::kGaltHashSize);
      const Bytes pw = Of(kPassword);
      TarnHost_GaltHash(kGaltSalt, pw.data(), static_cast<std::uint32_t>(pw.size()), galt.data());
      attempt->SetGaltHash(galt, std::span<const std::uint8_t, 4>(kGaltSalt));
    } else {
      attempt->SetPasswordValue(kPassword);
    }
    // As a production host runs: formatted trace lines off (fixed ones still go out).
    attempt->SetTraceEnabled(false);
    scope = std::make_unique<vesk::Attempt::ThreadScope>(*attempt);
  }
  mafHandle handle() const { return attempt->Handle(vesk::Side::kServer); }
  const Scheme& scheme;
  std::unique_ptr<vesk::Attempt> attempt;
  std::unique_ptr<vesk::Attempt::ThreadScope> scope;
};

void BM_Verify(benchmark::State& state, const Scheme* scheme) {
  Record record(*scheme);
  Bytes answer = scheme->answer;
  {
    TarnControl_Reset();
    const int v = wistra::verifyPassword(record.handle(), scheme->answerType, 0, answer, scheme->extra);
    facadeCallsPerScheme[scheme->name] = FacadeCalls();
    if (v != 1) {
      state.SkipWithError("the answer did not verify");
      return;
    }
  }
  std::uint64_t n = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(wistra::verifyPassword(record.handle(), scheme->answerType, 0, answer, scheme->extra));
    if ((++n & 1023) == 0) {
      state.PauseTiming();
      record.Renew();
      state.ResumeTiming();
    }
  }
}

void BM_Raw(benchmark::State& state, const Scheme* scheme) {
  for (auto _ : state) scheme->raw();
}

// Facade calls that do no crypto work. The unit of the table: a context made
// and destroyed again, as every verification does, counted as two calls. Shown
// beside it: a call the service refuses at once (a context that does not
// exist), which is the facade's own lock and forwarding alone.
void BM_FacadeContext(benchmark::State& state) {
  std::uint32_t context = 0;
  for (auto _ : state) {
    CCS_CreateContext(0, &context);
    benchmark::DoNotOptimize(CCS_DestroyContext(context));
  }
}
void BM_FacadeRefused(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(CCS_DestroyContext(0x7FFFFFF0u));
}

// --- Whole logins and bare round trips ------------------------------------------------

vesk::Entry serverEntry = nullptr;
vesk::Entry clientEntry = nullptr;

// The messages of a current-form login against a plain password, with their
// sizes, and nothing else: what the framework's channel costs on its own.
std::int32_t BareClient(mafHandle h) {
  if (MAF_Begin(h) != 0) return -1;
  std::uint8_t buf[64] = {};
  std::uint32_t len = 0;
  MAF_Write(h, 8, buf);
  MAF_Write(h, 4, buf);
  len = 16;
  MAF_Read(h, &len, buf);
  len = 16;
  MAF_Read(h, &len, buf);
  MAF_Write(h, 8, buf);
  len = 4;
  const std::int32_t s = MAF_WriteRead(h, 20, buf, &len, buf);
  MAF_End(h, s, 0, 0);
  return s;
}
std::int32_t BareServer(mafHandle h) {
  if (MAF_Begin(h) != 0) return -1;
  std::uint8_t* buf = static_cast<std::uint8_t*>(MAF_Malloc(16384));
  std::uint32_t len = 0;
  std::int32_t s = 0;
  for (int i = 0; i < 2; ++i) {
    len = 16384;
    s |= MAF_Read(h, &len, buf);
  }
  MAF_Write(h, 16, buf);
  MAF_Write(h, 16, buf);
  for (int i = 0; i < 2; ++i) {
    len = 16384;
    s |= MAF_Read(h, &len, buf);
  }
  MAF_Write(h, 4, buf);
  MAF_End(h, s, 0, 0);
  MAF_Free(buf);
  return s;
}

void BM_Login(benchmark::State& state) {
  for (auto _ : state) {
    vesk::Attempt attempt;
    attempt.SetPasswordValue(kPassword);
    attempt.SetTypedPassword(kPassword);
    attempt.SetTraceEnabled(false);
    const vesk::PairResult r = vesk::RunPair(attempt, clientEntry, serverEntry);
    if (!r.client || !r.server || *r.client != 0 || *r.server != 0) {
      state.SkipWithError("a login failed");
      return;
    }
  }
}

void BM_BareRoundTrips(benchmark::State& state) {
  for (auto _ : state) {
    vesk::Attempt attempt;
    attempt.SetPasswordValue(kPassword);
    attempt.SetTypedPassword(kPassword);
    attempt.SetTraceEnabled(false);
    const vesk::PairResult r = vesk::RunPair(attempt, BareClient, BareServer);
    if (!r.client || !r.server || *r.client != 0 || *r.server != 0) {
      state.SkipWithError("a bare exchange failed");
      return;
    }
  }
}

// --- The table -------------------------------------------------------------------------

void PrintTable(const std::map<std::string, double>& t, const std::vector<Scheme>& schemes, bool judge) {
  auto at = [&](const std::string& k) { auto i = t.find(k); return i == t.end() ? 0.0 : i->second; };
  const double facade = at("facade_context_pair") / 2;
  std::printf("\nverification against its raw primitives and its facade calls (ns)\n");
  std::printf("one facade call: %.0f ns (a context made and destroyed, per call); a refused call: %.0f ns\n", facade,
              at("facade_refused"));
  std::printf("%-12s %10s %10s %7s %12s %8s %s\n", "scheme", "verify", "raw", "calls", "raw+calls", "ratio",
              judge ? "target <= 2" : "");
  for (const Scheme& s : schemes) {
    const double v = at(std::string("verify/") + s.name), r = at(std::string("raw/") + s.name);
    const std::uint32_t calls = facadeCallsPerScheme[s.name];
    const double base = r + calls * facade;
    const double ratio = base > 0 ? v / base : 0;
    std::printf("%-12s %10.0f %10.0f %7u %12.0f %8.2f %s\n", s.name, v, r, calls, base, ratio,
                judge ? (ratio <= 2.0 ? "met" : "MISSED") : "");
  }
  std::printf("\nwhole logins against bare round trips (ns per login, all threads together)\n");
  std::printf("%-8s %12s %12s %12s %8s %s\n", "threads", "login", "bare", "bare+verify", "ratio",
              judge ? "target <= 1.5" : "");
  const double verify = at("verify/salted_sha1");
  for (const char* th : {"1", "2"}) {
    const double l = at(std::string("login/threads:") + th), b = at(std::string("bare/threads:") + th);
    const double base = b + verify;
    const double ratio = base > 0 ? l / base : 0;
    std::printf("%-8s %12.0f %12.0f %12.0f %8.2f %s\n", th, l, b, base, ratio,
                judge ? (ratio <= 1.5 ? "met" : "MISSED") : "");
  }
}

}  // namespace

int Run(int argc, char** argv, const Options& options) {
  std::string error;
  if (!vesk::SetHostCalls(vesk::kAllHostCalls, &error)) {
    std::fprintf(stderr, "bench: host calls: %s\n", error.c_str());
    return 1;
  }
  static CCS_Word atbHandle = 0;
  if (const std::int32_t s = ATBOpenATB(reinterpret_cast<CCS_Word>(&atbHandle)); s != 0 && s != -1498) {
    std::fprintf(stderr, "bench: the crypto facade did not come up: %d\n", s);
    return 1;
  }
  auto server = vesk::Module::Load(options.serverModule, &error);
  if (!server) {
    std::fprintf(stderr, "bench: %s\n", error.c_str());
    return 1;
  }
  auto client = vesk::Module::Load(options.clientModule, &error);
  if (!client) {
    std::fprintf(stderr, "bench: %s\n", error.c_str());
    return 1;
  }
  serverEntry = server->FindVersioned("LSM00000009", "SHA1_VERSION_1.0.0");
  clientEntry = client->FindVersioned("LCM00000009", "PXY_SHA1_VERSION_1.0.0");
  if (serverEntry == nullptr || clientEntry == nullptr) {
    std::fprintf(stderr, "bench: a module lacks its entry\n");
    return 1;
  }

  const std::vector<Scheme> schemes = MakeSchemes();
  std::vector<benchmark::internal::Benchmark*> all;
  all.push_back(benchmark::RegisterBenchmark("facade_context_pair", BM_FacadeContext));
  all.push_back(benchmark::RegisterBenchmark("facade_refused", BM_FacadeRefused));
  for (const Scheme& s : schemes) {
    all.push_back(benchmark::RegisterBenchmark((std::string("verify/") + s.name).c_str(), BM_Verify, &s));
    all.push_back(benchmark::RegisterBenchmark((std::string("raw/") + s.name).c_str(), BM_Raw, &s));
  }
  for (int threads : {1, 2}) {
    all.push_back(benchmark::RegisterBenchmark("login", BM_Login)->Threads(threads)->UseRealTime());
    all.push_back(benchmark::RegisterBenchmark("bare", BM_BareRoundTrips)->Threads(threads)->UseRealTime());
  }
  if (options.quick) {
    for (auto* b : all) b->Iterations(3);
  }

  std::vector<char*> args(argv, argv + argc);
  int n = static_cast<int>(args.size());
  benchmark::Initialize(&n, args.data());
  Collector collector;
  benchmark::RunSpecifiedBenchmarks(&collector);
  benchmark::ClearRegisteredBenchmarks();
  PrintTable(collector.nanos, schemes, !options.quick);

  // Every benchmark must have run (a skipped one left no entry), unless the
  // caller chose a subset.
  bool filtered = false;
  for (int i = 1; i < argc; ++i) filtered = filtered || std::strncmp(argv[i], "--benchmark_filter", 18) == 0;
  bool allRan = collector.nanos.count("facade_context_pair") == 1 && collector.nanos.count("facade_refused") == 1;
  for (const Scheme& s : schemes) {
    allRan = allRan && collector.nanos.count(std::string("verify/") + s.name) == 1 &&
          collector.nanos.count(std::string("raw/") + s.name) == 1;
  }
  for (const char* k : {"login/threads:1", "login/threads:2", "bare/threads:1", "bare/threads:2"}) {
    allRan = allRan && collector.nanos.count(k) == 1;
  }
  const bool complete = filtered || allRan;
  client->Unload();
  server->Unload();
  ATBCloseATB(reinterpret_cast<CCS_Word>(&atbHandle));
  if (!complete) std::fprintf(stderr, "bench: not every benchmark ran\n");
  return complete ? 0 : 1;
}

}  // namespace wistra_bench
