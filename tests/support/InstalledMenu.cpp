// The menu an installed library builds, for the package tests: loads the
// library from where the package put it (not through COM, whose class
// registry this Wine does not read per user), asks its exported class object
// for a handler, initialises it on FOLDER's background, and prints the
// menu, one item a line. Exits 0 when a menu was built; with --picture-size,
// the size of the items' pictures when every one is square, 32-bit and
// transparent in its corners, else 1. With --hold (DLL --hold), it keeps the
// library loaded until its standard input ends.
//   installed_menu.exe DLL FOLDER [--picture-size]
#include "Common/Unique.h"
#include "Demo/MenuTranscript.h"

#include <windows.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <cstdio>
#include <string>

using Microsoft::WRL::ComPtr;

namespace {

const CLSID kHandlerClsid = {0x2F793154, 0xC4B7, 0x4AA8, {0xAA, 0x0E, 0xAF, 0x97, 0xB4, 0x7A, 0x25, 0x5D}};

int Fail(const char* step, HRESULT hr)
{
    std::printf("installed_menu: %s failed (0x%08lX)\n", step, static_cast<unsigned long>(hr));
    return 1;
}

// The pictures' common size, or 1.
int PictureSize(HMENU menu)
{
    int size = 1;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        MENUITEMINFOW item{};
        item.cbSize = sizeof(item);
        item.fMask = MIIM_BITMAP | MIIM_SUBMENU;
        GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &item);
        const int inner = item.hSubMenu ? PictureSize(item.hSubMenu) : size;
        DIBSECTION dib{};
        if (item.hbmpItem && GetObjectW(item.hbmpItem, sizeof(dib), &dib) == sizeof(dib)) {
            const auto* bits = static_cast<const DWORD*>(dib.dsBm.bmBits);
            const int side = dib.dsBm.bmWidth;
            const bool clear = (bits[0] | bits[side - 1] | bits[side * side - 1]) == 0;
            if (dib.dsBm.bmHeight != side || dib.dsBm.bmBitsPixel != 32 || !clear || (size != 1 && size != side))
                return 1;
            size = side;
        }
        if (inner != 1 && size != 1 && inner != size) return 1;
        if (inner != 1) size = inner;
    }
    return size;
}

int HoldLibrary(const char* dll)
{
    if (!LoadLibraryA(dll)) return Fail("LoadLibrary", HRESULT_FROM_WIN32(GetLastError()));
    std::printf("held\n");
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    return 0;
}

int PrintMenu(const char* dll, const char* folder, bool pictureSize)
{
    HMODULE library = LoadLibraryA(dll);
    if (!library) return Fail("LoadLibrary", HRESULT_FROM_WIN32(GetLastError()));
    using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
    const auto getClassObject = reinterpret_cast<GetClassObject>(
        reinterpret_cast<void*>(GetProcAddress(library, "DllGetClassObject")));
    if (!getClassObject) return Fail("GetProcAddress", E_FAIL);

    ComPtr<IClassFactory> factory;
    HRESULT hr = getClassObject(kHandlerClsid, IID_PPV_ARGS(&factory));
    if (FAILED(hr)) return Fail("DllGetClassObject", hr);
    ComPtr<IShellExtInit> init;
    hr = factory->CreateInstance(nullptr, IID_PPV_ARGS(&init));
    if (FAILED(hr)) return Fail("CreateInstance", hr);
    PIDLIST_ABSOLUTE pidl = ILCreateFromPathA(folder);
    if (!pidl) return Fail("ILCreateFromPath", E_INVALIDARG);
    const vok::ScopeExit freePidl([pidl] { ILFree(pidl); });
    hr = init->Initialize(pidl, nullptr, nullptr);
    if (FAILED(hr)) return Fail("Initialize", hr);
    ComPtr<IContextMenu> handler;
    hr = init.As(&handler);
    if (FAILED(hr)) return Fail("QueryInterface(IContextMenu)", hr);

    const vok::UniqueMenu menu(CreatePopupMenu());
    hr = handler->QueryContextMenu(menu.get(), 0, 1, 0x7FFF, CMF_NORMAL);
    if (FAILED(hr)) return Fail("QueryContextMenu", hr);
    if (pictureSize) return PictureSize(menu.get());
    for (const std::string& line : vok::demo::FormatMenu(vok::demo::ReadMenu(menu.get(), {})))
        std::printf("%s\n", line.c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[2]) == "--hold") return HoldLibrary(argv[1]);
    const bool pictureSize = argc == 4 && std::string(argv[3]) == "--picture-size";
    if (argc != 3 && !pictureSize) {
        std::printf("usage: installed_menu.exe DLL FOLDER [--picture-size]\n");
        return 2;
    }
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
    const int result = PrintMenu(argv[1], argv[2], pictureSize);
    CoUninitialize();
    return result;
}
