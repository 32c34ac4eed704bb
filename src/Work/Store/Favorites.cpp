#include "Work/Store/Favorites.h"

#include "Common/Unique.h"
#include "Common/WindowText.h"
#include "Work/Registry.h"
#include "Work/Store/Pruning.h"
#include "Work/Store/Shortcuts.h"
#include "Work/Store/Wow64.h"

#include <algorithm>
#include <cwchar>
#include <unordered_map>

namespace vok {

const char* const kMissingInstallationText = "Error: A registry entry is missing.\rPlease reinstall \"Vokmate\"";
const char* const kMissingInstallationCaption = "Vokmark";

namespace {

// Entries the file system would have to fetch before they can be read (a
// file in the cloud, an archived one): reading the link would download it on
// the caller's thread. Spelt out: older headers lack the recall bits.
constexpr DWORD kFetchedAttributes = FILE_ATTRIBUTE_OFFLINE | 0x40000 /* recall on open */ |
                                     0x400000 /* recall on data access */;

constexpr size_t kExtensionLength = 4; // ".lnk", ".url"

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

// lvAsked: its volume can keep the caller waiting; a worker judges it.
enum LinkVerdict { lvList, lvKeep, lvDelete, lvAsked };

struct JudgedFavorite {
    LinkVerdict Verdict;
    WString Target;
    size_t Ticket = 0;          // lvAsked: its place in the probe's answers
    FavoriteKind Kind = fkNone; // lvList: what it is; lvAsked: what its link records
};

// A favourite that waits for its volume's answer: a ".lnk", or the ".url" of
// the same name, which goes by that link's answer.
struct AskedFavorite {
    WString Name;
    WString Target;
    size_t Ticket;
    bool Link;
    FavoriteKind Recorded;
};

// One refresh: what it has listed, and how the "*.lnk" pass judged each link,
// so that the "*.url" pass reads none of them again.
struct FavoriteScan {
    FavoriteScan(const WString& dir, bool mayWait) : FavoritesDir(dir), MayWait(mayWait) {}
    const WString& FavoritesDir;
    const bool MayWait;        // false: no worker, no waiting, nothing pruned
    std::vector<WString> Dead; // the links to prune once the list is made
    LinkReader Reader;
    std::vector<Favorite> Listed;
    std::unordered_map<WString, JudgedFavorite, WStringHash> LinkVerdicts;
    VolumeProbe Probe;
    std::vector<AskedFavorite> Asked;
    VolumeSerials Serials; // of the volumes judged here, on the caller's thread
};

JudgedFavorite JudgeFavorite(FavoriteScan& scan, const WString& name)
{
    FavoriteInspection found = InspectFavorite(scan.FavoritesDir, name, scan.Reader);
    if (found.Far && found.LinkRead && scan.MayWait && !IsFolderByName(found.Path))
        return {lvAsked, std::move(found.Target), scan.Probe.Ask(VolumeRootOf(found.Path), scan.Reader.TakeBytes()),
                found.Kind};
    if (found.Kind != fkNone) return {lvList, std::move(found.Target), 0, found.Kind};
    if (!scan.MayWait) return {lvKeep, WString()};
    // No link to judge (the file went away since the folder was listed; a new
    // one may be arriving from the wizard), or one that could not be read.
    if (!found.HasLink || !found.LinkRead) return {lvKeep, WString()};
    if (!MayDeleteDeadLink(found.Target)) return {lvKeep, WString()};
    return {IsGoneFromItsVolume(found.Path, scan.Reader.Bytes(), scan.Serials) ? lvDelete : lvKeep, WString()};
}

// File names compare without regard to case: "work.url" and "Work.lnk" are
// one favourite.
WString FoldedName(WString name)
{
    if (!name.empty()) CharUpperBuffW(&name[0], static_cast<DWORD>(name.size()));
    return name;
}

JudgedFavorite JudgeLinkEntry(FavoriteScan& scan, const WString& name)
{
    JudgedFavorite judged = JudgeFavorite(scan, name);
    scan.LinkVerdicts[FoldedName(name)] = judged;
    return judged;
}

// A ".url" whose name has a ".lnk" is that link's favourite, judged already.
// One that its listed name does not reach (a path past MAX_PATH) is kept, not
// listed: its item could open nothing.
JudgedFavorite JudgeUrlEntry(FavoriteScan& scan, const WString& name)
{
    if (!FileExists(scan.FavoritesDir + name + L".lnk"))
        return {FileExists(scan.FavoritesDir + name + L".url") ? lvList : lvKeep, WString(), 0, fkInternetShortcut};
    const auto known = scan.LinkVerdicts.find(FoldedName(name));
    if (known != scan.LinkVerdicts.end()) return known->second;
    return JudgeFavorite(scan, name); // arrived between the passes
}

// One pass over FavoritesDir + pattern ("*.lnk" or "*.url").
void ScanFavorites(FavoriteScan& scan, const wchar_t* pattern)
{
    const bool links = wcscmp(pattern, L"*.lnk") == 0;
    WIN32_FIND_DATAW entry;
    UniqueFind find(FindFirstFileW((scan.FavoritesDir + pattern).c_str(), &entry));
    if (!find) return;
    do {
        if (!IsFavoriteEntry(entry.dwFileAttributes)) continue;
        const size_t length = wcslen(entry.cFileName);
        if (length < kExtensionLength) continue;
        WString name(entry.cFileName, length - kExtensionLength);
        JudgedFavorite judged = links ? JudgeLinkEntry(scan, name) : JudgeUrlEntry(scan, name);
        switch (judged.Verdict) {
        case lvList: scan.Listed.push_back({std::move(name), std::move(judged.Target), judged.Kind}); break;
        case lvDelete:
            // The ".url" of a dead link's name stands alone once the link is
            // gone.
            if (links)
                scan.Dead.push_back(scan.FavoritesDir + name + L".lnk");
            else
                scan.Listed.push_back({std::move(name), WString(), fkInternetShortcut});
            break;
        case lvKeep: break;
        case lvAsked:
            scan.Asked.push_back({std::move(name), std::move(judged.Target), judged.Ticket, links, judged.Kind});
            break;
        }
    } while (FindNextFileW(find.get(), &entry));
}

// The workers' answers, as far as they came within the bound. A favourite
// without one is listed as its link records it and kept: a volume too slow
// to answer is no proof that a target is gone.
void SettleAskedFavorites(FavoriteScan& scan)
{
    std::vector<ProbedTarget> answers = scan.Probe.Collect(kVolumeWaitMs);
    for (AskedFavorite& asked : scan.Asked) {
        ProbedTarget& answer = answers[asked.Ticket];
        switch (answer.Verdict) {
        case tvFolder:
        case tvFile:
            scan.Listed.push_back(
                {std::move(asked.Name), answer.Target, answer.Verdict == tvFolder ? fkFolderLink : fkFileLink});
            break;
        case tvUnanswered:
            scan.Listed.push_back({std::move(asked.Name), std::move(asked.Target), asked.Recorded});
            break;
        case tvGone:
            // The ".url" of a dead link's name stands alone once the link is
            // gone; a link that must be kept keeps its ".url" out of the list.
            if (!MayDeleteDeadLink(asked.Target)) break;
            if (asked.Link)
                scan.Dead.push_back(scan.FavoritesDir + asked.Name + L".lnk");
            else
                scan.Listed.push_back({std::move(asked.Name), WString(), fkInternetShortcut});
            break;
        case tvVolumeAbsent: break;
        }
    }
}

bool ComesBefore(const WString& a, const WString& b)
{
    int order = CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1);
    if (order == CSTR_EQUAL) order = CompareStringW(LOCALE_USER_DEFAULT, 0, a.c_str(), -1, b.c_str(), -1);
    return order == CSTR_LESS_THAN;
}

} // namespace

// Whether the key is there; folder receives its value when it has one.
static bool ReadInstallFolderOf(HKEY root, WString& folder)
{
    UniqueKey key;
    if (RegOpenKeyExA(root, kVokKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return false;
    if (!ReadInstallFolder(key.get(), folder)) folder.clear();
    return true;
}

// The user's own value wins; a machine-wide installation gives every other
// user of the machine its folder through HKLM.
bool LoadInstallFolder(ExtensionState& state)
{
    state.FavoritesDir.clear();
    WString folder;
    bool found = ReadInstallFolderOf(HKEY_CURRENT_USER, folder);
    if (folder.empty()) found = ReadInstallFolderOf(HKEY_LOCAL_MACHINE, folder) || found;
    if (!found) return false;
    if (folder.empty()) return true;
    state.InstallDir = folder + L"\\";
    state.FavoritesDir = state.InstallDir + L"Favorites\\";
    return true;
}

void ShowMissingInstallationMessage()
{
    MessageBoxA(nullptr, kMissingInstallationText, kMissingInstallationCaption, MB_OK | MB_SETFOREGROUND);
}

bool IsFavoriteEntry(DWORD attributes)
{
    return (attributes & kFetchedAttributes) == 0;
}

void SortFavoriteNames(std::vector<WString>& names)
{
    std::stable_sort(names.begin(), names.end(), ComesBefore);
}

void SortFavorites(std::vector<Favorite>& favorites)
{
    std::stable_sort(favorites.begin(), favorites.end(),
                     [](const Favorite& a, const Favorite& b) { return ComesBefore(a.Name, b.Name); });
}

std::vector<Favorite> ScanFavoritesFolder(const WString& favoritesDir, bool mayWait)
{
    FavoriteScan scan(favoritesDir, mayWait);
    // Without a link object no link can be judged: nothing is listed from a
    // ".lnk", and nothing is deleted.
    if (scan.Reader.Ready()) ScanFavorites(scan, L"*.lnk");
    ScanFavorites(scan, L"*.url");
    if (!scan.Asked.empty()) SettleAskedFavorites(scan);
    RecycleDeadLinks(std::move(scan.Dead));
    SortFavorites(scan.Listed);
    return std::move(scan.Listed);
}

std::vector<Favorite> RefreshFavorites(bool mayWait)
{
    WString favoritesDir;
    WithState([&](ExtensionState& s) { favoritesDir = s.FavoritesDir; });
    std::vector<Favorite> favorites;
    if (!favoritesDir.empty()) favorites = ScanFavoritesFolder(favoritesDir, mayWait);
    std::vector<WString> names;
    names.reserve(favorites.size());
    for (const Favorite& favorite : favorites) names.push_back(favorite.Name);
    const bool flat = IsOfficeDialogClass(ClassNameOf(GetActiveWindow())) && names.size() > 3;
    WithState([&](ExtensionState& s) {
        s.FavoriteNames = std::move(names);
        s.FlatMenu = flat;
    });
    return favorites;
}

bool IsFolderWithinBound(const WString& path)
{
    if (IsVolumeRoot(path)) return true;
    WString favoritesDir;
    WithState([&](ExtensionState& s) { favoritesDir = s.FavoritesDir; });
    if (IsNearTarget(path, VolumeRootOf(favoritesDir))) return FolderExists(path);
    VolumeProbe probe;
    const size_t ticket = probe.AskPath(path);
    return probe.Collect(kVolumeWaitMs)[ticket].Verdict == tvFolder;
}

WString FindFirstCdromRoot()
{
    wchar_t drives[129] = {};
    constexpr DWORD count = sizeof(drives) / sizeof(drives[0]);
    const DWORD length = GetLogicalDriveStringsW(count, drives);
    // A list that does not fit would need more than 26 drive letters; it is
    // read as "no CD-ROM drive" rather than failing the menu.
    if (length == 0 || length > count) return WString();
    for (const wchar_t* root = drives; *root; root += wcslen(root) + 1) {
        if (GetDriveTypeW(root) == DRIVE_CDROM) return root;
    }
    return WString();
}

WString FindTargetFavoriteLink()
{
    WString favoritesDir, targetPath;
    std::vector<WString> names;
    WithState([&](ExtensionState& s) {
        favoritesDir = s.FavoritesDir;
        targetPath = s.TargetPath;
        names = s.FavoriteNames;
    });
    for (const WString& name : names) {
        WString linkPath = favoritesDir + name + L".lnk";
        if (GetLinkTarget(linkPath) == targetPath) return linkPath;
    }
    return WString();
}

bool IsTargetFavorite()
{
    return !FindTargetFavoriteLink().empty();
}

bool IsTargetFavorite(const std::vector<Favorite>& favorites, const WString& targetPath)
{
    return std::any_of(favorites.begin(), favorites.end(),
                       [&](const Favorite& favorite) { return favorite.Target == targetPath; });
}

} // namespace vok
