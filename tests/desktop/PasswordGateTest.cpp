// The start-up password gate's sequence with scripted dialogs: wizard only
// without a stored password, the "incorrect" prompt after each mismatch,
// unlimited attempts, and Cancel ending the gate at any prompt.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "PasswordGate.h"

namespace corva::desktop {
namespace {

class ScriptedPorts : public GatePorts {
public:
    bool stored = true;
    std::string correct = "right";
    std::vector<std::string> answers;  // kCancel: the user cancels
    static constexpr const char* kCancel = "<cancel>";
    std::vector<std::string> calls;
    std::vector<std::wstring> prompts;

    void EnsureSettings() override { calls.push_back("ensure"); }
    bool PasswordStored() override { return stored; }
    void RunSetupWizard() override {
        calls.push_back("wizard");
        // The wizard stores a password (the user may also cancel it; the
        // gate goes on either way).
        stored = true;
    }
    bool AskPassword(const std::wstring& prompt, corva::SecretText* entered) override {
        calls.push_back("ask");
        prompts.push_back(prompt);
        if (next_ >= answers.size() || answers[next_] == kCancel) {
            ++next_;
            return false;
        }
        *entered = corva::SecretText(answers[next_++]);
        return true;
    }
    bool CheckPassword(const corva::SecretText& password) override {
        calls.push_back("check");
        return password.Text() == correct;
    }

private:
    size_t next_ = 0;
};

TEST(PasswordGate, TheRightPasswordAtOnceOpensTheGate) {
    ScriptedPorts ports;
    ports.answers = {"right"};
    corva::SecretText accepted;
    EXPECT_TRUE(RunPasswordGate(ports, &accepted));
    EXPECT_EQ(accepted.Text(), "right");
    EXPECT_EQ(ports.calls, (std::vector<std::string>{"ensure", "ask", "check"}));
    EXPECT_EQ(ports.prompts, (std::vector<std::wstring>{kEnterPrompt}));
}

TEST(PasswordGate, FirstStartRunsTheWizardThenAsks) {
    ScriptedPorts ports;
    ports.stored = false;
    ports.answers = {"right"};
    corva::SecretText accepted;
    EXPECT_TRUE(RunPasswordGate(ports, &accepted));
    EXPECT_EQ(ports.calls, (std::vector<std::string>{"ensure", "wizard", "ask", "check"}));
}

TEST(PasswordGate, CancellingThePromptAfterTheWizardEndsTheGate) {
    ScriptedPorts ports;
    ports.stored = false;
    ports.answers = {ScriptedPorts::kCancel};
    corva::SecretText accepted("stale");
    EXPECT_FALSE(RunPasswordGate(ports, &accepted));
    EXPECT_TRUE(accepted.Empty());
    EXPECT_EQ(ports.calls, (std::vector<std::string>{"ensure", "wizard", "ask"}));
}

TEST(PasswordGate, WrongPasswordsBringTheIncorrectPromptBackAnyNumberOfTimes) {
    ScriptedPorts ports;
    for (int i = 0; i < 25; ++i) ports.answers.push_back("wrong" + std::to_string(i));
    ports.answers.push_back("right");
    corva::SecretText accepted;
    EXPECT_TRUE(RunPasswordGate(ports, &accepted));
    EXPECT_EQ(accepted.Text(), "right");
    ASSERT_EQ(ports.prompts.size(), 26u);
    EXPECT_EQ(ports.prompts[0], kEnterPrompt);
    for (size_t i = 1; i < ports.prompts.size(); ++i) EXPECT_EQ(ports.prompts[i], kIncorrectPrompt) << i;
}

TEST(PasswordGate, CancelAfterWrongPasswordsEndsTheGate) {
    ScriptedPorts ports;
    ports.answers = {"wrong", "", ScriptedPorts::kCancel, "right"};
    corva::SecretText accepted;
    EXPECT_FALSE(RunPasswordGate(ports, &accepted));
    EXPECT_TRUE(accepted.Empty());
    EXPECT_EQ(ports.prompts.size(), 3u);
}

TEST(PasswordGate, TheIncorrectPromptIsTheProgramsText) {
    EXPECT_EQ(std::wstring(kIncorrectPrompt),
              L"The password you entered is incorrect. Please try again or click I Forgot My Password to reset "
              L"your password.");
    EXPECT_EQ(std::wstring(kEnterPrompt), L"Please enter your password to continue.");
}

TEST(WipeString, LeavesNoTextBehind) {
    std::string secret = "correct horse battery staple";
    const char* buffer = secret.data();
    const size_t capacity = secret.capacity();
    corva::SecretText::WipeString(secret);
    EXPECT_TRUE(secret.empty());
    EXPECT_EQ(secret.data(), buffer);  // same buffer, now zeroed
    for (size_t i = 0; i < capacity; ++i) EXPECT_EQ(buffer[i], '\0') << i;
}

}  // namespace
}  // namespace corva::desktop
