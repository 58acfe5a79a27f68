#include "platform/vesk/veskhost/directory.h"

#include <sqlite3.h>

namespace veskhost {

namespace {

constexpr int kBusyTimeoutMs = 30000;

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS users ("
    " name TEXT PRIMARY KEY,"
    " password TEXT,"
    " password_flag INTEGER NOT NULL DEFAULT 0,"
    " password_hash BLOB,"
    " password_flags INTEGER,"
    " galt_hash BLOB,"
    " galt_salt BLOB)";

// A prepared statement, finalised on every path.
class Statement {
 public:
  Statement(sqlite3* db, const char* sql) { rc_ = sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr); }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  bool ok() const { return rc_ == SQLITE_OK; }
  sqlite3_stmt* get() { return stmt_; }

  void BindText(int i, const std::optional<std::string>& v) {
    if (v) sqlite3_bind_text(stmt_, i, v->data(), static_cast<int>(v->size()), SQLITE_TRANSIENT);
    else sqlite3_bind_null(stmt_, i);
  }
  void BindBlob(int i, const std::optional<Bytes>& v) {
    if (v) sqlite3_bind_blob(stmt_, i, v->data(), static_cast<int>(v->size()), SQLITE_TRANSIENT);
    else sqlite3_bind_null(stmt_, i);
  }
  void BindInt(int i, const std::optional<std::uint32_t>& v) {
    if (v) sqlite3_bind_int64(stmt_, i, *v);
    else sqlite3_bind_null(stmt_, i);
  }

  std::optional<Bytes> Blob(int i) {
    if (sqlite3_column_type(stmt_, i) == SQLITE_NULL) return std::nullopt;
    const auto* p = static_cast<const std::uint8_t*>(sqlite3_column_blob(stmt_, i));
    return Bytes(p, p + sqlite3_column_bytes(stmt_, i));
  }
  std::optional<std::string> Text(int i) {
    if (sqlite3_column_type(stmt_, i) == SQLITE_NULL) return std::nullopt;
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, i));
    return std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, i)));
  }
  std::optional<std::uint32_t> Int(int i) {
    if (sqlite3_column_type(stmt_, i) == SQLITE_NULL) return std::nullopt;
    return static_cast<std::uint32_t>(sqlite3_column_int64(stmt_, i));
  }

 private:
  sqlite3_stmt* stmt_ = nullptr;
  int rc_ = SQLITE_ERROR;
};

}  // namespace

std::unique_ptr<Directory> Directory::Open(const std::string& path, std::string* error) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
    *error = "cannot open directory file " + path + ": " + (db ? sqlite3_errmsg(db) : "out of memory");
    sqlite3_close(db);
    return nullptr;
  }
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  std::unique_ptr<Directory> dir(new Directory(db));
  // FULL sync: a sync reported as stored is on disk.
  if (!dir->Exec("PRAGMA synchronous=FULL", error) || !dir->Exec(kSchema, error)) {
    *error = "directory file " + path + ": " + *error;
    return nullptr;
  }
  return dir;
}

Directory::~Directory() { sqlite3_close(db_); }

bool Directory::Exec(const char* sql, std::string* error) {
  char* msg = nullptr;
  if (sqlite3_exec(db_, sql, nullptr, nullptr, &msg) != SQLITE_OK) {
    *error = msg ? msg : sqlite3_errmsg(db_);
    sqlite3_free(msg);
    return false;
  }
  return true;
}

std::optional<UserRecord> Directory::Get(const std::string& user, std::string* error) {
  Statement st(db_,
               "SELECT password, password_flag, password_hash, password_flags, galt_hash, galt_salt"
               " FROM users WHERE name = ?");
  if (!st.ok()) {
    *error = sqlite3_errmsg(db_);
    return std::nullopt;
  }
  sqlite3_bind_text(st.get(), 1, user.data(), static_cast<int>(user.size()), SQLITE_TRANSIENT);
  const int rc = sqlite3_step(st.get());
  if (rc == SQLITE_DONE) return std::nullopt;
  if (rc != SQLITE_ROW) {
    *error = sqlite3_errmsg(db_);
    return std::nullopt;
  }
  UserRecord r;
  r.password = st.Text(0);
  r.passwordFlag = sqlite3_column_int(st.get(), 1) != 0;
  r.passwordHash = st.Blob(2);
  r.passwordFlags = st.Int(3);
  r.galtHash = st.Blob(4);
  r.galtSalt = st.Blob(5);
  return r;
}

bool Directory::Put(const std::string& user, const UserRecord& fields, std::string* error) {
  // IMMEDIATE takes the write lock before the read, so two processes updating
  // the same file serialise and neither works from a stale record.
  if (!Exec("BEGIN IMMEDIATE", error)) return false;
  std::string ignored;
  UserRecord merged = Get(user, error).value_or(UserRecord{});
  if (!error->empty()) {
    Exec("ROLLBACK", &ignored);
    return false;
  }
  Overlay(merged, fields);
  Statement st(db_,
               "INSERT INTO users (name, password, password_flag, password_hash, password_flags, galt_hash, galt_salt)"
               " VALUES (?, ?, ?, ?, ?, ?, ?)"
               " ON CONFLICT(name) DO UPDATE SET password=excluded.password, password_flag=excluded.password_flag,"
               " password_hash=excluded.password_hash, password_flags=excluded.password_flags,"
               " galt_hash=excluded.galt_hash, galt_salt=excluded.galt_salt");
  bool ok = st.ok();
  if (ok) {
    sqlite3_bind_text(st.get(), 1, user.data(), static_cast<int>(user.size()), SQLITE_TRANSIENT);
    st.BindText(2, merged.password);
    sqlite3_bind_int(st.get(), 3, merged.passwordFlag ? 1 : 0);
    st.BindBlob(4, merged.passwordHash);
    st.BindInt(5, merged.passwordFlags);
    st.BindBlob(6, merged.galtHash);
    st.BindBlob(7, merged.galtSalt);
    ok = sqlite3_step(st.get()) == SQLITE_DONE;
  }
  if (!ok) {
    *error = sqlite3_errmsg(db_);
    Exec("ROLLBACK", &ignored);
    return false;
  }
  return Exec("COMMIT", error);
}

}  // namespace veskhost
