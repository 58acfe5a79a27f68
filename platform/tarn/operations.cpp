// The service's CCSX_/SSLX_ exports. Each one is seen by the test control
// first, then runs under the one service lock, and only for a registered module
// identifier. Nothing a caller passes is written to unless the call succeeds,
// except the needed length on a too-small refusal.
#include <cstring>
#include <mutex>
#include <vector>

#include "ccs/ccsx.h"
#include "method/status.h"
#include "osa/secure.h"
#include "platform/tarn/control_hooks.h"
#include "platform/tarn/handles.h"
#include "platform/tarn/records.h"

namespace tarn {
namespace {

using namespace wistra;

// Runs body(handles) for a registered module, with the control's say first.
template <typename F>
std::int32_t Run(Op op, std::uint32_t hModule, bool needsRegistration, F&& body) {
  try {
    std::int32_t injected = 0;
    if (control::Admit(op, hModule, &injected)) return injected;
    Handles& handles = Handles::Instance();
    std::lock_guard<std::mutex> lock(handles.mutex());
    if (needsRegistration && !handles.IsRegistered(hModule)) return kStatusFacadeDown;
    return body(handles);
  } catch (...) {
    // Only allocation throws here, and nothing may unwind into a C caller.
    return kStatusCcsNoMemory;
  }
}

// Runs body(handles, context) for a context of the calling module.
template <typename F>
std::int32_t RunInContext(Op op, std::uint32_t hModule, std::uint32_t context, F&& body) {
  return Run(op, hModule, true, [&](Handles& handles) -> std::int32_t {
    Context* c = handles.FindContext(hModule, context);
    if (c == nullptr) return kStatusCcsBadHandle;
    return body(handles, *c);
  });
}

// Stores a produced or needed length, as the control may have it reported.
void StoreLength(Op op, std::uint32_t* outputLength, std::size_t length) {
  *outputLength = static_cast<std::uint32_t>(length);
  control::OverrideLength(op, outputLength);
}

bool MissingData(const void* data, std::uint32_t length) { return data == nullptr && length != 0; }

// The common end of CCSX_Digest and CCSX_DigestFinal: capacity checked before
// the digest is spent, so a refused call can be repeated with a larger buffer.
std::int32_t FinishDigest(Op op, Context& c, std::span<const std::uint8_t> data, std::uint8_t* output,
                          std::uint32_t* outputLength) {
  if (!c.digest) return kStatusCcsNotInitialized;
  if (outputLength == nullptr) return kStatusCcsBadRecord;
  const std::size_t size = c.digest->size();
  if (*outputLength < size) {
    StoreLength(op, outputLength, size);
    return kStatusCcsOutputTooSmall;
  }
  if (output == nullptr) return kStatusCcsBadRecord;
  if (const std::int32_t status = c.digest->Update(data); status != kStatusOk) return status;
  const std::int32_t status = c.digest->Final(output);
  c.digest.reset();
  if (status != kStatusOk) return status;
  StoreLength(op, outputLength, size);
  return kStatusOk;
}

}  // namespace
}  // namespace tarn

using tarn::Context;
using tarn::Handles;
using tarn::Op;
using tarn::Run;
using tarn::RunInContext;
using namespace wistra;

extern "C" {

std::int32_t CCSX_Register(std::uint32_t hModule) {
  return Run(Op::CCSX_Register, hModule, false, [&](Handles& handles) { return handles.Register(hModule); });
}

std::int32_t CCSX_Goodbye(std::uint32_t hModule) {
  return Run(Op::CCSX_Goodbye, hModule, false, [&](Handles& handles) { return handles.Goodbye(hModule); });
}

std::int32_t CCSX_CreateContext(std::uint32_t hModule, std::uint32_t flags, std::uint32_t* context) {
  return Run(Op::CCSX_CreateContext, hModule, true, [&](Handles& handles) -> std::int32_t {
    if (flags != 0 || context == nullptr) return kStatusCcsBadRecord;
    return handles.CreateContext(hModule, context);
  });
}

std::int32_t CCSX_DestroyContext(std::uint32_t hModule, std::uint32_t context) {
  return Run(Op::CCSX_DestroyContext, hModule, true,
             [&](Handles& handles) { return handles.DestroyContext(hModule, context); });
}

std::int32_t CCSX_DestroyObject(std::uint32_t hModule, std::uint32_t context, std::uint32_t object) {
  return RunInContext(Op::CCSX_DestroyObject, hModule, context,
                      [&](Handles& handles, Context& c) { return handles.DestroyObject(c, object); });
}

std::int32_t CCSX_InjectKey(std::uint32_t hModule, std::uint32_t context, const KeyAttribute* keyTemplate,
                            std::uint32_t count, std::uint32_t* key) {
  return RunInContext(Op::CCSX_InjectKey, hModule, context, [&](Handles& handles, Context& c) -> std::int32_t {
    if (key == nullptr) return kStatusCcsBadRecord;
    osa::SecretBuffer<ccs::kDesBlockSize> bytes;
    if (const std::int32_t status = tarn::ReadDesKeyTemplate(keyTemplate, count, bytes); status != kStatusOk) {
      return status;
    }
    return handles.AddObject(c, std::make_unique<tarn::DesKey>(bytes.data()), key);
  });
}

std::int32_t CCSX_DataEncryptInit(std::uint32_t hModule, std::uint32_t context, const AlgorithmSpec* algorithm,
                                  std::uint32_t key) {
  return RunInContext(Op::CCSX_DataEncryptInit, hModule, context, [&](Handles&, Context& c) -> std::int32_t {
    // A failed init leaves nothing running: a later Encrypt must not quietly
    // use the key of an earlier init.
    c.encryption.reset();
    tarn::AlgorithmRequest request;
    if (const std::int32_t status = tarn::ReadAlgorithmSpec(algorithm, false, &request); status != kStatusOk) {
      return status;
    }
    const auto it = c.objects.find(key);
    if (it == c.objects.end()) return kStatusCcsBadHandle;
    c.encryption = std::make_unique<tarn::DesEncryption>(*it->second, request.parameter);
    return kStatusOk;
  });
}

std::int32_t CCSX_Encrypt(std::uint32_t hModule, std::uint32_t context, const std::uint8_t* input,
                          std::uint32_t inputLength, std::uint8_t* output, std::uint32_t* outputLength) {
  return RunInContext(Op::CCSX_Encrypt, hModule, context, [&](Handles&, Context& c) -> std::int32_t {
    if (!c.encryption) return kStatusCcsNotInitialized;
    if (tarn::MissingData(input, inputLength) || outputLength == nullptr) return kStatusCcsBadRecord;
    if (inputLength == 0 || inputLength % ccs::kDesBlockSize != 0) return kStatusCcsBadInputLength;
    if (*outputLength < inputLength) {
      tarn::StoreLength(Op::CCSX_Encrypt, outputLength, inputLength);
      return kStatusCcsOutputTooSmall;
    }
    if (output == nullptr) return kStatusCcsBadRecord;
    std::span<const std::uint8_t> in(input, inputLength);
    // Chaining reads each input block after the one before was written: an
    // output that overlaps the input at another offset would feed the cipher
    // its own output.
    std::vector<std::uint8_t> copy;
    osa::ScopeExit wipe([&] { osa::Wipe(copy.data(), copy.size()); });
    if (output != input && output < input + inputLength && input < output + inputLength) {
      copy.assign(input, input + inputLength);
      in = copy;
    }
    c.encryption->Encrypt(in, output);
    tarn::StoreLength(Op::CCSX_Encrypt, outputLength, inputLength);
    return kStatusOk;
  });
}

std::int32_t CCSX_DigestInit(std::uint32_t hModule, std::uint32_t context, const AlgorithmSpec* algorithm) {
  return RunInContext(Op::CCSX_DigestInit, hModule, context, [&](Handles&, Context& c) -> std::int32_t {
    // As with encryption: after a failed init no earlier digest carries on.
    c.digest.reset();
    tarn::AlgorithmRequest request;
    if (const std::int32_t status = tarn::ReadAlgorithmSpec(algorithm, true, &request); status != kStatusOk) {
      return status;
    }
    c.digest = tarn::StartDigest(request.algorithm->role, request.parameter);
    return kStatusOk;
  });
}

std::int32_t CCSX_Digest(std::uint32_t hModule, std::uint32_t context, const std::uint8_t* data,
                         std::uint32_t dataLength, std::uint8_t* output, std::uint32_t* outputLength) {
  return RunInContext(Op::CCSX_Digest, hModule, context, [&](Handles&, Context& c) -> std::int32_t {
    if (tarn::MissingData(data, dataLength)) return kStatusCcsBadRecord;
    return tarn::FinishDigest(Op::CCSX_Digest, c, std::span<const std::uint8_t>(data, dataLength), output,
                              outputLength);
  });
}

std::int32_t CCSX_DigestUpdate(std::uint32_t hModule, std::uint32_t context, const std::uint8_t* data,
                               std::uint32_t dataLength) {
  return RunInContext(Op::CCSX_DigestUpdate, hModule, context, [&](Handles&, Context& c) -> std::int32_t {
    if (!c.digest) return kStatusCcsNotInitialized;
    if (tarn::MissingData(data, dataLength)) return kStatusCcsBadRecord;
    return c.digest->Update(std::span<const std::uint8_t>(data, dataLength));
  });
}

std::int32_t CCSX_DigestFinal(std::uint32_t hModule, std::uint32_t context, std::uint8_t* output,
                              std::uint32_t* outputLength) {
  return RunInContext(Op::CCSX_DigestFinal, hModule, context, [&](Handles&, Context& c) {
    return tarn::FinishDigest(Op::CCSX_DigestFinal, c, {}, output, outputLength);
  });
}

// Operations the login methods never call: known, counted, and refused alike.
#define CCS_OP(family, name, words)                                                                \
  std::int32_t family##X_##name(std::uint32_t hModule, CCS_WORDS_##words) {                        \
    return Run(Op::family##X_##name, hModule, true, [](Handles&) { return kStatusCcsNotSupported; }); \
  }
#include "ccs/ccs_ops.def"
#undef CCS_OP

std::int32_t SSLX_CalcMAC(std::uint32_t hModule, CCS_Word w1, CCS_Word w2, CCS_Word w3, std::uint8_t w4, CCS_Word w5,
                          CCS_Word w6, CCS_Word w7) {
  return Run(Op::SSLX_CalcMAC, hModule, true, [](Handles&) { return kStatusCcsNotSupported; });
}

}  // extern "C"
