// Wizard pages shared by the setup wizard and the forgot-password reset.
#pragma once

#include "SecretField.h"
#include "WizardSheet.h"
#include "platform/WinHandles.h"

namespace corva::ui {

// A page of text only, with fixed buttons (the finish pages).
class TextPage final : public WizardPage {
public:
    TextPage(int templateId, DWORD buttons) : WizardPage(templateId), buttons_(buttons) {}

protected:
    DWORD WizardButtons() const override { return buttons_; }

private:
    DWORD buttons_;
};

// A new password typed twice (fields 1000 and 1001). Next checks the pair,
// the focus returning to the first field after any message, and stores the
// password; when storing fails the user is told and the page is kept. The
// page keeps the password it stored last, for a program that holds the
// password in memory; it is wiped with the page.
class NewPasswordPage final : public WizardPage {
public:
    explicit NewPasswordPage(int templateId) : WizardPage(templateId) {}

    // The password stored by the last successful Next; empty when none.
    SecretText& StoredPassword() { return stored_; }

protected:
    DWORD WizardButtons() const override { return PSWIZB_BACK | PSWIZB_NEXT; }
    void OnInit() override;
    bool OnNext() override;
    void OnDestroy() override;

private:
    SecretText stored_;
};

}  // namespace corva::ui
