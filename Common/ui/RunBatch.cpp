#include "RunBatch.h"

#include "BatchQuestions.h"
#include "ProgressDialog.h"
#include "engine/Batch.h"
#include "platform/Platform.h"
#include "settings/SettingKeys.h"

namespace corva::ui {

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
    ::MessageBoxW(owner, text.c_str(), kProductName, MB_OK | icon);
}

bool ConfirmShred(HWND owner, const std::vector<std::wstring>& paths) {
    const bool folder = paths.size() == 1 && plat::IsDirectory(paths[0]);
    return ::MessageBoxW(owner, ShredQuestion(paths, folder).c_str(), L"Warning", MB_YESNO | MB_ICONINFORMATION) ==
           IDYES;
}

}  // namespace corva::ui
