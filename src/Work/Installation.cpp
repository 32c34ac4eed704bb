#include "Work/Installation.h"

#include "Common/Unique.h"
#include "Work/Registry.h"

#include <windows.h>

namespace vok {

const char* const kMissingInstallationText = "Error: A registry entry is missing.\rPlease reinstall \"Vokmate\"";
const char* const kMissingInstallationCaption = "Vokmark";

namespace {

enum InstallValue { ivNoKey, ivNoValue, ivRead, ivUnreadable };

InstallValue ReadInstallFolder(HKEY key, WString& folder)
{
    DWORD type = 0;
    DWORD size = 0;
    LONG rc = RegQueryValueExW(key, kInstallFolderValueW, nullptr, &type, nullptr, &size);
    if (rc == ERROR_FILE_NOT_FOUND) return ivNoValue;
    if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return ivUnreadable;
    // Room for an odd byte count and a terminator the data may lack.
    WString data(size / sizeof(wchar_t) + 2, L'\0');
    rc = RegQueryValueExW(key, kInstallFolderValueW, nullptr, &type, reinterpret_cast<BYTE*>(&data[0]), &size);
    if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return ivUnreadable;
    folder = data.c_str(); // as stored, up to its first NUL
    return ivRead;
}

InstallValue ReadInstallFolderOf(HKEY root, WString& folder)
{
    UniqueKey key;
    if (RegOpenKeyExA(root, kVokKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return ivNoKey;
    return ReadInstallFolder(key.get(), folder);
}

} // namespace

// The user's own value wins; a machine-wide installation gives every other
// user of the machine its folder through HKLM.
bool LoadInstallFolder(WString& installDir, WString& favoritesDir)
{
    installDir.clear();
    favoritesDir.clear();
    WString folder;
    const InstallValue user = ReadInstallFolderOf(HKEY_CURRENT_USER, folder);
    InstallValue found = user;
    if (user == ivNoKey || user == ivNoValue) {
        const InstallValue machine = ReadInstallFolderOf(HKEY_LOCAL_MACHINE, folder);
        if (machine != ivNoKey) found = machine;
    }
    if (found == ivNoKey) return false;
    if (found == ivUnreadable) return true;
    // A key without the value reads as an empty folder.
    installDir = folder + L"\\";
    favoritesDir = installDir + L"Favorites\\";
    return true;
}

void ShowMissingInstallationMessage()
{
    MessageBoxA(nullptr, kMissingInstallationText, kMissingInstallationCaption, MB_OK | MB_SETFOREGROUND);
}

} // namespace vok
