#include "RunBatch.h"

#include <algorithm>
#include <set>

#include "BatchQuestions.h"
#include "DialogSupport.h"
#include "ProgressDialog.h"
#include "engine/Batch.h"
#include "platform/Platform.h"
#include "settings/SettingKeys.h"

namespace corva::ui {

namespace {

// The summary's "In FOLDER" lines: the line the summary text holds for
// each folder of a file not done, and the whole folder it stands for.
struct FolderLine {
    std::wstring line;
    std::wstring folder;
};

std::vector<FolderLine> FolderLinesOf(const BatchReport& report) {
    std::vector<FolderLine> lines;
    std::set<std::wstring> seen;
    for (const BatchFailure& failure : report.failures) {
        const size_t cut = failure.path.find_last_of(L"\\/");
        if (cut == std::wstring::npos || cut == 0) continue;
        const std::wstring folder = failure.path.substr(0, cut);
        if (!seen.insert(folder).second) continue;
        lines.push_back({L"In " + corva::ShortenPathForDisplay(folder, corva::kSummaryPathChars), folder});
    }
    return lines;
}

// "In FOLDER" shortened in its middle to fit room pixels of the text
// control: first by the system's path ellipsis (folders left out), and
// where even the last folder is too long, by leaving out characters in the
// middle of the line.
std::wstring FitFolderLine(HWND text, const std::wstring& folder, int room) {
    std::wstring line = FitPathToWidth(text, L"In " + folder, room);
    if (TextWidth(text, line, true) <= room) return line;
    const std::wstring whole = L"In " + folder;
    for (size_t keep = whole.size(); keep > 4; --keep) {
        const size_t head = keep / 2, tail = keep - head;
        line = whole.substr(0, head) + L"..." + whole.substr(whole.size() - tail);
        if (TextWidth(text, line, true) <= room) break;
    }
    return line;
}

// A message box does not always make room for its text: Wine's keeps a
// width of its own and breaks a long folder at a hyphen, then cuts the
// rest of it at the right. Once the box is laid out, a folder line that
// does not fit the box's text is shortened in its middle until it does.
void FitFolderLines(HWND box, const std::vector<FolderLine>& folders) {
    HWND text = ::GetDlgItem(box, 0xFFFF);
    if (!text) return;
    RECT client{};
    ::GetClientRect(text, &client);
    // A space's width to spare: a smoothed glyph can reach a column past
    // its measured width.
    const int room = client.right - client.left - std::max(1, TextWidth(text, L" ", false));
    const int length = ::GetWindowTextLengthW(text);
    std::wstring all(static_cast<size_t>(length) + 1, L'\0');
    all.resize(static_cast<size_t>(::GetWindowTextW(text, &all[0], length + 1)));
    std::wstring fitted;
    bool changed = false;
    size_t start = 0;
    for (;;) {
        const size_t end = all.find(L'\n', start);
        std::wstring line = all.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
        for (const FolderLine& folder : folders) {
            if (line != folder.line || TextWidth(text, line, true) <= room) continue;
            line = FitFolderLine(text, folder.folder, room);
            changed = true;
        }
        fitted += line;
        if (end == std::wstring::npos) break;
        fitted += L'\n';
        start = end + 1;
    }
    if (changed) ::SetWindowTextW(text, fitted.c_str());
}

// Hands the summary box, when it is activated, to FitFolderLines; one box
// at a time per thread.
thread_local HHOOK t_hook = nullptr;
thread_local const std::vector<FolderLine>* t_folders = nullptr;

LRESULT CALLBACK SummaryHook(int code, WPARAM wParam, LPARAM lParam) {
    const HHOOK hook = t_hook;
    if (code == HCBT_ACTIVATE && t_folders) {
        const auto* folders = t_folders;
        t_folders = nullptr;  // the box, activated first; not the windows after it
        FitFolderLines(reinterpret_cast<HWND>(wParam), *folders);
    }
    return ::CallNextHookEx(hook, code, wParam, lParam);
}

}  // namespace

BatchReport RunBatch(HWND owner, BatchProgress& batch, const SummaryHeading& heading) {
    ProgressDialog dialog(batch);
    dialog.ShowModal(owner);  // returns once the worker has ended
    BatchReport report = batch.Report();
    ShowBatchSummary(owner, report, heading);
    return report;
}

void ShowBatchSummary(HWND owner, const BatchReport& report, const SummaryHeading& heading) {
    const std::wstring first =
        heading && !report.failures.empty() ? heading(report.failures.size()) : std::wstring();
    const std::wstring text = BatchSummaryText(report, first);
    if (text.empty()) return;
    const UINT icon = report.failures.empty() ? MB_ICONINFORMATION : MB_ICONWARNING;
    const std::vector<FolderLine> folders = FolderLinesOf(report);
    const bool hooked = !t_hook && !folders.empty();
    if (hooked) {
        t_folders = &folders;
        t_hook = ::SetWindowsHookExW(WH_CBT, &SummaryHook, nullptr, ::GetCurrentThreadId());
    }
    ::MessageBoxW(owner, text.c_str(), kProductName, MB_OK | icon);
    if (hooked) {
        if (t_hook) ::UnhookWindowsHookEx(t_hook);
        t_hook = nullptr;
        t_folders = nullptr;
    }
}

bool ConfirmShred(HWND owner, const std::vector<std::wstring>& paths) {
    const bool folder = paths.size() == 1 && plat::IsDirectory(paths[0]);
    return ::MessageBoxW(owner, ShredQuestion(paths, folder).c_str(), L"Warning", MB_YESNO | MB_ICONINFORMATION) ==
           IDYES;
}

}  // namespace corva::ui
