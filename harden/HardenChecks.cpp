#include "HardenChecks.h"

#include <psapi.h>

#include <algorithm>
#include <cstring>

namespace vok::harden {

bool ExpectEnabled(const RegistryRow& row)
{
    if (std::strcmp(row.Value, "Status") != 0) return true;
    return !(row.Type == REG_DWORD && row.Data == std::string(4, '\0'));
}

std::string ExpectFavoritesDir(const RegistryRow& row, const std::string& folder)
{
    if (std::strcmp(row.Value, "Status") == 0) return folder + "\\Favorites\\";
    if (row.Type != REG_SZ && row.Type != REG_EXPAND_SZ) return std::string();
    return std::string(row.Data.c_str(), strnlen(row.Data.c_str(), row.Data.size())) + "\\Favorites\\";
}

void AskString(IContextMenu& menu, UINT_PTR offset, UINT type, UINT cchMax, ComFigures& f)
{
    constexpr size_t kRoom = 1024;
    constexpr unsigned char kUntouched = 0xA5;
    unsigned char buffer[kRoom];
    std::memset(buffer, kUntouched, sizeof buffer);
    const bool wide = (type & GCS_UNICODE) != 0;
    const size_t limit = std::min<size_t>(kRoom, static_cast<size_t>(cchMax) * (wide ? 2 : 1));
    const HRESULT hr = menu.GetCommandString(offset, type, nullptr, reinterpret_cast<LPSTR>(buffer), cchMax);
    ++f.StringCalls;
    for (size_t i = limit; i < kRoom; ++i)
        if (buffer[i] != kUntouched) {
            ++f.Overruns;
            break;
        }
    if (hr == S_OK && (type == GCS_HELPTEXTA || type == GCS_VERBA)) {
        ++f.StringAnswers;
        if (std::memchr(buffer, 0, limit) == nullptr) ++f.Unterminated;
    }
}

DWORD ProbeHandles()
{
    DWORD count = 0, flags = 0;
    for (ULONG_PTR value = 4; value < 0x10000; value += 4)
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++count;
    return count;
}

Resources Sample()
{
    Resources r;
    r.Gdi = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    r.User = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    GetProcessHandleCount(GetCurrentProcess(), &r.HandleCount);
    r.HandlesProbed = ProbeHandles();
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    if (GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                             sizeof counters))
        r.PrivateUsage = counters.PrivateUsage;
    r.PrivateMapped = test::CommittedPrivateBytes();
    return r;
}

} // namespace vok::harden
