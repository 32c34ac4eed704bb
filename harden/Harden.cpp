// The executable of `make harden`, one batch per run so that tools/harden.sh
// can bound each run and count a crash or a hang instead of waiting on one:
//   harden.exe url SEED FIRST COUNT   ".url" files read by GetShortcutUrl
//   harden.exe lnk SEED FIRST COUNT   damaged ".lnk" files read by real menus
//   harden.exe folders MANY            the favourites folder missing or a file, odd names, MANY favourites
//   harden.exe faults                  faults injected around menus, commands and the About window's store
//   harden.exe com STEP                the handler's inputs through its COM interfaces
//   harden.exe reg                     registry values of every wrong type, then a menu
//   harden.exe soak MENUS              menus built and released, resources sampled
//   harden.exe soak-leak MENUS         the same with a deliberate leak, to prove the ceiling
//   harden.exe cycles N                vok.dll loaded, used and unloaded N times (HardenLoad.cpp)
//   harden.exe threads ROUNDS          two threads on one loaded vok.dll, ROUNDS menus each (HardenLoad.cpp)
//   harden.exe crash                   a deliberate crash, to prove the guard
// Figures go to standard output as "name: value" lines; the script adds
// them up. A crash ends the process with kCrashExit rather than starting a
// debugger (under Wine that would wait for ever).
#include "HardenCases.h"
#include "HardenChecks.h"
#include "HardenRun.h"
#include "TestSupport.h"
#include "Common/Unique.h"
#include "Work/ExtensionState.h"
#include "Work/Menu/MenuHandler.h"
#include "Work/Registry.h"
#include "Work/Store/Shortcuts.h"

#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <wrl/client.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

using namespace vok;
using namespace vok::harden;

namespace {

constexpr UINT kCrashExit = 3;

LONG WINAPI CountCrash(EXCEPTION_POINTERS* info)
{
    // Where it happened, as module + offset, so a crash names its culprit.
    void* const address = info->ExceptionRecord->ExceptionAddress;
    HMODULE module = nullptr;
    char name[MAX_PATH] = "?";
    if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           static_cast<LPCSTR>(address), &module))
        GetModuleFileNameA(module, name, MAX_PATH);
    std::fprintf(stderr, "crash: exception 0x%08lX at %s+0x%llX\n", info->ExceptionRecord->ExceptionCode, name,
                 static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(address) -
                                                 reinterpret_cast<uintptr_t>(module)));
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), kCrashExit);
    return EXCEPTION_EXECUTE_HANDLER;
}

std::string Hex(const std::string& bytes, size_t limit = 48)
{
    std::string out;
    char cell[4];
    for (size_t i = 0; i < bytes.size() && i < limit; ++i) {
        std::snprintf(cell, sizeof cell, "%02X", static_cast<unsigned char>(bytes[i]));
        out += cell;
    }
    return bytes.size() > limit ? out + "..." : out;
}

// ---- ".url" files ----

int RunUrl(uint64_t seed, uint64_t first, uint64_t count)
{
    test::ScratchDir dir("harden-url");
    const std::string path = dir / "case.url";
    std::map<int, uint64_t> byKind;
    uint64_t accepted = 0, mismatches = 0, atLimit = 0, overLimit = 0;
    for (uint64_t index = first; index < first + count; ++index) {
        int kind = 0;
        const std::string bytes = MakeUrlCase(seed, index, kMaxUrlFileSize, kind);
        test::WriteBytes(path, bytes);
        const std::string url = GetShortcutUrl(test::W(path));
        const std::string expected = ExpectedUrl(bytes, kMaxUrlFileSize);
        ++byKind[kind];
        if (!url.empty()) ++accepted;
        if (bytes.size() == kMaxUrlFileSize) ++atLimit;
        if (bytes.size() > kMaxUrlFileSize) ++overLimit;
        if (url != expected && ++mismatches <= 5)
            std::fprintf(stderr, "url case %llu (%s, %zu bytes %s): read \"%s\", expected \"%s\"\n",
                         static_cast<unsigned long long>(index), UrlCaseKindName(kind), bytes.size(),
                         Hex(bytes).c_str(), url.c_str(), expected.c_str());
    }
    Figure("url cases", count);
    for (const auto& [kind, n] : byKind) std::printf("url cases %s: %llu\n", UrlCaseKindName(kind), n);
    Figure("url accepted", accepted);
    Figure("url files of exactly the limit", atLimit);
    Figure("url files over the limit", overLimit);
    Figure("url wrong results", mismatches);
    return mismatches ? kFindingExit : 0;
}

// ---- Damaged links in a real favourites folder ----

struct Prejudged {
    std::string Path;
    uint64_t Index = 0;
    int Kind = 0;
    bool Readable = false;
    bool Live = false;
};

int RunLinks(uint64_t seed, uint64_t first, uint64_t count)
{
    constexpr uint64_t kPerMenu = 8;
    const Installation inst("harden-lnk");
    const test::ScratchDir& dir = inst.dir;
    const std::string& favorites = inst.favorites;
    test::MakeLink(dir / "template.lnk", dir / "report.txt");
    std::string good;
    {
        UniqueFile file(CreateFileA((dir / "template.lnk").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
        good.resize(GetFileSize(file.get(), nullptr));
        DWORD read = 0;
        ReadFile(file.get(), &good[0], static_cast<DWORD>(good.size()), &read, nullptr);
        good.resize(read);
    }
    const std::vector<std::string> live = inst.MakeLiveFavorites("live ");
    test::RestartStateWithInstallFolder(dir / "inst");

    std::map<int, uint64_t> byKind;
    uint64_t menus = 0, unreadable = 0, readableDead = 0, readableLive = 0;
    uint64_t unreadableDeleted = 0, liveDeleted = 0, deadDeleted = 0, liveFavoritesLost = 0;
    for (uint64_t index = first; index < first + count;) {
        std::vector<Prejudged> batch;
        for (uint64_t k = 0; k < kPerMenu && index < first + count; ++k, ++index) {
            Prejudged one;
            one.Index = index;
            one.Path = favorites + "bad " + std::to_string(index) + ".lnk";
            test::WriteBytes(one.Path, MakeLinkCase(good, seed, index, one.Kind));
            WString target;
            one.Readable = ReadLinkTarget(test::W(one.Path), target);
            const WString expanded = ExpandTargetPath(target);
            one.Live = one.Readable && (FileExists(expanded) || FolderExists(expanded));
            ++byKind[one.Kind];
            if (!one.Readable)
                ++unreadable;
            else if (one.Live)
                ++readableLive;
            else
                ++readableDead;
            batch.push_back(one);
        }
        BuildMenu(dir / "Data");
        ++menus;
        for (const Prejudged& one : batch) {
            if (StillThere(one.Path)) {
                DeleteFileA(one.Path.c_str());
                continue;
            }
            if (!one.Readable)
                ++unreadableDeleted;
            else if (one.Live)
                ++liveDeleted;
            else
                ++deadDeleted;
            if (!one.Readable || one.Live)
                std::fprintf(stderr, "link case %llu (%s) deleted though %s\n",
                             static_cast<unsigned long long>(one.Index), LinkCaseKindName(one.Kind),
                             one.Readable ? "live" : "unreadable");
        }
        for (const std::string& path : live)
            if (!StillThere(path)) {
                ++liveFavoritesLost;
                std::fprintf(stderr, "live favourite lost: %s\n", path.c_str());
            }
        if (liveFavoritesLost) break; // the folder no longer holds what later menus are judged by
    }
    test::StopState();
    Figure("link cases", count);
    for (const auto& [kind, n] : byKind) std::printf("link cases %s: %llu\n", LinkCaseKindName(kind), n);
    Figure("link menus", menus);
    Figure("link files unreadable", unreadable);
    Figure("link files readable, target missing", readableDead);
    Figure("link files readable, target there", readableLive);
    Figure("link dead files deleted", deadDeleted);
    Figure("link unreadable files deleted", unreadableDeleted);
    Figure("link live files deleted", liveDeleted);
    Figure("link live favourites lost", liveFavoritesLost);
    return unreadableDeleted + liveDeleted + liveFavoritesLost ? kFindingExit : 0;
}

// ---- Registry values of every wrong type and size ----

std::string Repeat(char c, size_t n)
{
    return std::string(n, c);
}

std::vector<RegistryRow> RegistryRows(const std::string& folder)
{
    const std::string zero4("\0\0\0\0", 4), one4("\1\0\0\0", 4);
    return {
        {"Status", REG_DWORD, zero4, "REG_DWORD 0 (the one way to switch off)"},
        {"Status", REG_DWORD, one4, "REG_DWORD 1"},
        {"Status", REG_SZ, std::string("0", 2), "REG_SZ \"0\""},
        {"Status", REG_SZ, std::string("1", 2), "REG_SZ \"1\""},
        {"Status", REG_EXPAND_SZ, std::string("0", 2), "REG_EXPAND_SZ \"0\""},
        {"Status", REG_MULTI_SZ, std::string("0\0\0", 3), "REG_MULTI_SZ \"0\""},
        {"Status", REG_BINARY, std::string(), "REG_BINARY of 0 bytes"},
        {"Status", REG_BINARY, std::string(3, '\0'), "REG_BINARY of 3 bytes"},
        {"Status", REG_BINARY, zero4, "REG_BINARY of 4 zero bytes"},
        {"Status", REG_BINARY, std::string(8, '\0'), "REG_BINARY of 8 bytes"},
        {"Status", REG_QWORD, std::string(8, '\0'), "REG_QWORD 0"},
        {"Status", REG_DWORD, std::string(2, '\0'), "REG_DWORD of 2 bytes"},
        {"Status", REG_DWORD, std::string(8, '\0'), "REG_DWORD of 8 bytes"},
        {"Status", REG_DWORD, std::string(), "REG_DWORD of 0 bytes"},
        {"Status", REG_DWORD_BIG_ENDIAN, zero4, "REG_DWORD_BIG_ENDIAN 0"},
        {"Status", REG_NONE, zero4, "REG_NONE of 4 zero bytes"},
        {"Status", REG_BINARY, std::string(32 * 1024, '\0'), "REG_BINARY of 32 KiB"},
        {"Install Folder", REG_SZ, folder + '\0', "REG_SZ, the real folder"},
        {"Install Folder", REG_SZ, folder, "REG_SZ unterminated"},
        {"Install Folder", REG_EXPAND_SZ, folder + '\0', "REG_EXPAND_SZ"},
        {"Install Folder", REG_DWORD, one4, "REG_DWORD"},
        {"Install Folder", REG_QWORD, std::string(8, '\1'), "REG_QWORD"},
        {"Install Folder", REG_BINARY, folder, "REG_BINARY holding the folder"},
        {"Install Folder", REG_MULTI_SZ, folder + std::string(2, '\0'), "REG_MULTI_SZ holding the folder"},
        {"Install Folder", REG_NONE, std::string(), "REG_NONE of 0 bytes"},
        {"Install Folder", REG_SZ, std::string(), "REG_SZ of 0 bytes"},
        {"Install Folder", REG_SZ, std::string(1, 'C'), "REG_SZ of 1 byte"},
        {"Install Folder", REG_SZ, Repeat('a', 32 * 1024) + '\0', "REG_SZ 32 KiB long"},
        {"Install Folder", REG_SZ, folder + "\\" + Repeat('b', 300) + '\0', "REG_SZ longer than MAX_PATH"},
        {"Install Folder", REG_MULTI_SZ, Repeat('c', 32 * 1024) + std::string(2, '\0'), "REG_MULTI_SZ 32 KiB"},
    };
}

int RunRegistry()
{
    const Installation inst("harden-reg");
    const test::ScratchDir& dir = inst.dir;
    const std::string folder = dir / "inst";
    test::MakeLink(inst.favorites + "data.lnk", dir / "Data");
    uint64_t rows = 0, wrong = 0, menus = 0;
    for (const RegistryRow& row : RegistryRows(folder)) {
        RegDeleteTreeA(HKEY_CURRENT_USER, kVokKey);
        if (std::strcmp(row.Value, "Status") == 0) test::SetInstallFolder(folder);
        test::SetVokValue(row.Value, row.Type, row.Data.data(), static_cast<DWORD>(row.Data.size()));
        test::StopState();
        StartExtensionState(GetModuleHandleA(nullptr));
        {
            MenuStateAccess state;
            state->ContextKind = ckWindowBackground;
            state->TargetPath = test::W(dir / "Data");
        }
        UniqueMenu host(CreatePopupMenu());
        const HRESULT built = QueryContextMenu(host.get(), 0, 100, 0x7FFF, CMF_NORMAL);
        ++menus;
        bool enabled = false;
        std::string favoritesDir;
        WithState([&](ExtensionState& s) {
            enabled = s.Enabled;
            favoritesDir = AnsiOf(s.FavoritesDir);
        });
        const bool asExpected = enabled == ExpectEnabled(row) && favoritesDir == ExpectFavoritesDir(row, folder) &&
                                (HRESULT_CODE(built) == 0) == (!enabled || favoritesDir.empty());
        ++rows;
        if (!asExpected) ++wrong;
        std::printf("registry row %s as %s: %s, %s, menu of %d items%s\n", row.Value, row.Label, enabled ? "on" : "off",
                    favoritesDir.empty() ? "no folder" : "a folder", static_cast<int>(HRESULT_CODE(built)),
                    asExpected ? "" : "  <- NOT AS EXPECTED");
    }
    test::StopState();
    Figure("registry rows", rows);
    Figure("registry menus built", menus);
    Figure("registry wrong results", wrong);
    return wrong ? kFindingExit : 0;
}

// ---- The handler's inputs through its COM interfaces ----

HRESULT InvokeOffset(IContextMenu& menu, UINT_PTR verb, DWORD size)
{
    CMINVOKECOMMANDINFOEX info = {};
    info.cbSize = size;
    info.lpVerb = reinterpret_cast<LPCSTR>(verb);
    info.nShow = SW_SHOWNORMAL;
    return menu.InvokeCommand(reinterpret_cast<CMINVOKECOMMANDINFO*>(&info));
}

// `sweep`: 0 for none, else the step through the offsets 0 to 70,000.
void Exercise(IShellExtInit& init, IDataObject* selection, PCIDLIST_ABSOLUTE folder, UINT sweep, ComFigures& f)
{
    Microsoft::WRL::ComPtr<IContextMenu> menu;
    if (FAILED(init.QueryInterface(IID_PPV_ARGS(&menu)))) return;
    init.Initialize(folder, selection, nullptr);
    ++f.Initializes;
    UniqueMenu host(CreatePopupMenu());
    AppendMenuA(host.get(), MF_STRING, 1, "Open");
    const HRESULT built = menu->QueryContextMenu(host.get(), 0, 100, 0x7FFF, CMF_NORMAL);
    ++f.Menus;
    const UINT used = SUCCEEDED(built) ? HRESULT_CODE(built) : 0;

    const UINT types[] = {GCS_VERBA, GCS_HELPTEXTA, GCS_VALIDATEA, 3, GCS_VERBW, GCS_HELPTEXTW, GCS_VALIDATEW, 7,
                          8,         0xFFFFFFFFu};
    const UINT sizes[] = {0, 1, 2, 5, 260, 512};
    std::vector<UINT_PTR> offsets = {static_cast<UINT_PTR>(-1), 0xFFFFFFFFu, 32767, 32768, 65535, 65536, 69999, 70000};
    for (UINT o = 0; o < used + 4; ++o) offsets.push_back(o);
    for (UINT_PTR offset : offsets)
        for (UINT type : types)
            for (UINT cchMax : sizes) AskString(*menu.Get(), offset, type, cchMax, f);
    if (sweep)
        for (UINT offset = 0; offset <= 70000; offset += sweep) AskString(*menu.Get(), offset, GCS_HELPTEXTA, 16, f);

    // Offsets past the menu, verb strings and the extended record: none of
    // them may run anything. (The menu's own commands open windows and the
    // shell; the menu tests run those.)
    auto expect = [&](HRESULT got, HRESULT wanted) {
        ++f.Invokes;
        if (got != wanted) ++f.WrongInvokeResults;
    };
    for (UINT offset = used; offset < used + 8; ++offset) {
        expect(InvokeOffset(*menu.Get(), offset, sizeof(CMINVOKECOMMANDINFO)), S_OK);
        expect(InvokeOffset(*menu.Get(), offset, sizeof(CMINVOKECOMMANDINFOEX)), S_OK);
    }
    expect(InvokeOffset(*menu.Get(), 0xFFFF, sizeof(CMINVOKECOMMANDINFOEX)), S_OK);
    const std::string longVerb(10000, 'v');
    for (const char* verb : {"open", "", "properties", "Vokmark", longVerb.c_str()})
        expect(InvokeOffset(*menu.Get(), reinterpret_cast<UINT_PTR>(verb), sizeof(CMINVOKECOMMANDINFOEX)), E_FAIL);
    CMINVOKECOMMANDINFOEX unicode = {};
    unicode.cbSize = sizeof unicode;
    unicode.fMask = CMIC_MASK_UNICODE;
    unicode.lpVerb = "open";
    unicode.lpVerbW = L"open";
    expect(menu->InvokeCommand(reinterpret_cast<CMINVOKECOMMANDINFO*>(&unicode)), E_FAIL);
    expect(menu->InvokeCommand(nullptr), E_INVALIDARG);
}

int RunCom(UINT sweepStep)
{
    const Installation inst("harden-com");
    const test::ScratchDir& dir = inst.dir;
    const std::vector<std::string> live = inst.MakeLiveFavorites("");

    const HMODULE library = LoadLibraryA(test::LibraryPath().c_str());
    if (!library) {
        std::fprintf(stderr, "com: %s does not load\n", test::LibraryPath().c_str());
        return kFindingExit;
    }
    using GetClassObjectFn = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
    using CanUnloadFn = HRESULT(WINAPI*)();
    const auto getClassObject = reinterpret_cast<GetClassObjectFn>(
        reinterpret_cast<void*>(GetProcAddress(library, "DllGetClassObject")));
    const auto canUnload = reinterpret_cast<CanUnloadFn>(
        reinterpret_cast<void*>(GetProcAddress(library, "DllCanUnloadNow")));
    Microsoft::WRL::ComPtr<IClassFactory> factory;
    if (!getClassObject || !canUnload || FAILED(getClassObject(test::kHandlerClsid, IID_PPV_ARGS(&factory)))) {
        std::fprintf(stderr, "com: no class factory\n");
        return kFindingExit;
    }

    // Drop lists of 0, 1, 2, 50 and 1,000 items, and single paths around
    // MAX_PATH (259, 260 and 261 characters, and far longer).
    const std::string data = dir / "Data";
    std::vector<std::vector<std::string>> lists = {{}, {data}, {data, dir / "report.txt"}};
    lists.emplace_back(50, data);
    lists.emplace_back(1000, dir / "report.txt");
    for (size_t length : {259u, 260u, 261u, 262u, 1000u, 32768u}) {
        std::string path = data + "\\";
        path += std::string(length > path.size() ? length - path.size() : 0, 'p');
        lists.push_back({path});
        lists.push_back({path, data});
    }
    ComFigures f;
    bool swept = false;
    for (const auto& list : lists) {
        Microsoft::WRL::ComPtr<IShellExtInit> handler;
        if (FAILED(factory->CreateInstance(nullptr, IID_PPV_ARGS(&handler)))) continue;
        DropSelection selection(list);
        Exercise(*handler.Get(), &selection, nullptr, swept ? 0 : sweepStep, f);
        swept = true;
    }
    {
        // No selection and no folder at all; then a folder given as a pidl.
        Microsoft::WRL::ComPtr<IShellExtInit> handler;
        if (SUCCEEDED(factory->CreateInstance(nullptr, IID_PPV_ARGS(&handler))))
            Exercise(*handler.Get(), nullptr, nullptr, 0, f);
        PIDLIST_ABSOLUTE pidl = nullptr;
        std::wstring wide(data.begin(), data.end());
        if (SUCCEEDED(SHParseDisplayName(wide.c_str(), nullptr, &pidl, 0, nullptr)) &&
            SUCCEEDED(factory->CreateInstance(nullptr, IID_PPV_ARGS(&handler))))
            Exercise(*handler.Get(), nullptr, pidl, 0, f);
        CoTaskMemFree(pidl);
    }
    factory.Reset();
    const HRESULT unload = canUnload();
    uint64_t lost = 0;
    for (const std::string& path : live)
        if (!StillThere(path)) ++lost;
    Figure("com drop lists and folders", f.Initializes);
    Figure("com menus", f.Menus);
    Figure("com GetCommandString calls", f.StringCalls);
    Figure("com GetCommandString texts given", f.StringAnswers);
    Figure("com writes at or past cchMax", f.Overruns);
    Figure("com texts without their NUL", f.Unterminated);
    Figure("com InvokeCommand calls", f.Invokes);
    Figure("com InvokeCommand wrong results", f.WrongInvokeResults);
    Figure("com live favourites lost", lost);
    Figure("com DllCanUnloadNow refused at the end", unload == S_OK ? 0 : 1);
    return f.Overruns + f.Unterminated + f.WrongInvokeResults + lost + (unload == S_OK ? 0 : 1) ? kFindingExit : 0;
}

// ---- Load soak ----

void PrintSample(int menus, const Resources& r)
{
    std::printf("soak sample %d: gdi %lu, user %lu, handles %lu (GetProcessHandleCount %lu, probed %lu), "
                "private %zu (PrivateUsage %zu, committed private regions %zu)\n",
                menus, r.Gdi, r.User, r.Handles(), r.HandleCount, r.HandlesProbed, r.Private(), r.PrivateUsage,
                r.PrivateMapped);
}

// The ceiling over the sample taken after the first 1,000 menus (by then
// every cache of the process and of the library is filled).
constexpr DWORD kObjectCeiling = 16;
constexpr size_t kPrivateCeiling = 4 * 1024 * 1024;

// `leak`: the guard's own check, that a leak of one handle and 8 KiB per
// menu does break the ceilings.
int RunSoak(int menus, bool leak)
{
    const Installation inst("harden-soak");
    const test::ScratchDir& dir = inst.dir;
    const std::string& favorites = inst.favorites;
    for (int i = 0; i < 5; ++i) test::MakeLink(favorites + "report " + std::to_string(i) + ".lnk", dir / "report.txt");
    test::WriteBytes(favorites + "web.url", Installation::kUrlText);
    test::RestartStateWithInstallFolder(dir / "inst");

    const Resources start = Sample();
    PrintSample(0, start);
    Resources base = start, last = start;
    DWORD peakGdi = 0, peakUser = 0, peakHandles = 0;
    size_t peakPrivate = 0;
    uint64_t helpTexts = 0, commands = 0;
    for (int i = 1; i <= menus; ++i) {
        {
            test::ShellLaunchLog launches;
            {
                MenuStateAccess state;
                state->ContextKind = ckWindowBackground;
                state->TargetPath = test::W(dir / "Data");
            }
            UniqueMenu host(CreatePopupMenu());
            AppendMenuA(host.get(), MF_STRING, 1, "Open");
            QueryContextMenu(host.get(), 0, 100, 0x7FFF, CMF_NORMAL);
            const test::CommandOffsets offsets = test::GetCommandOffsets();
            // Each favourite in turn; all are files or web pages, which the
            // shell opens (recorded here), none a folder typed into a window.
            const int count = offsets.LastFavorite - offsets.FirstFavorite + 1;
            const int offset = offsets.FirstFavorite + (count > 0 ? i % count : 0);
            char help[260] = {};
            if (SUCCEEDED(GetCommandString(static_cast<UINT_PTR>(offset), GCS_HELPTEXTA, nullptr, help, sizeof help)) &&
                help[0])
                ++helpTexts;
            ExecuteCommand(static_cast<WORD>(offset));
            commands += launches.calls().size();
            if (leak) {
                CreateEventA(nullptr, TRUE, FALSE, nullptr);
                VirtualAlloc(nullptr, 8192, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
            }
        }
        if (i % 1000 == 0) {
            last = Sample();
            PrintSample(i, last);
            if (i == 1000) base = last;
            peakGdi = std::max(peakGdi, last.Gdi);
            peakUser = std::max(peakUser, last.User);
            peakHandles = std::max(peakHandles, last.Handles());
            peakPrivate = std::max(peakPrivate, last.Private());
        }
    }
    test::StopState();
    Figure("soak menus", static_cast<unsigned long long>(menus));
    Figure("soak help texts", helpTexts);
    Figure("soak commands run", commands);
    // Growth of the highest sample over the one after menu 1,000.
    auto growth = [](auto peak, auto base) { return peak > base ? peak - base : decltype(peak - base){0}; };
    const DWORD gdi = growth(peakGdi, base.Gdi), user = growth(peakUser, base.User);
    const DWORD handles = growth(peakHandles, base.Handles());
    const size_t privateBytes = growth(peakPrivate, base.Private());
    const bool within = gdi <= kObjectCeiling && user <= kObjectCeiling && handles <= kObjectCeiling &&
                        privateBytes <= kPrivateCeiling;
    std::printf("soak growth after menu 1000: gdi %lu, user %lu, handles %lu, private %zu (ceiling %lu objects of "
                "each kind, %zu bytes)\n",
                gdi, user, handles, privateBytes, kObjectCeiling, kPrivateCeiling);
    Figure("soak ceilings exceeded", within ? 0 : 1);
    return within ? 0 : kFindingExit;
}

} // namespace

int main(int argc, char** argv)
{
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(CountCrash);
    const std::string mode = argc > 1 ? argv[1] : "";
    auto number = [&](int i, unsigned long long fallback) {
        return argc > i ? std::strtoull(argv[i], nullptr, 10) : fallback;
    };
    if (mode == "crash") {
        volatile int* nowhere = nullptr;
        *nowhere = 1;
        return 0;
    }
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int result = 1;
    if (mode == "url")
        result = RunUrl(number(2, 1), number(3, 0), number(4, 1000));
    else if (mode == "lnk")
        result = RunLinks(number(2, 1), number(3, 0), number(4, 100));
    else if (mode == "reg")
        result = RunRegistry();
    else if (mode == "folders")
        result = RunFolders(static_cast<int>(number(2, 10000)));
    else if (mode == "faults")
        result = RunFaults();
    else if (mode == "com")
        result = RunCom(static_cast<UINT>(std::max(1ull, number(2, 1))));
    else if (mode == "soak")
        result = RunSoak(static_cast<int>(number(2, 1000)), false);
    else if (mode == "soak-leak")
        result = RunSoak(static_cast<int>(number(2, 2000)), true);
    else if (mode == "cycles")
        result = RunCycles(static_cast<int>(number(2, 100)));
    else if (mode == "threads")
        result = RunThreads(number(2, 200));
    else
        std::fprintf(stderr, "usage: harden.exe url|lnk SEED FIRST COUNT | reg | folders MANY | faults | com STEP | "
                             "soak|soak-leak MENUS | cycles N | threads ROUNDS | crash\n");
    std::fflush(stdout);
    CoUninitialize();
    return result;
}
