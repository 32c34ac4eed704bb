#include "Common/WideString.h"

#include <windows.h>

namespace vok {

WString WideOf(std::string_view ansi)
{
    if (ansi.empty()) return WString();
    const int size = static_cast<int>(ansi.size());
    const int length = MultiByteToWideChar(CP_ACP, 0, ansi.data(), size, nullptr, 0);
    WString wide(static_cast<size_t>(length), L'\0');
    if (length > 0) MultiByteToWideChar(CP_ACP, 0, ansi.data(), size, &wide[0], length);
    return wide;
}

std::string AnsiOf(const WString& wide)
{
    if (wide.empty()) return std::string();
    const int size = static_cast<int>(wide.size());
    const int length = WideCharToMultiByte(CP_ACP, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    std::string ansi(static_cast<size_t>(length), '\0');
    if (length > 0) WideCharToMultiByte(CP_ACP, 0, wide.data(), size, &ansi[0], length, nullptr, nullptr);
    return ansi;
}

} // namespace vok
