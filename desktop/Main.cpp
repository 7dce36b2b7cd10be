// Entry of Corvadesk, the desktop program: the main thread starts the
// window thread and waits for it; the program takes no arguments.
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>

#include <memory>

#include "FrameThreadManager.h"
#include "StartupPassword.h"
#include "log/FileLog.h"

namespace {

// The engine's log: created for "corvalog.log" with an unnamed lock and
// switched off at once, so the program writes no log file.
std::unique_ptr<FileLog> g_processLog;

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int showCommand) {
    const HRESULT com = ::CoInitialize(nullptr);
    g_processLog = std::make_unique<FileLog>("corvalog.log", L"");
    g_processLog->enabled = false;

    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_COOL_CLASSES | ICC_USEREX_CLASSES |
                                                       ICC_TREEVIEW_CLASSES | ICC_LISTVIEW_CLASSES};
    ::InitCommonControlsEx(&controls);

    int result = 0;
    {
        corva::desktop::FrameThreadManager manager(&corva::desktop::RunFrameThread);
        result = manager.Run(commandLine ? commandLine : L"", showCommand);
    }
    corva::desktop::ClearStartupPassword();
    if (SUCCEEDED(com)) ::CoUninitialize();
    g_processLog.reset();
    return result;
}
