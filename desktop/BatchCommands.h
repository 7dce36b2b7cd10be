// The desktop's own pieces of the lock, unlock and shred commands that talk
// to the system: the question before a large lock (counting files on disk,
// links never entered), modal to the main window and naming what it acts
// on. The shred question, the batch and its run are every program's
// (ui/RunBatch.h, ui/BatchFactory.h).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "BrowseRules.h"

namespace corva::desktop {

// Lists a folder with FindFirstFileExW in the system's order; links and
// other name surrogates are reported as links.
bool ListFolderEntries(const std::wstring& folder, const std::function<bool(const std::wstring&, EntryType)>& visit);

// Counts the files of the selection (capped) and, from 100 files on, asks
// "More than 100 files will be locked, do you really want to continue?"
// (naming the selection likewise). True to go on.
bool ConfirmLargeLock(HWND owner, const std::vector<std::wstring>& paths);

}  // namespace corva::desktop
