// How long one context menu takes to build through QueryContextMenu, beside
// the least any menu must do on the same folder: list the folder once, read
// each link once with one link object (Load, Resolve, GetPath), test its
// target once, sort, and insert the items. Both are timed round by round,
// interleaved, so that whatever else the machine does weighs on both alike.
// Then the menu of five local favourites against the same with favourites on
// the slow volume (tools/slow-volume.sh mounts it for `make bench`). Last
// the menu with ten folders open in Explorer-style windows against none, and
// with the recent folders' records full against empty. On the slow volume
// also the Explorer command's state, which Explorer asks without waiting.
// Usage: menu_bench.exe [rounds at 1,000 favourites]
#include "TestSupport.h"
#include "Common/Unique.h"
#include "Demo/ExplorerWindow.h"
#include "Demo/WindowList.h"
#include "Work/Menu/MenuHandler.h"
#include "Work/Store/Favorites.h"
#include "Common/LibraryThread.h"
#include "Work/Registry.h"
#include "Work/Store/VolumeProbe.h"

#include <objbase.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace vok;
using Microsoft::WRL::ComPtr;

namespace {

double NowMs()
{
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double TimeMs(const std::function<void()>& work)
{
    const double start = NowMs();
    work();
    return NowMs() - start;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void ListInto(const WString& pattern, std::vector<WString>& names)
{
    WIN32_FIND_DATAW entry;
    UniqueFind find(FindFirstFileW(pattern.c_str(), &entry));
    if (!find) return;
    do names.emplace_back(entry.cFileName);
    while (FindNextFileW(find.get(), &entry));
}

// The median of each round's menu against the same round's floor: Wine's
// server answers at a pace that changes with the machine's other work, and
// the two of one round share it.
double RoundRatio(const std::vector<double>& menus, const std::vector<double>& floors)
{
    std::vector<double> ratios;
    for (size_t i = 0; i < menus.size() && i < floors.size(); ++i) ratios.push_back(menus[i] / floors[i]);
    return Median(ratios);
}

// The floor: every step here is one that any menu of this folder needs,
// through the wide functions, as names in any script require: the switch
// read, the folder listed, each link read once with one link object and its
// target tested, the names sorted, and a submenu of them with the separator,
// the three fixed items and its entry in the host's menu.
void FloorMenu(const WString& favorites)
{
    DWORD status = 0, size = sizeof(status);
    RegGetValueA(HKEY_CURRENT_USER, kVokKey, kStatusValue, RRF_RT_REG_DWORD, nullptr, &status, &size);
    std::vector<WString> names;
    ListInto(favorites + L"*.lnk", names);
    ListInto(favorites + L"*.url", names);
    ComPtr<IShellLinkW> link;
    CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&link));
    ComPtr<IPersistFile> file;
    link.As(&file);
    for (const WString& name : names) {
        if (FAILED(file->Load((favorites + name).c_str(), STGM_READ))) continue;
        link->Resolve(nullptr, SLR_NO_UI | SLR_ANY_MATCH);
        wchar_t target[MAX_PATH] = {};
        link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH);
        GetFileAttributesW(target);
    }
    std::sort(names.begin(), names.end(), [](const WString& a, const WString& b) {
        return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1) == CSTR_LESS_THAN;
    });
    UniqueMenu host(CreatePopupMenu());
    HMENU menu = CreatePopupMenu();
    std::vector<const wchar_t*> items;
    for (const WString& name : names) items.push_back(name.c_str());
    items.push_back(nullptr); // the separator
    for (const wchar_t* fixed : {L"Add to list", L"Create favorite", L"Maintenance"}) items.push_back(fixed);
    for (UINT offset = 0; offset < items.size(); ++offset)
        InsertMenuW(menu, offset, MF_BYPOSITION | (items[offset] ? 0 : MF_SEPARATOR), 100 + offset, items[offset]);
    InsertMenuW(host.get(), 0, MF_BYPOSITION | MF_POPUP, reinterpret_cast<UINT_PTR>(menu), L"Vokmark");
}

double RealMenu()
{
    UniqueMenu host(CreatePopupMenu());
    AppendMenuA(host.get(), MF_STRING, 1, "Open");
    return TimeMs([&] { QueryContextMenu(host.get(), 0, 100, 0x7FFF, CMF_NORMAL); });
}

void Measure(int count, int rounds)
{
    test::ScratchDir dir("bench");
    test::MakeFolder(dir / "Data");
    test::MakeFolder(dir / "inst");
    const std::string favorites = dir / "inst\\Favorites\\";
    test::MakeFolder(favorites);
    for (int i = 0; i < count; ++i) test::MakeLink(favorites + "folder " + std::to_string(i) + ".lnk", dir / "Data");
    test::RestartStateWithInstallFolder(dir / "inst");
    {
        MenuStateAccess state;
        state->ContextKind = ckWindowBackground;
        state->TargetPath = test::W(dir / "Data");
    }
    RealMenu(); // warm the file cache
    std::vector<double> real, floor;
    for (int round = 0; round < rounds; ++round) {
        real.push_back(RealMenu());
        floor.push_back(TimeMs([&] { FloorMenu(test::W(favorites)); }));
    }
    const double r = Median(real), f = Median(floor);
    std::printf("%5d folder favourites: menu %8.2f ms, floor %8.2f ms, ratio %.2f (median of %d rounds)\n", count, r, f,
                RoundRatio(real, floor), rounds);
    test::StopState();
}

// The menu on one selected item, as Initialize decides its kind, then built.
double ItemMenu(const WString& item)
{
    return TimeMs([&] {
        const ContextKind kind = IsFolderWithinBound(item, FavoritesFolder()) ? ckFolderItem : ckOtherItems;
        {
            MenuStateAccess state;
            state->ContextKind = kind;
            state->TargetPath = item;
        }
        RealMenu();
    });
}

// Right-clicking the slow drive's own items beside a local folder, with five
// local favourites: its root is a folder without asking, a folder on it is
// asked within the bound.
void MeasureSlowItems(const std::string& localItem, int rounds)
{
    std::vector<double> local;
    for (int round = 0; round < rounds; ++round) local.push_back(ItemMenu(test::W(localItem)));
    const double base = Median(local);
    std::printf("slow volume: menu on a local folder item: %8.2f ms (median of %d rounds)\n", base, rounds);
    for (const char* wait : {"1", "100000"}) {
        test::SetSlowVolumeWait(wait);
        for (const char* item : {"S:\\", "S:\\bench\\live"}) {
            std::vector<double> menus;
            for (int round = 0; round < rounds; ++round) menus.push_back(ItemMenu(test::W(item)));
            const double median = Median(menus);
            std::printf("  item %-14s, wait %6s s: menu %8.2f ms (%+.2f ms), slowest %7.2f ms\n", item, wait, median,
                        median - base, *std::max_element(menus.begin(), menus.end()));
        }
        test::SetSlowVolumeWait("0");
        test::PumpUntil([] { return LibraryThreadsRunning() == 0; }, 30000);
    }
}

bool ListsAll(const std::vector<std::string>& names)
{
    const std::vector<WString> listed = test::LastMenuFavorites();
    return std::all_of(names.begin(), names.end(), [&](const std::string& name) {
        return std::count(listed.begin(), listed.end(), test::W(name)) == 1;
    });
}

int OffsetOfFavorite(const WString& name)
{
    MenuStateAccess state;
    for (const MenuRow& row : state->LastMenu)
        if (row.Kind == mkFavorite && row.Argument == name) return row.Offset;
    return -1;
}

// Choosing "S live" in a dialog once its volume waits a minute per lookup:
// the folder is typed into the dialog's box, and its volume is not asked.
void MeasureChoiceOnSlowVolume()
{
    test::SetSlowVolumeWait("0");
    RealMenu();
    test::PumpUntil([] { return LibraryThreadsRunning() == 0; }, 30000);
    const int offset = OffsetOfFavorite(L"S live");
    test::TestWindow dialog("#32770");
    CreateWindowExA(0, "Edit", "", WS_CHILD | WS_VISIBLE, 0, 0, 200, 20, dialog.hwnd(), nullptr, nullptr, nullptr);
    test::BringToForeground(dialog.hwnd());
    test::SetSlowVolumeWait("60");
    const double chosen = TimeMs([&] { ExecuteCommand(static_cast<WORD>(offset), nullptr); });
    test::SetSlowVolumeWait("0");
    std::printf("  choosing a favourite there while each lookup waits 60 s: %8.2f ms (bound 300 ms)%s\n", chosen,
                offset < 0 ? ", NOT LISTED" : "");
    test::PumpUntil([] { return LibraryThreadsRunning() == 0; }, 30000);
}

// Explorer asks its command's state on the window's thread, where it must
// not wait: on a folder of S: while each lookup there waits a minute, through
// the library itself, created by its class as Explorer creates it.
void MeasureCommandStateOnSlowVolume(int rounds)
{
    test::SetSlowVolumeWait("0");
    ComPtr<IShellItem> item;
    ComPtr<IShellItemArray> items;
    SHCreateItemFromParsingName(L"S:\\bench\\live", nullptr, IID_PPV_ARGS(&item));
    if (item) SHCreateShellItemArrayFromShellItem(item.Get(), IID_PPV_ARGS(&items));
    using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
    const HMODULE library = LoadLibraryA(test::LibraryPath().c_str());
    const auto get = reinterpret_cast<GetClassObject>(
        reinterpret_cast<void*>(GetProcAddress(library, "DllGetClassObject")));
    const CLSID command = {0xBD566B9D, 0xAA72, 0x4068, {0x98, 0x09, 0x14, 0x73, 0xBD, 0xA5, 0xDB, 0xF3}};
    ComPtr<IClassFactory> factory;
    ComPtr<IExplorerCommand> root;
    if (get && SUCCEEDED(get(command, IID_PPV_ARGS(&factory)))) factory->CreateInstance(nullptr, IID_PPV_ARGS(&root));
    if (!root || !items) return (void)std::printf("  Explorer command's state: NOT MEASURED (no command or item)\n");
    test::SetSlowVolumeWait("60");
    std::vector<double> times;
    EXPCMDSTATE state = ECS_HIDDEN;
    for (int round = 0; round < rounds; ++round)
        times.push_back(TimeMs([&] { root->GetState(items.Get(), FALSE, &state); }));
    test::SetSlowVolumeWait("0");
    std::printf("  the Explorer command's state on a folder there, each lookup waiting 60 s: %6.3f ms, slowest "
                "%6.3f ms (target 5 ms)%s\n",
                Median(times), *std::max_element(times.begin(), times.end()), state == ECS_ENABLED ? "" : ", HIDDEN");
    root.Reset();
    factory.Reset();
    FreeLibrary(library);
}

// Five local favourites, then the same with a live favourite on the drive
// S: and one on the share \\slowhost\share, and a dead one on S:, while
// each lookup there waits 1 s and while it waits longer than the run.
void MeasureSlowVolume(int rounds)
{
    test::ScratchDir dir("bench-slow");
    const std::string favorites = dir / "inst\\Favorites\\", slow = dir / "slow\\";
    test::MakeFolder(dir / "inst");
    test::MakeFolder(favorites);
    test::MakeFolder(slow);
    std::vector<std::string> live = {"S live", "Share live"};
    for (int i = 0; i < 5; ++i) {
        const std::string name = "local " + std::to_string(i);
        test::MakeFolder(dir / name);
        test::MakeLink(favorites + name + ".lnk", dir / name);
        live.push_back(name);
    }
    const std::string back = test::SlowVolumePath("back\\bench\\");
    test::SetSlowVolumeWait("0");
    test::RemoveTree(back);
    test::MakeFolder(back);
    test::MakeFolder(back + "live");
    test::MakeFolder(back + "gone");
    test::MakeLink(slow + "S live.lnk", "S:\\bench\\live");
    test::MakeLink(slow + "Share live.lnk", "\\\\slowhost\\share\\bench\\live");
    test::MakeLink(slow + "S dead.lnk", "S:\\bench\\gone");
    test::RemoveTree(back + "gone");
    test::RestartStateWithInstallFolder(dir / "inst");
    {
        MenuStateAccess state;
        state->ContextKind = ckWindowBackground;
        state->TargetPath = test::W(dir / "local 0");
    }
    RealMenu();
    std::vector<double> local;
    for (int round = 0; round < rounds; ++round) local.push_back(RealMenu());
    const double base = Median(local);
    std::printf("slow volume: 5 local favourites: menu %8.2f ms (median of %d rounds)\n", base, rounds);
    MeasureSlowItems(dir / "local 1", rounds);
    for (const char* name : {"S live.lnk", "Share live.lnk", "S dead.lnk"})
        CopyFileA((slow + name).c_str(), (favorites + name).c_str(), TRUE);
    const struct {
        const char* wait;
        const char* label;
    } waits[] = {{"1", "1 s per lookup"}, {"100000", "never answering"}};
    for (const auto& w : waits) {
        test::SetSlowVolumeWait(w.wait);
        std::vector<double> menus;
        int listed = 0;
        for (int round = 0; round < rounds; ++round) {
            menus.push_back(RealMenu());
            listed += ListsAll(live) ? 1 : 0;
        }
        const int kept = test::PathPresent(favorites + "S live.lnk") + test::PathPresent(favorites + "Share live.lnk") +
                         test::PathPresent(favorites + "S dead.lnk");
        const double median = Median(menus);
        std::printf("  + 3 on the slow volume, %-16s: menu %8.2f ms (%+.2f ms), slowest %7.2f ms; "
                    "all live listed in %d of %d menus, %d of 3 kept\n",
                    w.label, median, median - base, *std::max_element(menus.begin(), menus.end()), listed, rounds,
                    kept);
        // The workers still out come back before the next wait, or the end.
        test::SetSlowVolumeWait("0");
        test::PumpUntil([] { return LibraryThreadsRunning() == 0; }, 30000);
    }
    MeasureChoiceOnSlowVolume();
    MeasureCommandStateOnSlowVolume(rounds);
    test::RemoveTree(back);
    test::StopState();
}

size_t OpenFoldersListed()
{
    MenuStateAccess state;
    return static_cast<size_t>(std::count_if(state->LastMenu.begin(), state->LastMenu.end(),
                                             [](const MenuRow& row) { return row.Kind == mkOpenFolder; }));
}

// Ten folder favourites in a new installation under `dir`, and a menu on
// the folder background of their target; returns the favourites folder.
std::string InstallTenFavorites(const test::ScratchDir& dir)
{
    const std::string favorites = dir / "inst\\Favorites\\";
    test::MakeFolder(dir / "inst");
    test::MakeFolder(favorites);
    test::MakeFolder(dir / "Data");
    for (int i = 0; i < 10; ++i) test::MakeLink(favorites + "folder " + std::to_string(i) + ".lnk", dir / "Data");
    test::RestartStateWithInstallFolder(dir / "inst");
    {
        MenuStateAccess state;
        state->ContextKind = ckWindowBackground;
        state->TargetPath = test::W(dir / "Data");
    }
    return favorites;
}

// Ten Explorer-style windows, each on a folder of its own, listed through
// the demo's stand-in window list (Wine's own hands out no windows).
void OpenTenWindows(const test::ScratchDir& dir, demo::WindowList& list,
                    std::vector<std::unique_ptr<demo::ExplorerWindow>>& windows,
                    std::vector<std::unique_ptr<demo::BrowserSite>>& sites)
{
    for (int i = 0; i < 10; ++i) {
        const std::string folder = dir / ("open " + std::to_string(i));
        test::MakeFolder(folder);
        windows.push_back(std::make_unique<demo::ExplorerWindow>());
        windows.back()->Open("CabinetWClass", folder, {0, 0, 300, 200});
        sites.push_back(std::make_unique<demo::BrowserSite>(windows.back()->ShellBrowser()));
        list.Add(sites.back().get());
    }
}

// Ten favourites, with no Explorer window open and then with ten, each on a
// folder of its own, through the stand-in window list of the demo (Wine's
// own hands out no windows).
void MeasureOpenWindows(int rounds)
{
    test::ScratchDir dir("bench-open");
    const std::string favorites = InstallTenFavorites(dir);
    demo::WindowList list;
    std::vector<std::unique_ptr<demo::ExplorerWindow>> windows;
    std::vector<std::unique_ptr<demo::BrowserSite>> sites;
    test::TestWindow dialog("#32770");
    std::vector<double> none, ten;
    size_t listed = 0;
    RealMenu();
    for (int round = 0; round < rounds; ++round) none.push_back(RealMenu());
    OpenTenWindows(dir, list, windows, sites);
    test::BringToForeground(dialog.hwnd());
    RealMenu();
    for (int round = 0; round < rounds; ++round) {
        ten.push_back(RealMenu());
        listed += OpenFoldersListed();
    }
    const double n = Median(none), t = Median(ten);
    std::printf("open folders: 10 favourites, no window open: menu %8.2f ms; ten open: %8.2f ms (%+.2f ms), "
                "%.1f listed on average (median of %d rounds)\n",
                n, t, t - n, static_cast<double>(listed) / rounds, rounds);
    test::StopState();
}

size_t RowsOfKind(MenuItemKind kind)
{
    MenuStateAccess state;
    return static_cast<size_t>(std::count_if(state->LastMenu.begin(), state->LastMenu.end(),
                                             [kind](const MenuRow& row) { return row.Kind == kind; }));
}

// Ten favourites with neither group to show, against the floor; then with 20
// links in Recent Items and 26 dialog records, each on a folder of its own;
// then the same with ten folders open in Explorer-style windows as well.
void MeasureRecentFolders(int rounds)
{
    test::ScratchDir dir("bench-recent");
    const std::string favorites = InstallTenFavorites(dir);
    test::RecentRecords records;
    test::TestWindow dialog("#32770");
    test::BringToForeground(dialog.hwnd());
    std::vector<double> none, floor, filled, both;
    RealMenu();
    for (int round = 0; round < rounds; ++round) {
        none.push_back(RealMenu());
        floor.push_back(TimeMs([&] { FloorMenu(test::W(favorites)); }));
    }
    std::vector<std::string> dialogRecords;
    std::vector<DWORD> order;
    for (DWORD i = 0; i < 26; ++i) {
        const std::string folder = dir / ("dialog " + std::to_string(i));
        test::MakeFolder(folder);
        dialogRecords.push_back(test::RecentRecords::DialogRecord(folder));
        order.push_back(i);
    }
    records.WriteDialogRecords(dialogRecords, order);
    for (int i = 0; i < 20; ++i) {
        const std::string folder = dir / ("recent " + std::to_string(i));
        test::MakeFolder(folder);
        test::WriteBytes(folder + "\\doc.txt", "x");
        records.AddLink("doc " + std::to_string(i) + ".lnk", folder + "\\doc.txt", -i);
    }
    RealMenu();
    size_t listed = 0;
    for (int round = 0; round < rounds; ++round) {
        filled.push_back(RealMenu());
        listed += RowsOfKind(mkRecentFolder);
    }
    demo::WindowList list;
    std::vector<std::unique_ptr<demo::ExplorerWindow>> windows;
    std::vector<std::unique_ptr<demo::BrowserSite>> sites;
    OpenTenWindows(dir, list, windows, sites);
    test::BringToForeground(dialog.hwnd());
    RealMenu();
    size_t open = 0;
    for (int round = 0; round < rounds; ++round) {
        both.push_back(RealMenu());
        open += RowsOfKind(mkOpenFolder);
    }
    const double n = Median(none), f = Median(floor), r = Median(filled), b = Median(both);
    std::printf("recent folders: 10 favourites, neither group to show: menu %8.2f ms, floor %8.2f ms, ratio %.2f\n", n,
                f, RoundRatio(none, floor));
    std::printf("  20 recent links, 26 dialog records: menu %8.2f ms (%+.2f ms), slowest %7.2f ms, %.1f listed\n", r,
                r - n, *std::max_element(filled.begin(), filled.end()), static_cast<double>(listed) / rounds);
    std::printf("  the same and ten open folders: menu %8.2f ms (%+.2f ms), slowest %7.2f ms, %.1f open listed "
                "(median of %d rounds)\n",
                b, b - n, *std::max_element(both.begin(), both.end()), static_cast<double>(open) / rounds, rounds);
    test::StopState();
}

} // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 9;
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    {
        test::VokKeyReset registry;
        Measure(10, rounds * 5);
        Measure(100, rounds * 3);
        Measure(1000, rounds);
        MeasureSlowVolume(rounds * 5);
        // Before the open windows' frames, which outlive their measure.
        MeasureRecentFolders(rounds * 5);
        MeasureOpenWindows(rounds * 5);
    }
    CoUninitialize();
    return 0;
}
