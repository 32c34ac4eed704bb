#include "Work/Favorites.h"

#include "Common/Unique.h"
#include "Common/WindowText.h"
#include "Work/Registry.h"
#include "Work/Shortcuts.h"
#include "Work/Wow64.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

namespace vok {

const char* const kMissingInstallationText = "Error: A registry entry is missing.\rPlease reinstall \"Vokmate\"";
const char* const kMissingInstallationCaption = "Vokmark";

namespace {

constexpr DWORD kListableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                      0x8 /* volume label */ | FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_ARCHIVE;

constexpr size_t kExtensionLength = 4; // ".lnk", ".url"

bool IsDriveLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

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

// A link whose volume is not there (a floppy, a disc, an unplugged drive, a
// share out of reach) is kept, though not listed, while its target cannot be
// found: it comes back with the volume. Only a target whose volume answers
// and whose folder is gone counts as dead.
bool OnAbsentVolume(const std::string& target)
{
    if (target.compare(0, 3, "A:\\") == 0) return true;
    const std::string cdrom = FindFirstCdromRoot();
    if (!cdrom.empty() && target.compare(0, 3, cdrom) == 0) return true;
    const std::string root = VolumeRootOf(target);
    return !root.empty() && GetFileAttributesA(root.c_str()) == INVALID_FILE_ATTRIBUTES;
}

enum LinkVerdict { lvList, lvKeep, lvDelete };

struct JudgedFavorite {
    LinkVerdict Verdict;
    std::string Target;
};

JudgedFavorite JudgeFavorite(const std::string& favoritesDir, const std::string& name, LinkReader& reader)
{
    FavoriteInspection found = InspectFavorite(favoritesDir, name, reader);
    if (found.Kind != fkNone) return {lvList, std::move(found.Target)};
    // No link to judge (the file went away since the folder was listed; a new
    // one may be arriving from the wizard), or one that could not be read.
    if (!found.HasLink || !found.LinkRead) return {lvKeep, std::string()};
    if (!MayDeleteDeadLink(found.Target)) return {lvKeep, std::string()};
    return {OnAbsentVolume(found.Path) ? lvKeep : lvDelete, std::string()};
}

// File names compare without regard to case: "work.url" and "Work.lnk" are
// one favourite.
std::string FoldedName(std::string name)
{
    if (!name.empty()) CharUpperBuffA(&name[0], static_cast<DWORD>(name.size()));
    return name;
}

// One refresh: what it has listed, and how the "*.lnk" pass judged each link,
// so that the "*.url" pass reads none of them again.
struct FavoriteScan {
    explicit FavoriteScan(const std::string& dir) : FavoritesDir(dir) {}
    const std::string& FavoritesDir;
    LinkReader Reader;
    std::vector<Favorite> Listed;
    std::unordered_map<std::string, JudgedFavorite> LinkVerdicts;
};

JudgedFavorite JudgeLinkEntry(FavoriteScan& scan, const std::string& name)
{
    JudgedFavorite judged = JudgeFavorite(scan.FavoritesDir, name, scan.Reader);
    scan.LinkVerdicts[FoldedName(name)] = judged;
    return judged;
}

// A ".url" whose name has a ".lnk" is that link's favourite, judged already.
// One that its listed name does not reach is kept, not listed: its item could
// open nothing. The ANSI listing gives a character outside the code page as
// "?" or as its nearest fit, and a path past MAX_PATH opens no file.
JudgedFavorite JudgeUrlEntry(FavoriteScan& scan, const std::string& name)
{
    if (!FileExists(scan.FavoritesDir + name + ".lnk"))
        return {FileExists(scan.FavoritesDir + name + ".url") ? lvList : lvKeep, std::string()};
    const auto known = scan.LinkVerdicts.find(FoldedName(name));
    if (known != scan.LinkVerdicts.end()) return known->second;
    return JudgeFavorite(scan.FavoritesDir, name, scan.Reader); // arrived between the passes
}

// One pass over FavoritesDir + pattern ("*.lnk" or "*.url").
void ScanFavorites(FavoriteScan& scan, const char* pattern)
{
    const bool links = strcmp(pattern, "*.lnk") == 0;
    WIN32_FIND_DATAA entry;
    UniqueFind find(FindFirstFileA((scan.FavoritesDir + pattern).c_str(), &entry));
    if (!find) return;
    do {
        if (!IsFavoriteEntry(entry.dwFileAttributes)) continue;
        const size_t length = strlen(entry.cFileName);
        if (length < kExtensionLength) continue;
        std::string name(entry.cFileName, length - kExtensionLength);
        JudgedFavorite judged = links ? JudgeLinkEntry(scan, name) : JudgeUrlEntry(scan, name);
        switch (judged.Verdict) {
        case lvList: scan.Listed.push_back({std::move(name), std::move(judged.Target)}); break;
        case lvDelete: DeleteFileA((scan.FavoritesDir + name + ".lnk").c_str()); break;
        case lvKeep: break;
        }
    } while (FindNextFileA(find.get(), &entry));
}

bool ComesBefore(const std::string& a, const std::string& b)
{
    int order = CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1);
    if (order == CSTR_EQUAL) order = CompareStringA(LOCALE_USER_DEFAULT, 0, a.c_str(), -1, b.c_str(), -1);
    return order == CSTR_LESS_THAN;
}

} // namespace

bool LoadInstallFolder(ExtensionState& state)
{
    state.FavoritesDir.clear();
    UniqueKey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kVokKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return false;
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

bool IsFavoriteEntry(DWORD attributes)
{
    return (attributes & ~kListableAttributes) == 0;
}

void SortFavoriteNames(std::vector<std::string>& names)
{
    std::stable_sort(names.begin(), names.end(), ComesBefore);
}

void SortFavorites(std::vector<Favorite>& favorites)
{
    std::stable_sort(favorites.begin(), favorites.end(),
                     [](const Favorite& a, const Favorite& b) { return ComesBefore(a.Name, b.Name); });
}

std::vector<Favorite> ScanFavoritesFolder(const std::string& favoritesDir)
{
    FavoriteScan scan(favoritesDir);
    // Without a link object no link can be judged: nothing is listed from a
    // ".lnk", and nothing is deleted.
    if (scan.Reader.Ready()) ScanFavorites(scan, "*.lnk");
    ScanFavorites(scan, "*.url");
    SortFavorites(scan.Listed);
    return std::move(scan.Listed);
}

std::vector<Favorite> RefreshFavorites()
{
    std::string favoritesDir;
    WithState([&](ExtensionState& s) { favoritesDir = s.FavoritesDir; });
    std::vector<Favorite> favorites;
    if (!favoritesDir.empty()) favorites = ScanFavoritesFolder(favoritesDir);
    std::vector<std::string> names;
    names.reserve(favorites.size());
    for (const Favorite& favorite : favorites) names.push_back(favorite.Name);
    const bool flat = IsOfficeDialogClass(ClassNameOf(GetActiveWindow())) && names.size() > 3;
    WithState([&](ExtensionState& s) {
        s.FavoriteNames = std::move(names);
        s.FlatMenu = flat;
    });
    return favorites;
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

bool IsTargetFavorite(const std::vector<Favorite>& favorites, const std::string& targetPath)
{
    return std::any_of(favorites.begin(), favorites.end(),
                       [&](const Favorite& favorite) { return favorite.Target == targetPath; });
}

std::string VolumeRootOf(const std::string& path)
{
    if (path.size() >= 2 && path[1] == ':' && IsDriveLetter(path[0])) return path.substr(0, 2) + "\\";
    if (path.compare(0, 2, "\\\\") != 0) return std::string();
    const size_t server = path.find('\\', 2);
    if (server == std::string::npos || server == 2) return std::string();
    const size_t share = path.find('\\', server + 1);
    if (share == server + 1) return std::string();
    return share == std::string::npos ? path + "\\" : path.substr(0, share + 1);
}

} // namespace vok
