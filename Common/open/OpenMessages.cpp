#include "open/OpenMessages.h"

namespace corva {

bool WentWell(FinishStatus status) {
    return status == FinishStatus::Shredded || status == FinishStatus::Relocked ||
           status == FinishStatus::RelockedBeside || status == FinishStatus::Tidied;
}

std::wstring DescribeNotStarted(const WorkingEntry& entry, const FinishOutcome& done) {
    std::wstring text = entry.DisplayName() + L" was not opened: no program could be started on it.";
    if (!WentWell(done.status)) text += L"\n\n" + DescribeFinish(done);
    return text;
}

void FinishProblems::Add(const FinishOutcome& outcome) {
    if (WentWell(outcome.status)) return;
    if (!text_.empty()) text_ += L"\n\n";
    text_ += DescribeFinish(outcome);
}

}  // namespace corva
