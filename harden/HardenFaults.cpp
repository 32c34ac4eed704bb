// The modes "folders" and "faults" of harden.exe: the favourites folder in
// odd shapes and with odd names in it, and faults injected around the menu,
// its commands and the About window's store. Each case prints one line, and
// what it lost, which must be nothing.
#include "HardenRun.h"

#include "AboutBox/AboutBox.h"
#include "AboutBox/Status.h"
#include "Common/Unique.h"
#include "Resources/AboutBoxLayout.h"
#include "Server/Module.h"
#include "TestSupport.h"
#include "Work/ExtensionState.h"
#include "Work/Store/Favorites.h"
#include "Work/Menu/MenuHandler.h"
#include "Work/Registry.h"
#include "Work/Store/Shortcuts.h"

#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

namespace vok::harden {
namespace {

// ---- Shared by both modes ----

std::wstring Wide(const std::string& text)
{
    std::wstring wide(text.size() + 1, L'\0');
    wide.resize(static_cast<size_t>(MultiByteToWideChar(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()),
                                                        &wide[0], static_cast<int>(wide.size()))));
    return wide;
}

bool StillThereW(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

uint64_t CountMissing(const std::vector<std::string>& paths)
{
    uint64_t missing = 0;
    for (const std::string& path : paths)
        if (!StillThere(path)) {
            ++missing;
            std::fprintf(stderr, "lost: %s\n", path.c_str());
        }
    return missing;
}

std::string ReadAll(const std::string& path)
{
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return std::string();
    std::string bytes(GetFileSize(file.get(), nullptr), '\0');
    DWORD read = 0;
    if (!bytes.empty()) ReadFile(file.get(), &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr);
    bytes.resize(read);
    return bytes;
}

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

LARGE_INTEGER Now()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now;
}

// A menu kept alive for inspection: the host with its "Open" item and the
// Vokmark submenu, the offsets used and the names listed.
struct Menu {
    UniqueMenu Host;
    int Used = 0;
    HMENU Submenu = nullptr;
    std::vector<std::string> Names; // as UTF-8
    double Ms = 0;

    // Items of the submenu (the favourites, their separator, the actions).
    int Items() const { return Submenu && IsMenu(Submenu) ? GetMenuItemCount(Submenu) : 0; }
};

Menu MenuOn(const std::string& targetPath, ContextKind kind = ckWindowBackground)
{
    {
        MenuStateAccess state;
        state->ContextKind = kind;
        state->TargetPath = test::W(targetPath);
    }
    Menu menu;
    menu.Host.reset(CreatePopupMenu());
    AppendMenuA(menu.Host.get(), MF_STRING, 1, "Open");
    const LARGE_INTEGER start = Now();
    menu.Used = static_cast<int>(HRESULT_CODE(QueryContextMenu(menu.Host.get(), 0, 100, 0x7FFF, CMF_NORMAL)));
    menu.Ms = Milliseconds(start, Now());
    test::LibraryThreadsBack(); // the dead links' pruning, after the menu
    MENUITEMINFOA item = {};
    item.cbSize = sizeof item;
    item.fMask = MIIM_SUBMENU;
    const int count = GetMenuItemCount(menu.Host.get());
    for (int i = 0; i < count; ++i)
        if (GetMenuItemInfoA(menu.Host.get(), static_cast<UINT>(i), TRUE, &item) && item.hSubMenu)
            menu.Submenu = item.hSubMenu;
    for (const WString& name : test::LastMenuFavorites()) menu.Names.push_back(test::Utf8(name));
    return menu;
}

// The menu's fixed items: a separator after any favourites, then Add or
// Remove (not on the desktop), "Create favorite" and "Maintenance".
int ExpectedItems(size_t favourites)
{
    return static_cast<int>(favourites) + (favourites ? 1 : 0) + 3;
}

std::string Join(const std::vector<std::string>& names)
{
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "\"" : ", \"") + name + "\"";
    return text.empty() ? "none" : text;
}

// One case's verdict: its line, and what it adds to the figures.
struct Tally {
    const char* Prefix;
    uint64_t Cases = 0, Lost = 0, Wrong = 0;

    void Line(const std::string& label, const std::string& happened, uint64_t lost, bool asExpected)
    {
        ++Cases;
        Lost += lost;
        if (!asExpected) ++Wrong;
        std::printf("%s %s: %s, lost %llu%s\n", Prefix, label.c_str(), happened.c_str(),
                    static_cast<unsigned long long>(lost), asExpected ? "" : "  <- NOT AS EXPECTED");
        std::fflush(stdout);
    }
};

// ---- folders ----

void FolderMissing(const Installation& inst, Tally& tally)
{
    const std::string folder = inst.favorites.substr(0, inst.favorites.size() - 1);
    test::RemoveTree(folder);
    const Menu menu = MenuOn(inst.dir / "Data");
    const bool recreated = StillThere(folder);
    tally.Line("favourites folder missing",
               "menu of " + std::to_string(menu.Used) + " items, the folder " +
                   (recreated ? "MADE by the menu" : "left missing") + ", every file kept",
               0, menu.Used == ExpectedItems(0) && menu.Names.empty() && !recreated);
    test::RemoveTree(folder);
}

void FolderIsAFile(const Installation& inst, Tally& tally)
{
    const std::string folder = inst.favorites.substr(0, inst.favorites.size() - 1);
    const std::string content = "a file where the favourites folder should be";
    test::WriteBytes(folder, content);
    const Menu menu = MenuOn(inst.dir / "Data");
    const DWORD attributes = GetFileAttributesA(folder.c_str());
    const bool kept = attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY) &&
                      ReadAll(folder) == content;
    tally.Line("favourites folder is a file",
               "menu of " + std::to_string(menu.Used) + " items, " +
                   (kept ? "every file kept (the file unchanged)" : "THE FILE CHANGED OR WENT"),
               kept ? 0 : 1, menu.Used == ExpectedItems(0) && menu.Names.empty());
    DeleteFileA(folder.c_str());
}

// A link whose file name, ".lnk" included, is `length` characters long.
void LongName(const Installation& inst, const std::wstring& templateLink, size_t length, const char* label,
              Tally& tally)
{
    const std::string name = std::string(length - 4, 'n');
    const std::string path = inst.favorites + name + ".lnk";
    const std::wstring wide = Wide(path);
    CopyFileW(templateLink.c_str(), wide.c_str(), FALSE);
    if (!StillThereW(wide)) {
        tally.Line(label, "the file could not be made (" + std::to_string(GetLastError()) + ")", 0, false);
        return;
    }
    const Menu menu = MenuOn(inst.dir / "inst");
    const bool listed = menu.Names.size() == 1 && menu.Names[0] == name;
    const bool kept = StillThereW(wide);
    // Where the wide file functions stop at MAX_PATH (Windows, unless a
    // program opts in to long paths), a longer path is neither read nor
    // judged, only kept; Wine's reach it, and it is listed.
    const bool reachable = GetFileAttributesW(wide.c_str()) != INVALID_FILE_ATTRIBUTES;
    tally.Line(label,
               "path of " + std::to_string(path.size()) + " characters, menu of " + std::to_string(menu.Used) +
                   " items, " + (listed ? "listed" : "not listed") +
                   (reachable ? "" : " (past MAX_PATH, which the file functions here do not reach)") + ", " +
                   (kept ? "every file kept" : "THE LINK DELETED"),
               kept ? 0 : 1, listed == reachable && menu.Used == ExpectedItems(listed ? 1 : 0));
    DeleteFileW(wide.c_str());
}

// Names outside the ANSI code page, made with the W functions: a ".lnk" in
// Japanese, a ".url" in Cyrillic, a Greek name as both, and a link with a
// plain name to a folder named in Cyrillic. Each is listed by its own name,
// in the library's order, and every file is kept.
void ForeignNames(const Installation& inst, const std::wstring& templateLink, Tally& tally)
{
    const std::wstring folder = Wide(inst.favorites);
    const std::wstring link = folder + L"\x65E5\x672C.lnk"; // Japanese "Nihon"
    const std::wstring url = folder + L"\x0416\x0416.url";  // two Cyrillic Zhe
    const std::wstring both = folder + L"\x03A9mega";       // a Greek Omega, as .lnk and .url
    const std::wstring reports = folder + L"Reports.lnk";   // to a folder named in Cyrillic
    const WString reportsFolder = test::W(inst.dir.path()) + L"\x041E\x0442\x0447\x0451\x0442";
    test::MakeFolder(reportsFolder);
    test::MakeLink(WString(reports.c_str()), reportsFolder);
    CopyFileW(templateLink.c_str(), link.c_str(), FALSE);
    CopyFileW(templateLink.c_str(), (both + L".lnk").c_str(), FALSE);
    for (const std::wstring& path : {url, both + L".url"}) {
        UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        DWORD written = 0;
        WriteFile(file.get(), Installation::kUrlText, static_cast<DWORD>(std::strlen(Installation::kUrlText)), &written,
                  nullptr);
    }
    const std::vector<std::wstring> files = {link, url, both + L".lnk", both + L".url", reports};
    std::vector<WString> expected = {L"\x65E5\x672C", L"\x0416\x0416", L"\x03A9mega", L"\x03A9mega", L"Reports"};
    SortFavoriteNames(expected); // the library's own order
    std::vector<std::string> expectedNames;
    for (const WString& name : expected) expectedNames.push_back(test::Utf8(name));

    uint64_t lost = 0;
    const Menu first = MenuOn(inst.dir / "inst");
    const Menu second = MenuOn(inst.dir / "inst");
    for (const std::wstring& path : files)
        if (!StillThereW(path)) ++lost;
    tally.Line("favourites named outside the ANSI code page, and a folder so named",
               "menus of " + std::to_string(first.Used) + " and " + std::to_string(second.Used) + " items, listed " +
                   Join(second.Names) + ", " + (lost ? "FILES DELETED" : "every file kept"),
               lost,
               first.Names == expectedNames && second.Names == expectedNames &&
                   second.Used == ExpectedItems(expectedNames.size()));
    for (const std::wstring& path : files) DeleteFileW(path.c_str());
    RemoveDirectoryW(reportsFolder.c_str());
}

uint64_t ManyFavorites(const Installation& inst, const std::string& linkBytes, int count, Tally& tally)
{
    std::vector<std::string> paths;
    paths.reserve(static_cast<size_t>(count));
    const LARGE_INTEGER madeFrom = Now();
    for (int i = 0; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "fav %05d.lnk", i);
        paths.push_back(inst.favorites + name);
        test::WriteBytes(paths.back(), linkBytes);
    }
    const double madeMs = Milliseconds(madeFrom, Now());
    const Menu first = MenuOn(inst.dir / "inst");
    const int firstItems = first.Items();
    const Menu second = MenuOn(inst.dir / "inst");
    const LARGE_INTEGER scanFrom = Now();
    const size_t scanned = ScanFavoritesFolder(test::W(inst.favorites)).size();
    const double scanMs = Milliseconds(scanFrom, Now());
    const uint64_t lost = CountMissing(paths);
    const bool all = first.Names.size() == static_cast<size_t>(count) && scanned == static_cast<size_t>(count) &&
                     second.Names.size() == static_cast<size_t>(count) &&
                     first.Used == ExpectedItems(static_cast<size_t>(count)) && firstItems == first.Used;
    char happened[256];
    std::snprintf(happened, sizeof happened,
                  "menu of %d items (%zu favourites listed, %d in the submenu), first menu %.0f ms, second %.0f ms, "
                  "a read of the folder alone after them %.0f ms, %s",
                  first.Used, first.Names.size(), firstItems, first.Ms, second.Ms, scanMs,
                  lost ? "FAVOURITES DELETED" : "every file kept");
    tally.Line(std::to_string(count) + " favourites", happened, lost, all);
    Figure("folder favourites generated", static_cast<unsigned long long>(count));
    Figure("folder favourites listed in one menu", first.Names.size());
    Figure("folder ms to write the favourites", static_cast<unsigned long long>(madeMs + 0.5));
    Figure("folder ms of the first menu of them", static_cast<unsigned long long>(first.Ms + 0.5));
    Figure("folder ms of the second menu of them", static_cast<unsigned long long>(second.Ms + 0.5));
    Figure("folder ms of one read of the folder of them", static_cast<unsigned long long>(scanMs + 0.5));
    for (const std::string& path : paths) DeleteFileA(path.c_str());
    return lost;
}

// ---- faults ----

HRESULT Invoke(int offset)
{
    CMINVOKECOMMANDINFO info = {};
    info.cbSize = sizeof info;
    info.lpVerb = MAKEINTRESOURCEA(offset);
    info.nShow = SW_SHOWNORMAL;
    return InvokeCommand(&info);
}

std::string HelpText(int offset)
{
    char text[600] = "unset";
    const HRESULT rc = GetCommandString(static_cast<UINT_PTR>(offset), GCS_HELPTEXTA, nullptr, text, sizeof text);
    return SUCCEEDED(rc) ? std::string(text) : "error " + std::to_string(rc);
}

std::string Hr(HRESULT rc)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(rc));
    return text;
}

int IndexOf(const std::vector<std::string>& names, const std::string& name)
{
    for (size_t i = 0; i < names.size(); ++i)
        if (names[i] == name) return static_cast<int>(i);
    return -1;
}

// A link to a target that was there when the link was made and is gone now.
std::string MakeDeadLink(const Installation& inst, const std::string& name)
{
    const std::string target = inst.dir / ("gone " + name);
    test::MakeFolder(target);
    const std::string link = inst.favorites + name + ".lnk";
    test::MakeLink(link, target);
    RemoveDirectoryA(target.c_str());
    return link;
}

void NoCom(Tally& tally)
{
    const Installation inst("harden-fault-nocom");
    const std::vector<std::string> live = inst.MakeLiveFavorites("");
    const std::string dead = MakeDeadLink(inst, "dead");
    test::RestartStateWithInstallFolder(inst.dir / "inst");
    Menu menu;
    const bool finished = test::RunOnThreadWithoutCom([&] { menu = MenuOn(inst.dir / "Data"); });
    const bool deadKept = StillThere(dead);
    const uint64_t lost = CountMissing(live) + (deadKept ? 0 : 1); // deleted unread
    // With COM again, the same folder: every live favourite, and the dead
    // link pruned, as any menu prunes it.
    const Menu after = MenuOn(inst.dir / "Data");
    tally.Line("a thread without COM builds a menu",
               std::string(finished ? "finished" : "DID NOT FINISH") + ", menu of " + std::to_string(menu.Used) +
                   " items listing " + Join(menu.Names) + " (no link can be read there), the dead link " +
                   (deadKept ? "kept" : "DELETED UNREAD") + "; the next menu with COM listed " + Join(after.Names) +
                   " and " + (StillThere(dead) ? "kept" : "pruned") + " the dead link",
               lost,
               finished && menu.Names == std::vector<std::string>{"web"} && menu.Used == ExpectedItems(1) &&
                   after.Names.size() == 3 && !StillThere(dead));
    test::StopState();
}

void LockedLinks(Tally& tally)
{
    const Installation inst("harden-fault-locked");
    const std::vector<std::string> live = inst.MakeLiveFavorites("");
    const std::string dead = MakeDeadLink(inst, "locked dead");
    const std::string locked = inst.favorites + "locked live.lnk";
    test::MakeLink(locked, inst.dir / "Data");
    test::RestartStateWithInstallFolder(inst.dir / "inst");
    Menu menu;
    {
        UniqueFile writerA(
            CreateFileA(dead.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        UniqueFile writerB(
            CreateFileA(locked.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        if (!writerA || !writerB) {
            tally.Line("links locked by a writer", "could not lock them (" + std::to_string(GetLastError()) + ")", 0,
                       false);
            return;
        }
        menu = MenuOn(inst.dir / "inst");
    }
    const bool deadKept = StillThere(dead), liveKept = StillThere(locked);
    const uint64_t lost = CountMissing(live) + (deadKept ? 0 : 1) + (liveKept ? 0 : 1);
    const Menu after = MenuOn(inst.dir / "inst");
    tally.Line("links locked by a writer (no sharing), one dead, one live",
               "menu of " + std::to_string(menu.Used) + " items listing " + Join(menu.Names) +
                   ", both locked links kept unlisted; once let go the next menu listed " + Join(after.Names) +
                   " and " + (StillThere(dead) ? "kept" : "pruned") + " the dead one",
               lost,
               menu.Names.size() == 3 && IndexOf(menu.Names, "locked live") < 0 &&
                   IndexOf(after.Names, "locked live") >= 0 && after.Names.size() == 4);
    test::StopState();
}

void ReadOnlyDeadLink(Tally& tally)
{
    const Installation inst("harden-fault-readonly");
    const std::vector<std::string> live = inst.MakeLiveFavorites("");
    const std::string dead = MakeDeadLink(inst, "read-only dead");
    SetFileAttributesA(dead.c_str(), FILE_ATTRIBUTE_READONLY);
    test::RestartStateWithInstallFolder(inst.dir / "inst");
    const Menu menu = MenuOn(inst.dir / "inst");
    const bool keptOnce = StillThere(dead);
    const Menu again = MenuOn(inst.dir / "inst");
    const bool keptTwice = StillThere(dead);
    SetLastError(0);
    const bool deletable = !keptTwice || DeleteFileA(dead.c_str());
    const DWORD error = GetLastError();
    if (StillThere(dead)) SetFileAttributesA(dead.c_str(), FILE_ATTRIBUTE_NORMAL);
    // It is dead: deleting it would be the usual pruning, keeping it the
    // read-only attribute's due. Either way it is not listed, and the live
    // favourites beside it stay.
    tally.Line("a read-only dead link",
               "menus of " + std::to_string(menu.Used) + " and " + std::to_string(again.Used) + " items listing " +
                   Join(again.Names) + ", the dead link " +
                   (keptTwice ? std::string("kept unlisted: DeleteFileA refuses a read-only file (") +
                                    (deletable ? "yet it was deletable here"
                                               : "error " + std::to_string(error) + " here too") +
                                    "), and each menu tries again"
                              : std::string(keptOnce ? "kept by the first menu, " : "") + "deleted as dead"),
               CountMissing(live), menu.Names.size() == 3 && again.Names.size() == 3);
    test::StopState();
}

void AbsentVolumes(Tally& tally)
{
    const Installation inst("harden-fault-volumes");
    const std::vector<std::string> live = inst.MakeLiveFavorites("");
    const std::vector<std::pair<std::string, std::string>> links = {{"no drive Q", "Q:\\Work"},
                                                                    {"unplugged M", "M:\\Photos"},
                                                                    {"offline share", "\\\\nohost\\share\\Reports"}};
    std::vector<std::string> paths;
    for (const auto& [name, target] : links) {
        paths.push_back(inst.favorites + name + ".lnk");
        test::MakeLink(paths.back(), target);
    }
    test::RestartStateWithInstallFolder(inst.dir / "inst");
    const Menu menu = MenuOn(inst.dir / "inst");
    const uint64_t absentLost = CountMissing(paths);
    char ms[32];
    std::snprintf(ms, sizeof ms, "%.0f ms", menu.Ms);
    tally.Line("links to absent volumes (Q:, M: pointing nowhere, \\\\nohost\\share)",
               "menu of " + std::to_string(menu.Used) + " items in " + ms + " listing " + Join(menu.Names) + ", " +
                   (absentLost ? "LINKS DELETED" : "all three kept unlisted"),
               CountMissing(live) + absentLost, menu.Names.size() == 3 && !absentLost);
    test::StopState();
}

void FolderRemovedBetweenMenus(Tally& tally)
{
    const Installation inst("harden-fault-folder-gone");
    inst.MakeLiveFavorites("");
    test::RestartStateWithInstallFolder(inst.dir / "inst");
    const std::string folder = inst.favorites.substr(0, inst.favorites.size() - 1);
    const Menu first = MenuOn(inst.dir / "Data");
    test::RemoveTree(folder);
    const Menu second = MenuOn(inst.dir / "Data");
    std::string favoritesDir;
    WithState([&](ExtensionState& s) { favoritesDir = AnsiOf(s.FavoritesDir); });
    const ListAction action = test::LastListAction();
    const test::CommandOffsets offsets = test::GetCommandOffsets();
    const std::string help = HelpText(offsets.ListActionCmd);
    const bool sane = second.Names.empty() && second.Used == ExpectedItems(0) && favoritesDir == inst.favorites &&
                      action == laAdd && offsets.LastFavorite == -1 && offsets.ListActionCmd == 0 &&
                      offsets.MaintenanceCmd == 2 &&
                      help == "Add \"" + inst.dir / "Data" + "\" to your favorite list." && !StillThere(folder);
    test::MakeFolder(folder);
    const std::vector<std::string> live = inst.MakeLiveFavorites("");
    const Menu third = MenuOn(inst.dir / "Data");
    tally.Line("the favourites folder removed between two menus",
               "menus of " + std::to_string(first.Used) + ", " + std::to_string(second.Used) + " (nothing listed, " +
                   (sane ? "state sane: the folder still named, Add offered, offsets 0-2" : "STATE NOT SANE") +
                   ") and, the folder made again, " + std::to_string(third.Used) + " items listing " +
                   Join(third.Names),
               CountMissing(live),
               first.Names.size() == 3 && sane && third.Names == first.Names && third.Used == first.Used);
    test::StopState();
}

void DeletedBeforeItsCommand(Tally& tally)
{
    const Installation inst("harden-fault-deleted");
    const std::vector<std::string> live = inst.MakeLiveFavorites("");
    test::RestartStateWithInstallFolder(inst.dir / "inst");
    // The control: a live file link opens through the shell (recorded).
    size_t controlLaunches = 0;
    {
        test::ShellLaunchLog launches;
        const Menu menu = MenuOn(inst.dir / "inst");
        Invoke(IndexOf(menu.Names, "file"));
        controlLaunches = launches.calls().size();
    }
    for (size_t k = 0; k < live.size(); ++k) {
        const std::string name = k == 0 ? "folder" : k == 1 ? "file" : "web";
        const Menu menu = MenuOn(inst.dir / "inst");
        const int offset = IndexOf(menu.Names, name);
        const std::string saved = ReadAll(live[k]);
        DeleteFileA(live[k].c_str());
        test::ShellLaunchLog launches;
        const std::string help = HelpText(offset);
        const HRESULT rc = Invoke(offset);
        std::vector<std::string> others;
        for (size_t j = 0; j < live.size(); ++j)
            if (j != k) others.push_back(live[j]);
        const uint64_t lost = CountMissing(others);
        tally.Line("the " + name + " favourite deleted between the menu and its command",
                   "InvokeCommand gave " + Hr(rc) + ", " + std::to_string(launches.calls().size()) +
                       " launches, help text \"" + help + "\" (the control, a live file link, launched " +
                       std::to_string(controlLaunches) + ")",
                   lost, offset >= 0 && rc == S_OK && launches.calls().empty() && help.empty() && controlLaunches == 1);
        test::WriteBytes(live[k], saved);
    }
    test::StopState();
}

void RemoveOfAGoneFile(Tally& tally)
{
    const Installation inst("harden-fault-remove");
    const std::vector<std::string> live = inst.MakeLiveFavorites("");
    test::RestartStateWithInstallFolder(inst.dir / "inst");
    const std::string current = live[0]; // "folder.lnk", to Data: the current folder's favourite
    const std::vector<std::string> others(live.begin() + 1, live.end());
    const std::string saved = ReadAll(current);

    Menu menu = MenuOn(inst.dir / "Data");
    ListAction action = test::LastListAction();
    const int removeOffset = test::GetCommandOffsets().ListActionCmd;
    DeleteFileA(current.c_str());
    HRESULT rc;
    size_t launched;
    {
        test::ShellLaunchLog launches;
        rc = Invoke(removeOffset);
        launched = launches.calls().size();
    }
    const uint64_t lost = CountMissing(others);
    // The control: with the file back, Remove deletes exactly it.
    test::WriteBytes(current, saved);
    menu = MenuOn(inst.dir / "Data");
    const int again = test::GetCommandOffsets().ListActionCmd;
    const HRESULT controlRc = Invoke(again);
    const bool controlRemoved = !StillThere(current);
    const uint64_t controlLost = CountMissing(others);
    tally.Line("Remove on the current folder's favourite whose file has just gone",
               "InvokeCommand gave " + Hr(rc) + ", " + std::to_string(launched) +
                   " launches, nothing deleted; the "
                   "control (file back) removed " +
                   (controlRemoved ? "exactly it" : "NOTHING"),
               lost + controlLost,
               action == laRemove && rc == S_OK && launched == 0 && controlRc == S_OK && controlRemoved);
    test::StopState();
}

// ---- The About window's store failing ----

HWND FindDialog(const char* caption, HWND owner)
{
    for (HWND w = nullptr; (w = FindWindowExA(nullptr, w, "#32770", caption));) {
        DWORD pid = 0;
        GetWindowThreadProcessId(w, &pid);
        if (pid == GetCurrentProcessId() && IsWindowVisible(w) && (!owner || GetWindow(w, GW_OWNER) == owner)) return w;
    }
    return nullptr;
}

HWND WaitForDialog(const char* caption, HWND owner = nullptr, DWORD ms = 15000)
{
    test::PumpUntil([&] { return FindDialog(caption, owner) != nullptr; }, ms);
    return FindDialog(caption, owner);
}

// HKEY_CURRENT_USER redirected, for this process, onto another key, until
// the guard ends.
class CurrentUserOverride {
public:
    explicit CurrentUserOverride(HKEY onto) : rc_(RegOverridePredefKey(HKEY_CURRENT_USER, onto)) {}
    ~CurrentUserOverride()
    {
        if (rc_ == ERROR_SUCCESS) RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    }
    LONG rc() const { return rc_; }

private:
    LONG rc_;
};

// What SaveStatus does under one way of making the store fail.
std::string TrySave()
{
    try {
        SaveStatus();
        return "stored";
    } catch (const std::exception& error) {
        return std::string("raised \"") + error.what() + "\"";
    }
}

constexpr char kScratchRoot[] = "Software\\VOK harden root";

// A key handle of `access` on a fresh scratch key; `deleted`: the key is
// deleted behind the handle, which stays open.
UniqueKey ScratchRoot(REGSAM access, bool deleted)
{
    RegDeleteTreeA(HKEY_CURRENT_USER, kScratchRoot);
    UniqueKey made;
    RegCreateKeyExA(HKEY_CURRENT_USER, kScratchRoot, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, made.put(), nullptr);
    made.reset();
    UniqueKey key;
    RegOpenKeyExA(HKEY_CURRENT_USER, kScratchRoot, 0, access, key.put());
    if (deleted) RegDeleteTreeA(HKEY_CURRENT_USER, kScratchRoot);
    return key;
}

DWORD StoredStatus()
{
    DWORD value = 99;
    return test::ReadStatusValue(value) ? value : 99;
}

void AboutStoreFailing(Tally& tally)
{
    const Installation inst("harden-fault-about");
    const std::vector<std::string> live = inst.MakeLiveFavorites("");
    const DWORD on = 1;
    test::SetVokValue(kStatusValue, REG_DWORD, &on, sizeof on);
    test::RestartStateWithInstallFolder(inst.dir / "inst");
    SetModuleInstance(GetModuleHandleA(nullptr));

    // The ways tried to make the store fail under Wine, straight on SaveStatus.
    {
        const std::string typed("on", 3);
        test::SetVokValue(kStatusValue, REG_SZ, typed.data(), static_cast<DWORD>(typed.size()));
        const std::string outcome = TrySave();
        std::printf("about store probe \"Status\" held as REG_SZ: SaveStatus %s (the value is simply replaced)\n",
                    outcome.c_str());
        test::SetVokValue(kStatusValue, REG_DWORD, &on, sizeof on);
    }
    {
        const UniqueKey readOnly = ScratchRoot(KEY_READ, false);
        std::string outcome;
        LONG rc;
        {
            const CurrentUserOverride over(readOnly.get());
            rc = over.rc();
            outcome = TrySave();
        }
        std::printf("about store probe HKCU overridden onto a KEY_READ handle (override %ld): SaveStatus %s%s\n", rc,
                    outcome.c_str(),
                    outcome == "stored" ? " (Wine asks no rights of a parent handle to create or open a subkey)" : "");
        RegDeleteTreeA(HKEY_CURRENT_USER, kScratchRoot);
    }
    const UniqueKey deleted = ScratchRoot(KEY_ALL_ACCESS, true);
    std::string probe;
    {
        const CurrentUserOverride over(deleted.get());
        UniqueKey key;
        const LONG create = RegCreateKeyExA(HKEY_CURRENT_USER, kVokKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                            KEY_SET_VALUE, nullptr, key.put(), nullptr);
        key.reset();
        probe = TrySave();
        std::printf("about store probe HKCU overridden onto a deleted key (override %ld): RegCreateKeyExA of the key "
                    "gives error %ld, SaveStatus %s\n",
                    over.rc(), create, probe.c_str());
    }
    WithState([](ExtensionState& s) { s.Enabled = true; });
    std::fflush(stdout);

    // The window itself, on a thread of its own as a host would show it.
    UniqueHandle thread(CreateThread(
        nullptr, 0, [](LPVOID) WINAPI -> DWORD { return ShowAboutWindow(), 0; }, nullptr, 0, nullptr));
    const HWND window = WaitForDialog("About VOK");
    std::string text, happened;
    bool stayedOpen = false, ended = false, pressedInactive = false, enabledInMemory = true;
    DWORD storedAfter = 99;
    if (window) {
        test::PumpUntil([&] { return IsDlgButtonChecked(window, IDC_ACTIVE) == BST_CHECKED; }, 5000);
        {
            const CurrentUserOverride over(deleted.get());
            PostMessageA(GetDlgItem(window, IDC_INACTIVE), BM_CLICK, 0, 0);
            const HWND box = WaitForDialog(kStatusErrorTitle, window);
            if (box) {
                char buffer[256] = {};
                GetDlgItemTextA(box, 0xFFFF, buffer, sizeof buffer); // a message box's text
                text = buffer;
                PostMessageA(box, WM_COMMAND, IDOK, 0);
                test::PumpUntil([&] { return !IsWindow(box); }, 10000);
            }
        }
        stayedOpen = IsWindow(window) && IsWindowVisible(window);
        pressedInactive = IsDlgButtonChecked(window, IDC_INACTIVE) == BST_CHECKED;
        enabledInMemory = test::ReadState(&ExtensionState::Enabled);
        storedAfter = StoredStatus();
        PostMessageA(window, WM_COMMAND, IDOK, 0);
        ended = WaitForSingleObject(thread.get(), 10000) == WAIT_OBJECT_0;
    }
    if (!ended) {
        if (window && IsWindow(window)) PostMessageA(window, WM_CLOSE, 0, 0);
        if (WaitForSingleObject(thread.get(), 5000) != WAIT_OBJECT_0) TerminateThread(thread.get(), 1);
    }
    // The next menu reads the stored switch again.
    const Menu menu = MenuOn(inst.dir / "inst");
    const bool enabledAfterMenu = test::ReadState(&ExtensionState::Enabled);
    tally.Line("the About window's store failing (HKCU overridden onto a deleted key)",
               std::string(window ? "the click on Inactive" : "NO ABOUT WINDOW") + " showed " +
                   (text.empty() ? std::string("NO ERROR BOX") : "the error box \"" + text + "\"") +
                   " owned by the window, which " + (stayedOpen ? "stayed open" : "DID NOT STAY OPEN") + " with " +
                   (pressedInactive ? "Inactive" : "Active") + " pressed and the switch " +
                   (enabledInMemory ? "on" : "off") + " in memory, the stored value still " +
                   std::to_string(storedAfter) + ", the window " + (ended ? "closed" : "DID NOT CLOSE") +
                   ", the process lives on, and the next menu read the switch back " +
                   (enabledAfterMenu ? "on" : "off") + " (" + std::to_string(menu.Used) + " items)",
               CountMissing(live),
               probe.rfind("raised", 0) == 0 && text == "Failed to set data for 'Status'" && stayedOpen && ended &&
                   storedAfter == 1 && enabledAfterMenu && menu.Names.size() == 3);
    test::StopState();
}

} // namespace

int RunFolders(int many)
{
    const Installation inst("harden-folders");
    const test::ScratchDir& dir = inst.dir;
    test::RestartStateWithInstallFolder(dir / "inst");
    test::MakeLink(dir / "template.lnk", dir / "Data");
    const std::wstring templateLink = Wide(dir / "template.lnk");
    const std::string linkBytes = ReadAll(dir / "template.lnk");
    Tally tally{"folder case"};

    FolderMissing(inst, tally);
    FolderIsAFile(inst, tally);
    test::MakeFolder(inst.favorites);
    LongName(inst, templateLink, 255, "a favourite named with 255 characters", tally);
    LongName(inst, templateLink, MAX_PATH - 1 - inst.favorites.size(),
             "a favourite named as long as MAX_PATH allows here", tally);
    ForeignNames(inst, templateLink, tally);
    if (many > 0) ManyFavorites(inst, linkBytes, many, tally);

    test::StopState();
    Figure("folder cases", tally.Cases);
    Figure("folder wrong results", tally.Wrong);
    Figure("folder files lost", tally.Lost);
    return tally.Lost + tally.Wrong ? kFindingExit : 0;
}

int RunFaults()
{
    // Nothing may start a real program: every launch is recorded instead.
    test::ShellLaunchLog launches;
    Tally tally{"fault"};
    NoCom(tally);
    LockedLinks(tally);
    ReadOnlyDeadLink(tally);
    AbsentVolumes(tally);
    FolderRemovedBetweenMenus(tally);
    DeletedBeforeItsCommand(tally);
    RemoveOfAGoneFile(tally);
    AboutStoreFailing(tally);
    Figure("faults injected", tally.Cases);
    Figure("faults wrong results", tally.Wrong);
    Figure("faults files lost", tally.Lost);
    return tally.Lost + tally.Wrong ? kFindingExit : 0;
}

} // namespace vok::harden
