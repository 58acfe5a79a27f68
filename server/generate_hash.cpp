#include "server/generate_hash.h"

#include <cctype>

#include "ccs/ccs.h"
#include "ccs/scoped.h"

std::int32_t generateHash(const AlgorithmSpec* algorithm, const std::uint8_t* data, std::uint32_t dataLength,
                          std::uint8_t* out, std::uint32_t* outLength) {
  ccs::ScopedContext context;
  std::int32_t status = context.Create();
  if (status != 0) return status;
  status = CCS_DigestInit(context.get(), algorithm);
  if (status == 0) status = CCS_Digest(context.get(), data, dataLength, out, outLength);
  return status;
}

void my_strupr(std::uint8_t* text) {
  for (; *text != 0; ++text) *text = static_cast<std::uint8_t>(std::toupper(*text));
}
