#include "AboutBox/Status.h"

#include "Common/Unique.h"
#include "Work/ExtensionState.h"
#include "Work/Registry.h"

namespace vok {

void LoadStatus()
{
    UniqueKey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kVokKey, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) return;
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof(value);
    const LONG rc = RegQueryValueExA(key.get(), kStatusValue, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    const bool readable = rc == ERROR_SUCCESS && type == REG_DWORD && size == sizeof(value);
    WithState([&](ExtensionState& s) { s.Enabled = readable ? value != 0 : true; });
}

void SaveStatus()
{
    // A key that cannot be opened stores the switch no more than a failed
    // write does: both are reported, or the window would show a setting
    // that the menus never see.
    const auto fail = [] { throw ERegistryException(std::string("Failed to set data for '") + kStatusValue + "'"); };
    UniqueKey key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kVokKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr,
                        key.put(), nullptr) != ERROR_SUCCESS)
        fail();
    DWORD value = 1;
    WithState([&](ExtensionState& s) { value = s.Enabled ? 1 : 0; });
    if (RegSetValueExA(key.get(), kStatusValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value)) !=
        ERROR_SUCCESS)
        fail();
}

} // namespace vok
