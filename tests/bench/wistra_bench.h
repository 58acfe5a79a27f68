// The method's benchmarks, run by the wistra_bench program and by
// `veskhost bench`: the server's verification of each scheme next to the raw
// primitives it needs and one facade call, and whole logins next to bare
// message round trips over the framework stand-in's channel. After the run a
// table of ratios against the targets is printed.
#pragma once
#include <string>

namespace wistra_bench {

struct Options {
  std::string serverModule;  // pwdlsm.so
  std::string clientModule;  // pwdlcm.so
  // A very short run that only shows every benchmark works (no ratios judged).
  bool quick = false;
};

// Runs every benchmark; argv may carry Google Benchmark's own --benchmark_*
// flags. Returns 0, or 1 when a benchmark could not run (a verification that
// did not match, a login that failed, a module that did not load).
int Run(int argc, char** argv, const Options& options);

}  // namespace wistra_bench
