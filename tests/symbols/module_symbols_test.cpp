// What a built login module shows the dynamic loader: the right ELF class and
// machine, one defined entry under its version, and nothing undefined that the
// host framework, the crypto service or the C/C++ runtime does not provide.
// Built once per module: MODULE_PATH, MODULE_ENTRY ("name@@VERSION"),
// MODULE_VERSION, MODULE_POINTER_SIZE and MODULE_USES_BROKER come from the build.
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string Capture(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char chunk[4096];
  std::size_t n = 0;
  while ((n = fread(chunk, 1, sizeof chunk, pipe)) > 0) out.append(chunk, n);
  pclose(pipe);
  return out;
}

struct DynamicSymbol {
  std::string name;  // with its version, as readelf prints it
  bool defined = false;
  std::string section;  // "UND", "ABS" or a section number
};

std::vector<DynamicSymbol> DynamicSymbols(const std::string& path) {
  std::vector<DynamicSymbol> symbols;
  std::istringstream lines(Capture("readelf --dyn-syms -W '" + path + "'"));
  // "   Num:    Value  Size Type    Bind   Vis      Ndx Name"
  const std::regex row(R"(^\s*\d+:\s+[0-9a-fA-F]+\s+\d+\s+(\S+)\s+(\S+)\s+(\S+)\s+(\S+)\s*(\S*))");
  for (std::string line; std::getline(lines, line);) {
    std::smatch m;
    if (!std::regex_search(line, m, row)) continue;
    const std::string name = m[5];
    if (name.empty()) continue;  // the null entry and section symbols
    // The linker's own entry for the version definition names no code or data.
    if (m[4] == "ABS" && name == MODULE_VERSION) continue;
    symbols.push_back({name, m[4] != "UND", m[4]});
  }
  return symbols;
}

// The unversioned base of "name@VERSION (n)" or "name@@VERSION".
std::string BaseName(const std::string& name) { return name.substr(0, name.find('@')); }

// Runtime names the module may leave to the C library, the dynamic loader and
// the C++ runtime. Each is one the module's code or its compiler-generated code
// can really call; anything else undefined is a fault (a missing definition, a
// stray dependency, an exception or RTTI helper).
const std::set<std::string>& RuntimeNames() {
  static const std::set<std::string> names = {
      // libc
      "memcpy", "memmove", "memset", "memcmp", "memchr", "strlen", "strnlen", "strcmp", "strncmp", "toupper",
      "__ctype_toupper_loc", "vsnprintf", "snprintf", "__vsnprintf_chk", "__snprintf_chk", "__memcpy_chk",
      "__memset_chk", "__memmove_chk", "explicit_bzero", "__explicit_bzero_chk", "__stack_chk_fail", "abort",
      "free", "malloc", "calloc", "getenv", "fopen", "fclose", "fgets", "fputs", "fprintf", "__fprintf_chk",
      "fflush", "fileno", "flock", "time", "localtime_r", "gettimeofday", "clock_gettime", "sched_yield",
      "nanosleep", "usleep", "getpid", "open", "close", "read", "__errno_location", "strchr", "strrchr",
      "strcpy", "strncpy", "__strcpy_chk", "__strncpy_chk", "strcat", "__strcat_chk", "strtol", "strtoul",
      "atoi", "system", "sleep",
      // threads
      "pthread_mutex_init", "pthread_mutex_destroy", "pthread_mutex_lock", "pthread_mutex_unlock",
      "pthread_mutex_trylock", "pthread_mutexattr_init", "pthread_mutexattr_settype",
      "pthread_mutexattr_destroy", "pthread_cond_init", "pthread_cond_destroy", "pthread_cond_wait",
      "pthread_cond_timedwait", "pthread_cond_signal", "pthread_cond_broadcast", "pthread_rwlock_init",
      "pthread_rwlock_destroy", "pthread_rwlock_rdlock", "pthread_rwlock_wrlock", "pthread_rwlock_unlock",
      "pthread_self", "pthread_once", "pthread_create", "pthread_join", "pthread_detach",
      "sem_init", "sem_destroy", "sem_wait", "sem_post", "sem_timedwait", "sem_trywait",
      // dynamic loader
      "dlopen", "dlsym", "dlclose", "dlerror",
      // start-up and tear-down glue every shared library carries
      "__cxa_finalize", "__cxa_atexit", "__gmon_start__", "_ITM_deregisterTMCloneTable",
      "_ITM_registerTMCloneTable",
      // C++ runtime: guarded statics and once-only calls
      "__cxa_guard_acquire", "__cxa_guard_release", "__cxa_guard_abort", "__once_proxy", "_ZSt11__once_call",
      "_ZSt15__once_callable", "_ZSt20__throw_system_errori", "__tls_get_addr", "___tls_get_addr",
  };
  return names;
}

// The host's own: the framework's calls and err_warn, and the crypto service's
// operation families (the token broker's only for the module that opens it).
// They carry no version.
bool IsHostName(const std::string& name) {
#if MODULE_USES_BROKER
  static const std::regex host(
      R"(^(MAF_[A-Za-z0-9_]+|err_warn|CCSX_[A-Za-z0-9_]+|SSLX_[A-Za-z0-9_]+|ATBX_[A-Za-z0-9_]+|ATX_[A-Za-z0-9_]+)$)");
#else
  static const std::regex host(R"(^(MAF_[A-Za-z0-9_]+|err_warn|CCSX_[A-Za-z0-9_]+|SSLX_[A-Za-z0-9_]+)$)");
#endif
  return std::regex_match(name, host);
}

// Runtime names carry the runtime's own versions, or none for weak glue.
bool HasRuntimeVersion(const std::string& name) {
  const std::size_t at = name.find('@');
  if (at == std::string::npos) return true;
  static const std::regex version(R"(^@+(GLIBC_[0-9.]+|GLIBCXX_[0-9.]+|CXXABI_[0-9.]+)(\s*\(\d+\))?$)");
  return std::regex_match(name.substr(at), version);
}

TEST(ModuleSymbols, IsAnElfSharedObjectForTheBuild) {
  const std::string header = Capture("readelf -h -W '" MODULE_PATH "'");
  ASSERT_FALSE(header.empty()) << "readelf could not read " MODULE_PATH;
  EXPECT_NE(header.find("Type:                              DYN"), std::string::npos) << header;
#if MODULE_POINTER_SIZE == 4
  EXPECT_NE(header.find("ELF32"), std::string::npos) << header;
  EXPECT_NE(header.find("Intel 80386"), std::string::npos) << header;
#else
  EXPECT_NE(header.find("ELF64"), std::string::npos) << header;
  EXPECT_NE(header.find("X86-64"), std::string::npos) << header;
#endif
}

TEST(ModuleSymbols, OnlyTheEntryIsDefinedUnderItsVersion) {
  const std::vector<DynamicSymbol> symbols = DynamicSymbols(MODULE_PATH);
  ASSERT_FALSE(symbols.empty());
  std::vector<std::string> defined;
  for (const DynamicSymbol& s : symbols) {
    if (s.defined) defined.push_back(s.name);
  }
  EXPECT_EQ(defined, std::vector<std::string>{MODULE_ENTRY});
}

TEST(ModuleSymbols, UndefinedNamesComeOnlyFromTheHostOrTheRuntime) {
  const std::vector<DynamicSymbol> symbols = DynamicSymbols(MODULE_PATH);
  ASSERT_FALSE(symbols.empty());
  std::size_t hostNames = 0;
  for (const DynamicSymbol& s : symbols) {
    if (s.defined) continue;
    SCOPED_TRACE(s.name);
    if (IsHostName(s.name)) {
      ++hostNames;
      continue;
    }
    EXPECT_TRUE(RuntimeNames().count(BaseName(s.name)) == 1 && HasRuntimeVersion(s.name))
        << "unexpected undefined symbol " << s.name;
  }
  // The module calls the framework and the crypto service, so some host names
  // must be there; none at all would mean the parse saw nothing.
  EXPECT_GT(hostNames, 0u);
}

}  // namespace
