// The one place a command's lock, unlock or shred batch is made (portable):
// the batch of the kind asked for over the paths in the order given, the
// password copied into lock and unlock batches (a shred batch carries
// none), and the running program's own files protected (plat::
// OwnProgramFiles), so that no command can lock or shred the program, its
// libraries or its settings. The batch is ready to Start or to RunBatch.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "BatchQuestions.h"
#include "engine/Batch.h"
#include "engine/SecretText.h"

namespace corva::ui {

// wipeLibrary: the wiping library a shred batch calls; empty for the one
// beside the running module.
std::unique_ptr<BatchProgress> MakeBatch(BatchKind kind, const std::vector<std::wstring>& paths,
                                         const corva::SecretText& password,
                                         const std::wstring& wipeLibrary = std::wstring());

}  // namespace corva::ui
