// Progress of the engine's long loops (compressing, enciphering, verifying,
// deciphering, decompressing), reported to an observer that the calling
// thread installs; the command-line tool draws a bar with it. Reporting
// with no observer installed does nothing.
#pragma once

#include <cstdint>

namespace corva {

// stage: "compress", "encrypt", "verify", "decrypt", "decompress".
using ProgressFn = void (*)(void* context, const char* stage, uint64_t done, uint64_t total);
// Installs the observer of the calling thread; nullptr removes it.
void SetThreadProgress(ProgressFn fn, void* context);
void ReportProgress(const char* stage, uint64_t done, uint64_t total);

}  // namespace corva
