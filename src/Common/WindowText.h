// Class names of windows, read the way every part of the extension reads
// them: through a 255-character buffer, so at most 254 characters; and texts
// of windows (captions, what a user typed into a box), read whole.
#pragma once

#include "Common/WideString.h"

#include <windows.h>

#include <string>

namespace vok {

constexpr int kWindowTextBufferCount = 255;

inline std::string ClassNameOf(HWND window)
{
    char buffer[kWindowTextBufferCount] = {};
    if (window) GetClassNameA(window, buffer, kWindowTextBufferCount);
    return buffer;
}

// The whole text of a window, however long, as the window holds it.
inline WString WindowTextOf(HWND window)
{
    if (!window) return WString();
    const int length = GetWindowTextLengthW(window); // may overstate, never understate
    if (length <= 0) return WString();
    WString text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(window, &text[0], length + 1)));
    return text;
}

// Office file dialogs' window classes all begin with this.
constexpr char kOfficeDialogClassPrefix[] = "bosa_sdm";

inline bool IsOfficeDialogClass(const std::string& className)
{
    return className.compare(0, sizeof(kOfficeDialogClassPrefix) - 1, kOfficeDialogClassPrefix) == 0;
}

// The desktop's own window class: a menu opened while it is in front
// belongs to the desktop.
constexpr char kDesktopClass[] = "Progman";
// From Windows 7 on, Explorer often moves the desktop's folder view out of
// "Progman" into a top-level "WorkerW" (after Task View, with a wallpaper
// slideshow), which is then in front. Other "WorkerW" windows hold no view.
constexpr char kDesktopWorkerClass[] = "WorkerW";
constexpr char kFolderViewClass[] = "SHELLDLL_DefView";

inline bool IsDesktopWindow(HWND window)
{
    const std::string className = ClassNameOf(window);
    if (className == kDesktopClass) return true;
    return className == kDesktopWorkerClass && FindWindowExA(window, nullptr, kFolderViewClass, nullptr) != nullptr;
}

} // namespace vok
