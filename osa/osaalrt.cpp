#include "osa/osaalrt.h"

#include <cstdio>

extern "C" std::int32_t OSA_WriteAlertMessage(std::int32_t, std::int32_t, std::int32_t, const char* message) {
  std::printf("%s\n", message != nullptr ? message : "");
  return 0;
}
