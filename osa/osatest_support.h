// Test-only helpers for the portability layer: a private temporary folder with
// its own configuration file, and a way to see that a thread is blocked.
#pragma once
#include <ftw.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>

#include "osa/osalog.h"
#include "osa/osaname.h"
#include "osa/osaureg.h"

namespace osa::test {

// A fresh folder under /tmp, removed with everything in it at the end.
class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/osa-test-XXXXXX";
    const char* made = mkdtemp(pattern);
    path_ = made != nullptr ? made : "";
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir() {
    if (!path_.empty()) {
      nftw(path_.c_str(), [](const char* p, const struct stat*, int, FTW*) { return std::remove(p); }, 16,
           FTW_DEPTH | FTW_PHYS);
    }
  }
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  void Write(const std::string& name, const std::string& content) const {
    std::ofstream(File(name), std::ios::binary) << content;
  }
  std::string Read(const std::string& name) const { return ReadPath(File(name)); }
  static std::string ReadPath(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }
  bool Exists(const std::string& name) const { return access(File(name).c_str(), F_OK) == 0; }

 private:
  std::string path_;
};

// Points the layer's configuration file and default log at a private folder and
// starts from the layer's load-time state; restores the seams at the end.
class ConfigEnv {
 public:
  ConfigEnv() : configFile_(dir.File("tarn.cfg")), defaultLog_(dir.File("tarn.log")) {
    osa::testing::SetConfigPath(configFile_.c_str());
    osa::testing::SetDefaultTraceFile(defaultLog_.c_str());
    osa::testing::ResetDirectories();
    osa::testing::ResetCfgNames();
  }
  ~ConfigEnv() {
    while (osa::testing::LogOpenCount() > 0) OSA_closelog();
    osa::testing::ResetDirectories();
    osa::testing::ResetCfgNames();
    osa::testing::SetDefaultTraceFile(nullptr);
    osa::testing::SetConfigPath(nullptr);
  }
  void Config(const std::string& lines) const { dir.Write("tarn.cfg", lines); }
  const std::string& ConfigFile() const { return configFile_; }
  const std::string& DefaultLog() const { return defaultLog_; }

  TempDir dir;

 private:
  std::string configFile_;  // the seams keep pointers to these
  std::string defaultLog_;
};

inline pid_t ThreadId() { return static_cast<pid_t>(syscall(SYS_gettid)); }

// True while the thread sleeps in the kernel (state S or D in its stat line).
inline bool IsSleeping(pid_t tid) {
  std::ifstream in("/proc/self/task/" + std::to_string(tid) + "/stat");
  std::string line;
  std::getline(in, line);
  const auto close = line.rfind(')');
  if (close == std::string::npos || close + 2 >= line.size()) return false;
  const char state = line[close + 2];
  return state == 'S' || state == 'D';
}

// Runs op on a thread of its own and reports whether it is blocked in it.
class BlockingCall {
 public:
  explicit BlockingCall(std::function<int()> op)
      : thread_([this, op = std::move(op)] {
          tid_.store(ThreadId());
          result_.store(op());
          done_.store(true);
        }) {}
  BlockingCall(const BlockingCall&) = delete;
  BlockingCall& operator=(const BlockingCall&) = delete;
  ~BlockingCall() {
    if (thread_.joinable()) thread_.join();
  }

  // Waits until the call either sleeps in the kernel (true) or has returned (false).
  bool Blocked() {
    while (tid_.load() == 0) std::this_thread::yield();
    for (;;) {
      if (done_.load()) return false;
      if (IsSleeping(tid_.load())) return !done_.load();
      std::this_thread::yield();
    }
  }
  bool done() const { return done_.load(); }
  int Join() {
    thread_.join();
    return result_.load();
  }

 private:
  std::atomic<pid_t> tid_{0};
  std::atomic<int> result_{0};
  std::atomic<bool> done_{false};
  std::thread thread_;
};

}  // namespace osa::test
