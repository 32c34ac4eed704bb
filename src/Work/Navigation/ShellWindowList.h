// The shell's window list and the identifiers that reach a window's browser,
// shared by the Explorer-window route and the open folders' reader.
#pragma once

#include "Common/Unique.h"

#include <windows.h>
#include <exdisp.h>
#include <shlobj.h>
#include <wrl/client.h>

namespace vok {

// Spelt out: the platform's named constants live in one object with every
// GUID of the platform, which the linker cannot split.
constexpr GUID kTopLevelBrowserService = {0x4C96BE40, 0x915C, 0x11CF, {0x99, 0xD3, 0x00, 0xAA, 0x00, 0x4A, 0xE8, 0x37}};
constexpr GUID kShellBrowserService = {0x000214E2, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr CLSID kShellWindowsClass = {0x9BA05972, 0xF6A8, 0x11CF, {0xA4, 0x42, 0x00, 0xA0, 0xC9, 0x0A, 0x8F, 0x39}};

// Calls `visit(IDispatch&)` for each window of the shell's window list, in
// the list's order, until it returns true; false when the list cannot be had
// or no visit returned true.
template <class Visit>
bool ForEachShellWindow(Visit&& visit)
{
    Microsoft::WRL::ComPtr<IShellWindows> windows;
    long count = 0;
    if (FAILED(CoCreateInstance(kShellWindowsClass, nullptr, CLSCTX_ALL, IID_PPV_ARGS(&windows))) ||
        FAILED(windows->get_Count(&count)))
        return false;
    for (long i = 0; i < count; ++i) {
        VARIANT index;
        VariantInit(&index);
        V_VT(&index) = VT_I4;
        V_I4(&index) = i;
        Microsoft::WRL::ComPtr<IDispatch> window;
        if (SUCCEEDED(windows->Item(index, &window)) && window && visit(*window.Get())) return true;
    }
    return false;
}

} // namespace vok
