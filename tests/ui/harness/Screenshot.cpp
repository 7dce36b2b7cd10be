// Screenshots of windows as PNG files.
#include "UiHarness.h"

#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace uitest {

namespace {

void PutBigEndian(std::vector<unsigned char>& out, uint32_t v) {
    out.push_back(static_cast<unsigned char>(v >> 24));
    out.push_back(static_cast<unsigned char>(v >> 16));
    out.push_back(static_cast<unsigned char>(v >> 8));
    out.push_back(static_cast<unsigned char>(v));
}

void PutChunk(std::vector<unsigned char>& out, const char* tag, const std::vector<unsigned char>& data) {
    PutBigEndian(out, static_cast<uint32_t>(data.size()));
    size_t start = out.size();
    out.insert(out.end(), tag, tag + 4);
    out.insert(out.end(), data.begin(), data.end());
    uLong crc = crc32(0L, Z_NULL, 0);
    crc = crc32(crc, out.data() + start, static_cast<uInt>(out.size() - start));
    PutBigEndian(out, static_cast<uint32_t>(crc));
}

bool MakeFolders(const std::wstring& path) {
    for (size_t i = 3; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == L'\\') {
            std::wstring part = path.substr(0, i);
            if (!::CreateDirectoryW(part.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) {
                DWORD a = ::GetFileAttributesW(part.c_str());
                if (a == INVALID_FILE_ATTRIBUTES || !(a & FILE_ATTRIBUTE_DIRECTORY)) return false;
            }
        }
    }
    return true;
}

// The window's pixels as the screen shows them, top row first, BGRA.
bool CaptureScreen(const RECT& r, std::vector<unsigned char>* bgra) {
    int w = r.right - r.left;
    int h = r.bottom - r.top;
    if (w <= 0 || h <= 0) return false;
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = false;
    if (bitmap && bits) {
        HGDIOBJ old = ::SelectObject(memory, bitmap);
        ok = ::BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY | CAPTUREBLT) != 0;
        ::GdiFlush();
        const auto* p = static_cast<const unsigned char*>(bits);
        bgra->assign(p, p + static_cast<size_t>(w) * static_cast<size_t>(h) * 4);
        ::SelectObject(memory, old);
    }
    if (bitmap) ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    return ok;
}

}  // namespace

bool WritePng(const std::wstring& path, int width, int height, const std::vector<unsigned char>& bgra) {
    if (width <= 0 || height <= 0 || bgra.size() < static_cast<size_t>(width) * height * 4) return false;
    std::vector<unsigned char> raw;
    raw.reserve(static_cast<size_t>(height) * (static_cast<size_t>(width) * 3 + 1));
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);  // filter: none
        const unsigned char* row = bgra.data() + static_cast<size_t>(y) * width * 4;
        for (int x = 0; x < width; ++x) {
            raw.push_back(row[x * 4 + 2]);
            raw.push_back(row[x * 4 + 1]);
            raw.push_back(row[x * 4 + 0]);
        }
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::vector<unsigned char> packed(packedSize);
    if (compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()), 6) != Z_OK) return false;
    packed.resize(packedSize);

    std::vector<unsigned char> file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<unsigned char> header;
    PutBigEndian(header, static_cast<uint32_t>(width));
    PutBigEndian(header, static_cast<uint32_t>(height));
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8-bit RGB
    PutChunk(file, "IHDR", header);
    PutChunk(file, "IDAT", packed);
    PutChunk(file, "IEND", {});

    HANDLE out = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = ::WriteFile(out, file.data(), static_cast<DWORD>(file.size()), &written, nullptr) &&
              written == file.size();
    ::CloseHandle(out);
    return ok;
}

std::wstring ScreenshotDir() {
    wchar_t buffer[1024] = {};
    DWORD n = ::GetEnvironmentVariableW(L"CORVA_SCREENSHOT_DIR", buffer, 1024);
    std::wstring dir = (n > 0 && n < 1024) ? std::wstring(buffer) : std::wstring();
    if (dir.empty()) {
        dir = BesideProgram(L"screenshots");
    } else if (dir[0] == L'/') {
        // A POSIX path handed over by the build: Wine shows the root as Z:.
        for (wchar_t& c : dir) {
            if (c == L'/') c = L'\\';
        }
        dir = L"Z:" + dir;
    }
    while (!dir.empty() && (dir.back() == L'\\' || dir.back() == L'/')) dir.pop_back();
    MakeFolders(dir);
    return dir;
}

bool CaptureWindow(HWND window, int* width, int* height, std::vector<unsigned char>* bgra) {
    if (!::IsWindow(window)) return false;
    HWND top = ::GetAncestor(window, GA_ROOT);
    ::SetWindowPos(top, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    ::RedrawWindow(top, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutW(top, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 3000, &ignored);

    RECT r{};
    ::GetWindowRect(window, &r);
    // Take pictures until two in a row agree, so that a picture is not cut
    // in the middle of a repaint.
    std::vector<unsigned char> previous;
    for (int attempt = 0; attempt < 10; ++attempt) {
        if (!CaptureScreen(r, bgra)) return false;
        if (attempt > 0 && *bgra == previous) break;
        previous = *bgra;
        ::Sleep(40);
    }
    *width = r.right - r.left;
    *height = r.bottom - r.top;
    return true;
}

std::wstring SaveScreenshot(HWND window, const std::wstring& name) {
    int width = 0, height = 0;
    std::vector<unsigned char> pixels;
    if (!CaptureWindow(window, &width, &height, &pixels)) return std::wstring();
    std::wstring path = ScreenshotDir() + L"\\" + name + L".png";
    return WritePng(path, width, height, pixels) ? path : std::wstring();
}

namespace {

// Lets the window's thread take what it was sent, then paint whatever it
// has marked to be painted (nothing more is marked here).
void Settle(HWND window) {
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
    ::RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

}  // namespace

std::vector<unsigned char> ScreenPixels(const RECT& screen) {
    std::vector<unsigned char> now, before;
    WaitUntil([&] {
        if (!CaptureScreen(screen, &now)) return false;
        const bool same = !before.empty() && now == before;
        before = now;
        return same;
    });
    return now;
}

bool ShowsWhatItPaints(HWND window, const std::wstring& name) {
    Settle(window);
    RECT r{};
    ::GetWindowRect(window, &r);
    const std::vector<unsigned char> shown = ScreenPixels(r);
    WritePng(ScreenshotDir() + L"\\" + name + L".png", r.right - r.left, r.bottom - r.top, shown);
    ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Settle(window);
    const std::vector<unsigned char> painted = ScreenPixels(r);
    if (shown == painted) return true;
    WritePng(ScreenshotDir() + L"\\" + name + L"-painted-again.png", r.right - r.left, r.bottom - r.top, painted);
    return false;
}

}  // namespace uitest
