// The cost of filling and sorting the file list for folders of 1,000 and
// 10,000 files, measured on a list of the test program's own thread. The
// figures are printed; the larger folder may cost at most 20 times the
// smaller (linear growth with room for the sort and a loaded machine).
// Run on its own (desktop_list_benchmark): it is left out of the UI runs.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "FolderBrowser.h"
#include "UiHarness.h"

namespace {

namespace fs = std::filesystem;
using corva::desktop::FolderBrowser;

// A hidden window holding a tree and a list, passing their notifications
// to the browser as the main window does.
LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NOTIFY) {
        auto* browser = reinterpret_cast<FolderBrowser*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
        LRESULT result = 0;
        if (browser && browser->OnNotify(*reinterpret_cast<NMHDR*>(lParam), &result)) return result;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

void MakeFolder(const fs::path& folder, int files) {
    fs::create_directories(folder);
    for (int i = 0; i < files; ++i) {
        std::ofstream(folder / (L"file " + std::to_wstring((i * 7919) % files) + L".txt")) << std::string(i % 500, 'x');
    }
}

TEST(ListFillBenchmark, FillingAndSortingGrowsLinearlyWithTheFolder) {
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    const fs::path root = fs::path(temp) / L"corva-list-benchmark";
    std::error_code ec;
    fs::remove_all(root, ec);
    MakeFolder(root / L"small", 1000);
    MakeFolder(root / L"large", 10000);

    double seconds[2] = {0, 0};
    uitest::UiThread thread([&]() -> INT_PTR {
        ::OleInitialize(nullptr);
        WNDCLASSW wc{};
        wc.lpfnWndProc = &HostProc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"CorvaListBenchmarkHost";
        ::RegisterClassW(&wc);
        HWND host = ::CreateWindowExW(0, wc.lpszClassName, L"", WS_OVERLAPPEDWINDOW, 0, 0, 800, 600, nullptr, nullptr,
                                      wc.hInstance, nullptr);
        HWND tree = ::CreateWindowExW(0, WC_TREEVIEWW, L"", WS_CHILD, 0, 0, 200, 600, host, nullptr, wc.hInstance,
                                      nullptr);
        HWND list = ::CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SHAREIMAGELISTS,
                                      200, 0, 600, 600, host, nullptr, wc.hInstance, nullptr);
        INT_PTR ok = 1;
        {
            FolderBrowser browser;
            browser.Attach(host, tree, list, 96);
            ::SetWindowLongPtrW(host, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&browser));
            const fs::path folders[2] = {root / L"small", root / L"large"};
            for (int i = 0; i < 2; ++i) {
                // Once to warm the caches, then the best of three runs, as
                // the machine is shared.
                browser.FillFolderListForTesting(folders[i].wstring());
                for (int run = 0; run < 3; ++run) {
                    const auto start = std::chrono::steady_clock::now();
                    if (!browser.FillFolderListForTesting(folders[i].wstring())) ok = 0;
                    const double took =
                        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
                    if (run == 0 || took < seconds[i]) seconds[i] = took;
                    if (ListView_GetItemCount(list) != (i == 0 ? 1000 : 10000)) ok = 0;
                }
            }
            browser.Clear();
            ::SetWindowLongPtrW(host, GWLP_USERDATA, 0);
        }
        ::DestroyWindow(host);
        ::OleUninitialize();
        return ok;
    });
    ASSERT_TRUE(thread.WaitDone(uitest::Millis(600000)));
    EXPECT_EQ(thread.Result(), 1) << "a folder was not listed completely";
    std::printf("fill and sort: 1,000 files %.3f s, 10,000 files %.3f s (ratio %.1f)\n", seconds[0], seconds[1],
                seconds[1] / seconds[0]);
    RecordProperty("seconds_1000", std::to_string(seconds[0]));
    RecordProperty("seconds_10000", std::to_string(seconds[1]));
    EXPECT_LT(seconds[1], seconds[0] * 20) << "the cost grows faster than the folder";
    fs::remove_all(root, ec);
}

}  // namespace
