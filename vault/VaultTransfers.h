// Files going into and out of the vault folder, as batches that the
// progress dialog runs and that name every file they did not move.
//
// In: each dropped file is locked straight into the vault folder (its
// locked form made there, flushed and read back, and only then the plain
// file deleted), under a free name; a dropped folder becomes a sub-folder
// of the vault folder holding its files locked. A file that cannot be
// stored keeps its plain source untouched and nothing of it is left in the
// vault. Out: an entry is unlocked in the vault folder under its plain name,
// never over a file of that name; only an entry unlocked whole is handed to
// the drop.
#pragma once

#include <string>
#include <vector>

#include "engine/Batch.h"
#include "engine/LockedFile.h"

namespace corva::vault {

// The places a drop must never take in: the vault folder (and what it
// holds or lies in) and the vault's program files.
struct VaultPlaces {
    std::wstring programFolder;   // ends with a separator
    std::wstring vaultFolder;     // programFolder + "corvadocuments"
    std::wstring runningProgram;  // the program file that runs (it may bear another name)
};
VaultPlaces PlacesOf(const std::wstring& programFolder, const std::wstring& runningProgram);

// Makes the vault folder again when only the folder is missing. True when
// it is there (a real folder, not a link); false when it cannot be reached,
// as when its drive is gone.
bool EnsureVaultFolder(const std::wstring& vaultFolder);

// What a drop does with one dropped path.
enum class DropAction { StoreFile, StoreFolder, Refuse };
struct DropDecision {
    DropAction action;
    corva::FailureReason reason;  // why it is refused (Refuse only)
};
DropDecision DecideDrop(const std::wstring& path, const VaultPlaces& places);

// Stores the dropped paths into the vault folder (the drop's batch). Files
// set as protected (SetProtectedPaths) are refused as well.
class VaultStoreBatch final : public BatchProgress {
public:
    VaultStoreBatch(const std::vector<std::wstring>& paths, const std::string& password, const VaultPlaces& places,
                    FileLog* log);
    ~VaultStoreBatch() override;
    std::wstring DoneVerb() const override { return L"stored in the vault"; }

protected:
    int Run(int parameter) override;

private:
    // selected: dropped by itself (not met inside a dropped folder).
    bool StoreFile(const std::wstring& source, const std::wstring& intoFolder, bool selected);
    void StoreFolder(const std::wstring& source, const std::wstring& intoFolder);
    void StoreTree(const std::wstring& source, const std::wstring& into);
    void Record(const std::wstring& path, int engineResult, const corva::PipelineControl& control);
    void ReportBytes(const char* stage, uint64_t done, uint64_t total);
    static void OnProgress(void* context, const char* stage, uint64_t done, uint64_t total);

    VaultPlaces places_;
    corva::LockKeySource* keys_ = nullptr;  // while Run locks
    uint64_t totalBytes_ = 0;
    uint64_t doneBytes_ = 0;  // of the files finished so far
    uint64_t fileBytes_ = 0;  // of the file in work
};

// Unlocks the dragged entries in the vault folder when the drag is released
// (the drag-out's batch). A locked file is restored beside itself, never over
// an existing file; a folder entry has every locked file of its tree
// restored so.
class VaultTakeOutBatch final : public BatchProgress {
public:
    VaultTakeOutBatch(const std::vector<std::wstring>& entries, const std::string& password,
                      const std::wstring& vaultFolder, FileLog* log);
    ~VaultTakeOutBatch() override;
    std::wstring DoneVerb() const override { return L"taken out of the vault"; }

    // Once the worker has ended: the plain paths of the entries restored
    // whole (a file's plain path, a folder's own path), in entry order,
    // and every plain file the batch made (the drop may leave them in the
    // vault folder, to be locked again).
    std::vector<std::wstring> TakenOut() const;
    std::vector<std::wstring> Restored() const;

protected:
    int Run(int parameter) override;

private:
    bool TakeOutFile(const std::wstring& locked);

    std::wstring vaultFolder_;
    std::vector<std::wstring> takenOut_;
    std::vector<std::wstring> restored_;
};

// Locks again, each beside itself, the plain files a drag-out made and the
// drop left in the vault folder. It is not stopped halfway: a file left
// plain in the vault folder would not even be listed.
class VaultRelockBatch final : public BatchProgress {
public:
    VaultRelockBatch(const std::vector<std::wstring>& plainFiles, const std::string& password, FileLog* log);
    ~VaultRelockBatch() override;
    std::wstring DoneVerb() const override { return L"locked again"; }

protected:
    int Run(int parameter) override;
};

}  // namespace corva::vault
