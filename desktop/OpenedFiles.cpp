// The desktop window's opened files: open, watch, finish, recover.
#include "OpenedFiles.h"

#include "engine/LockedFile.h"
#include "open/OpenMessages.h"
#include "platform/Platform.h"

namespace corva::desktop {

OpenedFiles::~OpenedFiles() {
    for (auto& worker : workers_)
        if (worker.thread.joinable()) worker.thread.join();
}

void OpenedFiles::Attach(HWND owner, std::function<void()> changed) {
    owner_ = owner;
    changed_ = std::move(changed);
}

void OpenedFiles::SetPlacesForTesting(const std::wstring& root, const std::wstring& wipeLibrary) {
    root_ = root;
    wipeLibrary_ = wipeLibrary;
}

WorkingArea OpenedFiles::Area() const { return WorkingArea(root_.empty() ? DefaultWorkingRoot() : root_); }

void OpenedFiles::Tell(const std::wstring& text, UINT icon) const {
    ::MessageBoxW(owner_, text.c_str(), kOpenCaption, MB_OK | icon);
}

void OpenedFiles::UsePassword(const corva::SecretText& password) {
    if (!password.Empty() && password_ != password) password_ = corva::SecretText(password.Text());
}

void OpenedFiles::Open(const std::wstring& lockedPath, const corva::SecretText& password) {
    if (password.Empty()) return;
    if (password_ != password) password_ = corva::SecretText(password.Text());
    const OpenOutcome opened = UnlockForEditing(Area(), lockedPath, password.CStr(), nullptr);
    if (opened.status != OpenStatus::Opened) {
        Tell(DescribeOpenFailure(opened, lockedPath), MB_ICONINFORMATION);
        return;
    }
    auto process = std::make_unique<plat::ChildProcess>();
    if (!process->Open(opened.entry.copyPath, std::wstring())) {
        // Nothing shows it: the unchanged copy goes again at once.
        const FinishOutcome done = FinishEntry(opened.entry, password.CStr(), wipeLibrary_, nullptr);
        Tell(DescribeNotStarted(opened.entry, done), MB_ICONINFORMATION);
        return;
    }
    Watch(opened.entry, std::move(process));
}

void OpenedFiles::Watch(const WorkingEntry& entry, std::unique_ptr<plat::ChildProcess> process) {
    Watched w;
    w.entry = entry;
    w.process = std::move(process);
    watched_.push_back(std::move(w));
    backoff_.Reset();
    Arm();
    if (changed_) changed_();
}

bool OpenedFiles::IsOpen(const std::wstring& lockedPath) const {
    for (const auto& w : watched_)
        if (w.entry.record.lockedPath == lockedPath) return true;
    return false;
}

void OpenedFiles::Arm() {
    if (!owner_) return;
    ::SetTimer(owner_, kOpenWatchTimer, backoff_.Next(), nullptr);
    armed_ = true;
}

void OpenedFiles::OnTimer() {
    bool waiting = false;
    for (auto& w : watched_) {
        if (w.finishing) continue;
        const bool running = w.process && w.process->Running();
        if (w.watch.Look(running, plat::ProbeFileUse(w.entry.copyPath))) {
            Finish(w);
        } else {
            waiting = true;
        }
    }
    ::KillTimer(owner_, kOpenWatchTimer);
    armed_ = false;
    if (waiting) Arm();
}

void OpenedFiles::Finish(Watched& watched) {
    watched.finishing = true;
    const WorkingEntry entry = watched.entry;
    const std::wstring wipe = wipeLibrary_;
    const HWND owner = owner_;
    Worker worker;
    worker.id = entry.id;
    worker.thread = std::thread([this, entry, password = corva::SecretText(password_.Text()), wipe, owner]() mutable {
        const FinishOutcome done = FinishEntry(entry, password.CStr(), wipe, nullptr);
        password.Wipe();
        {
            std::lock_guard<std::mutex> g(lock_);
            done_.emplace_back(entry.id, done);
        }
        ::PostMessageW(owner, kOpenFinished, 0, 0);
    });
    workers_.push_back(std::move(worker));
}

void OpenedFiles::OnFinished() {
    std::vector<std::pair<std::wstring, FinishOutcome>> done;
    {
        std::lock_guard<std::mutex> g(lock_);
        done.swap(done_);
    }
    if (done.empty()) return;
    // A finished entry leaves the list, and its worker, which has nothing
    // left to do but return, is joined.
    FinishProblems problems;
    for (const auto& [id, outcome] : done) {
        for (auto it = watched_.begin(); it != watched_.end(); ++it) {
            if (it->entry.id == id) {
                watched_.erase(it);
                break;
            }
        }
        for (auto it = workers_.begin(); it != workers_.end(); ++it) {
            if (it->id == id) {
                if (it->thread.joinable()) it->thread.join();
                workers_.erase(it);
                break;
            }
        }
        problems.Add(outcome);
    }
    if (changed_) changed_();
    if (!problems.Empty()) Tell(problems.Text(), MB_ICONWARNING);
}

void OpenedFiles::Recover(const corva::SecretText& password) {
    if (password.Empty()) return;
    if (password_ != password) password_ = corva::SecretText(password.Text());
    const WorkingArea area = Area();
    const std::vector<RecoveryItem> plan = PlanRecovery(area.Entries());
    if (plan.empty()) return;
    bool relock = false;
    if (PlanNeedsQuestion(plan))
        relock = ::MessageBoxW(owner_, RecoveryQuestion(plan).c_str(), kOpenCaption, MB_YESNO | MB_ICONQUESTION) == IDYES;
    FinishProblems problems;
    for (const auto& item : plan) {
        if (item.action == RecoveryAction::KeepInUse) {
            // Still open in a program from before: watched like any other.
            Watch(item.entry, nullptr);
            continue;
        }
        const FinishOutcome done = CarryOut(item, password.CStr(), relock, wipeLibrary_, nullptr);
        problems.Add(done);
    }
    if (changed_) changed_();
    if (!problems.Empty()) Tell(problems.Text(), MB_ICONWARNING);
}

}  // namespace corva::desktop
