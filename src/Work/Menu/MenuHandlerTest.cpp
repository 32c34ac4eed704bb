#include "Work/Menu/MenuHandler.h"

#include "TestSupport.h"
#include "Common/WindowText.h"
#include "Work/Registry.h"
#include "Work/Store/Shortcuts.h"
#include "Work/Store/Wow64.h"

#include <gtest/gtest.h>

#include <array>
#include <new>

// Allocation failures on demand: the n-th allocation after arming throws.
namespace {
long g_allocationsUntilFailure = -1; // -1: never
} // namespace

void* operator new(size_t size)
{
    if (g_allocationsUntilFailure >= 0 && g_allocationsUntilFailure-- == 0) throw std::bad_alloc();
    if (void* p = HeapAlloc(GetProcessHeap(), 0, size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept
{
    if (p) HeapFree(GetProcessHeap(), 0, p);
}
void operator delete(void* p, size_t) noexcept
{
    operator delete(p);
}

namespace vok {
namespace {

using test::MakeLink;
using test::PathPresent;
using Lines = std::vector<std::string>;

constexpr UINT kFirst = 100; // idCmdFirst; the host's own items have ids below it
constexpr UINT kIndex = 2;   // indexMenu

struct Link {
    const char* name;
    const char* target; // below the scratch folder; empty: a ".url"
};

class MenuTest : public test::InstalledTest {
protected:
    MenuTest() : InstalledTest("menu") {}
    void SetUp() override
    {
        InstalledTest::SetUp();
        test::MakeFolder(dir / "Other");
        NewHost();
    }
    void TearDown() override
    {
        host.reset();
        InstalledTest::TearDown();
    }
    void NewHost()
    {
        host.reset(CreatePopupMenu());
        for (UINT id : {1u, 2u, 3u}) AppendMenuA(host.get(), MF_STRING, id, ("host" + std::to_string(id)).c_str());
        SetMenuDefaultItem(host.get(), 0, TRUE);
    }
    void Favorites(const std::vector<Link>& links)
    {
        test::RemoveTree(favorites);
        test::MakeFolder(favorites);
        for (const Link& l : links) {
            if (*l.target)
                MakeLink(favorites + l.name + ".lnk", dir / l.target);
            else
                test::WriteBytes(favorites + l.name + ".url",
                                 "[InternetShortcut]\r\nURL=http://example.invalid/\r\n\r\n");
        }
    }
    void Context(ContextKind kind, const std::string& target)
    {
        MenuStateAccess state;
        state->ContextKind = kind;
        state->TargetPath = test::W(target);
    }
    // With the pruning of the links it found dead done.
    HRESULT Query(UINT flags = CMF_NORMAL)
    {
        const HRESULT items = QueryContextMenu(host.get(), kIndex, kFirst, 0x7FFF, flags);
        EXPECT_TRUE(test::LibraryThreadsBack());
        return items;
    }
    std::string Help(int offset, UINT size = 300)
    {
        char text[300] = "untouched";
        GetCommandString(static_cast<UINT_PTR>(offset), GCS_HELPTEXTA, nullptr, text, size);
        return text;
    }
    static HRESULT Invoke(UINT_PTR offset)
    {
        CMINVOKECOMMANDINFO info = {sizeof(info), 0, nullptr, reinterpret_cast<LPCSTR>(offset), nullptr, nullptr, 0, 0,
                                    nullptr};
        return InvokeCommand(&info);
    }

    UniqueMenu host;
};

// One line per item: "*" default, "|" new column, offset, caption or "---",
// ">" popup, {picture}. Pictures' sizes and depth are checked on the way.
HBITMAP PictureOf(size_t size, int picture)
{
    HBITMAP bitmap = nullptr;
    WithState([&](ExtensionState& s) { bitmap = s.MenuBitmaps[size][picture].get(); });
    return bitmap;
}

Lines Items(HMENU menu)
{
    static const char* const names[mbCount] = {"CF", "A", "R", "M", "S"};
    Lines lines;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        char text[256] = "";
        MENUITEMINFOA mii = {};
        mii.cbSize = sizeof(mii);
        mii.fMask = MIIM_ID | MIIM_FTYPE | MIIM_STRING | MIIM_SUBMENU | MIIM_CHECKMARKS | MIIM_STATE | MIIM_BITMAP;
        mii.dwTypeData = text;
        mii.cch = sizeof(text);
        GetMenuItemInfoA(menu, static_cast<UINT>(i), TRUE, &mii);
        std::string line = (mii.fState & MFS_DEFAULT) ? "*" : "";
        if (mii.fType & MFT_MENUBARBREAK) line += "|";
        if (!mii.hSubMenu && mii.wID >= kFirst) line += std::to_string(mii.wID - kFirst) + ":";
        line += (mii.fType & MFT_SEPARATOR) ? "---" : text;
        if (mii.hSubMenu) line += ">";
        if (mii.hbmpChecked || mii.hbmpUnchecked) line += "{checked?}";
        for (size_t size = 0; mii.hbmpItem && size < kPictureSizeCount; ++size) {
            for (int b = 0; b < mbCount; ++b) {
                if (mii.hbmpItem != PictureOf(size, b)) continue;
                BITMAP bm = {};
                GetObjectA(mii.hbmpItem, sizeof(bm), &bm);
                EXPECT_TRUE(bm.bmWidth == kPictureSizes[size] && bm.bmHeight == bm.bmWidth && bm.bmBitsPixel == 32)
                    << names[b];
                line += std::string("{") + names[b] + "}";
            }
        }
        lines.push_back(line);
    }
    return lines;
}

HMENU Submenu()
{
    return test::ReadState(&MenuState::Submenu);
}

const std::vector<Link> kThree = {{"gamma", "report.txt"}, {"Alpha", "Data"}, {"beta", "Other"}};
const Lines kHostWithEntryAt1 = {"host1", "*Vokmark>{S}", "host2", "host3"};

// Through a real menu: the submenu's entry where the shell wants it, the
// offsets, pictures and defaults as placed (the layout's own table has the
// rows for every place).
TEST_F(MenuTest, ItemsOffsetsBitmapsAndDefaults)
{
    // clang-format off
    const struct {
        ContextKind kind;
        Lines submenu;
        Lines hostMenu;
    } cases[] = {
        {ckWindowBackground,
         {"0:Alpha", "1:beta", "2:gamma", "3:---", "4:Add to list{A}", "5:Create favorite{S}", "*6:Maintenance{M}"},
         kHostWithEntryAt1},
        {ckFolderItem,
         {"0:Alpha", "1:beta", "2:gamma", "3:---", "4:Add to list{A}", "5:Create favorite{S}", "*6:Maintenance{M}"},
         {"*host1", "host2", "Vokmark>{S}", "host3"}},
    };
    // clang-format on
    Favorites(kThree);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        NewHost();
        Context(c.kind, dir / "Elsewhere");
        EXPECT_EQ(Query(), MAKE_HRESULT(SEVERITY_SUCCESS, 0, c.submenu.size()));
        EXPECT_EQ(Items(Submenu()), c.submenu);
        EXPECT_EQ(Items(host.get()), c.hostMenu);
    }
}

TEST_F(MenuTest, FlatInOfficeDialogsWithMoreThanThreeFavorites)
{
    Favorites({{"f1", "Data"}, {"f2", "Data"}, {"f3", "Data"}, {"f4", "Data"}, {"f5", "Data"}});
    Context(ckWindowBackground, dir / "Other");
    {
        test::TestWindow office("bosa_sdm_Mso96");
        EXPECT_EQ(Query(), 9);
    }
    EXPECT_EQ(Items(host.get()), Lines({"host1", "host2", "host3", "|0:f1", "1:f2", "2:f3", "3:f4", "4:f5", "5:---",
                                        "6:Add to list{A}", "7:Create favorite{S}", "*8:Maintenance{M}"}));
    EXPECT_TRUE(IsMenu(Submenu()));
    EXPECT_EQ(GetMenuItemCount(Submenu()), 0) << "made, never inserted";

    // Neither another class, nor letter case, nor three favourites do.
    DeleteFileA((favorites + "f5.lnk").c_str());
    for (const char* other : {"bosa_sd", "Bosa_sdm_Mso96"}) {
        NewHost();
        test::TestWindow almost(other);
        EXPECT_EQ(Query(), 8) << other;
        EXPECT_EQ(Items(host.get()), kHostWithEntryAt1) << other;
    }
    DeleteFileA((favorites + "f4.lnk").c_str());
    NewHost();
    test::TestWindow office("bosa_sdm");
    EXPECT_EQ(Query(), 7);
    EXPECT_EQ(Items(host.get()), kHostWithEntryAt1);
}

TEST_F(MenuTest, RefusedMenusLeaveTheLastOneAsItWas)
{
    const struct {
        const char* label;
        UINT flags;
        DWORD status; // 2: "Status" unset
        bool installed, initialised, enabledAfter;
        UINT last = 0x7FFF; // idCmdLast
    } cases[] = {
        {"shell's own flag", 0x00010000, 1, true, true, false}, // "Status" 1 is not even read
        {"switched off", CMF_NORMAL, 0, true, true, false},
        {"default only", CMF_DEFAULTONLY, 2, true, true, true},
        {"no verbs", CMF_NOVERBS, 2, true, true, true},
        {"not installed", CMF_NORMAL, 2, false, true, true},
        {"not initialised", CMF_NORMAL, 2, true, false, true},
        {"no identifiers", CMF_NORMAL, 2, true, true, true, kFirst - 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        test::RestartStateWithInstallFolder(dir / "inst");
        Favorites(kThree);
        Context(ckWindowBackground, dir / "Data");
        ASSERT_EQ(Query(), 7);
        const HMENU before = Submenu();
        MakeLink(favorites + "new.lnk", dir / "Data"); // a refresh would list it
        if (c.status != 2) test::SetVokValue(kStatusValue, REG_DWORD, &c.status, sizeof(c.status));
        WithState([&](ExtensionState& s) {
            s.Enabled = c.flags != 0x00010000;
            if (!c.installed) s.FavoritesDir.clear();
        });
        if (!c.initialised) MenuStateAccess()->ContextKind = ckNone;
        UniqueMenu other(CreatePopupMenu());
        EXPECT_EQ(QueryContextMenu(other.get(), 0, kFirst, c.last, c.flags), 0);
        EXPECT_EQ(GetMenuItemCount(other.get()), 0);
        EXPECT_TRUE(Submenu() == before && IsMenu(before));
        EXPECT_EQ(test::ReadState(&MenuState::LastMenu).size(), 7u);
        EXPECT_EQ(test::ReadState(&ExtensionState::Enabled), c.enabledAfter);
        RegDeleteKeyValueA(HKEY_CURRENT_USER, kVokKey, kStatusValue);
    }
    Context(ckWindowBackground, dir / "Data");
    for (UINT flags : {CMF_EXPLORE, CMF_DEFAULTONLY | CMF_EXPLORE, CMF_ITEMMENU}) {
        NewHost();
        EXPECT_EQ(Query(flags), 8) << std::hex << flags; // with "new"
    }
}

TEST_F(MenuTest, EachOffsetRunsItsCommandAndHasItsHelpText)
{
    Favorites({{"Data", "Data"}, {"doc", "report.txt"}, {"web", ""}});
    Context(ckWindowBackground, dir / "Data");
    ASSERT_EQ(Query(), 7);
    const std::string remove = "Remove \"" + dir / "Data" + "\" from your favorite list.";
    const struct {
        int offset;
        std::string launched; // the file handed to the shell
        std::string help;
    } cases[] = {
        {0, "", dir / "Data"}, // typed into the active window, which has no box here
        {1, favorites + "doc.lnk", dir / "report.txt"},
        {2, favorites + "web.url", "http://example.invalid/"},
        {3, "", ""}, // the separator
        {5, "rundll32.exe", "Create a new favorite."},
        {6, favorites, "Manage your favorite list."},
        {7, "", ""},
        {0xFFFF, "", ""},
        {-1, "", ""},
        {4, "", remove}, // last: it deletes Data.lnk
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.offset);
        EXPECT_EQ(Help(c.offset), c.help);
        if (c.offset < 0) continue;
        test::ShellLaunchLog launches;
        EXPECT_EQ(Invoke(static_cast<UINT_PTR>(c.offset)), S_OK);
        Lines files;
        for (const ShellLaunchCall& call : launches.calls()) files.push_back(AnsiOf(call.File.value_or(L"(null)")));
        EXPECT_EQ(files, c.launched.empty() ? Lines() : Lines{c.launched});
    }
    EXPECT_FALSE(PathPresent(favorites + "Data.lnk"));

    // Cut to the buffer, NUL included; nothing written where nothing fits.
    EXPECT_EQ(Help(5, 5), "Crea");
    EXPECT_EQ(Help(5, 1), "");
    EXPECT_EQ(Help(5, 0), "untouched");
    EXPECT_EQ(GetCommandString(5, GCS_HELPTEXTA, nullptr, nullptr, 300), E_INVALIDARG);
    for (UINT type : {GCS_VERBA, GCS_HELPTEXTW, GCS_VALIDATEA, GCS_VERBW, GCS_VALIDATEW}) {
        char text[32] = "untouched";
        EXPECT_EQ(GetCommandString(5, type, nullptr, text, sizeof(text)), E_INVALIDARG);
        EXPECT_STREQ(text, "untouched");
    }
    test::ShellLaunchLog none;
    EXPECT_EQ(InvokeCommand(nullptr), E_INVALIDARG);
    CMINVOKECOMMANDINFO verb = {sizeof(verb), 0, nullptr, "open", nullptr, nullptr, 0, 0, nullptr};
    EXPECT_EQ(InvokeCommand(&verb), E_FAIL);
    EXPECT_TRUE(none.calls().empty());
}

// The items' own captions, as a Unicode host reads them.
std::vector<WString> WideCaptions(HMENU menu)
{
    std::vector<WString> captions;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        wchar_t text[256] = L"";
        GetMenuStringW(menu, static_cast<UINT>(i), text, 256, MF_BYPOSITION);
        captions.emplace_back(text);
    }
    return captions;
}

TEST_F(MenuTest, FavoritesInAnyScriptAreKeptListedMarkedOpenedAndRemoved)
{
    Favorites({{"Alpha", "Data"}});
    const WString scratch = test::W(dir.path());
    const WString wideFavorites = test::W(favorites);
    for (const test::ScriptFixture& f : test::kScriptFixtures) {
        test::MakeFolder(scratch + f.Folder);
        MakeLink(wideFavorites + f.Name + L".lnk", scratch + f.Folder);
    }
    const WString news = wideFavorites + L"Новости.url";
    test::WriteBytes(news, "[InternetShortcut]\r\nURL=http://example.invalid/\r\n\r\n");
    const WString report = scratch + test::kScriptFixtures[0].Folder;
    MenuStateAccess()->ContextKind = ckFolderItem;
    MenuStateAccess()->TargetPath = report;

    ASSERT_EQ(Query(), 9);
    const std::vector<WString> listed{L"Alpha", L"Report", L"Документы",       L"Новости",    L"写真",
                                      L"",      L"Remove", L"Create favorite", L"Maintenance"};
    EXPECT_EQ(WideCaptions(Submenu()), listed);
    EXPECT_EQ(Items(Submenu())[1], "1:Report{CF}") << "its target is the folder the menu is on";
    for (const test::ScriptFixture& f : test::kScriptFixtures)
        EXPECT_TRUE(PathPresent(wideFavorites + f.Name + L".lnk")) << f.Label;
    // Help texts go out in the ANSI code page, as the system converts them.
    EXPECT_EQ(Help(1), AnsiOf(report));
    EXPECT_EQ(Help(4), AnsiOf(scratch + L"写真"));
    EXPECT_EQ(Help(6), "Remove \"" + AnsiOf(report) + "\" from your favorite list.");

    test::ShellLaunchLog launches;
    EXPECT_EQ(Invoke(3), S_OK);
    const std::vector<ShellLaunchCall> opened{{nullptr, L"open", news, std::nullopt, std::nullopt, SW_SHOWNA}};
    EXPECT_EQ(launches.calls(), opened);

    EXPECT_EQ(Invoke(6), S_OK);
    EXPECT_FALSE(PathPresent(wideFavorites + L"Report.lnk"));
    NewHost();
    ASSERT_EQ(Query(), 8) << "the rest is still there";
    EXPECT_EQ(WideCaptions(Submenu()), (std::vector<WString>{L"Alpha", L"Документы", L"Новости", L"写真", L"",
                                                             L"Add to list", L"Create favorite", L"Maintenance"}));
}

TEST_F(MenuTest, AddFillsTheWizardWithAFolderInAnyScriptExactly)
{
    Favorites(kThree);
    test::TestDialog front("Host");
    for (const test::ScriptFixture& f : test::kScriptFixtures) {
        SCOPED_TRACE(f.Label);
        const WString target = test::W(dir.path()) + f.Folder;
        test::MakeFolder(target);
        MenuStateAccess()->ContextKind = ckWindowBackground;
        MenuStateAccess()->TargetPath = target;
        NewHost();
        ASSERT_EQ(Query(), 7);
        ASSERT_TRUE(test::BringToForeground(front.hwnd()));
        std::unique_ptr<test::TestDialog> wizard;
        std::unique_ptr<test::RecordedControl> box;
        test::ShellLaunchLog launches([&](const ShellLaunchCall&) {
            wizard = std::make_unique<test::TestDialog>("Create Shortcut");
            box = std::make_unique<test::RecordedControl>(wizard->hwnd(), "Edit", "", true, true);
            test::BringToForeground(wizard->hwnd());
        });
        EXPECT_EQ(Invoke(4), S_OK);
        ASSERT_TRUE(box);
        EXPECT_EQ(WindowTextOf(box->hwnd()), target);
    }
}

TEST_F(MenuTest, NextMenuReplacesTheLastOneForEveryCommand)
{
    Favorites(kThree);
    Context(ckWindowBackground, dir / "Data");
    Query();
    const HMENU first = Submenu();
    MakeLink(favorites + "aaa.lnk", dir / "report.txt");
    UniqueMenu otherHost(CreatePopupMenu());
    QueryContextMenu(otherHost.get(), 0, kFirst, 0x7FFF, CMF_NORMAL);
    EXPECT_FALSE(IsMenu(first));
    test::ShellLaunchLog launches;
    Invoke(0);
    ASSERT_EQ(launches.calls().size(), 1u);
    EXPECT_EQ(launches.calls()[0].File, test::W(favorites + "aaa.lnk"));
}

TEST_F(MenuTest, StoredEnvironmentReferencesAreExpandedWhereTheTargetIsUsed)
{
    SetEnvironmentVariableA("VOK_MENU_TEST", dir.path().c_str());
    const std::string raw = "%VOK_MENU_TEST%Data";
    Favorites({});
    test::WriteLinkWithStoredPath(favorites + "Typed.lnk", raw);
    test::WriteLinkWithStoredPath(favorites + "Gone.lnk", "%VOK_MENU_TEST%Gone");
    ASSERT_EQ(GetLinkTarget(test::W(favorites + "Typed.lnk")), test::W(raw)) << "the link gives back what it stores";
    Context(ckDesktopBackground, dir / "Other");
    EXPECT_EQ(Query(), 4);
    EXPECT_EQ(Items(Submenu()).front(), "0:Typed");
    EXPECT_TRUE(PathPresent(favorites + "Typed.lnk"));
    EXPECT_FALSE(PathPresent(favorites + "Gone.lnk")) << "its folder is truly gone";
    EXPECT_EQ(Help(0), raw);
    test::ShellLaunchLog launches;
    Invoke(0); // opened from the desktop: a new window on the folder
    ASSERT_EQ(launches.calls().size(), 1u);
    EXPECT_EQ(launches.calls()[0].File, test::W(dir / "Data"));
}

// A 32-bit program on 64-bit Windows expands "%ProgramFiles%" to the 32-bit
// folder: a link that looks dead there may be alive for everyone else.
TEST_F(MenuTest, UnderWow64LinksWithEnvironmentReferencesAreNeverDeleted)
{
    SetEnvironmentVariableA("VOK_MENU_TEST", dir.path().c_str());
    // Z: is another volume than the favourites folder's: its targets are
    // judged by a worker, whose answer may take a few menus to come in time.
    SetEnvironmentVariableA("VOK_MENU_FAR", "Z:\\tmp\\vok-menu-test-gone\\");
    const struct {
        bool wow64;
        std::string stored;
        bool listed, kept;
    } cases[] = {
        // clang-format off
        {true, "%VOK_MENU_TEST%Gone", false, true},
        {true, "%VOK_MENU_TEST%Data", true, true},
        {true, dir / "Gone", false, false},
        {false, "%VOK_MENU_TEST%Gone", false, false},
        {true, "%VOK_MENU_FAR%Gone", false, true},
        {false, "%VOK_MENU_FAR%Gone", false, false},
        // clang-format on
    };
    const ScopeExit platform([] { SetWow64Probe(nullptr); });
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored + (c.wow64 ? " under WOW64" : ""));
        Favorites({});
        test::WriteLinkWithStoredPath(favorites + "Fav.lnk", c.stored);
        SetWow64Probe(c.wow64 ? +[] { return true; } : +[] { return false; });
        Context(ckWindowBackground, dir / "Other");
        HRESULT items = 0;
        for (int menu = 0; menu < 40 && items != (c.listed ? 5 : 3); ++menu) {
            NewHost();
            items = Query();
        }
        EXPECT_EQ(items, c.listed ? 5 : 3);
        EXPECT_EQ(PathPresent(favorites + "Fav.lnk"), c.kept);
    }
}

TEST_F(MenuTest, FailuresInsideNeverEscapeAndLeaveNoHalfMenu)
{
    Favorites({{"a", "Data"}, {"b", "Data"}, {"c", "Data"}, {"d", "Other"}}); // flat in the Office dialog
    Context(ckWindowBackground, dir / "Data");
    for (const char* windowClass : {"VokHost", "bosa_sdm_Mso96"}) {
        test::TestWindow active(windowClass);
        for (long failAt = 0;; ++failAt) {
            SCOPED_TRACE(std::string(windowClass) + " allocation " + std::to_string(failAt));
            NewHost();
            char text[64];
            g_allocationsUntilFailure = failAt;
            const HRESULT items = Query();
            const HRESULT help = GetCommandString(0, GCS_HELPTEXTA, nullptr, text, sizeof(text));
            const bool failed = g_allocationsUntilFailure < 0;
            g_allocationsUntilFailure = -1;
            const int added = GetMenuItemCount(host.get()) - 3;
            EXPECT_EQ(added, windowClass[0] == 'b' ? items : items != 0) << "what is placed is counted";
            EXPECT_TRUE(help == S_OK || help == E_FAIL);
            if (failed) continue;
            EXPECT_EQ(items, 8);
            EXPECT_GT(failAt, 20) << "each allocation of a menu failed once";
            break;
        }
    }
}

} // namespace
} // namespace vok
