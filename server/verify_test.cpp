// Every row of the verification table, matching and not, through the real
// pwdlsm.so: the answer goes in by its own type (direct form) or as asked for
// (current form), and the verdict comes back. Expected answers are built here
// with Nettle, libxcrypt and the broker, never with the module's routines.
#include <functional>

#include "ccs/ccsx.h"
#include "method/status.h"
#include "server/lsm_test_env.h"

namespace lsm_test {
namespace {

using namespace wistra;

constexpr std::string_view kPassword = "MiXed Case";
constexpr std::string_view kOther = "MiXad Case";  // differs within the first 8 bytes, all crypt and AFP read
const Bytes kSalt16 = Of("sixteen salt byt");
const Bytes kChallenge8 = Of("8 bytes!");

using Store = std::function<void(vesk::Attempt&)>;

Store Plain(std::string_view password = kPassword) {
  return [p = std::string(password)](vesk::Attempt& a) { a.SetPasswordValue(p); };
}
Store Stored(Bytes value) {
  return [value](vesk::Attempt& a) {
    a.SetPasswordValueAbsent(kStatusNoSuchValue);
    a.SetPasswordHash(value);
  };
}
Store GaltStored(std::span<const std::uint8_t, 4> salt) {
  Bytes hash = Galt(salt, kPassword);
  std::array<std::uint8_t, 4> s;
  std::copy(salt.begin(), salt.end(), s.begin());
  return [hash, s](vesk::Attempt& a) {
    a.SetPasswordValueAbsent(kStatusNoSuchValue);
    a.SetPasswordHashAbsent(kStatusNoHash);
    a.SetGaltHash(hash, s);
  };
}

Bytes Le32(std::uint32_t w) { return vesk::Le32(w); }

Bytes ChapAnswer(std::uint8_t id, std::span<const std::uint8_t> challenge, std::uint32_t challengeLen,
                 std::span<const std::uint8_t> response, std::uint32_t responseLen) {
  chapAnswer chap;
  chap.id = id;
  std::copy(challenge.begin(), challenge.end(), chap.challenge);
  chap.challengeLen = challengeLen;
  std::copy(response.begin(), response.end(), chap.response);
  chap.responseLen = responseLen;
  Bytes out(chapAnswer::kSize);
  EncodeChapAnswer(chap, out);
  return out;
}

Bytes MsChapAnswer(std::string_view password) {
  Bytes record(91);
  std::copy(kChallenge8.begin(), kChallenge8.end(), record.begin());
  const Bytes response = DesResponse(NtHash(password), kChallenge8);
  std::copy(response.begin(), response.end(), record.begin() + 40);
  record[88] = 8;     // challenge length
  record[89] = 0x01;  // the NT response is the one to check
  return record;
}

Bytes CifsAnswer(std::string_view password) { return Join({kChallenge8, DesResponse(NtHash(password), kChallenge8)}); }

Bytes AfpAnswer(std::string_view password) {
  std::uint8_t key[8] = {};
  std::copy_n(password.begin(), std::min<std::size_t>(8, password.size()), key);
  Bytes record(36);
  record[0] = 2;  // random-number exchange
  std::copy(kChallenge8.begin(), kChallenge8.end(), record.begin() + 4);
  const Bytes proof = DesBlock(std::span<const std::uint8_t>(key, 8), kChallenge8);
  std::copy(proof.begin(), proof.end(), record.begin() + 12);
  return record;
}

Bytes VeskPeluAnswer(std::string_view password) {
  const Bytes dataA = Of("data A"), dataB = Of("the B data");
  const Bytes expected = Sha1(Join({Sha1(Of(password)), dataB, dataA}));
  Bytes record(124);
  const auto put = [&](std::size_t at, std::span<const std::uint8_t> b) { std::copy(b.begin(), b.end(), record.begin() + at); };
  put(0, Of("salt"));
  put(4, Le32(static_cast<std::uint32_t>(expected.size())));
  put(8, expected);
  put(44, Le32(static_cast<std::uint32_t>(dataA.size())));
  put(48, dataA);
  put(84, Le32(static_cast<std::uint32_t>(dataB.size())));
  put(88, dataB);
  return record;
}

// The broker's encryption of the Galt hash, made by another front end that
// shares the broker's key.
Bytes HedraPivoAnswer(std::string_view password) {
  const CCS_Word ownHandle = 0x5157;
  if (ATBX_OpenATB(ownHandle) == 0) return {};
  const std::uint8_t salt[4] = {9, 8, 7, 6};
  const Bytes keyReference = Le32(0x1234);
  const Bytes digest = Galt(salt, password);
  std::uint32_t length = 0;
  ATX_EncryptWithSecretKey(ownHandle, 16, digest.data(), 4, keyReference.data(), 0, &length, nullptr);
  Bytes encrypted(length);
  const std::int32_t status = ATX_EncryptWithSecretKey(ownHandle, 16, digest.data(), 4, keyReference.data(), length,
                                                       &length, encrypted.data());
  ATBX_CloseATB(ownHandle);
  if (status != 0) return {};
  return Join({keyReference, Bytes(salt, salt + 4), Le32(length), encrypted});
}

Bytes Flipped(Bytes b, std::size_t at) {
  b.at(at) ^= 0x01;
  return b;
}

struct Row {
  const char* name;
  Store store;
  std::int32_t answerType;
  std::optional<Bytes> matching;  // none: nothing matches this pairing
  std::vector<Bytes> mismatching;
};

class VerifyTest : public LsmTest {};

TEST_F(VerifyTest, EveryRowMatchesItsAnswerAndNothingElse) {
  const Bytes sha1 = Sha1(Of(kPassword)), md5 = Md5(Of(kPassword));
  const Bytes crypt = CryptWithZero(kPassword, "ab"), cryptOther = CryptWithZero(kOther, "ab");
  const std::string cryptText(crypt.begin(), crypt.end() - 1);
  const Bytes salted = Join({Sha1(Join({Of(kPassword), kSalt16})), kSalt16});
  const Bytes chapResponse = Md5(Join({Bytes{7}, Of(kPassword), kChallenge8}));
  const Bytes chap = ChapAnswer(7, kChallenge8, 8, chapResponse, 16);
  const Bytes kChallenge32 = Of("thirty-two bytes of a challenge!");
  const Bytes hedra = HedraPivoAnswer(kPassword);
  ASSERT_FALSE(hedra.empty());
  const std::array<std::uint8_t, 4> galtSalt = {1, 2, 3, 4};

  const std::vector<Row> rows = {
      // Equal types.
      {"1 against 1", Plain(), HASH_PLAIN, Of(kPassword),
       {Of(kOther), Join({Of(kPassword), Bytes{0}}), Of(kPassword.substr(1))}},
      {"2 against 2", Stored(StoredValue(2, sha1)), HASH_SHA1, sha1,
       {Flipped(sha1, 19), Bytes(sha1.begin(), sha1.end() - 1)}},
      {"3 against 3", Stored(StoredValue(3, md5)), HASH_MD5, md5, {Flipped(md5, 0), Join({md5, Bytes{0}})}},
      {"4 against 4 (with its zero)", Stored(StoredText(4, cryptText)), HASH_CRYPT, crypt,
       {cryptOther, Bytes(crypt.begin(), crypt.end() - 2)}},
      {"4 against 4 (without its zero)", Stored(StoredText(4, cryptText)), HASH_CRYPT,
       Bytes(crypt.begin(), crypt.end() - 1), {}},
      {"8 against 8", Stored(StoredValue(8, salted)), HASH_SALTED_SHA1, Join({Bytes(salted.begin(), salted.begin() + 20), Of("any tail")}),
       {Bytes(salted.begin(), salted.begin() + 19), Flipped(Bytes(salted.begin(), salted.begin() + 20), 5)}},
      {"9 against 9, byte for byte", Stored(StoredValue(9, Of("opaque"))), HASH_HEDRA_PIVO, Of("opaque"),
       {Of("opaquf")}},
      // Against a stored plain password.
      {"8 against 1 (no extra data in the direct form)", Plain(), HASH_SALTED_SHA1, sha1,
       {Sha1(Join({Of(kPassword), Of("x")})), Bytes(sha1.begin(), sha1.end() - 1)}},
      {"2 against 1", Plain(), HASH_SHA1, sha1, {Flipped(sha1, 3), Join({sha1, Bytes{0}})}},
      {"3 against 1", Plain(), HASH_MD5, md5, {Md5(Of(kOther))}},
      {"4 against 1", Plain(), HASH_CRYPT, CryptWithZero(kPassword, "xy"),
       {CryptWithZero(kOther, "xy"), Join({CryptWithZero(kPassword, "xy"), Bytes{0}}), Of("x")}},
      {"5 against 1", Plain(), HASH_CHAP, chap,
       {Bytes(chap.begin(), chap.end() - 1), Join({chap, Bytes{0}}), ChapAnswer(7, kChallenge8, 8, Flipped(chapResponse, 2), 16),
        // Lengths past the 32-byte fields (a check that read on would leave
        // the record: the sanitizer build sees that).
        ChapAnswer(7, kChallenge32, 33, Md5(Join({Bytes{7}, Of(kPassword), kChallenge32, Bytes{0}})), 16),
        ChapAnswer(7, kChallenge32, 200, chapResponse, 16),
        ChapAnswer(7, kChallenge8, 8, chapResponse, 33)}},
      {"6 against 1", Plain(), HASH_MSCHAP, MsChapAnswer(kPassword), {MsChapAnswer(kOther)}},
      {"7 against 1", Plain(), HASH_CIFS, CifsAnswer(kPassword), {CifsAnswer(kOther)}},
      {"9 against 1", Plain(), HASH_HEDRA_PIVO, hedra, {Flipped(hedra, hedra.size() - 1)}},
      {"10 against 1", Plain(), HASH_AFP, AfpAnswer(kPassword), {AfpAnswer(kOther)}},
      {"11 against 1", Plain(), HASH_VESK_PELU, VeskPeluAnswer(kPassword), {VeskPeluAnswer(kOther)}},
      // A plain-password answer against a stored digest.
      {"1 against 8", Stored(StoredValue(8, salted)), HASH_PLAIN, Of(kPassword), {Of(kOther), Of("MIXED CASE")}},
      {"1 against 8 without salt", Stored(StoredValue(8, sha1)), HASH_PLAIN, std::nullopt, {Of(kPassword)}},
      {"1 against 2", Stored(StoredValue(2, sha1)), HASH_PLAIN, Of(kPassword), {Of(kOther)}},
      {"1 against 3", Stored(StoredValue(3, md5)), HASH_PLAIN, Of(kPassword), {Of(kOther)}},
      {"1 against 4", Stored(StoredText(4, cryptText)), HASH_PLAIN, Of(kPassword), {Of(kOther)}},
      {"1 against 4 too short for a salt", Stored(StoredText(4, "a")), HASH_PLAIN, std::nullopt, {Of(kPassword)}},
      // Pairings no row covers.
      {"1 against 12", GaltStored(galtSalt), HASH_PLAIN, std::nullopt, {Of(kPassword)}},
      {"7 against 2", Stored(StoredValue(2, sha1)), HASH_CIFS, std::nullopt, {CifsAnswer(kPassword)}},
      {"2 against 3", Stored(StoredValue(3, md5)), HASH_SHA1, std::nullopt, {sha1}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    if (row.matching) {
      vesk::Attempt attempt;
      row.store(attempt);
      EXPECT_EQ(DirectVerdict(attempt, row.answerType, *row.matching), 1u) << "the right answer";
    }
    for (std::size_t i = 0; i < row.mismatching.size(); ++i) {
      SCOPED_TRACE("wrong answer " + std::to_string(i));
      vesk::Attempt attempt;
      row.store(attempt);
      EXPECT_EQ(DirectVerdict(attempt, row.answerType, row.mismatching[i]), 0u);
      EXPECT_EQ(attempt.Allocs().outstanding, 0u);
    }
  }
}

// The rows that need this attempt's extra data: the answer must be made from
// what the server offered, not from other bytes.
TEST_F(VerifyTest, AnswersToTheOfferedChallenge) {
  struct Case {
    const char* name;
    Store store;
    std::function<Bytes(const Offer&)> answer;
    std::uint32_t verdict;
  };
  const std::array<std::uint8_t, 4> salt = {5, 6, 7, 8};
  const Bytes galtHash = Galt(salt, kPassword);
  const auto tail = [](const Offer& o) { return Bytes(o.extra.begin() + 4, o.extra.end()); };
  const std::vector<Case> cases = {
      {"8 against 1, this challenge", Plain(),
       [](const Offer& o) { return Sha1(Join({Of(kPassword), o.extra})); }, 1},
      {"8 against 1, other bytes", Plain(), [](const Offer&) { return Sha1(Join({Of(kPassword), kSalt16})); }, 0},
      {"12 against 12", GaltStored(salt), [&](const Offer& o) { return Sha1(Join({galtHash, tail(o)})); }, 1},
      {"12 against 12, 19 bytes", GaltStored(salt),
       [&](const Offer& o) { Bytes a = Sha1(Join({galtHash, tail(o)})); a.pop_back(); return a; }, 0},
      {"12 against 12, 21 bytes", GaltStored(salt),
       [&](const Offer& o) { return Join({Sha1(Join({galtHash, tail(o)})), Bytes{0}}); }, 0},
      {"12 against 12, other challenge", GaltStored(salt),
       [&](const Offer&) { return Sha1(Join({galtHash, kSalt16})); }, 0},
      // The record falls to the Galt hash, but the stored secret is looked up
      // afresh and that lookup ends at the password value's status.
      {"12 offered after the value said no hash", [&](vesk::Attempt& a) {
         GaltStored(salt)(a);
         a.SetPasswordValueAbsent(kStatusNoHash);
       }, [&](const Offer& o) { return Sha1(Join({galtHash, tail(o)})); }, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    vesk::Attempt attempt;
    c.store(attempt);
    Session run(*this, attempt);
    Offer offer;
    ASSERT_TRUE(Open(run.client, &offer));
    Answer(run.client, offer.record.hashId, 0, c.answer(offer));
    EXPECT_EQ(Verdict(run.client), c.verdict);
    EXPECT_EQ(run.server.Join(), 0);
  }
}

// Upper-cased entries of a multi-hash answer match a stored plain password
// that upper-cases to the same text; only upcase 1 upper-cases.
TEST_F(VerifyTest, MultiHashEntriesCompareUpperCasedWhenAsked) {
  struct Case {
    const char* name;
    std::function<Bytes(std::span<const std::uint8_t> right, std::span<const std::uint8_t> upper)> message;
    std::uint32_t verdict;
  };
  const auto entries = [](std::initializer_list<std::pair<std::uint32_t, Bytes>> list, std::uint32_t count) {
    Bytes out = Le32(count);
    for (const auto& [upcase, bytes] : list) out = Join({out, Le32(upcase), Le32(static_cast<std::uint32_t>(bytes.size())), bytes});
    return out;
  };
  const std::vector<Case> cases = {
      {"upper-cased hash in the second entry",
       [&](auto, auto upper) { return entries({{0, Bytes(upper.begin(), upper.end())}, {1, Bytes(upper.begin(), upper.end())}}, 2); }, 1},
      {"hash as typed in the first entry",
       [&](auto right, auto) { return entries({{0, Bytes(right.begin(), right.end())}, {1, Bytes(20)}}, 2); }, 1},
      {"upcase 2 does not upper-case",
       [&](auto, auto upper) { return entries({{0, Bytes(upper.begin(), upper.end())}, {2, Bytes(upper.begin(), upper.end())}}, 2); }, 0},
      {"count 1 ends the walk before the match",
       [&](auto, auto upper) { return entries({{0, Bytes(20)}, {1, Bytes(upper.begin(), upper.end())}}, 1); }, 0},
      {"count 0", [&](auto right, auto) { return entries({{0, Bytes(right.begin(), right.end())}}, 0); }, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    vesk::Attempt attempt;
    attempt.SetPasswordValue(std::string(kPassword));
    attempt.SetPasswordFlags(22, PWDINFO_UPPERCASE_HASH);
    Session run(*this, attempt);
    Offer offer;
    ASSERT_TRUE(Open(run.client, &offer));
    ASSERT_NE(offer.record.flags & PWDINFO_UPPERCASE_HASH, 0u);
    const Bytes right = Sha1(Join({Of(kPassword), offer.extra}));
    const Bytes upper = Sha1(Join({Of("MIXED CASE"), offer.extra}));
    Answer(run.client, HASH_SALTED_SHA1, ANSWER_MULTI_HASHES, c.message(right, upper));
    EXPECT_EQ(Verdict(run.client), c.verdict);
    EXPECT_EQ(run.server.Join(), 0);
    EXPECT_EQ(LinesWith(attempt, "PWD LSM: Calling"), std::vector<std::string>{"PWD LSM: Calling multiHashVerify"});
  }
}

}  // namespace
}  // namespace lsm_test
