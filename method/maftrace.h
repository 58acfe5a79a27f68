// Tracing to the framework. Trace passes a fixed text whenever the framework has
// MAF_Trace; TracePrintf formats into 512 bytes and passes the line only while
// the framework reports tracing enabled for the attempt.
#pragma once
#include <cstdint>

#include "method/maf.h"

void Trace(mafHandle handle, const char* text);
void TracePrintf(mafHandle handle, const char* format, ...) __attribute__((format(printf, 2, 3)));
// Looks MAF_Trace and MAF_TraceEnabled up once; never retried, even on failure.
void resolveMAFTrace();
