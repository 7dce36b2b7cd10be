// The one way every program runs a batch: in ProgressDialog, and then, when
// anything was not done or the user cancelled, one message box modal to the
// owner (caption "Corvastine") that names the files left as they were and
// why, a few lines of them and then how many more. Nothing is shown when
// every file was done and nothing was cancelled. Also the one question
// every program asks before a shred.
#pragma once

#include <windows.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "engine/BatchOutcome.h"

class BatchProgress;

namespace corva::ui {

// The summary's first line for this many files not done; nullptr: the
// batch's own ("2 files could not be locked:").
using SummaryHeading = std::function<std::wstring(size_t notDone)>;

// Runs the batch in the progress dialog owned by owner, then shows the
// summary (if any) owned by owner as well. Returns what the batch did not
// do, once its worker has ended.
BatchReport RunBatch(HWND owner, BatchProgress& batch, const SummaryHeading& heading = nullptr);

// The summary box alone: the text of BatchSummaryText, a warning icon when
// files were not done, the information icon when the batch was only
// cancelled. Nothing when there is nothing to say.
void ShowBatchSummary(HWND owner, const BatchReport& report, const SummaryHeading& heading = nullptr);

// Asks whether to shred these paths (caption "Warning", Yes and No, modal
// to owner, none for a box of its own), naming the file or folder, or
// "these N items" and their first names (ShredQuestion). True only for a
// clear Yes: a box that could not be shown is no answer.
bool ConfirmShred(HWND owner, const std::vector<std::wstring>& paths);

}  // namespace corva::ui
