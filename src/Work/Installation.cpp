#include "Work/Installation.h"

#include "Common/Unique.h"
#include "Work/Registry.h"

#include <windows.h>

namespace vok {

const char* const kMissingInstallationText = "Error: A registry entry is missing.\rPlease reinstall \"Vokmate\"";
const char* const kMissingInstallationCaption = "Vokmark";

namespace {

bool ReadInstallFolder(HKEY key, WString& folder)
{
    DWORD type = 0;
    DWORD size = 0;
    LONG rc = RegQueryValueExW(key, kInstallFolderValueW, nullptr, &type, nullptr, &size);
    if (rc == ERROR_FILE_NOT_FOUND) return true; // a missing value reads as empty
    if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
    // Room for an odd byte count and a terminator the data may lack.
    WString data(size / sizeof(wchar_t) + 2, L'\0');
    rc = RegQueryValueExW(key, kInstallFolderValueW, nullptr, &type, reinterpret_cast<BYTE*>(&data[0]), &size);
    if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
    folder = data.c_str(); // as stored, up to its first NUL
    return true;
}

} // namespace

bool LoadInstallFolder(WString& installDir, WString& favoritesDir)
{
    installDir.clear();
    favoritesDir.clear();
    UniqueKey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kVokKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return false;
    WString folder;
    if (!ReadInstallFolder(key.get(), folder)) return true;
    installDir = folder + L"\\";
    favoritesDir = installDir + L"Favorites\\";
    return true;
}

void ShowMissingInstallationMessage()
{
    MessageBoxA(nullptr, kMissingInstallationText, kMissingInstallationCaption, MB_OK | MB_SETFOREGROUND);
}

} // namespace vok
