#include "Work/Favorites.h"

#include "Common/Unique.h"
#include "Common/WindowText.h"
#include "Work/Registry.h"
#include "Work/Shortcuts.h"

#include <algorithm>
#include <cstring>

namespace vok {

const char* const kMissingInstallationText =
    "Error: A registry entry is missing.\rPlease reinstall \"Vokmate\"";
const char* const kMissingInstallationCaption = "Vokmark";

namespace {

constexpr DWORD kListableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
    FILE_ATTRIBUTE_SYSTEM | 0x8 /* volume label */ | FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_ARCHIVE;

constexpr size_t kExtensionLength = 4; // ".lnk", ".url"

bool ReadInstallFolder(HKEY key, std::string& folder)
{
    DWORD type = 0;
    DWORD size = 0;
    LONG rc = RegQueryValueExA(key, kInstallFolderValue, nullptr, &type, nullptr, &size);
    if (rc == ERROR_FILE_NOT_FOUND) return true; // a missing value reads as empty
    if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
    std::string data(size + 1, '\0');
    rc = RegQueryValueExA(key, kInstallFolderValue, nullptr, &type, reinterpret_cast<BYTE*>(&data[0]), &size);
    if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
    folder = data.c_str(); // as stored, up to its first NUL
    return true;
}

// A link whose medium may simply be absent (a floppy, the first CD-ROM drive)
// is kept, though not listed, while its target cannot be found.
bool OnAbsentMedium(const std::string& target)
{
    if (target.compare(0, 3, "A:\\") == 0) return true;
    const std::string cdrom = FindFirstCdromRoot();
    return !cdrom.empty() && target.compare(0, 3, cdrom) == 0;
}

enum LinkVerdict { lvList, lvKeep, lvDelete };

// One read of the name's shortcut decides: a link is resolved once per scan.
LinkVerdict JudgeFavorite(const std::string& favoritesDir, const std::string& name)
{
    const FavoriteInspection found = InspectFavorite(favoritesDir, name);
    if (found.Kind != fkNone) return lvList;
    // No link to judge (the file went away since the folder was listed; a new
    // one may be arriving from the wizard), or one that could not be read.
    if (!found.HasLink || !found.LinkRead) return lvKeep;
    return OnAbsentMedium(found.Target) ? lvKeep : lvDelete;
}

} // namespace

bool LoadInstallFolder(ExtensionState& state)
{
    state.FavoritesDir.clear();
    UniqueKey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kVokKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return false;
    std::string folder;
    if (!ReadInstallFolder(key.get(), folder)) return true;
    state.InstallDir = folder + "\\";
    state.FavoritesDir = state.InstallDir + "Favorites\\";
    return true;
}

void ShowMissingInstallationMessage()
{
    MessageBoxA(nullptr, kMissingInstallationText, kMissingInstallationCaption, MB_OK | MB_SETFOREGROUND);
}

void ScanFavorites(const std::string& favoritesDir, const char* pattern, std::vector<std::string>& names)
{
    WIN32_FIND_DATAA entry;
    UniqueFind find(FindFirstFileA((favoritesDir + pattern).c_str(), &entry));
    if (!find) return;
    do {
        if (!IsFavoriteEntry(entry.dwFileAttributes)) continue;
        const size_t length = strlen(entry.cFileName);
        if (length < kExtensionLength) continue;
        const std::string name(entry.cFileName, length - kExtensionLength);
        switch (JudgeFavorite(favoritesDir, name)) {
        case lvList:
            names.push_back(name);
            break;
        case lvDelete:
            DeleteFileA((favoritesDir + name + ".lnk").c_str());
            break;
        case lvKeep:
            break;
        }
    } while (FindNextFileA(find.get(), &entry));
}

bool IsFavoriteEntry(DWORD attributes)
{
    return (attributes & ~kListableAttributes) == 0;
}

void SortFavoriteNames(std::vector<std::string>& names)
{
    std::stable_sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        int order = CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1);
        if (order == CSTR_EQUAL) order = CompareStringA(LOCALE_USER_DEFAULT, 0, a.c_str(), -1, b.c_str(), -1);
        return order == CSTR_LESS_THAN;
    });
}

void RefreshFavorites()
{
    std::string favoritesDir;
    WithState([&](ExtensionState& s) { favoritesDir = s.FavoritesDir; });
    std::vector<std::string> names;
    if (!favoritesDir.empty()) {
        ScanFavorites(favoritesDir, "*.lnk", names);
        ScanFavorites(favoritesDir, "*.url", names);
        SortFavoriteNames(names);
    }
    const bool flat = IsOfficeDialogClass(ClassNameOf(GetActiveWindow())) && names.size() > 3;
    WithState([&](ExtensionState& s) {
        s.FavoriteNames = std::move(names);
        s.FlatMenu = flat;
    });
}

std::string FindFirstCdromRoot()
{
    char drives[129] = {};
    const DWORD length = GetLogicalDriveStringsA(sizeof(drives), drives);
    // A list that does not fit would need more than 26 drive letters; it is
    // read as "no CD-ROM drive" rather than failing the menu.
    if (length == 0 || length > sizeof(drives)) return std::string();
    for (const char* root = drives; *root; root += strlen(root) + 1) {
        if (GetDriveTypeA(root) == DRIVE_CDROM) return root;
    }
    return std::string();
}

std::string FindTargetFavoriteLink()
{
    std::string favoritesDir, targetPath;
    std::vector<std::string> names;
    WithState([&](ExtensionState& s) {
        favoritesDir = s.FavoritesDir;
        targetPath = s.TargetPath;
        names = s.FavoriteNames;
    });
    for (const std::string& name : names) {
        std::string linkPath = favoritesDir + name + ".lnk";
        if (GetLinkTarget(linkPath) == targetPath) return linkPath;
    }
    return std::string();
}

bool IsTargetFavorite()
{
    return !FindTargetFavoriteLink().empty();
}

} // namespace vok
