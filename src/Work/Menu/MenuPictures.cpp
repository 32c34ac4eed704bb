#include "Work/Menu/MenuPictures.h"

namespace vok {
namespace {

const wchar_t* const kPictureNames[mbCount] = {L"CF", L"A", L"R", L"M", L"S"};
constexpr UINT kBaseDpi = 96;

using DpiForWindowFn = UINT(WINAPI*)(HWND);
using MetricForDpiFn = int(WINAPI*)(int, UINT);
using DpiForSystemFn = UINT(WINAPI*)();

// Wine 8 and Windows before 10 1607 lack these: looked up, never imported,
// so that the library still loads there.
template <class Fn>
Fn User32Function(const char* name)
{
    const HMODULE user32 = GetModuleHandleW(L"user32.dll");
    return user32 ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(user32, name))) : nullptr;
}

UINT SystemDpi()
{
    // Asked without a device context where the system can: that one is a
    // round trip to the window server on every menu.
    if (const auto dpiForSystem = User32Function<DpiForSystemFn>("GetDpiForSystem"))
        if (const UINT dpi = dpiForSystem()) return dpi;
    const HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen) ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : kBaseDpi;
}

int SmallIconSize(UINT dpi)
{
    if (const auto metricForDpi = User32Function<MetricForDpiFn>("GetSystemMetricsForDpi"))
        return metricForDpi(SM_CXSMICON, dpi);
    return MulDiv(kPictureSizes[0], static_cast<int>(dpi), kBaseDpi);
}

// The 16-pixel picture has the plain name; the others carry their size, two
// digits. Spelt out by hand: the runtime's number formatting would bring
// its whole printf into the library.
WString ResourceName(int picture, size_t sizeIndex)
{
    WString name = kPictureNames[picture];
    if (sizeIndex == 0) return name;
    const int size = kPictureSizes[sizeIndex];
    name += L'_';
    name += static_cast<wchar_t>(L'0' + size / 10);
    name += static_cast<wchar_t>(L'0' + size % 10);
    return name;
}

// A DIB section keeps the resource's 32 bits, alpha included, as they are.
MenuPictureRow LoadRow(HINSTANCE resources, size_t sizeIndex)
{
    MenuPictureRow row;
    for (int i = 0; i < mbCount; ++i)
        row[i].reset(static_cast<HBITMAP>(
            LoadImageW(resources, ResourceName(i, sizeIndex).c_str(), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    return row;
}

} // namespace

UINT DpiOfWindow(HWND window)
{
    const auto dpiForWindow = User32Function<DpiForWindowFn>("GetDpiForWindow");
    const UINT dpi = dpiForWindow && window ? dpiForWindow(window) : 0;
    return dpi ? dpi : SystemDpi();
}

size_t PictureSizeIndexFor(UINT dpi)
{
    const int wanted = SmallIconSize(dpi);
    size_t index = 0;
    while (index + 1 < kPictureSizeCount && kPictureSizes[index + 1] <= wanted) ++index;
    return index;
}

MenuPictureSet MenuPicturesFor(UINT dpi)
{
    const size_t index = PictureSizeIndexFor(dpi);
    MenuPictureSet pictures = {};
    HINSTANCE resources = nullptr;
    WithState([&](ExtensionState& s) {
        resources = s.Resources;
        for (int i = 0; i < mbCount; ++i) pictures[i] = s.MenuBitmaps[index][i].get();
    });
    if (!resources || pictures[0]) return pictures;
    // Loaded without the guard; a row another menu loaded meanwhile is kept
    // and this one dropped.
    MenuPictureRow loaded = LoadRow(resources, index);
    WithState([&](ExtensionState& s) {
        MenuPictureRow& row = s.MenuBitmaps[index];
        if (!row[0]) row.swap(loaded);
        for (int i = 0; i < mbCount; ++i) pictures[i] = row[i].get();
    });
    return pictures;
}

} // namespace vok
