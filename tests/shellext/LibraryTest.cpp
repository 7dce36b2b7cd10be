// The shell extension loaded directly, as the shell uses it: class object,
// unload rules, interfaces, the embedded type library and resources, the
// menu it adds, verbs and help texts.
#include <windows.h>
#include <oleauto.h>
#include <shellapi.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "Guids.h"
#include "ShellTestSupport.h"
#include "UiHarness.h"

using namespace shelltest;
using corva::shell::kCorvastineClsid;
using corva::shell::kICorvastineIid;
using corva::shell::kTypeLibId;

namespace {

const wchar_t kLibraryName[] = L"corvastinesh.dll";

class LibraryTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        ASSERT_TRUE(library_.Load(uitest::BesideProgram(kLibraryName))) << "cannot load " << ::GetLastError();
    }
    void TearDown() override { ::CoUninitialize(); }

    ComPtr<IClassFactory> Factory() {
        ComPtr<IClassFactory> factory;
        EXPECT_EQ(library_.getClassObject(kCorvastineClsid, IID_IClassFactory, &factory), S_OK);
        return factory;
    }
    template <typename T>
    ComPtr<T> Create() {
        ComPtr<T> object;
        ComPtr<IClassFactory> factory = Factory();
        if (factory) {
            EXPECT_EQ(factory->CreateInstance(nullptr, __uuidof(T), &object), S_OK);
        }
        return object;
    }
    // A fresh handler initialised with a drop list of paths.
    ComPtr<IContextMenu> MenuFor(const std::vector<std::wstring>& paths) {
        ComPtr<IShellExtInit> init = Create<IShellExtInit>();
        if (!init) return nullptr;
        EXPECT_EQ(init->Initialize(nullptr, MakeDropData(paths).Get(), nullptr), S_OK);
        ComPtr<IContextMenu> menu;
        EXPECT_EQ(init.As(&menu), S_OK);
        return menu;
    }

    Library library_;
};

// Runs a command offset on a fresh handler made for paths, on a thread
// (and apartment) of its own whose result is the command's. noDropList:
// the handler gets a data object without one.
std::unique_ptr<uitest::UiThread> StartInvoke(const Library& library, const std::vector<std::wstring>& paths,
                                              UINT offset, bool noDropList) {
    auto getClassObject = library.getClassObject;
    return std::make_unique<uitest::UiThread>([=]() -> INT_PTR {
        ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        HRESULT hr = E_FAIL;
        {
            ComPtr<IClassFactory> factory;
            ComPtr<IShellExtInit> init;
            ComPtr<IContextMenu> menu;
            if (SUCCEEDED(getClassObject(kCorvastineClsid, IID_IClassFactory, &factory)) &&
                SUCCEEDED(factory->CreateInstance(nullptr, IID_IShellExtInit, &init)) &&
                SUCCEEDED(init->Initialize(nullptr, (noDropList ? MakeEmptyData() : MakeDropData(paths)).Get(), nullptr)) &&
                SUCCEEDED(init.As(&menu))) {
                CMINVOKECOMMANDINFO info{};
                info.cbSize = sizeof info;
                info.lpVerb = MAKEINTRESOURCEA(offset);
                info.nShow = SW_SHOWNORMAL;
                hr = menu->InvokeCommand(&info);
            }
        }
        ::CoUninitialize();
        return hr;
    });
}

// The command returns S_OK without showing any window.
void ExpectInvokeShowsNothing(const Library& library, const std::vector<std::wstring>& paths, UINT offset,
                              bool noDropList = false) {
    auto thread = StartInvoke(library, paths, offset, noDropList);
    bool sawWindow = false;
    const bool done = uitest::WaitUntil([&] {
        if (!uitest::FindWindows(uitest::WindowQuery{thread->GetScope()}).empty()) sawWindow = true;
        return thread->Done();
    });
    EXPECT_TRUE(done) << "offset " << offset;
    EXPECT_EQ(thread->Result(), S_OK) << "offset " << offset;
    EXPECT_FALSE(sawWindow) << "offset " << offset;
}

// The command has something to act on, so it asks for the password first;
// Cancel there ends it with S_OK.
void ExpectInvokeAsksForThePassword(const Library& library, const std::vector<std::wstring>& paths, UINT offset) {
    auto thread = StartInvoke(library, paths, offset, false);
    const uitest::WindowQuery query = uitest::WindowQuery::Dialog(thread->GetScope(), L"Enter password");
    HWND prompt = nullptr;
    uitest::WaitUntil([&] {
        const std::vector<HWND> found = uitest::FindWindows(query);
        if (!found.empty()) prompt = found.front();
        return prompt != nullptr || thread->Done();
    });
    EXPECT_NE(prompt, nullptr) << "offset " << offset << ": no password prompt";
    if (prompt) ::PostMessageW(prompt, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(thread->WaitDone()) << "offset " << offset;
    EXPECT_EQ(thread->Result(), S_OK) << "offset " << offset;
}

// The pixels of a 32-bit bitmap resource, BGRA with straight alpha, top
// row first; empty unless it is size x size.
std::vector<unsigned char> ArtPixels(HMODULE module, int id, int size) {
    HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(2));
    if (!found || ::SizeofResource(module, found) < sizeof(BITMAPINFOHEADER)) return {};
    const auto* bytes = static_cast<const unsigned char*>(::LockResource(::LoadResource(module, found)));
    BITMAPINFOHEADER header;
    std::memcpy(&header, bytes, sizeof header);
    const int height = header.biHeight < 0 ? -header.biHeight : header.biHeight;
    if (header.biBitCount != 32 || header.biWidth != size || height != size ||
        ::SizeofResource(module, found) < header.biSize + static_cast<DWORD>(size) * size * 4) {
        return {};
    }
    std::vector<unsigned char> pixels(static_cast<size_t>(size) * size * 4);
    for (int y = 0; y < size; ++y) {
        const unsigned char* row = bytes + header.biSize + static_cast<size_t>(header.biHeight > 0 ? size - 1 - y : y) * size * 4;
        std::memcpy(pixels.data() + static_cast<size_t>(y) * size * 4, row, static_cast<size_t>(size) * 4);
    }
    return pixels;
}

}  // namespace

TEST_F(LibraryTest, ClassObjectOnlyForTheOneClassAndUnloadWhenAllIsReleased) {
    EXPECT_EQ(library_.canUnloadNow(), S_OK);
    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(library_.getClassObject(IID_IUnknown, IID_IClassFactory, &none), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(library_.getClassObject(kICorvastineIid, IID_IClassFactory, &none), CLASS_E_CLASSNOTAVAILABLE);

    ComPtr<IClassFactory> factory = Factory();
    ASSERT_TRUE(factory);
    EXPECT_EQ(library_.canUnloadNow(), S_FALSE);
    ComPtr<IUnknown> aggregate;
    EXPECT_EQ(factory->CreateInstance(reinterpret_cast<IUnknown*>(factory.Get()), IID_IUnknown, &aggregate),
              CLASS_E_NOAGGREGATION);
    ComPtr<IContextMenu> menu;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IContextMenu, &menu), S_OK);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    factory.Reset();
    EXPECT_EQ(library_.canUnloadNow(), S_FALSE);  // the object and the lock
    menu.Reset();
    EXPECT_EQ(library_.canUnloadNow(), S_FALSE);  // the lock
    factory = Factory();
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    // An unlock without a lock is refused and changes no count.
    EXPECT_EQ(factory->LockServer(FALSE), E_UNEXPECTED);
    factory.Reset();
    EXPECT_EQ(library_.canUnloadNow(), S_OK);
}

TEST_F(LibraryTest, ObjectAnswersItsFourInterfacesInOrderAndNoOther) {
    ComPtr<IUnknown> object = Create<IUnknown>();
    ASSERT_TRUE(object);
    ComPtr<IUnknown> own, dispatch, init, menu, unknown, none;
    ASSERT_EQ(object->QueryInterface(kICorvastineIid, &own), S_OK);
    ASSERT_EQ(object->QueryInterface(IID_IDispatch, &dispatch), S_OK);
    ASSERT_EQ(object->QueryInterface(IID_IShellExtInit, &init), S_OK);
    ASSERT_EQ(object->QueryInterface(IID_IContextMenu, &menu), S_OK);
    ASSERT_EQ(menu->QueryInterface(IID_IUnknown, &unknown), S_OK);
    EXPECT_EQ(own.Get(), dispatch.Get());   // one implementation
    EXPECT_EQ(unknown.Get(), own.Get());    // identity: the first interface
    EXPECT_EQ(unknown.Get(), object.Get());
    EXPECT_NE(init.Get(), menu.Get());
    EXPECT_EQ(object->QueryInterface(IID_IContextMenu2, &none), E_NOINTERFACE);
    EXPECT_EQ(object->QueryInterface(IID_IContextMenu3, &none), E_NOINTERFACE);
    EXPECT_EQ(object->QueryInterface(IID_IClassFactory, &none), E_NOINTERFACE);
    EXPECT_EQ(none.Get(), nullptr);

    // IDispatch comes from the type library: ICorvastine, dual, no members.
    ComPtr<IDispatch> d;
    ASSERT_EQ(object.As(&d), S_OK);
    UINT count = 0;
    EXPECT_EQ(d->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    ComPtr<ITypeInfo> info;
    ASSERT_EQ(d->GetTypeInfo(0, 0, &info), S_OK);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(GuidText(attr->guid), L"{B920DA0A-D70B-49CE-88A9-C5AD0CAB4187}");
    EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FDUAL);
    info->ReleaseTypeAttr(attr);
    EXPECT_EQ(d->GetTypeInfo(1, 0, &info), DISP_E_BADINDEX);
    LPOLESTR name = const_cast<LPOLESTR>(L"Lock");
    DISPID id = 0;
    EXPECT_EQ(d->GetIDsOfNames(IID_NULL, &name, 1, 0, &id), DISP_E_UNKNOWNNAME);
}

TEST_F(LibraryTest, IdentifiersAgreeWithTheirTextsAndTheEmbeddedTypeLibrary) {
    EXPECT_EQ(GuidText(kCorvastineClsid), corva::shell::kCorvastineClsidText);
    EXPECT_EQ(GuidText(kICorvastineIid), corva::shell::kICorvastineIidText);
    EXPECT_EQ(GuidText(kTypeLibId), corva::shell::kTypeLibIdText);

    ComPtr<ITypeLib> library;
    ASSERT_EQ(::LoadTypeLibEx(uitest::BesideProgram(kLibraryName).c_str(), REGKIND_NONE, &library), S_OK);
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(library->GetLibAttr(&attr), S_OK);
    EXPECT_EQ(GuidText(attr->guid), L"{9F95D995-B3DA-4B5D-8A6B-A4C15D80715D}");
    EXPECT_EQ(attr->wMajorVerNum, 1);
    EXPECT_EQ(attr->wMinorVerNum, 0);
    EXPECT_EQ(attr->lcid, 0u);
    library->ReleaseTLibAttr(attr);
    BSTR name = nullptr, help = nullptr;
    ASSERT_EQ(library->GetDocumentation(-1, &name, &help, nullptr, nullptr), S_OK);
    EXPECT_STREQ(name, L"CORVASTINESHLib");
    EXPECT_STREQ(help, L"corvastinesh 1.0 Type Library");
    ::SysFreeString(name);
    ::SysFreeString(help);

    ComPtr<ITypeInfo> coclass;
    ASSERT_EQ(library->GetTypeInfoOfGuid(kCorvastineClsid, &coclass), S_OK);
    ASSERT_EQ(coclass->GetDocumentation(MEMBERID_NIL, &name, &help, nullptr, nullptr), S_OK);
    EXPECT_STREQ(name, L"Corvastine");
    EXPECT_STREQ(help, L"Corvastine Class");
    ::SysFreeString(name);
    ::SysFreeString(help);
    INT flags = 0;
    ASSERT_EQ(coclass->GetImplTypeFlags(0, &flags), S_OK);
    EXPECT_TRUE(flags & IMPLTYPEFLAG_FDEFAULT);
    HREFTYPE ref = 0;
    ASSERT_EQ(coclass->GetRefTypeOfImplType(0, &ref), S_OK);
    ComPtr<ITypeInfo> iface;
    ASSERT_EQ(coclass->GetRefTypeInfo(ref, &iface), S_OK);
    ASSERT_EQ(iface->GetDocumentation(MEMBERID_NIL, &name, &help, nullptr, nullptr), S_OK);
    EXPECT_STREQ(name, L"ICorvastine");
    EXPECT_STREQ(help, L"ICorvastine Interface");
    ::SysFreeString(name);
    ::SysFreeString(help);
}

TEST_F(LibraryTest, ResourcesHoldScriptsStringsBitmapsAndManifest) {
    HMODULE m = library_.module;
    wchar_t text[64];
    const wchar_t* expected[] = {L"corvastinesh", L"Encrypt", L"Decrypt", L"Shred"};
    for (UINT id = 100; id <= 103; ++id) {
        ASSERT_GT(::LoadStringW(m, id, text, 64), 0) << id;
        EXPECT_STREQ(text, expected[id - 100]);
    }
    // The menu art: 16 x 16 pixels for 96 DPI, 24 x 24 for 144 DPI.
    for (int id = 203; id <= 206; ++id) {
        EXPECT_FALSE(ArtPixels(m, id, 16).empty()) << id;
        EXPECT_FALSE(ArtPixels(m, id + 3000, 24).empty()) << id + 3000;
    }
    auto resourceText = [m](int id, const wchar_t* type) {
        HRSRC found = ::FindResourceW(m, MAKEINTRESOURCEW(id), type);
        if (!found) return std::string();
        const char* bytes = static_cast<const char*>(::LockResource(::LoadResource(m, found)));
        return std::string(bytes, ::SizeofResource(m, found));
    };
    const std::string manifest = resourceText(2, MAKEINTRESOURCEW(24));
    EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos);
    // The scripts are the files in the source tree, byte for byte.
    auto sourceFile = [](const char* name) {
        std::ifstream in(std::string(CORVA_SHELLEXT_SOURCE_DIR) + "/" + name, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    };
    EXPECT_EQ(resourceText(101, L"REGISTRY"), sourceFile("Corvastine.rgs"));
    EXPECT_EQ(resourceText(3001, L"REGISTRY"), sourceFile("ContextMenuHandlers.rgs"));
    EXPECT_EQ(resourceText(3002, L"REGISTRY"), sourceFile("ApprovedExtension.rgs"));
    EXPECT_FALSE(resourceText(1, L"TYPELIB").empty());
}

TEST_F(LibraryTest, MenuGoesInAtTheShellsPositionWithIdsFirstPlus100To103) {
    ComPtr<IContextMenu> handler = MenuFor({L"C:\\one.txt", L"C:\\two.txt"});
    ASSERT_TRUE(handler);
    HMENU menu = ::CreatePopupMenu();
    ::AppendMenuW(menu, MF_STRING, 1, L"Open");
    ::AppendMenuW(menu, MF_STRING, 2, L"Properties");
    HRESULT hr = handler->QueryContextMenu(menu, 1, 50, 0x7FFF, CMF_NORMAL);
    EXPECT_TRUE(SUCCEEDED(hr));
    EXPECT_EQ(HRESULT_CODE(hr), 104);
    std::vector<MenuItem> items = ReadMenu(menu);
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].text, L"Open");
    EXPECT_EQ(items[2].text, L"Properties");
    EXPECT_EQ(items[1].text, L"Corvastine");
    EXPECT_EQ(items[1].id, 150u);
    EXPECT_EQ(items[1].data, 150u);
    // Pictures as the items' own bitmaps; check-mark bitmaps would be drawn
    // as opaque boxes.
    EXPECT_NE(items[1].bitmap, nullptr);
    EXPECT_EQ(items[1].checked, nullptr);
    EXPECT_EQ(items[1].unchecked, nullptr);
    ASSERT_NE(items[1].submenu, nullptr);
    std::vector<MenuItem> sub = ReadMenu(items[1].submenu);
    ASSERT_EQ(sub.size(), 3u);
    const wchar_t* texts[] = {L"Lock", L"Unlock", L"Shred"};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(sub[i].text, texts[i]);
        EXPECT_EQ(sub[i].id, 151u + i);
        EXPECT_NE(sub[i].bitmap, nullptr);
        EXPECT_NE(sub[i].bitmap, items[1].bitmap);
        EXPECT_EQ(sub[i].checked, nullptr);
    }
    // A second menu from the same object carries the same bitmaps.
    HMENU again = ::CreatePopupMenu();
    EXPECT_EQ(HRESULT_CODE(handler->QueryContextMenu(again, 0, 1, 0x7FFF, CMF_NORMAL)), 104);
    EXPECT_EQ(ReadMenu(again)[0].bitmap, items[1].bitmap);
    ::DestroyMenu(again);
    ::DestroyMenu(menu);
}

TEST_F(LibraryTest, MenuBitmapsAreTheArtMadeForTheSmallIconSizeWithPremultipliedAlpha) {
    ComPtr<IContextMenu> handler = MenuFor({L"C:\\one.txt"});
    ASSERT_TRUE(handler);
    HMENU menu = ::CreatePopupMenu();
    ASSERT_EQ(HRESULT_CODE(handler->QueryContextMenu(menu, 0, 1, 0x7FFF, CMF_NORMAL)), 104);
    std::vector<MenuItem> items = ReadMenu(menu);
    ASSERT_EQ(items.size(), 1u);
    std::vector<MenuItem> sub = ReadMenu(items[0].submenu);
    ASSERT_EQ(sub.size(), 3u);
    // Art is drawn for 16 pixels (96 DPI) and 24 pixels (144 DPI).
    const int size = ::GetSystemMetrics(SM_CXSMICON);
    const int firstArt = size == 16 ? 203 : size == 24 ? 3203 : 0;
    ASSERT_NE(firstArt, 0) << "no art is drawn for " << size << " pixels";
    const HBITMAP bitmaps[] = {items[0].bitmap, sub[0].bitmap, sub[1].bitmap, sub[2].bitmap};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(firstArt + i);
        DIBSECTION dib{};
        ASSERT_EQ(::GetObjectW(bitmaps[i], sizeof dib, &dib), static_cast<int>(sizeof dib)) << "not a DIB section";
        ASSERT_EQ(dib.dsBm.bmBitsPixel, 32);
        ASSERT_EQ(dib.dsBm.bmWidth, size);
        ASSERT_EQ(dib.dsBm.bmHeight, size);
        std::vector<unsigned char> pixels(static_cast<size_t>(size) * size * 4);
        BITMAPINFO format{};
        format.bmiHeader.biSize = sizeof format.bmiHeader;
        format.bmiHeader.biWidth = size;
        format.bmiHeader.biHeight = -size;  // top row first
        format.bmiHeader.biPlanes = 1;
        format.bmiHeader.biBitCount = 32;
        format.bmiHeader.biCompression = BI_RGB;
        HDC screen = ::GetDC(nullptr);
        const int lines = ::GetDIBits(screen, bitmaps[i], 0, size, pixels.data(), &format, DIB_RGB_COLORS);
        ::ReleaseDC(nullptr, screen);
        ASSERT_EQ(lines, size);
        const std::vector<unsigned char> art = ArtPixels(library_.module, firstArt + i, size);
        ASSERT_EQ(art.size(), pixels.size()) << "the art is not " << size << " pixels wide";
        int transparent = 0, opaque = 0, differing = 0;
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                const unsigned char* got = pixels.data() + (static_cast<size_t>(y) * size + x) * 4;
                const unsigned char* want = art.data() + (static_cast<size_t>(y) * size + x) * 4;
                const unsigned alpha = want[3];
                for (int c = 0; c < 4; ++c) {
                    // colours times alpha: what the menu blends
                    const int expected = c == 3 ? static_cast<int>(alpha) : static_cast<int>((want[c] * alpha + 127) / 255);
                    if (std::abs(got[c] - expected) > 1) ++differing;
                }
                transparent += got[3] == 0;
                opaque += got[3] == 255;
            }
        }
        EXPECT_EQ(differing, 0) << "the bitmap is not the art, premultiplied";
        // The picture has a shape: clear around it, solid inside.
        EXPECT_GT(transparent, size);
        EXPECT_GT(opaque, size);
    }
    ::DestroyMenu(menu);
}

TEST_F(LibraryTest, DefaultOnlyAndTooSmallRangesAddNothing) {
    ComPtr<IContextMenu> handler = MenuFor({L"C:\\one.txt"});
    ASSERT_TRUE(handler);
    HMENU menu = ::CreatePopupMenu();
    ::AppendMenuW(menu, MF_STRING, 1, L"Open");
    EXPECT_EQ(handler->QueryContextMenu(menu, 0, 50, 0x7FFF, CMF_DEFAULTONLY), MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0));
    EXPECT_EQ(handler->QueryContextMenu(menu, 0, 50, 152, CMF_NORMAL), MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0));
    EXPECT_EQ(handler->QueryContextMenu(menu, 0, 50, 40, CMF_NORMAL), MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0));
    EXPECT_EQ(::GetMenuItemCount(menu), 1);
    EXPECT_EQ(HRESULT_CODE(handler->QueryContextMenu(menu, 0, 50, 153, CMF_NORMAL)), 104);  // just enough
    EXPECT_EQ(::GetMenuItemCount(menu), 2);
    ::DestroyMenu(menu);
}

TEST_F(LibraryTest, VerbStatInAnyCaseSucceedsOtherVerbsFailInBothWidths) {
    ComPtr<IContextMenu> handler = MenuFor({L"C:\\one.txt"});
    ASSERT_TRUE(handler);
    auto narrow = [&](const char* verb) {
        CMINVOKECOMMANDINFO info{};
        info.cbSize = sizeof info;
        info.lpVerb = verb;
        return handler->InvokeCommand(&info);
    };
    auto wide = [&](const wchar_t* verbW, const char* verbA) {
        CMINVOKECOMMANDINFOEX info{};
        info.cbSize = sizeof info;
        info.fMask = CMIC_MASK_UNICODE;
        info.lpVerb = verbA;
        info.lpVerbW = verbW;
        return handler->InvokeCommand(reinterpret_cast<CMINVOKECOMMANDINFO*>(&info));
    };
    EXPECT_EQ(narrow("Stat."), S_OK);
    EXPECT_EQ(narrow("stat."), S_OK);
    EXPECT_EQ(narrow("STAT."), S_OK);
    EXPECT_EQ(narrow("open"), E_FAIL);
    EXPECT_EQ(narrow("Stat"), E_FAIL);
    EXPECT_EQ(wide(L"sTaT.", "open"), S_OK);   // the wide verb counts
    EXPECT_EQ(wide(L"Lock", "Stat."), E_FAIL);
    EXPECT_EQ(wide(L"", "Stat."), E_FAIL);
    CMINVOKECOMMANDINFO tooSmall{};
    tooSmall.cbSize = 8;
    EXPECT_EQ(handler->InvokeCommand(&tooSmall), E_INVALIDARG);
    EXPECT_EQ(handler->InvokeCommand(nullptr), E_INVALIDARG);
}

TEST_F(LibraryTest, VerbsAndHelpTextsInBothWidthsCutToTheBuffer) {
    ComPtr<IContextMenu> handler = MenuFor({L"C:\\one.txt"});
    ASSERT_TRUE(handler);
    const char* help[] = {"corvastinesh", "Encrypt", "Decrypt", "Shred"};
    for (UINT offset = 100; offset <= 103; ++offset) {
        char a[64];
        wchar_t w[64];
        EXPECT_EQ(handler->GetCommandString(offset, GCS_VERBA, nullptr, a, 64), S_OK);
        EXPECT_STREQ(a, "Stat.");
        EXPECT_EQ(handler->GetCommandString(offset, GCS_VERBW, nullptr, reinterpret_cast<char*>(w), 64), S_OK);
        EXPECT_STREQ(w, L"Stat.");
        EXPECT_EQ(handler->GetCommandString(offset, GCS_HELPTEXTA, nullptr, a, 64), S_OK);
        EXPECT_STREQ(a, help[offset - 100]);
        EXPECT_EQ(handler->GetCommandString(offset, GCS_HELPTEXTW, nullptr, reinterpret_cast<char*>(w), 64), S_OK);
        EXPECT_EQ(std::wstring(w), std::wstring(help[offset - 100], help[offset - 100] + std::strlen(help[offset - 100])));
    }
    // Cut short, always terminated inside the given size, nothing written past it.
    char a[8];
    std::memset(a, '#', sizeof a);
    EXPECT_EQ(handler->GetCommandString(102, GCS_HELPTEXTA, nullptr, a, 4), S_OK);
    EXPECT_STREQ(a, "Dec");
    EXPECT_EQ(a[4], '#');
    wchar_t w[8];
    std::fill(std::begin(w), std::end(w), L'#');
    EXPECT_EQ(handler->GetCommandString(102, GCS_HELPTEXTW, nullptr, reinterpret_cast<char*>(w), 3), S_OK);
    EXPECT_STREQ(w, L"De");
    EXPECT_EQ(w[3], L'#');
    std::fill(std::begin(w), std::end(w), L'#');
    EXPECT_EQ(handler->GetCommandString(101, GCS_VERBW, nullptr, reinterpret_cast<char*>(w), 1), S_OK);
    EXPECT_EQ(w[0], L'\0');
    EXPECT_EQ(w[1], L'#');
    std::memset(a, '#', sizeof a);
    EXPECT_EQ(handler->GetCommandString(101, GCS_VERBA, nullptr, a, 0), S_OK);
    EXPECT_EQ(a[0], '#');
    EXPECT_EQ(handler->GetCommandString(101, GCS_VALIDATEW, nullptr, a, 8), S_OK);
    EXPECT_EQ(a[0], '#');
    EXPECT_EQ(handler->GetCommandString(101, GCS_HELPTEXTA, nullptr, nullptr, 8), S_OK);
}

TEST_F(LibraryTest, CommandsShowNothingWithNothingToActOnAndAskForThePasswordOtherwise) {
    // Unlock of a name without ".corvastine" (nor a folder); the submenu
    // item itself; an unknown offset; Lock after an Initialize without a
    // file-drop list.
    ExpectInvokeShowsNothing(library_, {L"C:\\folder"}, 102);
    ExpectInvokeShowsNothing(library_, {L"C:\\one.txt"}, 100);
    ExpectInvokeShowsNothing(library_, {L"C:\\one.txt"}, 7);
    ExpectInvokeShowsNothing(library_, {}, 101, true);
    // A path longer than 259 characters is read whole, so Lock and Shred of
    // it alone have something to act on.
    const std::wstring longPath = L"C:\\" + std::wstring(300, L'x') + L".txt";
    ExpectInvokeAsksForThePassword(library_, {longPath}, 101);
    ExpectInvokeAsksForThePassword(library_, {longPath}, 103);
    ComPtr<IShellExtInit> init = Create<IShellExtInit>();
    ASSERT_TRUE(init);
    EXPECT_EQ(init->Initialize(nullptr, nullptr, nullptr), S_OK);
}

TEST_F(LibraryTest, EverythingReleasedLetsTheLibraryUnload) {
    {
        ComPtr<IContextMenu> handler = MenuFor({L"C:\\one.txt"});
        HMENU menu = ::CreatePopupMenu();
        handler->QueryContextMenu(menu, 0, 1, 0x7FFF, CMF_NORMAL);
        ::DestroyMenu(menu);
        EXPECT_EQ(library_.canUnloadNow(), S_FALSE);
    }
    EXPECT_EQ(library_.canUnloadNow(), S_OK);
}
