// Favourites on a volume that answers late or never: tools/slowfs.py, which
// tools/slow-volume.sh mounts for this program as the prefix's network drive
// S: and as the share \\slowhost\share. Every lookup on it waits as many
// seconds as its "delay" file says; lowering the wait releases the lookups
// already waiting.
#include "TestSupport.h"
#include "Work/Store/Favorites.h"
#include "Common/LibraryThread.h"
#include "Work/Store/VolumeProbe.h"

#include <gtest/gtest.h>
#include <objbase.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <tlhelp32.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace vok {
namespace {

bool WorkersBack()
{
    return test::PumpUntil([] { return LibraryThreadsRunning() == 0; }, 10000);
}

size_t ThreadsOfThisProcess()
{
    UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    size_t count = 0;
    for (BOOL more = Thread32First(snapshot.get(), &entry); more; more = Thread32Next(snapshot.get(), &entry))
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
    return count;
}

double NowMs()
{
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

const std::vector<std::string> kAllListed = {"Local", "S dead", "S live", "Share live"};
const std::vector<std::string> kLiveListed = {"Local", "S live", "Share live"};

// A local favourite, live ones on the drive and the share, and one on the
// drive whose folder is gone; made while the volume answers at once.
class SlowVolumeTest : public test::InstalledTest {
protected:
    SlowVolumeTest() : InstalledTest("slow-volume") {}

    void SetUp() override
    {
        InstalledTest::SetUp();
        ASSERT_EQ(GetDriveTypeW(L"S:\\"), static_cast<UINT>(DRIVE_REMOTE)) << "S: is no network drive";
        MakeFavorites();
    }

    void MakeFavorites()
    {
        test::SetSlowVolumeWait("0");
        test::RemoveTree(favorites);
        test::MakeFolder(favorites);
        test::RemoveTree(back);
        test::MakeFolder(back);
        test::MakeFolder(back + "live");
        test::MakeFolder(back + "gone");
        test::MakeLink(favorites + "Local.lnk", dir / "Data");
        test::MakeLink(favorites + "S live.lnk", "S:\\vok\\live");
        test::MakeLink(favorites + "Share live.lnk", "\\\\slowhost\\share\\vok\\live");
        test::MakeLink(favorites + "S dead.lnk", "S:\\vok\\gone");
        test::RemoveTree(back + "gone");
    }

    void TearDown() override
    {
        test::SetSlowVolumeWait("0");
        EXPECT_TRUE(WorkersBack());
        test::RemoveTree(back);
        InstalledTest::TearDown();
    }

    std::vector<std::string> ListedNames()
    {
        std::vector<std::string> names;
        for (const Favorite& favorite : ScanFavoritesFolder(test::W(favorites))) names.push_back(AnsiOf(favorite.Name));
        return names;
    }

    const std::string back = test::SlowVolumePath("back\\vok\\");
};

TEST_F(SlowVolumeTest, MenuNeverWaitsForTheVolumeAndLosesNothing)
{
    // "late": two seconds per lookup, and a target takes several lookups.
    const struct {
        const char* label;
        const char* wait;
    } cases[] = {
        {"answers late", "2"},
        {"never answers", "3600"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        MakeFavorites();
        test::SetSlowVolumeWait(c.wait);
        const double start = NowMs();
        // Without an answer in time the dead one is listed as its link
        // records it, and kept.
        EXPECT_EQ(ListedNames(), kAllListed);
        // Not a speed target: a menu that waited would take a lookup's wait.
        EXPECT_LT(NowMs() - start, 1800.0);
        EXPECT_TRUE(test::PathPresent(favorites + "S dead.lnk"));

        // The first menu whose answers come in time deletes it. Each one
        // should; a machine too busy to start a thread within the bound
        // only puts it off to a later menu.
        test::SetSlowVolumeWait("0");
        ASSERT_TRUE(WorkersBack());
        std::vector<std::string> names;
        for (int menu = 0; menu < 20 && (names.empty() || test::PathPresent(favorites + "S dead.lnk")); ++menu) {
            names = ListedNames();
            ASSERT_TRUE(WorkersBack());
        }
        EXPECT_EQ(names, kLiveListed);
        EXPECT_FALSE(test::PathPresent(favorites + "S dead.lnk"));
        EXPECT_TRUE(test::PathPresent(favorites + "S live.lnk"));
        EXPECT_TRUE(test::PathPresent(favorites + "Share live.lnk"));
    }
}

TEST_F(SlowVolumeTest, VolumeThatNeverAnswersHasOneWorkerAtATime)
{
    ListedNames(); // whatever the platform starts once is running now
    ASSERT_TRUE(WorkersBack());
    MakeFavorites();
    const size_t threads = ThreadsOfThisProcess();
    test::SetSlowVolumeWait("3600");
    for (int menu = 0; menu < 50; ++menu) {
        ASSERT_EQ(ListedNames(), kAllListed) << "menu " << menu;
        ASSERT_LE(LibraryThreadsRunning(), 2) << "menu " << menu; // S: and \\slowhost\share
    }
    EXPECT_LE(ThreadsOfThisProcess(), threads + 2);
    EXPECT_TRUE(test::PathPresent(favorites + "S dead.lnk"));
}

// A right-click on one item there: no answer in time is no folder, and a
// root is one without asking. Not a speed target: waiting would take a
// lookup's wait.
TEST_F(SlowVolumeTest, SelectedItemIsAskedWithinTheBound)
{
    const struct {
        const char* wait;
        const char* path;
        bool folder;
    } cases[] = {
        {"0", "S:\\vok\\live", true},  {"0", "\\\\slowhost\\share\\vok\\live", true},
        {"0", "S:\\vok\\gone", false}, {"3600", "S:\\vok\\live", false},
        {"3600", "S:\\", true},        {"3600", "\\\\slowhost\\share", true},
    };
    for (const auto& c : cases) {
        test::SetSlowVolumeWait(c.wait);
        const double start = NowMs();
        EXPECT_EQ(IsFolderWithinBound(test::W(c.path), FavoritesFolder()), c.folder) << c.path << " at " << c.wait;
        EXPECT_LT(NowMs() - start, 1800.0) << c.path;
    }
}

// The names the shell's Recycle Bin lists.
std::vector<std::string> RecycleBinNames()
{
    std::vector<std::string> names;
    IShellFolder* desktop = nullptr;
    PIDLIST_ABSOLUTE bin = nullptr;
    if (FAILED(SHGetDesktopFolder(&desktop)) || FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_BITBUCKET, &bin)))
        return names;
    IShellFolder* folder = nullptr;
    IEnumIDList* items = nullptr;
    if (SUCCEEDED(desktop->BindToObject(bin, nullptr, IID_PPV_ARGS(&folder))) &&
        folder->EnumObjects(nullptr, SHCONTF_NONFOLDERS | SHCONTF_FOLDERS, &items) == S_OK) {
        for (PITEMID_CHILD item = nullptr; items->Next(1, &item, nullptr) == S_OK; CoTaskMemFree(item)) {
            STRRET name;
            wchar_t text[MAX_PATH] = {};
            if (SUCCEEDED(folder->GetDisplayNameOf(item, SHGDN_NORMAL, &name)) &&
                SUCCEEDED(StrRetToBufW(&name, item, text, MAX_PATH)))
                names.push_back(AnsiOf(text));
        }
        items->Release();
    }
    if (folder) folder->Release();
    CoTaskMemFree(bin);
    desktop->Release();
    return names;
}

// A refusal or a device error below a share that answers proves nothing:
// those links stay, listed, on the network drive and on a fixed one alike,
// while the one whose folder is not there goes to the Recycle Bin.
TEST_F(SlowVolumeTest, OnlyAProvenAbsenceIsPrunedAndIntoTheRecycleBin)
{
    const std::vector<std::string> kept = {"S denied", "S ioerr", "T denied", "T ioerr"};
    for (const std::string& name : kept) {
        test::MakeFolder(back + name.substr(2));
        test::MakeFolder(back + name.substr(2) + "\\Plans");
        test::WriteLinkWithStoredPath(favorites + name + ".lnk",
                                      name.substr(0, 1) + ":\\vok\\" + name.substr(2) + "\\Plans");
    }
    const std::string pruned = "S pruned " + std::to_string(GetTickCount64());
    test::MakeLink(favorites + pruned + ".lnk", "S:\\vok\\nothere");
    for (int menu = 0; menu < 2; ++menu) {
        std::vector<std::string> names = ListedNames();
        ASSERT_TRUE(WorkersBack());
        for (const std::string& name : kept) {
            EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name << ", menu " << menu;
            EXPECT_TRUE(test::PathPresent(favorites + name + ".lnk")) << name;
        }
    }
    EXPECT_FALSE(test::PathPresent(favorites + pruned + ".lnk"));
    const std::vector<std::string> bin = RecycleBinNames();
    EXPECT_NE(std::find(bin.begin(), bin.end(), pruned + ".lnk"), bin.end());
}

using GetClassObjectFn = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
using CanUnloadNowFn = HRESULT(WINAPI*)();

template <class Fn>
Fn ExportOf(HMODULE module, const char* name)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// One menu through the loaded library, on the background of `folder`.
void BuildMenu(HMODULE library, const std::string& folder, UINT flags = CMF_NORMAL)
{
    IClassFactory* factory = nullptr;
    ASSERT_EQ(ExportOf<GetClassObjectFn>(library, "DllGetClassObject")(test::kHandlerClsid, IID_PPV_ARGS(&factory)),
              S_OK);
    IShellExtInit* init = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_PPV_ARGS(&init)), S_OK);
    factory->Release();
    PIDLIST_ABSOLUTE pidl = nullptr;
    ASSERT_EQ(SHParseDisplayName(test::W(folder).c_str(), nullptr, &pidl, 0, nullptr), S_OK);
    EXPECT_EQ(init->Initialize(pidl, nullptr, nullptr), S_OK);
    CoTaskMemFree(pidl);
    IContextMenu* menu = nullptr;
    ASSERT_EQ(init->QueryInterface(IID_PPV_ARGS(&menu)), S_OK);
    UniqueMenu host(CreatePopupMenu());
    EXPECT_TRUE(SUCCEEDED(menu->QueryContextMenu(host.get(), 0, 1, 100, flags)));
    menu->Release();
    init->Release();
}

// A drop list naming one path, as a host hands a selection to Initialize.
class DropList final : public test::SelectionBase {
public:
    explicit DropList(const std::wstring& path)
    {
        const size_t bytes = sizeof(DROPFILES) + (path.size() + 2) * sizeof(wchar_t);
        list_ = GlobalAlloc(GHND, bytes);
        auto* drop = static_cast<DROPFILES*>(GlobalLock(list_));
        drop->pFiles = sizeof(DROPFILES);
        drop->fWide = TRUE;
        memcpy(drop + 1, path.c_str(), path.size() * sizeof(wchar_t));
        GlobalUnlock(list_);
    }
    ~DropList() { GlobalFree(list_); }
    STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override
    {
        if (format->cfFormat != CF_HDROP) return DV_E_FORMATETC;
        *medium = {};
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = list_;
        medium->pUnkForRelease = this; // the list stays this object's
        return S_OK;
    }
    STDMETHODIMP QueryInterface(REFIID, void** out) override { return *out = nullptr, E_NOINTERFACE; }

private:
    HGLOBAL list_ = nullptr;
};

// The handler made through the class factory, on one item of a volume that
// waits an hour per lookup: the caller gets its answer within the bound.
TEST_F(SlowVolumeTest, InitializeOnOneSlowItemNeverWaitsForTheVolume)
{
    HMODULE library = LoadLibraryA(VOK_DLL_NAME);
    ASSERT_NE(library, nullptr);
    for (const wchar_t* path : {L"S:\\vok\\live", L"\\\\slowhost\\share\\vok\\live"}) {
        Microsoft::WRL::ComPtr<IClassFactory> factory;
        ASSERT_EQ(ExportOf<GetClassObjectFn>(library, "DllGetClassObject")(test::kHandlerClsid, IID_PPV_ARGS(&factory)),
                  S_OK);
        Microsoft::WRL::ComPtr<IShellExtInit> handler;
        ASSERT_EQ(factory->CreateInstance(nullptr, IID_PPV_ARGS(&handler)), S_OK);
        DropList selection(path);
        test::SetSlowVolumeWait("3600");
        const double start = NowMs();
        handler->Initialize(nullptr, &selection, nullptr);
        EXPECT_LT(NowMs() - start, 1800.0) << AnsiOf(path);
        test::SetSlowVolumeWait("0");
        handler.Reset();
        EXPECT_TRUE(WorkersBack());
    }
    FreeLibrary(library);
}

TEST_F(SlowVolumeTest, LibraryStaysWhileAWorkerIsOutAndUnloadsOnceItIsBack)
{
    HMODULE library = LoadLibraryA(VOK_DLL_NAME);
    ASSERT_NE(library, nullptr);
    test::SetSlowVolumeWait("3600");
    BuildMenu(library, dir.path());
    EXPECT_EQ(ExportOf<CanUnloadNowFn>(library, "DllCanUnloadNow")(), S_FALSE);
    // The host lets go anyway: the worker's own reference keeps the code.
    FreeLibrary(library);
    EXPECT_NE(GetModuleHandleA(VOK_DLL_NAME), nullptr);
    test::SetSlowVolumeWait("0");
    EXPECT_TRUE(test::PumpUntil([] { return GetModuleHandleA(VOK_DLL_NAME) == nullptr; }, 10000));
}

// Explorer's question for a double-click's default verb: no worker, no
// waiting on the volume that never answers, nothing pruned.
TEST_F(SlowVolumeTest, DefaultOnlyQueryStartsNoWorkerAndPrunesNothing)
{
    test::MakeLink(favorites + "Local dead.lnk", dir / "Gone");
    HMODULE library = LoadLibraryA(VOK_DLL_NAME);
    ASSERT_NE(library, nullptr);
    test::SetSlowVolumeWait("3600");
    const double start = NowMs();
    BuildMenu(library, dir.path(), CMF_DEFAULTONLY | CMF_EXPLORE);
    EXPECT_LT(NowMs() - start, 1800.0); // not a speed target: a wait would take an hour
    EXPECT_EQ(ExportOf<CanUnloadNowFn>(library, "DllCanUnloadNow")(), S_OK) << "no thread of the library is out";
    for (const char* name : {"Local dead", "S dead", "S live", "Share live"})
        EXPECT_TRUE(test::PathPresent(favorites + name + ".lnk")) << name;
    FreeLibrary(library);
}

} // namespace
} // namespace vok
