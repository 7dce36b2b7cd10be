// The setup wizard's security-questions page (213): three lists of the
// questions and three answer fields. Next checks the answers and the
// choices and stores them; on any failure it keeps the page.
#pragma once

#include <string>

#include "WizardSheet.h"

namespace corva::ui {

class QuestionsPage final : public WizardPage {
public:
    QuestionsPage();

protected:
    DWORD WizardButtons() const override { return PSWIZB_BACK | PSWIZB_NEXT; }
    void OnInit() override;
    bool OnNext() override;
    void OnDestroy() override;

private:
    // Fills list index (0 to 2) and selects its question.
    void FillList(int index);
    std::wstring SelectedQuestion(int listId) const;
    bool Refuse(const wchar_t* text, int focusId);
};

}  // namespace corva::ui
