// The pieces of the lock, unlock and shred commands that talk to the
// system: the question before a large lock (counting files on disk, links
// never entered) and the batch run in the progress dialog.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "BrowseRules.h"
#include "engine/Batch.h"

namespace corva::desktop {

// Lists a folder with FindFirstFileExW in the system's order; links and
// other name surrogates are reported as links.
bool ListFolderEntries(const std::wstring& folder, const std::function<bool(const std::wstring&, EntryType)>& visit);

// Counts the files of the selection (capped) and, from 100 files on, asks
// "More than 100 files will be locked, do you really want to continue?".
// True to go on.
bool ConfirmLargeLock(const std::vector<std::wstring>& paths);

// Runs a batch in the progress dialog owned by the active window; returns
// when the dialog has closed and the batch's worker has ended.
void RunBatchInDialog(BatchProgress& batch);

}  // namespace corva::desktop
