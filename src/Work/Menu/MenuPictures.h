// The item pictures at the scaling of the window a menu opens in: the size
// of a small icon at that window's DPI, as 32-bit bitmaps whose alpha is
// premultiplied, which menus draw through MENUITEMINFOW::hbmpItem.
#pragma once

#include "Work/ExtensionState.h"

#include <windows.h>

#include <array>

namespace vok {

using MenuPictureSet = std::array<HBITMAP, mbCount>;

// The DPI of `window` where the system tells one per window (Windows 10
// 1607 on), else the system's.
UINT DpiOfWindow(HWND window);

// The index into kPictureSizes of the largest size that fits a small icon
// at `dpi`.
size_t PictureSizeIndexFor(UINT dpi);

// The pictures for `dpi`, loaded on first use and kept by the state until
// shut-down; null where one could not be loaded or there is no state.
MenuPictureSet MenuPicturesFor(UINT dpi);

} // namespace vok
