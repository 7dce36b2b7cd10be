// End to end, as Explorer would use the extension: the library is copied
// into an install folder of its own and registered there with regsvr32
// (machine-wide, in the private prefix this test runs in); a test shell
// window takes the folder's own data object and item menu, finds the
// handlers under HKCR\*\shellex and HKCR\Directory\shellex, creates them
// with CoCreateInstance, lets them add their items and shows the menu. The
// test picks Corvastine > Lock / Unlock / Shred with the mouse, types the
// password into the real password dialog with the keyboard, answers the
// shred question, and looks at the files. This program has no manifest of
// its own: the dialogs get common controls 6 from the library's.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cwchar>
#include <memory>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "UiHarness.h"
#include "engine/LockedFile.h"
#include "engine/WorkingCopyPipeline.h"
#include "open/WorkingCopies.h"
#include "settings/PasswordStore.h"
#include "settings/Settings.h"

using Microsoft::WRL::ComPtr;
using namespace uitest;

namespace {

const char kPassword[] = "kestrel42";
const wchar_t kShellCaption[] = L"Corvastine test shell";
const wchar_t kPromptCaption[] = L"Enter password";
const wchar_t kDefaultPrompt[] = L"Please enter your password to continue.";
const wchar_t kWrongPrompt[] =
    L"The password you entered is incorrect. Please try again or click I Forgot My Password to reset your password.";
constexpr int kPromptTextId = 1001;
constexpr int kPromptFieldId = 1000;

std::wstring g_install;  // folder holding the registered library
std::wstring g_work;     // folder holding the files the tests act on

std::wstring Join(const std::wstring& folder, const std::wstring& name) { return folder + L"\\" + name; }

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void WriteFile(const std::wstring& path, const std::string& content) {
    std::ofstream out(path.c_str(), std::ios::binary);
    out << content;
}

std::string ReadFile(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

DWORD RunAndWait(const std::wstring& commandLine) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::wstring line = commandLine;
    if (!::CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        return static_cast<DWORD>(-1);
    }
    ::WaitForSingleObject(process.hProcess, 60000);
    DWORD code = static_cast<DWORD>(-1);
    ::GetExitCodeProcess(process.hProcess, &code);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return code;
}

std::wstring Regsvr32() {
    wchar_t system[MAX_PATH] = {};
    ::GetSystemDirectoryW(system, MAX_PATH);
    return Join(system, L"regsvr32.exe");
}

// ------------------------------------------------------------ the shell

// What the test shell reports to the test thread.
struct ShellState {
    std::atomic<HWND> window{nullptr};
    std::atomic<HMENU> menu{nullptr};
    std::atomic<int> handlersFound{0};
    std::atomic<int> menuShows{0};      // menus closed so far
    std::atomic<int> picked{-1};       // offset routed to our handler, -1 none
    std::atomic<long> invokeResult{0};
    std::mutex lock;
    std::wstring error;
    void Fail(const std::wstring& e) {
        std::lock_guard<std::mutex> hold(lock);
        if (error.empty()) error = e;
    }
};

LRESULT CALLBACK ShellWindowProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return ::DefWindowProcW(w, m, wp, lp); }

HWND CreateShellWindow() {
    static const bool registered = [] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = &ShellWindowProc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        wc.lpszClassName = L"CorvastineTestShell";
        return ::RegisterClassW(&wc) != 0;
    }();
    if (!registered) return nullptr;
    HWND w = ::CreateWindowExW(0, L"CorvastineTestShell", kShellCaption, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 720,
                               520, nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    if (w) {
        ::UpdateWindow(w);
        ::SetForegroundWindow(w);
    }
    return w;
}

struct Handler {
    ComPtr<IContextMenu> menu;
    UINT first = 0;
    UINT count = 0;
};

// Runs on the shell's UI thread: builds the context menu of the named items
// of folder as the shell does, shows it, and routes the pick.
INT_PTR RunShellMenu(ShellState* state, const std::wstring& folderPath, const std::vector<std::wstring>& names,
                     bool folders) {
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    HWND window = CreateShellWindow();
    {
        ComPtr<IShellFolder> desktop, folder;
        PIDLIST_ABSOLUTE folderPidl = nullptr;
        std::vector<PITEMID_CHILD> children;
        ComPtr<IDataObject> data;
        ComPtr<IContextMenu> shellMenu;
        std::vector<Handler> handlers;
        HMENU menu = ::CreatePopupMenu();
        auto fail = [&](const wchar_t* what, HRESULT hr) {
            state->Fail(std::wstring(what) + L" failed: 0x" + std::to_wstring(static_cast<unsigned long>(hr)));
        };
        HRESULT hr = ::SHGetDesktopFolder(&desktop);
        if (SUCCEEDED(hr)) hr = desktop->ParseDisplayName(window, nullptr, const_cast<wchar_t*>(folderPath.c_str()),
                                                          nullptr, reinterpret_cast<PIDLIST_RELATIVE*>(&folderPidl), nullptr);
        if (SUCCEEDED(hr)) hr = desktop->BindToObject(folderPidl, nullptr, IID_PPV_ARGS(&folder));
        for (const auto& name : names) {
            PIDLIST_RELATIVE child = nullptr;
            if (SUCCEEDED(hr)) hr = folder->ParseDisplayName(window, nullptr, const_cast<wchar_t*>(name.c_str()), nullptr, &child, nullptr);
            if (child) children.push_back(static_cast<PITEMID_CHILD>(child));
        }
        if (FAILED(hr)) fail(L"parsing the items", hr);
        // The folder's own data object and item menu.
        if (SUCCEEDED(hr)) hr = folder->GetUIObjectOf(window, static_cast<UINT>(children.size()),
                                                      const_cast<PCUITEMID_CHILD_ARRAY>(children.data()), IID_IDataObject,
                                                      nullptr, reinterpret_cast<void**>(data.GetAddressOf()));
        if (FAILED(hr)) fail(L"the data object", hr);
        UINT next = 1;
        if (SUCCEEDED(hr) && SUCCEEDED(folder->GetUIObjectOf(window, static_cast<UINT>(children.size()),
                                                              const_cast<PCUITEMID_CHILD_ARRAY>(children.data()),
                                                              IID_IContextMenu, nullptr,
                                                              reinterpret_cast<void**>(shellMenu.GetAddressOf())))) {
            HRESULT q = shellMenu->QueryContextMenu(menu, 0, next, 0x7FFF, CMF_NORMAL);
            if (SUCCEEDED(q)) next += HRESULT_CODE(q);
        }
        // The handlers registered for the item kind.
        const std::wstring kind = folders ? L"Directory" : L"*";
        HKEY progIdKey = nullptr, handlersKey = nullptr;
        ::RegOpenKeyExW(HKEY_CLASSES_ROOT, kind.c_str(), 0, KEY_READ, &progIdKey);
        if (SUCCEEDED(hr) &&
            ::RegOpenKeyExW(HKEY_CLASSES_ROOT, (kind + L"\\shellex\\ContextMenuHandlers").c_str(), 0, KEY_READ,
                            &handlersKey) == ERROR_SUCCESS) {
            wchar_t name[256];
            for (DWORD i = 0;; ++i) {
                DWORD chars = 256;
                if (::RegEnumKeyExW(handlersKey, i, name, &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
                wchar_t value[64] = {};
                LONG size = sizeof value;
                CLSID clsid{};
                if (::RegQueryValueW(handlersKey, name, value, &size) != ERROR_SUCCESS || FAILED(::CLSIDFromString(value, &clsid))) {
                    if (FAILED(::CLSIDFromString(name, &clsid))) continue;
                }
                ComPtr<IShellExtInit> init;
                if (FAILED(::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&init)))) continue;
                ComPtr<IContextMenu> handlerMenu;
                if (FAILED(init->Initialize(folderPidl, data.Get(), progIdKey)) || FAILED(init.As(&handlerMenu))) continue;
                HRESULT q = handlerMenu->QueryContextMenu(menu, static_cast<UINT>(::GetMenuItemCount(menu)), next, 0x7FFF,
                                                          CMF_NORMAL);
                if (FAILED(q) || HRESULT_CODE(q) == 0) continue;
                handlers.push_back(Handler{handlerMenu, next, static_cast<UINT>(HRESULT_CODE(q))});
                next += HRESULT_CODE(q);
            }
            ::RegCloseKey(handlersKey);
        }
        if (progIdKey) ::RegCloseKey(progIdKey);
        state->handlersFound = static_cast<int>(handlers.size());

        if (!handlers.empty()) {
            state->window = window;
            UINT id = 0;
            // A menu opened while the new window is still being activated
            // can be cancelled by that activation: show it again then.
            for (int shown = 0; shown < 3 && id == 0; ++shown) {
                ::SetForegroundWindow(window);
                WaitUntil([&] {
                    MSG msg;
                    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                        ::TranslateMessage(&msg);
                        ::DispatchMessageW(&msg);
                    }
                    return ::GetForegroundWindow() == window && ::GetActiveWindow() == window;
                }, Millis(5000));
                POINT at{60, 60};
                ::ClientToScreen(window, &at);
                state->menu = menu;
                id = static_cast<UINT>(
                    ::TrackPopupMenuEx(menu, TPM_RETURNCMD | TPM_LEFTALIGN | TPM_TOPALIGN, at.x, at.y, window, nullptr));
                state->menu = nullptr;
                ++state->menuShows;
            }
            for (Handler& h : handlers) {
                if (id < h.first || id >= h.first + h.count) continue;
                state->picked = static_cast<int>(id - h.first);
                CMINVOKECOMMANDINFOEX info{};
                info.cbSize = sizeof info;
                info.fMask = CMIC_MASK_UNICODE;
                info.hwnd = window;
                info.lpVerb = MAKEINTRESOURCEA(id - h.first);
                info.lpVerbW = MAKEINTRESOURCEW(id - h.first);
                info.nShow = SW_SHOWNORMAL;
                state->invokeResult = h.menu->InvokeCommand(reinterpret_cast<CMINVOKECOMMANDINFO*>(&info));
            }
        }
        handlers.clear();
        shellMenu.Reset();
        data.Reset();
        ::DestroyMenu(menu);
        for (auto child : children) ::CoTaskMemFree(child);
        ::CoTaskMemFree(folderPidl);
        folder.Reset();
        desktop.Reset();
    }
    state->window = nullptr;
    ::DestroyWindow(window);
    ::CoUninitialize();
    return 0;
}

// ------------------------------------------------------------ the tests

class ShellSessionTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        wchar_t temp[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, temp);
        const std::wstring root = std::wstring(temp) + L"corvastine-shell-" + std::to_wstring(::GetCurrentProcessId());
        g_install = Join(root, L"Corvastine");
        g_work = Join(root, L"work");
        ::CreateDirectoryW(root.c_str(), nullptr);
        // CORVA_INSTALLED_FOLDER: the folder of an extension that a setup
        // package installed and registered; it is used as it is.
        wchar_t installed[MAX_PATH] = {};
        const DWORD length = ::GetEnvironmentVariableW(L"CORVA_INSTALLED_FOLDER", installed, MAX_PATH);
        installed_ = length > 0 && length < MAX_PATH;
        if (installed_) {
            g_install = installed;
        } else {
            ::CreateDirectoryW(g_install.c_str(), nullptr);
            for (const wchar_t* file : {L"corvastinesh.dll", L"libeay32.dll", L"dwipe.dll"}) {
                ::CopyFileW(BesideProgram(file).c_str(), Join(g_install, file).c_str(), FALSE);
            }
        }
        // The password, in the settings file beside the library.
        corva::SetSettingsFolderForTesting(g_install);
        corva::SetModuleOnUsbForTesting(0);
        EnsureSettingsFile();
        registered_ = SetPassword(kPassword) &&
                      (installed_ || RunAndWait(L"\"" + Regsvr32() + L"\" /s \"" + Join(g_install, L"corvastinesh.dll") +
                                                L"\"") == 0);
    }
    static void TearDownTestSuite() {
        if (installed_) return;
        RunAndWait(L"\"" + Regsvr32() + L"\" /u /s \"" + Join(g_install, L"corvastinesh.dll") + L"\"");
    }

    void SetUp() override {
        ASSERT_TRUE(registered_) << "regsvr32 could not register the library";
        ::CreateDirectoryW(g_work.c_str(), nullptr);
    }


    // Starts the test shell on its own thread with the menu of the items
    // (of the work folder, or of another).
    void OpenMenu(const std::vector<std::wstring>& names, bool folders, const std::wstring& in = std::wstring()) {
        state_ = std::make_unique<ShellState>();
        ShellState* s = state_.get();
        const std::wstring folder = in.empty() ? g_work : in;
        shell_ = std::make_unique<UiThread>([s, folder, names, folders] { return RunShellMenu(s, folder, names, folders); });
        const bool shown = WaitUntil([&] { return state_->menu.load() != nullptr || shell_->Done(); });
        ASSERT_TRUE(shown);
        ASSERT_EQ(state_->error, L"");
        ASSERT_EQ(state_->handlersFound.load(), 1) << "the registered handler was not found or added nothing";
        WindowQuery popup;
        popup.scope = shell_->GetScope();
        popup.className = L"#32768";
        ASSERT_NE(WaitForWindow(popup), nullptr) << "the context menu did not open";
    }

    // Clicks "Corvastine", then the named command of its submenu. When the
    // shell had to show its menu again (see RunShellMenu), starts over.
    void Pick(const std::wstring& command, const std::wstring& shot = std::wstring()) {
        for (int attempt = 0; attempt < 3; ++attempt) {
            const int shows = state_->menuShows.load();
            if (!WaitUntil([&] { return state_->menu.load() != nullptr || shell_->Done(); })) break;
            if (TryPick(command, shot) || shell_->Done() || state_->picked.load() >= 0) break;
            WaitUntil([&] { return state_->menuShows.load() > shows || shell_->Done(); });
        }
        ASSERT_TRUE(WaitUntil([&] { return state_->picked.load() >= 0 || shell_->Done(); })) << "nothing was picked";
    }

    bool TryPick(const std::wstring& command, const std::wstring& shot) {
        bool ok = false;
        PickOnce(command, shot, &ok);
        return ok;
    }

    void PickOnce(const std::wstring& command, const std::wstring& shot, bool* ok) {
        HMENU menu = state_->menu.load();
        if (!menu) return;
        int header = -1;
        HMENU submenu = nullptr;
        for (int i = 0; i < ::GetMenuItemCount(menu); ++i) {
            wchar_t text[64] = {};
            ::GetMenuStringW(menu, static_cast<UINT>(i), text, 64, MF_BYPOSITION);
            if (std::wstring(text) == L"Corvastine") {
                header = i;
                submenu = ::GetSubMenu(menu, i);
            }
        }
        if (header < 0 || !submenu) return;  // no Corvastine item, or the menu went away
        WindowQuery popups;
        popups.scope = shell_->GetScope();
        popups.className = L"#32768";
        if (!ClickMenuItem(menu, static_cast<UINT>(header), [&] { return FindWindows(popups).size() >= 2; })) return;
        int position = -1;
        for (int i = 0; i < ::GetMenuItemCount(submenu); ++i) {
            wchar_t text[64] = {};
            ::GetMenuStringW(submenu, static_cast<UINT>(i), text, 64, MF_BYPOSITION);
            if (command == text) position = i;
        }
        if (position < 0) return;
        RECT item{};
        if (!WaitUntil([&] { return ::GetMenuItemRect(nullptr, submenu, static_cast<UINT>(position), &item) != 0; })) return;
        if (!shot.empty()) {
            // The pointer rests on the submenu's item, highlighted.
            PointAtMenuItem(submenu, static_cast<UINT>(position));
            SaveScreenshot(state_->window.load(), shot);
        }
        *ok = ClickMenuItem(submenu, static_cast<UINT>(position), [&] { return state_->menu.load() == nullptr; });
    }

    HWND WaitForPrompt(const std::wstring& promptText) {
        WindowQuery q = WindowQuery::Dialog(shell_->GetScope(), kPromptCaption);
        q.filter = [promptText](HWND w) { return ControlText(w, kPromptTextId) == promptText; };
        return WaitForWindow(q);
    }

    void EnterPassword(HWND prompt, const std::string& password) {
        ASSERT_TRUE(ClickIntoField(prompt, kPromptFieldId));
        ASSERT_TRUE(TypeKeys(prompt, std::wstring(password.begin(), password.end())));
        ASSERT_TRUE(WaitUntil([&] { return ControlText(prompt, kPromptFieldId).size() == password.size(); }));
        ASSERT_TRUE(PressKey(prompt, VK_RETURN));
        ASSERT_TRUE(WaitForWindowGone(prompt));
    }

    void WaitShellDone() {
        ASSERT_TRUE(shell_->WaitDone(Millis(60000)));
        EXPECT_EQ(state_->invokeResult.load(), S_OK);
    }

    static bool registered_;
    static bool installed_;
    std::unique_ptr<ShellState> state_;
    std::unique_ptr<UiThread> shell_;
};

bool ShellSessionTest::registered_ = false;
bool ShellSessionTest::installed_ = false;

}  // namespace

TEST_F(ShellSessionTest, LockOfThreeSelectedFilesLocksEveryOneAfterOneRightPassword) {
    for (const wchar_t* name : {L"first.txt", L"second.txt", L"third.txt"}) {
        WriteFile(Join(g_work, name), "contents of " + std::string(name, name + wcslen(name)));
    }
    OpenMenu({L"first.txt", L"second.txt", L"third.txt"}, false);
    Pick(L"Lock", L"shell-menu-files");
    EXPECT_EQ(state_->picked.load(), 101);

    HWND prompt = WaitForPrompt(kDefaultPrompt);
    ASSERT_NE(prompt, nullptr) << "no password prompt";
    SaveScreenshot(state_->window.load(), L"shell-password-prompt");
    // The dialogs run with common controls 6 (only those buttons know
    // BCM_GETIDEALSIZE), from the library's manifest: this program has none.
    SIZE ideal{};
    EXPECT_TRUE(::SendMessageW(::GetDlgItem(prompt, IDOK), BCM_GETIDEALSIZE, 0, reinterpret_cast<LPARAM>(&ideal)));
    EnterPassword(prompt, "wrong-guess");

    prompt = WaitForPrompt(kWrongPrompt);
    ASSERT_NE(prompt, nullptr) << "no second prompt after a wrong password";
    SaveScreenshot(state_->window.load(), L"shell-password-incorrect");
    EnterPassword(prompt, kPassword);
    WaitShellDone();

    for (const wchar_t* name : {L"first.txt", L"second.txt", L"third.txt"}) {
        EXPECT_FALSE(Exists(Join(g_work, name))) << "left plain";
        EXPECT_TRUE(Exists(Join(g_work, name) + L".corvastine")) << "not locked";
    }

    // And back: Unlock on the three locked files, with one password, restores
    // every one.
    OpenMenu({L"first.txt.corvastine", L"second.txt.corvastine", L"third.txt.corvastine"}, false);
    Pick(L"Unlock");
    EXPECT_EQ(state_->picked.load(), 102);
    prompt = WaitForPrompt(kDefaultPrompt);
    ASSERT_NE(prompt, nullptr);
    EnterPassword(prompt, kPassword);
    WaitShellDone();
    for (const wchar_t* name : {L"first.txt", L"second.txt", L"third.txt"}) {
        EXPECT_EQ(ReadFile(Join(g_work, name)), "contents of " + std::string(name, name + wcslen(name)));
        EXPECT_FALSE(Exists(Join(g_work, name) + L".corvastine"));
    }
}

TEST_F(ShellSessionTest, UnlockOnPlainFilesDoesNothingAndAsksNothing) {
    WriteFile(Join(g_work, L"plain-a.txt"), "plain a");
    WriteFile(Join(g_work, L"plain-b.txt"), "plain b");
    OpenMenu({L"plain-a.txt", L"plain-b.txt"}, false);
    Pick(L"Unlock");
    bool sawDialog = false;
    ASSERT_TRUE(WaitUntil([&] {
        if (!FindWindows(WindowQuery::Dialog(shell_->GetScope(), kPromptCaption)).empty()) sawDialog = true;
        return shell_->Done();
    }));
    EXPECT_FALSE(sawDialog);
    EXPECT_EQ(state_->picked.load(), 102);
    EXPECT_EQ(state_->invokeResult.load(), S_OK);
    EXPECT_EQ(ReadFile(Join(g_work, L"plain-a.txt")), "plain a");
    EXPECT_EQ(ReadFile(Join(g_work, L"plain-b.txt")), "plain b");
}

TEST_F(ShellSessionTest, ShredAsksForThePasswordThenAsksAgainAndNoChangesNothing) {
    WriteFile(Join(g_work, L"keep-me.txt"), "precious");
    OpenMenu({L"keep-me.txt"}, false);
    Pick(L"Shred");
    EXPECT_EQ(state_->picked.load(), 103);
    HWND prompt = WaitForPrompt(kDefaultPrompt);
    ASSERT_NE(prompt, nullptr);
    EnterPassword(prompt, kPassword);

    auto box = WaitForMessageBox(shell_->GetScope());
    ASSERT_TRUE(box.has_value()) << "no shred question";
    EXPECT_EQ(box->text, L"Do you really want to shred the file \"keep-me.txt\"?");
    EXPECT_EQ(box->caption, L"Warning");
    EXPECT_EQ(box->owner, nullptr);
    EXPECT_EQ(box->buttons.size(), 2u);
    SaveScreenshot(box->window, L"shell-shred-question");
    ASSERT_NE(::GetDlgItem(box->window, IDNO), nullptr);
    ASSERT_TRUE(ClickControl(box->window, IDNO));
    ASSERT_TRUE(WaitForWindowGone(box->window));
    WaitShellDone();
    EXPECT_EQ(ReadFile(Join(g_work, L"keep-me.txt")), "precious");
}

TEST_F(ShellSessionTest, CancelInThePasswordPromptEndsLockSilently) {
    WriteFile(Join(g_work, L"untouched.txt"), "as it was");
    OpenMenu({L"untouched.txt"}, false);
    Pick(L"Lock");
    HWND prompt = WaitForPrompt(kDefaultPrompt);
    ASSERT_NE(prompt, nullptr);
    ASSERT_TRUE(ClickIntoField(prompt, kPromptFieldId));
    ASSERT_TRUE(PressKey(prompt, VK_ESCAPE));
    ASSERT_TRUE(WaitForWindowGone(prompt));
    WaitShellDone();
    EXPECT_EQ(ReadFile(Join(g_work, L"untouched.txt")), "as it was");
    EXPECT_FALSE(Exists(Join(g_work, L"untouched.txt.corvastine")));
}

// The menu's Unlock undoes its own Lock of a folder: every locked file of
// the tree comes back.
TEST_F(ShellSessionTest, LockOfAFolderLocksItsWholeTreeAndUnlockOnItBringsItBack) {
    const std::wstring tree = Join(g_work, L"tree");
    const std::wstring inner = Join(tree, L"inner");
    ::CreateDirectoryW(tree.c_str(), nullptr);
    ::CreateDirectoryW(inner.c_str(), nullptr);
    WriteFile(Join(tree, L"top.txt"), "top");
    WriteFile(Join(inner, L"deep.txt"), "deep");
    OpenMenu({L"tree"}, true);
    Pick(L"Lock");
    HWND prompt = WaitForPrompt(kDefaultPrompt);
    ASSERT_NE(prompt, nullptr);
    EnterPassword(prompt, kPassword);
    WaitShellDone();
    EXPECT_FALSE(Exists(Join(tree, L"top.txt")));
    EXPECT_TRUE(Exists(Join(tree, L"top.txt.corvastine")));
    EXPECT_FALSE(Exists(Join(inner, L"deep.txt")));
    EXPECT_TRUE(Exists(Join(inner, L"deep.txt.corvastine")));

    OpenMenu({L"tree"}, true);
    Pick(L"Unlock", L"shell-menu-folder");
    EXPECT_EQ(state_->picked.load(), 102);
    prompt = WaitForPrompt(kDefaultPrompt);
    ASSERT_NE(prompt, nullptr) << "Unlock on a folder asked for no password";
    EnterPassword(prompt, kPassword);
    WaitShellDone();
    EXPECT_EQ(ReadFile(Join(tree, L"top.txt")), "top");
    EXPECT_EQ(ReadFile(Join(inner, L"deep.txt")), "deep");
    EXPECT_FALSE(Exists(Join(tree, L"top.txt.corvastine")));
    EXPECT_FALSE(Exists(Join(inner, L"deep.txt.corvastine")));
}

// Locking the folder the extension was installed in leaves its own files
// (the library, the libraries beside it and the settings file) as they
// were, and the summary names them; the next command still finds the
// password (a locked settings file would have offered anyone the setup).
TEST_F(ShellSessionTest, LockingTheExtensionsOwnFolderLeavesItsFilesAndNamesThem) {
    if (installed_) GTEST_SKIP() << "the installed folder holds the other programs too";
    const std::wstring config = Join(g_install, L"config.xml");
    const std::string settings = ReadFile(config);
    ASSERT_FALSE(settings.empty());
    const size_t cut = g_install.find_last_of(L'\\');
    OpenMenu({g_install.substr(cut + 1)}, true, g_install.substr(0, cut));
    Pick(L"Lock");
    HWND prompt = WaitForPrompt(kDefaultPrompt);
    ASSERT_NE(prompt, nullptr);
    EnterPassword(prompt, kPassword);
    auto box = WaitForMessageBox(shell_->GetScope());
    ASSERT_TRUE(box.has_value()) << "no summary";
    SaveScreenshot(box->window, L"shell-summary-own-files");
    EXPECT_EQ(box->caption, L"Corvastine");
    EXPECT_EQ(box->owner, state_->window.load());
    EXPECT_EQ(box->text.find(L"4 files could not be locked:\n"), 0u) << std::string(box->text.begin(), box->text.end());
    for (const wchar_t* name : {L"config.xml", L"corvastinesh.dll", L"libeay32.dll", L"dwipe.dll"})
        EXPECT_NE(box->text.find(std::wstring(L"\n") + name + L": one of Corvastine's own files"), std::wstring::npos)
            << "not named: " << std::string(name, name + wcslen(name));
    ASSERT_TRUE(AnswerMessageBox(*box, IDOK));
    WaitShellDone();
    EXPECT_EQ(ReadFile(config), settings);
    EXPECT_FALSE(Exists(config + L".corvastine"));
    EXPECT_FALSE(Exists(Join(g_install, L"corvastinesh.dll.corvastine")));

    // The next command asks for the password, not for a new one.
    WriteFile(Join(g_work, L"after.txt"), "after");
    OpenMenu({L"after.txt"}, false);
    Pick(L"Lock");
    prompt = WaitForPrompt(kDefaultPrompt);
    ASSERT_NE(prompt, nullptr);
    EnterPassword(prompt, kPassword);
    WaitShellDone();
    EXPECT_TRUE(Exists(Join(g_work, L"after.txt.corvastine")));
}

// Shred of several items asks once, naming how many, and Yes shreds every
// one of them.
TEST_F(ShellSessionTest, ShredOfSeveralItemsNamesTheirCountAndYesShredsEveryOne) {
    WriteFile(Join(g_work, L"draft-1.txt"), "one");
    WriteFile(Join(g_work, L"draft-2.txt"), "two");
    OpenMenu({L"draft-1.txt", L"draft-2.txt"}, false);
    Pick(L"Shred");
    HWND prompt = WaitForPrompt(kDefaultPrompt);
    ASSERT_NE(prompt, nullptr);
    EnterPassword(prompt, kPassword);
    auto box = WaitForMessageBox(shell_->GetScope());
    ASSERT_TRUE(box.has_value()) << "no shred question";
    EXPECT_EQ(box->text, L"Do you really want to shred these 2 items?\n\ndraft-1.txt\ndraft-2.txt");
    EXPECT_EQ(box->caption, L"Warning");
    SaveScreenshot(box->window, L"shell-shred-question-several");
    ASSERT_TRUE(PressKey(box->window, 'Y'));  // the Yes button's mnemonic
    ASSERT_TRUE(WaitForWindowGone(box->window));
    WaitShellDone();
    EXPECT_FALSE(Exists(Join(g_work, L"draft-1.txt")));
    EXPECT_FALSE(Exists(Join(g_work, L"draft-2.txt")));
}

TEST_F(ShellSessionTest, OkWithoutAStoredPasswordOpensTheSetupWizardWithTheExtensionsWelcome) {
    ASSERT_TRUE(SetSetting("passwordhash", ""));
    struct Restore {
        ~Restore() { SetPassword(kPassword); }
    } restore;
    WriteFile(Join(g_work, L"plain.txt"), "plain");
    OpenMenu({L"plain.txt"}, false);
    Pick(L"Lock");
    HWND prompt = WaitForPrompt(kDefaultPrompt);
    ASSERT_NE(prompt, nullptr);
    ASSERT_TRUE(ClickIntoField(prompt, kPromptFieldId));
    ASSERT_TRUE(TypeKeys(prompt, L"anything"));
    ASSERT_TRUE(PressKey(prompt, VK_RETURN));
    HWND sheet = WaitForWindow(WindowQuery::Dialog(shell_->GetScope(), L"Password Setup"));
    ASSERT_NE(sheet, nullptr) << "no setup wizard";
    HWND page = CurrentPage(sheet);
    EXPECT_EQ(ControlText(page, 1021),
              L"The Setup Wizard will guide you through the installation of Corvastine. Click Next to continue or "
              L"Cancel to exit setup.");
    SaveScreenshot(sheet, L"shell-setup-wizard");
    ASSERT_TRUE(PressWizardButton(sheet, WizardButton::Cancel));
    ASSERT_TRUE(WaitForWindowGone(sheet));
    // The prompt is still open; Escape ends the command.
    ASSERT_TRUE(::IsWindow(prompt));
    ASSERT_TRUE(ClickIntoField(prompt, kPromptFieldId));
    ASSERT_TRUE(PressKey(prompt, VK_ESCAPE));
    WaitShellDone();
    EXPECT_EQ(ReadFile(Join(g_work, L"plain.txt")), "plain");
}

// Open on a single locked file: after the password the menu's thread is free
// again while notepad shows the working copy; a change typed and saved there
// with real keys is locked again once notepad has ended, and the copy goes.
TEST_F(ShellSessionTest, OpenShowsALockedFileInNotepadAndLocksTheSavedChangeAgain) {
    // Text files open with Wine's notepad in this private prefix.
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CLASSES_ROOT, L".txt", nullptr, REG_SZ, L"txtfile",
                                sizeof L"txtfile"),
              ERROR_SUCCESS);
    const std::wstring plain = Join(g_work, L"memo.txt");
    const std::wstring locked = plain + L".corvastine";
    WriteFile(plain, "memo one\r\n");
    ASSERT_EQ(corva::LockFile(plain, kPassword, nullptr), corva::kOk);
    const std::string before = ReadFile(locked);
    const corva::WorkingArea area(corva::DefaultWorkingRoot());

    OpenMenu({L"memo.txt.corvastine"}, false);
    Pick(L"Open", L"shell-menu-open");
    EXPECT_EQ(state_->picked.load(), 104);
    HWND prompt = WaitForPrompt(kDefaultPrompt);
    ASSERT_NE(prompt, nullptr);
    EnterPassword(prompt, kPassword);
    WaitShellDone();  // returned to the shell while the file is open

    WindowQuery notepad;
    notepad.className = L"Notepad";
    HWND pad = WaitForWindow(notepad);
    ASSERT_NE(pad, nullptr);
    // A notepad left open by a failed step would keep the run from ending.
    struct EndNotepad {
        HWND pad;
        ~EndNotepad() { EndProgramOfWindow(pad); }
    } endNotepad{pad};
    ASSERT_EQ(area.Entries().size(), 1u);
    const corva::WorkingEntry entry = area.Entries()[0];
    const std::wstring& copy = entry.copyPath;
    EXPECT_EQ(ReadFile(copy), "memo one\r\n");
    EXPECT_EQ(ReadFile(locked), before);
    ASSERT_TRUE(TypeAtEnd(pad, L"memo two"));
    SaveScreenshot(pad, L"shell-open-notepad");
    ASSERT_TRUE(SaveByKeys(pad, copy, std::string("memo one\r\nmemo two").size()));
    EXPECT_EQ(ReadFile(copy), "memo one\r\nmemo two");
    ::PostMessageW(pad, WM_CLOSE, 0, 0);
    ASSERT_TRUE(WaitForWindowGone(pad));

    // Watched by name only: listing the entry's folder or reading its record
    // meanwhile would hold them open and stand in the way of their removal.
    ASSERT_TRUE(WaitUntil([&] { return !Exists(entry.folder) && !Exists(entry.recordPath); }, Millis(60000)));
    EXPECT_TRUE(area.Entries().empty());
    const std::wstring check = Join(g_work, L"check.txt");
    ASSERT_EQ(corva::UnlockCopy(locked, check, kPassword, nullptr), corva::kOk);
    EXPECT_EQ(ReadFile(check), "memo one\r\nmemo two");
}
