// The pieces of the lock, unlock and shred commands that talk to the
// system: the questions before a shred and before a large lock (counting
// files on disk, links never entered), each modal to the main window and
// naming what it acts on, and the batch run in the progress dialog.
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

// Asks whether to shred these paths (caption "Warning", Yes and No),
// naming the file or folder, or "these N items" and their first names.
// True for Yes.
bool ConfirmShred(HWND owner, const std::vector<std::wstring>& paths);

// Counts the files of the selection (capped) and, from 100 files on, asks
// "More than 100 files will be locked, do you really want to continue?"
// (naming the selection likewise). True to go on.
bool ConfirmLargeLock(HWND owner, const std::vector<std::wstring>& paths);

// Runs a batch in the progress dialog owned by the active window; returns
// when the dialog has closed and the batch's worker has ended.
void RunBatchInDialog(BatchProgress& batch);

}  // namespace corva::desktop
