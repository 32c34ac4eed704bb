// vok.dll as hosts load it: loaded, used and unloaded over and over
// (`cycles`), and used from two threads at once, each in an apartment of its
// own (`threads`).
//
// Launches: the library hands everything it starts to ShellLaunch
// (src/Work/Navigation/ShellLaunch.h), whose recorder lives in the library's own copy of
// that file, out of a host's reach. ShellLaunch's one way out is its call of
// ShellExecuteExW, so that import of every loaded vok.dll is pointed at
// RecordLaunch below before anything runs: nothing is ever started, and the
// Create Shortcut wizard is stood in for by a window of this program. When the
// import cannot be patched no command is run at all.
#include "HardenChecks.h"
#include "HardenRun.h"
#include "TestSupport.h"
#include "Common/Unique.h"
#include "Work/Store/Favorites.h"

#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace vok::harden {
namespace {

constexpr char kLibraryName[] = "vok.dll";
constexpr wchar_t kWizardParameters[] = L"appwiz.cpl,NewLinkHere ";
constexpr char kWizardTitle[] = "Create Shortcut";

// ---- Launches, recorded instead of started ----

std::atomic<uint64_t> g_wizardLaunches{0}; // the Create Shortcut wizard
std::atomic<uint64_t> g_otherLaunches{0};  // files, Internet shortcuts, folders

class ThreadRun;
// The `threads` run of the calling thread, which stands in for the wizard;
// null elsewhere.
thread_local ThreadRun* t_run = nullptr;
void StandInForWizard(ThreadRun& run);

// "Started", with no process to tell: the wizard stand-in is found by its
// English caption.
BOOL WINAPI RecordLaunch(SHELLEXECUTEINFOW* info)
{
    const LPCWSTR file = info->lpFile, parameters = info->lpParameters;
    const bool wizard = file && lstrcmpiW(file, L"rundll32.exe") == 0 && parameters &&
                        std::wcsncmp(parameters, kWizardParameters, std::size(kWizardParameters) - 1) == 0;
    ++(wizard ? g_wizardLaunches : g_otherLaunches);
    if (wizard && t_run) StandInForWizard(*t_run);
    info->hInstApp = reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(42)); // above 32: "started"
    info->hProcess = nullptr;
    return TRUE;
}
static_assert(std::is_same_v<decltype(&RecordLaunch), decltype(&ShellExecuteExW)>);

// Points every import of `function` from `dll` in `module` at `replacement`;
// the number of slots changed.
int PatchImport(HMODULE module, const char* dll, const char* function, void* replacement)
{
    auto* const base = reinterpret_cast<BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE) return 0;
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    if (nt->Signature != IMAGE_NT_SIGNATURE) return 0;
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!imports.VirtualAddress) return 0;
    int patched = 0;
    for (auto* entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); entry->Name;
         ++entry) {
        if (lstrcmpiA(reinterpret_cast<const char*>(base + entry->Name), dll) != 0) continue;
        const DWORD namesAt = entry->OriginalFirstThunk ? entry->OriginalFirstThunk : entry->FirstThunk;
        const auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + namesAt);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) != 0) continue;
            DWORD old = 0;
            if (!VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &old)) continue;
            slots->u1.Function = static_cast<decltype(slots->u1.Function)>(reinterpret_cast<ULONG_PTR>(replacement));
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, old, &old);
            ++patched;
        }
    }
    return patched;
}

// ---- The library, loaded as a host loads it ----

class LoadedVok {
public:
    // False, with a line on standard error, when the library does not load,
    // lacks its exports, or its launches cannot be recorded.
    bool Load()
    {
        module_ = LoadLibraryA(test::LibraryPath().c_str());
        if (!module_) return Fail("does not load");
        getClassObject_ = reinterpret_cast<GetClassObjectFn>(
            reinterpret_cast<void*>(GetProcAddress(module_, "DllGetClassObject")));
        canUnloadNow_ = reinterpret_cast<CanUnloadFn>(
            reinterpret_cast<void*>(GetProcAddress(module_, "DllCanUnloadNow")));
        if (!getClassObject_ || !canUnloadNow_) return Fail("lacks DllGetClassObject or DllCanUnloadNow");
        if (PatchImport(module_, "shell32.dll", "ShellExecuteExW", reinterpret_cast<void*>(&RecordLaunch)) != 1)
            return Fail("has no one import of ShellExecuteExW to record its launches through");
        return true;
    }
    HRESULT GetClassObject(REFIID iid, void** out) const { return getClassObject_(test::kHandlerClsid, iid, out); }
    HRESULT CanUnloadNow() const { return canUnloadNow_(); }
    // FreeLibrary; true when the module has left the process.
    bool Unload()
    {
        FreeLibrary(std::exchange(module_, nullptr));
        return GetModuleHandleA(kLibraryName) == nullptr;
    }

private:
    using GetClassObjectFn = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
    using CanUnloadFn = HRESULT(WINAPI*)();
    bool Fail(const char* why)
    {
        std::fprintf(stderr, "%s %s\n", test::LibraryPath().c_str(), why);
        return false;
    }
    HMODULE module_ = nullptr;
    GetClassObjectFn getClassObject_ = nullptr;
    CanUnloadFn canUnloadNow_ = nullptr;
};

std::wstring Wide(const std::string& text)
{
    std::wstring wide(text.size() + 1, L'\0');
    wide.resize(MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], static_cast<int>(wide.size())) - 1);
    return wide;
}

struct PidlFree {
    void operator()(void* pidl) const { CoTaskMemFree(pidl); }
};
using UniquePidl = std::unique_ptr<std::remove_pointer_t<PIDLIST_ABSOLUTE>, PidlFree>;

UniquePidl PidlOf(const std::string& path)
{
    PIDLIST_ABSOLUTE pidl = nullptr;
    if (FAILED(SHParseDisplayName(Wide(path).c_str(), nullptr, &pidl, 0, nullptr))) return nullptr;
    return UniquePidl(pidl);
}

// The "Vokmark" submenu of a host menu, read back item by item: the
// favourites before the separator, the rest after it.
enum class MenuRead { Read, Gone, NoEntry };
struct SubmenuTexts {
    std::vector<std::string> Favorites, Tail;
};

MenuRead ReadSubmenu(HMENU host, SubmenuTexts& texts)
{
    texts = {};
    HMENU submenu = nullptr;
    for (int i = 0; i < GetMenuItemCount(host); ++i) {
        char text[64] = {};
        GetMenuStringA(host, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
        if (std::strcmp(text, "Vokmark") == 0) submenu = GetSubMenu(host, i);
    }
    if (!submenu) return MenuRead::NoEntry;
    const int count = GetMenuItemCount(submenu);
    if (!IsMenu(submenu) || count < 0) return MenuRead::Gone;
    bool separated = false;
    for (int i = 0; i < count; ++i) {
        char text[512] = {};
        MENUITEMINFOA info = {};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = sizeof text;
        if (!GetMenuItemInfoA(submenu, static_cast<UINT>(i), TRUE, &info)) return MenuRead::Gone;
        if (info.fType & MFT_SEPARATOR) {
            separated = true;
            continue;
        }
        (separated ? texts.Tail : texts.Favorites).push_back(text);
    }
    // Destroyed, or replaced by another under the same handle, while read.
    if (!IsMenu(submenu) || GetMenuItemCount(submenu) != count) return MenuRead::Gone;
    if (!separated) std::swap(texts.Favorites, texts.Tail);
    return MenuRead::Read;
}

int IndexOf(const std::vector<std::string>& names, const std::string& name)
{
    const auto at = std::find(names.begin(), names.end(), name);
    return at == names.end() ? -1 : static_cast<int>(at - names.begin());
}

HRESULT Invoke(IContextMenu& menu, int offset, HWND owner)
{
    CMINVOKECOMMANDINFO info = {};
    info.cbSize = sizeof info;
    info.hwnd = owner;
    info.lpVerb = MAKEINTRESOURCEA(offset);
    info.nShow = SW_SHOWNORMAL;
    return menu.InvokeCommand(&info);
}

std::string HelpText(IContextMenu& menu, int offset)
{
    char help[512] = {};
    if (FAILED(menu.GetCommandString(static_cast<UINT_PTR>(offset), GCS_HELPTEXTA, nullptr, help, sizeof help)))
        return std::string();
    return help;
}

// Dispatches the calling thread's messages for `ms`.
void PumpFor(DWORD ms)
{
    const ULONGLONG deadline = GetTickCount64() + ms;
    test::PumpUntil([&] { return GetTickCount64() >= deadline; }, ms + 50);
}

bool AnyLost(const std::vector<std::string>& paths, uint64_t& lost)
{
    bool any = false;
    for (const std::string& path : paths)
        if (!StillThere(path)) {
            ++lost;
            any = true;
            std::fprintf(stderr, "live favourite lost: %s\n", path.c_str());
        }
    return any;
}

// A file dialog of this program's own, as the library sees one: a "#32770"
// with a file-name box, the active window of its thread. `Restored` is set
// when the restore's closing Escape arrives.
struct DialogWithBox {
    explicit DialogWithBox(const std::string& caption, const std::string& text)
        : dialog(caption), box(dialog.hwnd(), "Edit", text), text(text)
    {
        box.onMessage = [this](const test::SeenMessage& seen) {
            if (seen.Message == WM_CHAR && seen.WParam == VK_ESCAPE) Restored = true;
        };
    }
    void Reset()
    {
        box.log.clear();
        Restored = false;
        if (box.text() != text) SetWindowTextA(box.hwnd(), text.c_str());
        if (GetActiveWindow() != dialog.hwnd()) SetActiveWindow(dialog.hwnd());
    }
    test::TestDialog dialog;
    test::RecordedControl box;
    const std::string text;
    bool Restored = false;
};

// ---- Load / use / unload cycles ----

constexpr int kBaseCycle = 10; // every cache filled by then
constexpr int kSampleEvery = 100;
constexpr DWORD kRestoreBoundMs = 3000;
// Over the sample after cycle 10: a leak of one handle every 60 cycles, or of
// about 1 KiB a cycle, breaks these within the long budget's 1,000 cycles
// (the short budget's 100 catch 12 KiB a cycle). The runtime's exception
// pool that every load used to leak, 72 KiB, broke them by far.
constexpr DWORD kCycleHandleCeiling = 16;
constexpr size_t kCyclePrivateCeiling = 1024 * 1024;

struct CycleFigures {
    uint64_t Cycles = 0, LoadFailures = 0, ObjectFailures = 0, WrongMenus = 0, WrongHelpTexts = 0;
    uint64_t WrongInvokeResults = 0, NotTyped = 0, RestorePending = 0, RefusedPending = 0, GrantedPending = 0;
    uint64_t RefusedOtherwise = 0, Granted = 0, RestoresNotRun = 0, BoxesNotRestored = 0, StillLoaded = 0;
    uint64_t Lost = 0;
};

void PrintCycleSample(int cycle, const Resources& r)
{
    std::printf("cycles sample %d: handles %lu (probed %lu), private %zu (committed private regions %zu)\n", cycle,
                r.Handles(), r.HandlesProbed, r.Private(), r.PrivateMapped);
}

// One load of the library: a background menu and a selection menu, a help
// text, the folder favourite chosen into `window`. False when going on is not
// safe (a restore that never ran, an unload refused for good).
bool RunOneCycle(const Installation& inst, PCIDLIST_ABSOLUTE folder, DialogWithBox& window, CycleFigures& f)
{
    const std::string data = inst.dir / "Data";
    const std::vector<std::string> expected = {"file", "folder", "web"};
    LoadedVok vok;
    if (!vok.Load()) return ++f.LoadFailures, false;
    ++f.Cycles;
    window.Reset();
    {
        ComPtr<IClassFactory> factory;
        ComPtr<IShellExtInit> background, selected;
        ComPtr<IContextMenu> backgroundMenu, selectedMenu;
        if (FAILED(vok.GetClassObject(IID_PPV_ARGS(&factory))) ||
            FAILED(factory->CreateInstance(nullptr, IID_PPV_ARGS(&background))) ||
            FAILED(factory->CreateInstance(nullptr, IID_PPV_ARGS(&selected))) ||
            FAILED(background.As(&backgroundMenu)) || FAILED(selected.As(&selectedMenu))) {
            ++f.ObjectFailures;
            return false; // nothing was chosen: nothing pending, but nothing to judge either
        }
        SubmenuTexts texts;
        UniqueMenu host(CreatePopupMenu());
        AppendMenuA(host.get(), MF_STRING, 1, "Open");
        const bool backgroundOk = background->Initialize(folder, nullptr, nullptr) == S_OK &&
                                  HRESULT_CODE(
                                      backgroundMenu->QueryContextMenu(host.get(), 0, 100, 0x7FFF, CMF_NORMAL)) == 7 &&
                                  ReadSubmenu(host.get(), texts) == MenuRead::Read && texts.Favorites == expected &&
                                  texts.Tail == std::vector<std::string>{"Remove", "Create favorite", "Maintenance"};

        DropSelection selection({data});
        UniqueMenu selectionHost(CreatePopupMenu());
        const bool selectedOk =
            selected->Initialize(nullptr, &selection, nullptr) == S_OK &&
            HRESULT_CODE(selectedMenu->QueryContextMenu(selectionHost.get(), 0, 100, 0x7FFF, CMF_NORMAL)) == 7 &&
            ReadSubmenu(selectionHost.get(), texts) == MenuRead::Read && texts.Favorites == expected;
        if (!backgroundOk || !selectedOk) ++f.WrongMenus;
        const int offset = IndexOf(expected, "folder");
        if (HelpText(*selectedMenu.Get(), offset) != data) ++f.WrongHelpTexts;
        if (Invoke(*selectedMenu.Get(), offset, window.dialog.hwnd()) != S_OK) ++f.WrongInvokeResults;
    }
    // Everything released. The box holds the path until its timer comes,
    // which only this thread's messages can bring.
    const bool typed = window.box.text() == data;
    const bool pending = typed && !window.Restored;
    if (!typed) ++f.NotTyped;
    const HRESULT early = vok.CanUnloadNow();
    if (pending) {
        ++f.RestorePending;
        ++(early == S_FALSE ? f.RefusedPending : f.GrantedPending);
    } else if (early != S_OK) {
        ++f.RefusedOtherwise;
        if (!test::PumpUntil([&] { return vok.CanUnloadNow() == S_OK; }, kRestoreBoundMs)) return false;
    }
    if (pending && !test::PumpUntil([&] { return window.Restored; }, kRestoreBoundMs)) {
        // Its timer still points into the library: it must stay loaded.
        ++f.RestoresNotRun;
        return false;
    }
    if (window.box.text() != window.text) ++f.BoxesNotRestored;
    if (pending) {
        // The first ask after a restore gives back its reference and
        // refuses (the timer's callback may still be on its way out); the
        // next is the answer.
        const HRESULT late = vok.CanUnloadNow() == S_OK ? S_OK : vok.CanUnloadNow();
        if (late == S_OK) {
            ++f.Granted;
        } else {
            ++f.RefusedOtherwise;
            // A host asks again later; so does this, for a while.
            if (!test::PumpUntil([&] { return vok.CanUnloadNow() == S_OK; }, kRestoreBoundMs)) return false;
        }
    } else if (early == S_OK) {
        ++f.Granted;
    }
    if (!vok.Unload()) ++f.StillLoaded;
    return true;
}

} // namespace

int RunCycles(int cycles)
{
    const Installation inst("harden-cycles");
    const std::vector<std::string> live = inst.MakeLiveFavorites("");
    if (GetModuleHandleA(kLibraryName)) {
        std::fprintf(stderr, "cycles: %s is loaded before the first cycle\n", kLibraryName);
        return kFindingExit;
    }
    const UniquePidl folder = PidlOf(inst.dir / "Data");
    DialogWithBox window("Open", "keep.txt");
    CycleFigures f;
    Resources base = Sample();
    size_t peakPrivate = 0;
    DWORD peakHandles = 0;
    bool sampled = false;
    bool completed = true;
    for (int i = 1; i <= cycles; ++i) {
        if (!RunOneCycle(inst, folder.get(), window, f)) {
            std::fprintf(stderr, "cycles: stopped in cycle %d\n", i);
            completed = false;
            break;
        }
        if (AnyLost(live, f.Lost)) {
            completed = false;
            break;
        }
        if (i == kBaseCycle || i % kSampleEvery == 0) {
            const Resources r = Sample();
            PrintCycleSample(i, r);
            if (i == kBaseCycle) {
                base = r;
            } else if (i > kBaseCycle) {
                sampled = true;
                peakHandles = std::max(peakHandles, r.Handles());
                peakPrivate = std::max(peakPrivate, r.Private());
            }
        }
    }
    const DWORD handles = peakHandles > base.Handles() ? peakHandles - base.Handles() : 0;
    const size_t privateBytes = peakPrivate > base.Private() ? peakPrivate - base.Private() : 0;
    const bool within = !sampled || (handles <= kCycleHandleCeiling && privateBytes <= kCyclePrivateCeiling);
    Figure("cycles", f.Cycles);
    Figure("cycles load failures", f.LoadFailures);
    Figure("cycles object failures", f.ObjectFailures);
    Figure("cycles wrong menus", f.WrongMenus);
    Figure("cycles wrong help texts", f.WrongHelpTexts);
    Figure("cycles wrong InvokeCommand results", f.WrongInvokeResults);
    Figure("cycles navigations not typed", f.NotTyped);
    Figure("cycles launches (must be 0)", g_wizardLaunches + g_otherLaunches);
    Figure("cycles with a restore pending", f.RestorePending);
    Figure("cycles unloads refused while a restore was pending", f.RefusedPending);
    Figure("cycles unloads granted while a restore was pending", f.GrantedPending);
    Figure("cycles unloads refused otherwise", f.RefusedOtherwise);
    Figure("cycles unloads granted", f.Granted);
    Figure("cycles restores that never ran", f.RestoresNotRun);
    Figure("cycles boxes not given back their text", f.BoxesNotRestored);
    Figure("cycles module still loaded after FreeLibrary", f.StillLoaded);
    Figure("cycles live favourites lost", f.Lost);
    std::printf("cycles growth after cycle %d: handles %lu, private %zu (ceiling %lu handles, %zu bytes)%s\n",
                kBaseCycle, handles, privateBytes, kCycleHandleCeiling, kCyclePrivateCeiling,
                sampled ? "" : "; no sample after the base: not measured");
    Figure("cycles ceilings exceeded", within ? 0 : 1);
    const uint64_t wrong = f.LoadFailures + f.ObjectFailures + f.WrongMenus + f.WrongHelpTexts + f.WrongInvokeResults +
                           f.NotTyped + g_wizardLaunches + g_otherLaunches + f.GrantedPending + f.RefusedOtherwise +
                           f.RestoresNotRun + f.BoxesNotRestored + f.StillLoaded + f.Lost +
                           (f.RefusedPending != f.RestorePending);
    return wrong || !within || !completed ? kFindingExit : 0;
}

namespace {

// ---- Two threads on one favourites folder ----

// The folder's favourites: three that are there throughout, and the one
// folder of each thread that it adds and removes, named so that the sorted
// list interleaves them.
const char* const kBaseNames[] = {"Alpha", "Epsilon", "Gamma"}; // folder link, ".url", file link
const char* const kAddedNames[] = {"Beta", "Delta"};            // one per thread
constexpr int kThreads = 2;
constexpr DWORD kShownMs = 2;         // how long a menu stays "on screen" before its command
constexpr DWORD kRestoreWaitMs = 500; // for the box's own restore after a navigation

// Wine 8.0's own Edit control cannot be typed into by two threads of one
// process at once: its Uniscribe script cache (init_script_cache,
// dlls/gdi32/uniscribe/usp10.c) soon walks a corrupt list and the process
// faults, with or without this library loaded. So the boxes of this run are
// a plain one-line box of this program's own, registered under the class
// name "Edit" for the program's instance (its windows get it in place of the
// system's; the library goes by the class name alone). It keeps text the way
// the library's keystrokes expect: EM_SETSEL(0, -1) selects all, WM_CLEAR
// empties a selected text, a printable WM_CHAR replaces a selection or is
// appended; Enter and Escape type nothing.
constexpr char kBoxClass[] = "Edit";

LRESULT CALLBACK PlainBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam)
{
    constexpr int kSelectedAll = 0;
    switch (message) {
    case EM_SETSEL: SetWindowLongPtrA(box, kSelectedAll, wParam == 0 && lParam == -1); return 0;
    case WM_CLEAR:
        if (GetWindowLongPtrA(box, kSelectedAll)) SetWindowTextA(box, "");
        SetWindowLongPtrA(box, kSelectedAll, 0);
        return 0;
    case WM_CHAR: {
        if (wParam < 0x20) return 0;
        char text[1024] = {};
        if (!GetWindowLongPtrA(box, kSelectedAll)) GetWindowTextA(box, text, sizeof text - 1);
        const size_t length = std::strlen(text);
        text[length] = static_cast<char>(wParam);
        text[length + 1] = '\0';
        SetWindowTextA(box, text);
        SetWindowLongPtrA(box, kSelectedAll, 0);
        return 0;
    }
    }
    return DefWindowProcA(box, message, wParam, lParam);
}

class PlainBoxClass {
public:
    PlainBoxClass()
    {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = PlainBoxProc;
        wc.cbWndExtra = sizeof(LONG_PTR);
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = kBoxClass;
        Registered = RegisterClassA(&wc) != 0;
    }
    ~PlainBoxClass()
    {
        if (Registered) UnregisterClassA(kBoxClass, GetModuleHandleA(nullptr));
    }
    bool Registered = false;
};

enum ThreadCount {
    tRounds,
    tObjectFailures,
    tMenus,
    tEmptyMenus,
    tMenusRead,
    tNoSubmenu,
    tTornLists,
    tBaseMissing,
    tWrongShapes,
    tAddedDeletedByAMenu,
    tGoneAtRead,
    tGoneBeforeCommand,
    tCommandsNotChosen,
    tHelpNamedOther,
    tNavigations,
    tNavigationsTyped,
    tRestoredOwnText,
    tRestoredOtherText,
    tNotRestored,
    tAdds,
    tAddsLaunchedWizard,
    tAddsOwnPresent,
    tRemoves,
    tRemovesOwnGone,
    tWizardsUnfilled,
    tWizardsFilled,
    tWizardUnexpectedPath,
    tSlowCommands,
    tWrongInvokeResults,
    tWizardEmptyPath,
    tWizardSavesRefused,
    kThreadCounts
};

struct ThreadFigures {
    uint64_t& operator[](ThreadCount c) { return n[c]; }
    void Add(const ThreadFigures& o)
    {
        for (int i = 0; i < kThreadCounts; ++i) n[i] += o.n[i];
    }
    uint64_t n[kThreadCounts] = {};
};

struct ThreadsShared {
    LoadedVok& Vok;
    const Installation& Inst;
    std::map<std::string, int> Rank; // the sorted universe of names
    ULONGLONG Deadline = 0;
    std::atomic<uint64_t> CommandsStarted{0};
    std::atomic<int> CommandsInFlight{0};
};

// The Create Shortcut wizard as this program stands in for it: a "#32770"
// of that title with one box; Enter in the box saves a link to what was
// typed, named after its last part, as the wizard would after its pages.
struct WizardStandIn {
    explicit WizardStandIn(const std::string& favorites) : dialog(kWizardTitle), box(dialog.hwnd(), "Edit", "")
    {
        box.onMessage = [this, favorites](const test::SeenMessage& seen) {
            if (seen.Message != WM_KEYDOWN || seen.WParam != VK_RETURN || Filled) return;
            Filled = true;
            std::string typed = box.text();
            if (typed.size() >= 2 && typed.front() == '"' && typed.back() == '"')
                typed = typed.substr(1, typed.size() - 2);
            const std::string name = typed.substr(typed.rfind('\\') + 1);
            Known = std::find_if(std::begin(kAddedNames), std::end(kAddedNames),
                                 [&](const char* added) { return name == added; }) != std::end(kAddedNames);
            if (Known)
                Saved = SaveLink(favorites + name + ".lnk", typed);
            else if (!typed.empty())
                std::fprintf(stderr, "threads: the wizard was given \"%s\"\n", typed.c_str());
            Empty = typed.empty();
            // Past its first page: no longer the window the library looks for.
            SetWindowTextA(dialog.hwnd(), "Create Shortcut - done");
        };
        test::BringToForeground(dialog.hwnd(), 1000);
    }
    // The wizard's own save: an error (a menu reading the old link holds it
    // open against writers) is its to show, not a lost favourite.
    static HRESULT SaveLink(const std::string& linkPath, const std::string& target)
    {
        ComPtr<IShellLinkA> link;
        ComPtr<IPersistFile> file;
        HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&link));
        if (SUCCEEDED(hr)) hr = link->SetPath(target.c_str());
        if (SUCCEEDED(hr)) hr = link.As(&file);
        if (SUCCEEDED(hr)) hr = file->Save(Wide(linkPath).c_str(), TRUE);
        return hr;
    }
    test::TestDialog dialog;
    test::RecordedControl box;
    bool Filled = false, Known = true, Empty = false;
    HRESULT Saved = S_FALSE; // S_FALSE: nothing to save
};

class ThreadRun {
public:
    ThreadRun(ThreadsShared& shared, int index, uint64_t rounds)
        : shared_(shared), index_(index), rounds_(rounds), folder_(shared.Inst.dir / kAddedNames[index]),
          ownLink_(shared.Inst.favorites + kAddedNames[index] + ".lnk"),
          otherFolder_(shared.Inst.dir / kAddedNames[1 - index])
    {
    }
    static DWORD WINAPI Main(LPVOID self)
    {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        static_cast<ThreadRun*>(self)->Go();
        CoUninitialize();
        return 0;
    }
    void OpenWizard() { wizards_.push_back(std::make_unique<WizardStandIn>(shared_.Inst.favorites)); }

    ThreadFigures F;
    std::set<std::string> Lists; // every list read, its names joined
    bool Finished = false;

private:
    void Go()
    {
        t_run = this;
        const UniquePidl folder = PidlOf(folder_);
        {
            DialogWithBox window("Open " + std::to_string(index_), BoxText(index_));
            window_ = &window;
            ComPtr<IClassFactory> factory;
            if (folder && SUCCEEDED(shared_.Vok.GetClassObject(IID_PPV_ARGS(&factory)))) {
                for (uint64_t r = 0; r < rounds_ && GetTickCount64() < shared_.Deadline; ++r)
                    Round(*factory.Get(), folder.get(), r);
                Finished = F[tRounds] == rounds_;
            } else {
                ++F[tObjectFailures];
            }
            // A restore still pending on this box runs now, or is forgotten
            // with the box.
            test::PumpUntil([&] { return window.Restored || window.box.text() == window.text; }, kRestoreWaitMs);
            CloseWizards();
            window_ = nullptr;
        }
        t_run = nullptr;
    }

    static std::string BoxText(int index) { return "keep " + std::to_string(index) + ".txt"; }

    void CloseWizards()
    {
        for (const auto& wizard : wizards_) {
            ++(wizard->Filled ? F[tWizardsFilled] : F[tWizardsUnfilled]);
            if (wizard->Empty)
                ++F[tWizardEmptyPath];
            else if (!wizard->Known)
                ++F[tWizardUnexpectedPath];
            if (FAILED(wizard->Saved)) ++F[tWizardSavesRefused];
        }
        wizards_.clear();
    }

    // The menu's favourites must be a list the folder held at some moment:
    // all the base names, any of the added ones, each once, in sorted order;
    // after them the list action, Create favorite and Maintenance.
    void Judge(const SubmenuTexts& texts)
    {
        ++F[tMenusRead];
        std::string joined;
        for (const std::string& name : texts.Favorites) joined += name + ",";
        Lists.insert(joined);
        int last = -1;
        bool torn = false;
        for (const std::string& name : texts.Favorites) {
            const auto rank = shared_.Rank.find(name);
            if (rank == shared_.Rank.end() || rank->second <= last)
                torn = true;
            else
                last = rank->second;
        }
        bool baseMissing = false;
        for (const char* name : kBaseNames)
            if (IndexOf(texts.Favorites, name) < 0) baseMissing = true;
        const bool shape = texts.Tail.size() == 3 && (texts.Tail[0] == "Add to list" || texts.Tail[0] == "Remove") &&
                           texts.Tail[1] == "Create favorite" && texts.Tail[2] == "Maintenance";
        if (torn) ++F[tTornLists];
        if (baseMissing) ++F[tBaseMissing];
        if (!shape) ++F[tWrongShapes];
        if ((torn || baseMissing || !shape) && F[tTornLists] + F[tBaseMissing] + F[tWrongShapes] <= 5) {
            std::string line;
            for (const std::string& name : texts.Favorites) line += " [" + name + "]";
            line += " |";
            for (const std::string& item : texts.Tail) line += " [" + item + "]";
            std::fprintf(stderr, "threads: thread %d read the menu%s\n", index_, line.c_str());
        }
    }

    std::vector<bool> AddedPresent() const
    {
        std::vector<bool> present;
        for (const char* name : kAddedNames) present.push_back(StillThere(shared_.Inst.favorites + name + ".lnk"));
        return present;
    }

    void Round(IClassFactory& factory, PCIDLIST_ABSOLUTE folder, uint64_t round)
    {
        ++F[tRounds];
        window_->Reset();
        ComPtr<IShellExtInit> handler;
        ComPtr<IContextMenu> menu;
        if (FAILED(factory.CreateInstance(nullptr, IID_PPV_ARGS(&handler))) || FAILED(handler.As(&menu)) ||
            handler->Initialize(folder, nullptr, nullptr) != S_OK) {
            ++F[tObjectFailures];
            return;
        }
        UniqueMenu host(CreatePopupMenu());
        AppendMenuA(host.get(), MF_STRING, 1, "Open");
        // No command ran anywhere while this menu read the folder: then an
        // added favourite that went away was deleted by a menu.
        const uint64_t started = shared_.CommandsStarted;
        const bool quietBefore = shared_.CommandsInFlight == 0;
        const std::vector<bool> before = AddedPresent();
        const HRESULT built = menu->QueryContextMenu(host.get(), 0, 100, 0x7FFF, CMF_NORMAL);
        const std::vector<bool> after = AddedPresent();
        const bool quiet = quietBefore && shared_.CommandsInFlight == 0 && shared_.CommandsStarted == started;
        for (size_t k = 0; k < before.size(); ++k)
            if (quiet && before[k] && !after[k]) {
                ++F[tAddedDeletedByAMenu];
                std::fprintf(stderr, "threads: %s.lnk went away while only menus ran\n", kAddedNames[k]);
            }
        ++F[tMenus];
        if (HRESULT_CODE(built) == 0) {
            ++F[tEmptyMenus];
            return;
        }

        SubmenuTexts texts;
        const MenuRead read = ReadSubmenu(host.get(), texts);
        if (read == MenuRead::NoEntry) ++F[tNoSubmenu];
        if (read == MenuRead::Gone) ++F[tGoneAtRead];
        if (read != MenuRead::Read) return;
        Judge(texts);
        // The menu on screen a moment; then the user chooses from it.
        PumpFor(kShownMs);
        SubmenuTexts again;
        if (ReadSubmenu(host.get(), again) != MenuRead::Read) {
            ++F[tGoneBeforeCommand];
            ++F[tCommandsNotChosen]; // an empty submenu on screen offers nothing to choose
            return;
        }
        const int listAction = static_cast<int>(texts.Favorites.size()) + (texts.Favorites.empty() ? 0 : 1);
        const std::string help = HelpText(*menu.Get(), listAction);
        if (help.find('"' + otherFolder_ + '"') != std::string::npos) ++F[tHelpNamedOther];

        const bool navigate = round % 2 == 0;
        const int offset = navigate ? IndexOf(texts.Favorites, "Alpha") : listAction;
        if (offset < 0 || texts.Tail.empty()) return;
        const bool adding = !navigate && texts.Tail[0] == "Add to list";
        const uint64_t wizardsBefore = wizards_.size();
        const ULONGLONG start = GetTickCount64();
        ++shared_.CommandsInFlight;
        ++shared_.CommandsStarted;
        const HRESULT invoked = Invoke(*menu.Get(), offset, window_->dialog.hwnd());
        --shared_.CommandsInFlight;
        if (invoked != S_OK) ++F[tWrongInvokeResults];
        if (GetTickCount64() - start > 2000) ++F[tSlowCommands];
        if (navigate) {
            ++F[tNavigations];
            if (window_->box.text() == shared_.Inst.dir / "Data") {
                ++F[tNavigationsTyped];
                if (test::PumpUntil([&] { return window_->Restored; }, kRestoreWaitMs)) {
                    const std::string now = window_->box.text();
                    ++(now == window_->text ? F[tRestoredOwnText] : F[tRestoredOtherText]);
                } else {
                    ++F[tNotRestored]; // the other thread's restore was pending: none for this box
                }
            }
        } else if (adding) {
            ++F[tAdds];
            if (wizards_.size() > wizardsBefore) ++F[tAddsLaunchedWizard];
            PumpFor(5); // the wizard's Enter, when another thread filled it
            if (StillThere(ownLink_)) ++F[tAddsOwnPresent];
        } else {
            ++F[tRemoves];
            if (!StillThere(ownLink_)) ++F[tRemovesOwnGone];
        }
        CloseWizards();
    }

    ThreadsShared& shared_;
    const int index_;
    const uint64_t rounds_;
    const std::string folder_, ownLink_, otherFolder_;
    DialogWithBox* window_ = nullptr;
    std::vector<std::unique_ptr<WizardStandIn>> wizards_;
};

void StandInForWizard(ThreadRun& run)
{
    run.OpenWizard();
}

} // namespace

int RunThreads(uint64_t rounds)
{
    const Installation inst("harden-threads");
    test::MakeFolder(inst.dir / kAddedNames[0]);
    test::MakeFolder(inst.dir / kAddedNames[1]);
    const std::vector<std::string> live = {inst.favorites + "Alpha.lnk", inst.favorites + "Epsilon.url",
                                           inst.favorites + "Gamma.lnk"};
    test::MakeLink(live[0], inst.dir / "Data");
    test::WriteBytes(live[1], Installation::kUrlText);
    test::MakeLink(live[2], inst.dir / "report.txt");

    const PlainBoxClass boxes;
    if (!boxes.Registered) {
        std::fprintf(stderr, "threads: the plain box class did not register\n");
        return kFindingExit;
    }
    LoadedVok vok;
    if (!vok.Load()) return kFindingExit;
    ThreadsShared shared{vok, inst, {}, 0};
    std::vector<WString> universe;
    for (const char* name : kBaseNames) universe.push_back(WideOf(name));
    for (const char* name : kAddedNames) universe.push_back(WideOf(name));
    SortFavoriteNames(universe); // the library's own order
    for (size_t i = 0; i < universe.size(); ++i) shared.Rank[AnsiOf(universe[i])] = static_cast<int>(i);
    // The whole run is bounded: the threads stop starting rounds at the
    // deadline, and are waited for a little longer.
    const ULONGLONG bound = std::max<ULONGLONG>(60000, rounds * 250);
    shared.Deadline = GetTickCount64() + bound;
    const ULONGLONG started = GetTickCount64();

    std::vector<std::unique_ptr<ThreadRun>> runs;
    std::vector<HANDLE> threads;
    for (int i = 0; i < kThreads; ++i) {
        runs.push_back(std::make_unique<ThreadRun>(shared, i, rounds));
        threads.push_back(CreateThread(nullptr, 0, &ThreadRun::Main, runs.back().get(), 0, nullptr));
    }
    bool joined = true;
    for (HANDLE thread : threads) {
        const ULONGLONG now = GetTickCount64(), limit = shared.Deadline + 20000;
        joined = joined && thread &&
                 WaitForSingleObject(thread, now < limit ? static_cast<DWORD>(limit - now) : 0) == WAIT_OBJECT_0;
    }
    const ULONGLONG elapsed = GetTickCount64() - started;
    ThreadFigures f;
    bool finished = joined;
    std::set<std::string> lists;
    for (const auto& run : runs) {
        lists.insert(run->Lists.begin(), run->Lists.end());
        f.Add(run->F);
        finished = finished && run->Finished;
    }
    // Both threads are done (or stuck inside the library, which then stays).
    HRESULT unload = S_FALSE;
    bool gone = false;
    if (joined) {
        // Asked twice: the first ask gives back the finished restores' references.
        unload = vok.CanUnloadNow() == S_OK ? S_OK : vok.CanUnloadNow();
        if (unload == S_OK) gone = vok.Unload();
    }
    for (HANDLE thread : threads)
        if (thread) CloseHandle(thread);
    if (!joined) {
        // A thread still inside the library keeps its run: left to the exit.
        std::fprintf(stderr, "threads: a thread did not come back within the bound\n");
        for (auto& run : runs) run.release();
    }
    uint64_t lost = 0;
    AnyLost(live, lost);

    Figure("threads", kThreads);
    Figure("threads rounds", f[tRounds]);
    Figure("threads rounds not finished within the bound", finished ? 0 : 1);
    std::printf("threads run time: %llu ms\n", static_cast<unsigned long long>(elapsed));
    Figure("threads object failures", f[tObjectFailures]);
    Figure("threads menus built", f[tMenus]);
    Figure("threads shared state, menus with no items (the other thread's Initialize under way)", f[tEmptyMenus]);
    Figure("threads menus without their submenu", f[tNoSubmenu]);
    Figure("threads menus read back", f[tMenusRead]);
    Figure("threads different lists read (of the 4 the folder can hold)", lists.size());
    Figure("threads torn lists", f[tTornLists]);
    Figure("threads menus lacking a base favourite", f[tBaseMissing]);
    Figure("threads menus of a wrong shape", f[tWrongShapes]);
    Figure("threads added favourites deleted while only menus ran", f[tAddedDeletedByAMenu]);
    Figure("threads live favourites lost", lost);
    Figure("threads wrong InvokeCommand results", f[tWrongInvokeResults]);
    Figure("threads wizard given an unexpected path", f[tWizardUnexpectedPath]);
    Figure("threads DllCanUnloadNow refused at the end", unload == S_OK ? 0 : 1);
    Figure("threads module still loaded at the end", gone ? 0 : 1);
    // What the one process-wide state does to two threads (measured, not
    // judged): the next menu built anywhere destroys the last submenu, and
    // the state a command runs on is the last menu's.
    Figure("threads shared state, submenus destroyed before they were read", f[tGoneAtRead]);
    Figure("threads shared state, submenus destroyed while shown, before the command", f[tGoneBeforeCommand]);
    Figure("threads shared state, commands not chosen, the submenu gone", f[tCommandsNotChosen]);
    Figure("threads shared state, list-action help texts naming the other thread's folder", f[tHelpNamedOther]);
    Figure("threads navigations", f[tNavigations]);
    Figure("threads navigations typed into this thread's box", f[tNavigationsTyped]);
    Figure("threads shared state, boxes given back their own text", f[tRestoredOwnText]);
    Figure("threads shared state, boxes given back the other thread's text", f[tRestoredOtherText]);
    Figure("threads shared state, boxes left with the path (the other's restore pending)", f[tNotRestored]);
    Figure("threads adds", f[tAdds]);
    Figure("threads adds that started this thread's wizard", f[tAddsLaunchedWizard]);
    Figure("threads adds after which this thread's folder was a favourite", f[tAddsOwnPresent]);
    Figure("threads removes", f[tRemoves]);
    Figure("threads removes after which this thread's folder was not a favourite", f[tRemovesOwnGone]);
    Figure("threads wizards filled", f[tWizardsFilled]);
    Figure("threads shared state, wizards given an empty path (the other thread's Initialize under way)",
           f[tWizardEmptyPath]);
    Figure("threads wizard saves refused (a menu was reading the old link)", f[tWizardSavesRefused]);
    Figure("threads shared state, wizards left unfilled", f[tWizardsUnfilled]);
    Figure("threads commands over 2 s", f[tSlowCommands]);
    Figure("threads wizard launches recorded", g_wizardLaunches);
    Figure("threads other launches recorded", g_otherLaunches);
    const uint64_t wrong = f[tObjectFailures] + f[tNoSubmenu] + f[tTornLists] + f[tBaseMissing] + f[tWrongShapes] +
                           f[tAddedDeletedByAMenu] + lost + f[tWrongInvokeResults] + f[tWizardUnexpectedPath] +
                           (unload == S_OK ? 0 : 1) + (gone ? 0 : 1) + (finished ? 0 : 1);
    return wrong ? kFindingExit : 0;
}

} // namespace vok::harden
