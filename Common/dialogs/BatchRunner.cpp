#include "BatchRunner.h"

#include "ProgressDialog.h"
#include "engine/Batch.h"
#include "settings/SettingKeys.h"

namespace corva::ui {

BatchReport RunBatch(HWND owner, BatchProgress& batch, const SummaryHeading& heading) {
    ProgressDialog dialog(batch);
    dialog.Run(owner);  // returns once the worker has ended
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

}  // namespace corva::ui
