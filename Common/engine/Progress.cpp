#include "engine/Progress.h"

namespace corva {

namespace {
thread_local ProgressFn t_progress = nullptr;
thread_local void* t_progressContext = nullptr;
}  // namespace

void SetThreadProgress(ProgressFn fn, void* context) {
    t_progress = fn;
    t_progressContext = context;
}

void ReportProgress(const char* stage, uint64_t done, uint64_t total) {
    if (t_progress) t_progress(t_progressContext, stage, done, total);
}

}  // namespace corva
