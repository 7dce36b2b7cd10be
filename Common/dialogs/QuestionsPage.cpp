#include "QuestionsPage.h"

#include <algorithm>
#include <vector>

#include "DialogIds.h"
#include "DialogSupport.h"
#include "SecretField.h"
#include "SecurityQuestions.h"
#include "SettingsFailure.h"
#include "platform/WinHandles.h"
#include "settings/PasswordStore.h"
#include "platform/Platform.h"
#include "settings/SettingKeys.h"
#include "settings/Settings.h"

namespace corva::ui {

namespace {
const int kLists[3] = {IDC_QUESTION_LIST1, IDC_QUESTION_LIST2, IDC_QUESTION_LIST3};
const int kAnswers[3] = {IDC_ANSWER1, IDC_ANSWER2, IDC_ANSWER3};
}  // namespace

QuestionsPage::QuestionsPage() : WizardPage(IDD_SETUP_QUESTIONS) {}

void QuestionsPage::OnInit() {
    LimitFieldLength(Handle(), {IDC_ANSWER1, IDC_ANSWER2, IDC_ANSWER3});
    for (int i = 0; i < 3; ++i) FillList(i);
}

void QuestionsPage::FillList(int index) {
    HWND list = ::GetDlgItem(Handle(), kLists[index]);
    LONG widest = 0;
    {
        WindowDC dc(list);
        dc.SelectFont(reinterpret_cast<HFONT>(::SendMessageW(list, WM_GETFONT, 0, 0)));
        for (int q = 0; SecurityQuestions[q]; ++q) {
            ::SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(SecurityQuestions[q]));
            SIZE size{};
            ::GetTextExtentPoint32W(dc.Get(), SecurityQuestions[q], ::lstrlenW(SecurityQuestions[q]), &size);
            widest = std::max(widest, size.cx);
        }
    }
    // The open list shows every question in full, even where the closed
    // box is narrower.
    int margins = ::GetSystemMetrics(SM_CXVSCROLL) + 4 * ::GetSystemMetrics(SM_CXEDGE) + ScaleForDpi(list, 8);
    ::SendMessageW(list, CB_SETDROPPEDWIDTH, static_cast<WPARAM>(widest + margins), 0);

    // A question stored by an earlier run is chosen again when it is still
    // on offer; otherwise the list opens on its default position.
    int position = index;
    std::wstring stored = plat::NarrowToWide(GetSetting(kQuestionKeys[index]));
    if (!stored.empty()) {
        LRESULT found = ::SendMessageW(list, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                       reinterpret_cast<LPARAM>(stored.c_str()));
        if (found != CB_ERR) position = static_cast<int>(found);
    }
    ::SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(position), 0);
}

std::wstring QuestionsPage::SelectedQuestion(int listId) const {
    HWND list = ::GetDlgItem(Handle(), listId);
    LRESULT selected = ::SendMessageW(list, CB_GETCURSEL, 0, 0);
    if (selected == CB_ERR) return std::wstring();
    LRESULT length = ::SendMessageW(list, CB_GETLBTEXTLEN, static_cast<WPARAM>(selected), 0);
    if (length == CB_ERR || length <= 0) return std::wstring();
    std::vector<wchar_t> text(static_cast<size_t>(length) + 1, L'\0');
    ::SendMessageW(list, CB_GETLBTEXT, static_cast<WPARAM>(selected), reinterpret_cast<LPARAM>(text.data()));
    return std::wstring(text.data());
}

bool QuestionsPage::Refuse(const wchar_t* text, int focusId) {
    ShowInfoMessage(Handle(), text, kProductName);
    FocusControl(Handle(), focusId);
    return false;
}

bool QuestionsPage::OnNext() {
    SecretText answers[3];
    for (int i = 0; i < 3; ++i) {
        answers[i] = ReadSecretField(Handle(), kAnswers[i], kFieldChars);
        if (answers[i].Empty()) return Refuse(L"Answer can't be empty.", kAnswers[i]);
    }
    std::wstring questions[3];
    for (int i = 0; i < 3; ++i) questions[i] = SelectedQuestion(kLists[i]);
    if (questions[0] == questions[1] || questions[0] == questions[2] || questions[1] == questions[2]) {
        return Refuse(L"Questions can't be same.", IDC_ANSWER1);
    }

    bool stored = SetAnswers(answers[0].Text(), answers[1].Text(), answers[2].Text());
    for (int i = 0; stored && i < 3; ++i) stored = SetSetting(kQuestionKeys[i], plat::WideToNarrow(questions[i]));
    if (!stored) {
        ReportSettingsWriteFailure(Handle(), SavedItem::SecurityQuestions);
        FocusControl(Handle(), IDC_ANSWER1);
        return false;
    }
    return true;
}

void QuestionsPage::OnDestroy() {
    for (int id : kAnswers) WipeField(Handle(), id);
}

}  // namespace corva::ui
