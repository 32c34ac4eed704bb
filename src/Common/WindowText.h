// Class names and texts of windows, read the way every part of the extension
// reads them: through a 255-character buffer, so at most 254 characters.
#pragma once

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

inline std::string WindowTextOf(HWND window)
{
    char buffer[kWindowTextBufferCount] = {};
    if (window) GetWindowTextA(window, buffer, kWindowTextBufferCount);
    return buffer;
}

// Office file dialogs' window classes all begin with this.
constexpr char kOfficeDialogClassPrefix[] = "bosa_sdm";

inline bool IsOfficeDialogClass(const std::string& className)
{
    return className.compare(0, sizeof(kOfficeDialogClassPrefix) - 1, kOfficeDialogClassPrefix) == 0;
}

} // namespace vok
