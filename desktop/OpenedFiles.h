// Locked files the desktop window has opened in their programs. Each is
// unlocked into a working copy and its default program started on it; a
// timer of the window then looks, with back-off, whether the program has
// ended and no program holds the copy any more (looks that never wait).
// Finishing a copy (locking it again when it changed, then shredding it)
// runs on a worker thread, which posts kOpenFinished to the window when
// done. After the password gate, Recover finishes what an earlier run left.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/SecretText.h"
#include "open/WorkingCopies.h"
#include "platform/OpenSupport.h"

namespace corva::desktop {

constexpr UINT kOpenFinished = WM_APP + 0x41;
constexpr UINT_PTR kOpenWatchTimer = 0x4F50;

class OpenedFiles {
public:
    OpenedFiles() = default;
    // Waits for the workers that are still locking copies again.
    ~OpenedFiles();
    OpenedFiles(const OpenedFiles&) = delete;
    OpenedFiles& operator=(const OpenedFiles&) = delete;

    // The window that owns the timer, receives kOpenFinished and the
    // messages; changed is called whenever a file's open state changes.
    void Attach(HWND owner, std::function<void()> changed);
    // The working folder (empty: the user's default one) and the wiping
    // library (empty: the one beside the program); for tests.
    void SetPlacesForTesting(const std::wstring& root, const std::wstring& wipeLibrary);

    // Opens one locked file; tells the user when it could not.
    void Open(const std::wstring& lockedPath, const corva::SecretText& password);
    // The password files still open are locked again with, once the user
    // has set a new one (so that they open with the password in use).
    void UsePassword(const corva::SecretText& password);
    // Whether this locked file is open (watched or being finished).
    bool IsOpen(const std::wstring& lockedPath) const;
    // The window's timer and kOpenFinished message.
    void OnTimer();
    void OnFinished();
    // Copies an earlier run left: unchanged ones are shredded, changed ones
    // locked again after a question naming them, ones still in use watched.
    void Recover(const corva::SecretText& password);

private:
    struct Watched {
        WorkingEntry entry;
        std::unique_ptr<plat::ChildProcess> process;
        DoneWatch watch;
        bool finishing = false;
    };
    WorkingArea Area() const;
    void Watch(const WorkingEntry& entry, std::unique_ptr<plat::ChildProcess> process);
    void Arm();
    void Finish(Watched& watched);
    void Tell(const std::wstring& text, UINT icon) const;

    HWND owner_ = nullptr;
    std::function<void()> changed_;
    std::wstring root_;
    std::wstring wipeLibrary_;
    corva::SecretText password_;  // wiped when the window goes
    std::vector<Watched> watched_;
    PollBackoff backoff_;
    bool armed_ = false;

    struct Worker {
        std::wstring id;  // the entry it finishes
        std::thread thread;
    };
    std::mutex lock_;  // guards done_
    std::vector<std::pair<std::wstring, FinishOutcome>> done_;
    std::vector<Worker> workers_;
};

}  // namespace corva::desktop
