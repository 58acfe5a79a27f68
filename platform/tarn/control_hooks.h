// The service's side of the test control (tarn_control.h): every export passes
// through Admit first, and those with an in/out length through OverrideLength.
#pragma once
#include <cstdint>

#include "platform/tarn/ops.h"

namespace tarn::control {

// Counts the call under caller. True, with *result set, when a failure was
// injected for it: the operation must then return *result without running.
bool Admit(Op op, std::uint32_t caller, std::int32_t* result);

// Called after op has stored a length in *length (a success, or a too-small
// refusal): a pending chosen length replaces it.
void OverrideLength(Op op, std::uint32_t* length);

}  // namespace tarn::control
