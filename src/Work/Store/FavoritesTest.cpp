#include "Work/Store/Favorites.h"

#include "Work/Installation.h"

#include "TestSupport.h"
#include "Work/Registry.h"
#include "Work/Store/Shortcuts.h"

#include <gtest/gtest.h>

#include <objbase.h>

#include <atomic>
#include <thread>
#include <vector>

namespace vok {
namespace {

using test::MakeLink;
using test::PathPresent;
using test::W;
using test::WriteBytes;
using Names = std::vector<WString>;

const char kUrlText[] = "[InternetShortcut]\r\nURL=http://example.invalid/\r\n\r\n";

class FavoritesTest : public test::InstalledTest {
protected:
    FavoritesTest() : InstalledTest("favorites") {}
    void SetUp() override
    {
        InstalledTest::SetUp();
        test::MakeFolder(dir / "Other");
    }

    static Names NamesOf(const std::vector<Favorite>& listed)
    {
        Names names;
        for (const Favorite& favorite : listed) names.push_back(favorite.Name);
        return names;
    }
    Names Refresh()
    {
        const Names names = NamesOf(ScanFavoritesFolder(W(favorites)));
        EXPECT_TRUE(test::LibraryThreadsBack()) << "the dead links' pruning";
        return names;
    }
    // Whether the folder `target` is a favourite, asked both ways the
    // library asks: of the folder now, and of a list just read.
    bool IsFavorite(const std::string& target)
    {
        const bool now = !FindFavoriteLinkTo(W(favorites), W(target)).empty();
        EXPECT_EQ(IsTargetFavorite(ScanFavoritesFolder(W(favorites)), W(target)), now) << target;
        return now;
    }
};

// ---- Installation folder ------------------------------------------------

struct InstallFolderCase {
    const char* label;
    DWORD type; // 0: the value is absent
    std::string data;
    std::string installDir;
    std::string favoritesDir;
};

class InstallFolderTest : public ::testing::TestWithParam<InstallFolderCase> {
protected:
    test::VokKeyReset registry;
};

TEST_P(InstallFolderTest, ReadsTheRegisteredFolder)
{
    const InstallFolderCase& c = GetParam();
    DWORD unrelated = 1;
    test::SetVokValue(kStatusValue, REG_DWORD, &unrelated, sizeof(unrelated)); // the key exists
    if (c.type != 0) test::SetVokValue(kInstallFolderValue, c.type, c.data.data(), static_cast<DWORD>(c.data.size()));

    WString installDir, favoritesDir;
    EXPECT_TRUE(LoadInstallFolder(installDir, favoritesDir)) << "no message for a key that exists";
    EXPECT_EQ(installDir, W(c.installDir));
    EXPECT_EQ(favoritesDir, W(c.favoritesDir));
}

INSTANTIATE_TEST_SUITE_P(
    Values, InstallFolderTest,
    ::testing::Values(
        InstallFolderCase{"Plain", REG_SZ, std::string("C:\\Tools", 9), "C:\\Tools\\", "C:\\Tools\\Favorites\\"},
        InstallFolderCase{"TrailingBackslashDoubles", REG_SZ, std::string("C:\\Tools\\", 10), "C:\\Tools\\\\",
                          "C:\\Tools\\\\Favorites\\"},
        InstallFolderCase{"ExpandStringTakenAsStored", REG_EXPAND_SZ, std::string("%TEMP%", 7), "%TEMP%\\",
                          "%TEMP%\\Favorites\\"},
        InstallFolderCase{"EmptyValue", REG_SZ, std::string("", 1), "\\", "\\Favorites\\"},
        InstallFolderCase{"ValueWithoutData", REG_SZ, std::string(), "\\", "\\Favorites\\"},
        InstallFolderCase{"MissingValue", 0, std::string(), "\\", "\\Favorites\\"},
        InstallFolderCase{"UpToFirstNul", REG_SZ, std::string("C:\\A\0B", 7), "C:\\A\\", "C:\\A\\Favorites\\"},
        // A value of the wrong type leaves the menu off instead of guessing a folder.
        InstallFolderCase{"WrongType", REG_DWORD, std::string("\1\0\0\0", 4), "", ""},
        InstallFolderCase{"BinaryType", REG_BINARY, std::string("C:\\Tools", 8), "", ""}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(InstallFolder, FolderNamedOutsideTheCodePageIsReadExactly)
{
    test::VokKeyReset registry;
    const WString folder = L"C:\\Программы\\写真";
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\VOK", kInstallFolderValueW, REG_SZ, folder.c_str(),
                              static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
    WString installDir, favoritesDir;
    EXPECT_TRUE(LoadInstallFolder(installDir, favoritesDir));
    EXPECT_EQ(favoritesDir, folder + L"\\Favorites\\");
}

TEST(InstallFolder, MissingKeyIsReportedAndLeavesFavoritesDirEmpty)
{
    test::VokKeyReset registry;
    WString installDir = L"x", favoritesDir = L"x";
    EXPECT_FALSE(LoadInstallFolder(installDir, favoritesDir));
    EXPECT_EQ(favoritesDir, L"");
    EXPECT_EQ(installDir, L"");
}

// A machine-wide installation writes HKLM as well: the user's own value
// wins, and the machine's serves a user who has none.
TEST(InstallFolder, MachineWideValueServesUsersWithoutTheirOwn)
{
    test::VokKeyReset registry;
    const auto set = [](HKEY root, const wchar_t* folder) {
        if (folder)
            RegSetKeyValueW(root, L"Software\\VOK", kInstallFolderValueW, REG_SZ, folder,
                            static_cast<DWORD>((wcslen(folder) + 1) * sizeof(wchar_t)));
        else
            RegDeleteTreeW(root, L"Software\\VOK");
    };
    const struct {
        const wchar_t* user;
        const wchar_t* machine;
        const wchar_t* favorites; // null: the installation is missing
    } cases[] = {
        {L"C:\\Mine", L"C:\\Shared", L"C:\\Mine\\Favorites\\"},
        {nullptr, L"C:\\Shared", L"C:\\Shared\\Favorites\\"},
        {nullptr, nullptr, nullptr},
    };
    for (const auto& c : cases) {
        set(HKEY_CURRENT_USER, c.user);
        set(HKEY_LOCAL_MACHINE, c.machine);
        WString installDir, favoritesDir;
        EXPECT_EQ(LoadInstallFolder(installDir, favoritesDir), c.favorites != nullptr);
        EXPECT_EQ(favoritesDir, c.favorites ? WString(c.favorites) : WString());
    }
    set(HKEY_LOCAL_MACHINE, nullptr);
}

// ---- The scan --------------------------------------------------------------

TEST_F(FavoritesTest, NamesAreSortedIgnoringCase)
{
    MakeLink(favorites + "beta.lnk", dir / "Data");
    WriteBytes(favorites + "Alpha.url", kUrlText);
    MakeLink(favorites + "gamma.lnk", dir / "Other");
    EXPECT_EQ(Refresh(), (Names{L"Alpha", L"beta", L"gamma"}));
}

TEST_F(FavoritesTest, NamesEqualIgnoringCaseHaveAFixedOrder)
{
    MakeLink(favorites + "work.lnk", dir / "Data");
    MakeLink(favorites + "Work.url.lnk", dir / "Data"); // unrelated, sorts after
    WriteBytes(favorites + "WORK.url", kUrlText);
    const Names names = Refresh();
    ASSERT_EQ(names.size(), 3u);
    EXPECT_EQ(names[2], L"Work.url");
    // "WORK" and "work" compare equal ignoring case; the tie is broken the
    // same way every time, whatever order the folder lists them in.
    Names reversed = {names[1], names[0], names[2]};
    SortFavoriteNames(reversed);
    EXPECT_EQ(reversed, names);
}

TEST_F(FavoritesTest, DeadLinksArePrunedAndInternetShortcutsNeverDeleted)
{
    MakeLink(favorites + "live.lnk", dir / "Data");
    MakeLink(favorites + "dead.lnk", dir / "Gone");
    MakeLink(favorites + "outside.lnk", ""); // no file-system target: an item list only
    WriteBytes(favorites + "web.url", kUrlText);
    WriteBytes(favorites + "junk.url", "not an Internet shortcut");

    EXPECT_EQ(Refresh(), (Names{L"junk", L"live", L"outside", L"web"}));
    EXPECT_FALSE(PathPresent(favorites + "dead.lnk"));
    EXPECT_TRUE(PathPresent(favorites + "outside.lnk")) << "never judged: it has no path";
    EXPECT_TRUE(PathPresent(favorites + "live.lnk"));
    EXPECT_TRUE(PathPresent(favorites + "web.url"));
    EXPECT_TRUE(PathPresent(favorites + "junk.url"));
}

// Made with the W functions. Names outside the ANSI code page (whose ANSI
// forms would be "?" or a nearest fit, "O" for an Omega) are listed by their
// own names. A path past MAX_PATH is listed where the system's wide file
// functions reach it (Wine's do; Windows' do only for programs that opt in
// to long paths), and otherwise kept with no item standing for it.
TEST_F(FavoritesTest, NamesOutsideTheAnsiCodePageAreListedAndLongPathsKept)
{
    MakeLink(dir / "template.lnk", dir / "Data");
    WriteBytes(dir / "template.url", kUrlText);
    MakeLink(favorites + "live.lnk", dir / "Data");
    WriteBytes(favorites + "web.url", kUrlText);
    const std::wstring wideDir(favorites.begin(), favorites.end());
    const std::wstring linkTemplate = std::wstring(dir.path().begin(), dir.path().end()) + L"template.lnk";
    const std::wstring urlTemplate = std::wstring(dir.path().begin(), dir.path().end()) + L"template.url";
    const struct {
        const char* label;
        std::wstring name;
    } cases[] = {
        {"Japanese .lnk", L"\x65E5\x672C.lnk"},
        {"Cyrillic .url", L"\x0416\x0416.url"},
        {"Omega .lnk", L"\x03A9mega.lnk"},
        {"Omega .url", L"\x03A9mega.url"},
        {"long .url", std::wstring(MAX_PATH - favorites.size(), L'u') + L".url"},
    };
    // The scratch folder's removal goes through the ANSI names too.
    struct Cleanup {
        std::vector<std::wstring> paths;
        ~Cleanup()
        {
            for (const std::wstring& path : paths) DeleteFileW(path.c_str());
        }
    } cleanup;
    for (const auto& c : cases) {
        cleanup.paths.push_back(wideDir + c.name);
        const bool link = c.name.compare(c.name.size() - 4, 4, L".lnk") == 0;
        ASSERT_TRUE(CopyFileW((link ? linkTemplate : urlTemplate).c_str(), (wideDir + c.name).c_str(), FALSE))
            << c.label;
    }
    Names listed{L"live", L"web", L"\x03A9mega", L"\x03A9mega", L"\x0416\x0416", L"\x65E5\x672C"};
    const std::wstring longName = cases[4].name;
    if (GetFileAttributesW((wideDir + longName).c_str()) != INVALID_FILE_ATTRIBUTES)
        listed.insert(listed.begin() + 1, WString(longName.c_str(), longName.size() - 4));
    EXPECT_EQ(Refresh(), listed);
    EXPECT_EQ(Refresh(), listed) << "and again";
    for (const auto& c : cases)
        EXPECT_NE(GetFileAttributesW((wideDir + c.name).c_str()), INVALID_FILE_ATTRIBUTES) << c.label;
}

TEST_F(FavoritesTest, LinkToExistingRundll32IsListed)
{
    char system[MAX_PATH];
    GetSystemDirectoryA(system, MAX_PATH);
    MakeLink(favorites + "Control.lnk", std::string(system) + "\\rundll32.exe");
    EXPECT_EQ(Refresh(), (Names{L"Control"}));
}

TEST_F(FavoritesTest, NameWithLiveLinkAndUrlIsListedTwice)
{
    MakeLink(favorites + "Work.lnk", dir / "Data");
    WriteBytes(favorites + "Work.url", kUrlText);
    EXPECT_EQ(Refresh(), (Names{L"Work", L"Work"}));
}

TEST_F(FavoritesTest, DeadLinkBesideUrlIsDeletedAndNameListedOnce)
{
    MakeLink(favorites + "Work.lnk", dir / "Gone");
    WriteBytes(favorites + "Work.url", kUrlText);
    EXPECT_EQ(Refresh(), (Names{L"Work"}));
    EXPECT_FALSE(PathPresent(favorites + "Work.lnk"));
    EXPECT_TRUE(PathPresent(favorites + "Work.url"));
}

TEST_F(FavoritesTest, FileNamedOnlyByItsExtensionGivesTheEmptyName)
{
    MakeLink(favorites + ".lnk", dir / "Data");
    EXPECT_EQ(Refresh(), (Names{L""}));
}

TEST_F(FavoritesTest, HiddenAndReadOnlyShortcutsAreTreatedAlike)
{
    MakeLink(favorites + "hidden.lnk", dir / "Data");
    MakeLink(favorites + "readonly.lnk", dir / "Data");
    MakeLink(favorites + "deadlocked.lnk", dir / "Gone");
    SetFileAttributesA((favorites + "hidden.lnk").c_str(), FILE_ATTRIBUTE_HIDDEN);
    SetFileAttributesA((favorites + "readonly.lnk").c_str(), FILE_ATTRIBUTE_READONLY);
    SetFileAttributesA((favorites + "deadlocked.lnk").c_str(), FILE_ATTRIBUTE_READONLY);

    EXPECT_EQ(Refresh(), (Names{L"hidden", L"readonly"}));
    EXPECT_TRUE(PathPresent(favorites + "deadlocked.lnk")) << "a read-only dead link cannot be deleted";
}

// Wine keeps only the classic attribute bits on files (it reports read-only,
// hidden and archive, and reads FILE_ATTRIBUTE_NORMAL back as archive), so
// entries with other bits cannot be made there: the rule the scan applies is
// checked on its own for the bits that take part (the test below gives a real
// scan the bits that do not).
TEST(FavoriteEntry, AllButEntriesToBeFetchedTakePart)
{
    for (DWORD bits : {0x0, 0x1, 0x2, 0x4, 0x8, 0x10, 0x20, 0x3F, FILE_ATTRIBUTE_NORMAL, FILE_ATTRIBUTE_COMPRESSED,
                       FILE_ATTRIBUTE_NOT_CONTENT_INDEXED, FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY,
                       0x80000 /* pinned */, 0x100000 /* unpinned */, FILE_ATTRIBUTE_SPARSE_FILE})
        EXPECT_TRUE(IsFavoriteEntry(bits)) << std::hex << bits;
}

// The same rule in a real scan: the listing the scan reads is given the bits
// for the names that begin with "far", as a cloud or archive volume would.
DWORD g_fetchedBits = 0;
WIN32_FIND_DATAW* Marked(WIN32_FIND_DATAW* entry)
{
    if (wcsncmp(entry->cFileName, L"far ", 4) == 0) entry->dwFileAttributes |= g_fetchedBits;
    return entry;
}
HANDLE WINAPI FindFirstMarked(LPCWSTR pattern, LPWIN32_FIND_DATAW entry)
{
    const HANDLE find = FindFirstFileExW(pattern, FindExInfoStandard, entry, FindExSearchNameMatch, nullptr, 0);
    if (find != INVALID_HANDLE_VALUE) Marked(entry);
    return find;
}
BOOL WINAPI FindNextMarked(HANDLE find, LPWIN32_FIND_DATAW entry)
{
    static const auto next = reinterpret_cast<decltype(&FindNextFileW)>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "FindNextFileW")));
    return next(find, entry) && Marked(entry);
}

TEST_F(FavoritesTest, FavoritesToBeFetchedAreNeitherListedNorRead)
{
    const test::ImportPatch first("kernel32.dll", "FindFirstFileW", reinterpret_cast<const void*>(&FindFirstMarked));
    const test::ImportPatch next("kernel32.dll", "FindNextFileW", reinterpret_cast<const void*>(&FindNextMarked));
    ASSERT_TRUE(first && next);
    MakeLink(favorites + "near.lnk", dir / "Data");
    for (DWORD bits : {DWORD{FILE_ATTRIBUTE_OFFLINE}, DWORD{0x40000} /* recall on open */,
                       DWORD{0x400000} /* recall on data access */}) {
        SCOPED_TRACE(bits);
        g_fetchedBits = bits;
        MakeLink(favorites + "far live.lnk", dir / "Data");
        MakeLink(favorites + "far dead.lnk", dir / "Gone");
        EXPECT_EQ(Refresh(), Names{L"near"});
        EXPECT_TRUE(PathPresent(favorites + "far dead.lnk")) << "never read, so never proven dead";
        EXPECT_EQ(FindFavoriteLinkTo(W(favorites), W(dir / "Data")), W(favorites + "near.lnk"));
    }
}

TEST_F(FavoritesTest, EmptyOrMissingFolderGivesAnEmptyList)
{
    EXPECT_EQ(Refresh(), Names{});
    test::RemoveTree(favorites);
    EXPECT_EQ(Refresh(), Names{});
}

// ---- Favourites that could not be read are never lost --------------------

TEST_F(FavoritesTest, ScanWithoutComDeletesNothing)
{
    MakeLink(favorites + "live.lnk", dir / "Data");
    MakeLink(favorites + "dead.lnk", dir / "Gone");
    WriteBytes(favorites + "web.url", kUrlText);

    Names names{L"stale"};
    ASSERT_TRUE(test::RunOnThreadWithoutCom([&] { names = NamesOf(ScanFavoritesFolder(W(favorites))); }));
    EXPECT_EQ(names, (Names{L"web"})) << "links that cannot be read are left out of that menu";
    EXPECT_TRUE(PathPresent(favorites + "live.lnk"));
    EXPECT_TRUE(PathPresent(favorites + "dead.lnk"));
}

TEST_F(FavoritesTest, LinkThatCannotBeLoadedIsKept)
{
    WriteBytes(favorites + "garbled.lnk", "half-written by the wizard");
    EXPECT_EQ(Refresh(), Names{});
    EXPECT_TRUE(PathPresent(favorites + "garbled.lnk"));
}

TEST_F(FavoritesTest, LinksToAbsentVolumesAreKeptUnlisted)
{
    ASSERT_EQ(GetDriveTypeW(L"D:\\"), static_cast<UINT>(DRIVE_CDROM)) << "the test prefix has an empty CD-ROM drive D:";
    const struct {
        const char* name;
        std::string target;
        bool kept;
    } cases[] = {
        {"floppy", "A:\\Letters", true},
        {"lowercase", "a:\\Letters", true},   // no drive a: answers either
        {"disc", "D:\\Install\\Setup", true}, // the CD-ROM drive's empty folder answers
        {"unplugged", "M:\\Photos", true},    // its device points nowhere
        {"nodrive", "Q:\\Work", true},        // no such drive letter
        {"offline", "\\\\nohost\\share\\Reports", true},
        {"deleted", dir / "Gone", false}, // C: answers: the folder is gone
        {"cdrive", "C:\\no such folder", false},
    };
    for (const auto& c : cases) MakeLink(favorites + c.name + ".lnk", c.target);
    EXPECT_EQ(Refresh(), Names{});
    for (const auto& c : cases) EXPECT_EQ(PathPresent(favorites + c.name + ".lnk"), c.kept) << c.name;
}

// A server answers as a folder by its root's form, so a link to one is never
// pruned, and the list carries the target the link records.
TEST_F(FavoritesTest, LinkToABareServerIsKeptAndListedWithItsTarget)
{
    MakeLink(favorites + "server.lnk", "\\\\nohost\\");
    const std::vector<Favorite> listed = ScanFavoritesFolder(W(favorites));
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].Name, L"server");
    EXPECT_EQ(listed[0].Target, L"\\\\nohost\\");
    EXPECT_TRUE(test::LibraryThreadsBack());
    EXPECT_TRUE(PathPresent(favorites + "server.lnk"));
}

// A server itself is judged under its own root, by a worker; a drive's or a
// share's root is a folder without asking.
TEST(VolumeRoot, DriveAndNetworkRoots)
{
    const std::pair<const char*, const char*> cases[] = {
        {"C:\\Data\\x", "C:\\"},
        {"m:", "m:\\"},
        {"\\\\srv\\share\\a\\b", "\\\\srv\\share\\"},
        {"\\\\srv\\share", "\\\\srv\\share\\"},
        {"\\\\srv", "\\\\srv\\"},
        {"\\\\srv\\", "\\\\srv\\"},
        {"\\\\\\share", ""},
        {"\\\\srv\\\\x", ""},
        {"relative\\path", ""},
        {"", ""},
        {"1:\\x", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(VolumeRootOf(W(c.first)), W(c.second)) << c.first;
    for (const char* root : {"m:", "C:\\", "\\\\srv\\share", "\\\\srv\\share\\"})
        EXPECT_TRUE(IsVolumeRoot(W(root))) << root;
    for (const char* path : {"C:\\Data", "\\\\srv", "\\\\srv\\", "\\\\srv\\share\\a", ""})
        EXPECT_FALSE(IsVolumeRoot(W(path))) << path;
}

// ---- Is the target already a favourite? ------------------------------------

TEST_F(FavoritesTest, TargetIsAFavoriteOnlyOnAnExactMatch)
{
    EXPECT_FALSE(IsFavorite(dir / "Data")) << "empty list";

    MakeLink(favorites + "Other.lnk", dir / "Other");
    EXPECT_FALSE(IsFavorite(dir / "Data"));

    // Letter case matters: the same folder under another spelling is no match.
    std::string upper = dir / "DATA";
    MakeLink(favorites + "Shouting.lnk", upper);
    EXPECT_FALSE(IsFavorite(dir / "Data"));

    MakeLink(favorites + "Data.lnk", dir / "Data");
    EXPECT_TRUE(IsFavorite(dir / "Data"));
    EXPECT_FALSE(IsFavorite(dir / "Data\\")) << "a trailing backslash is another path";
}

TEST_F(FavoritesTest, InternetShortcutNeverMatchesATarget)
{
    WriteBytes(favorites + "web.url", kUrlText);
    EXPECT_FALSE(IsFavorite("http://example.invalid/"));
}

// ---- Two shell windows of one process ---------------------------------------

TEST_F(FavoritesTest, ConcurrentRefreshesNeverTearTheList)
{
    for (int i = 0; i < 8; ++i) MakeLink(favorites + "fav" + std::to_string(i) + ".lnk", dir / "Data");
    const Names expected = Refresh();
    ASSERT_EQ(expected.size(), 8u);

    // Two threads scanning the folder at once each read the whole list.
    std::atomic<int> torn{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 2; ++t) {
        threads.emplace_back([&] {
            CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
            for (int i = 0; i < 15; ++i)
                if (NamesOf(ScanFavoritesFolder(W(favorites))) != expected) ++torn;
            CoUninitialize();
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(torn.load(), 0);
    EXPECT_EQ(Refresh(), expected);
}

} // namespace
} // namespace vok
