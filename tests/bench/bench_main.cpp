// wistra_bench: the method's benchmarks as a program of their own.
// --quick runs each benchmark a few times only, to show that all of them work.
#include <cstring>
#include <vector>

#include "tests/bench/wistra_bench.h"

int main(int argc, char** argv) {
  wistra_bench::Options options;
  options.serverModule = PWDLSM_PATH;
  options.clientModule = PWDLCM_PATH;
  std::vector<char*> rest;
  for (int i = 0; i < argc; ++i) {
    if (std::strcmp(argv[i], "--quick") == 0) {
      options.quick = true;
    } else {
      rest.push_back(argv[i]);
    }
  }
  return wistra_bench::Run(static_cast<int>(rest.size()), rest.data(), options);
}
