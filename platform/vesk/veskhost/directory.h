// The directory file: users' records in an SQLite database. Every change is
// one transaction, so a second veskhost on the same file waits its turn
// instead of overwriting, and a committed sync survives a crash.
#pragma once
#include <memory>
#include <optional>
#include <string>

#include "platform/vesk/veskhost/record.h"

struct sqlite3;

namespace veskhost {

class Directory {
 public:
  // Opens (creating if needed) the file; nullptr with *error on failure.
  static std::unique_ptr<Directory> Open(const std::string& path, std::string* error);
  ~Directory();
  Directory(const Directory&) = delete;
  Directory& operator=(const Directory&) = delete;

  // The user's record, nullopt when there is no such user (or *error is set).
  std::optional<UserRecord> Get(const std::string& user, std::string* error);
  // Creates the user or lays the given fields over the stored record, in one transaction.
  bool Put(const std::string& user, const UserRecord& fields, std::string* error);

 private:
  explicit Directory(sqlite3* db) : db_(db) {}
  bool Exec(const char* sql, std::string* error);
  sqlite3* db_;
};

}  // namespace veskhost
