// The handler as the shell uses it: created through COM and the registry
// entries that the registration tool wrote, initialised with real pidls and
// the shell's own data objects, asked for its menu, help texts and commands.
#include "Demo/ExplorerWindow.h"
#include "Demo/WindowList.h"
#include "TestSupport.h"
#include "Work/Registry.h"

#include <gtest/gtest.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <wrl/client.h>

#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace vok {
namespace {

using test::HostEnvironment;

struct PidlFree {
    void operator()(void* pidl) const { CoTaskMemFree(pidl); }
};
using UniquePidl = std::unique_ptr<std::remove_pointer_t<PIDLIST_ABSOLUTE>, PidlFree>;

std::wstring Wide(const std::string& text)
{
    std::wstring wide(text.size() + 1, L'\0');
    wide.resize(MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), static_cast<int>(wide.size())) - 1);
    return wide;
}

UniquePidl PidlOf(const std::wstring& path)
{
    PIDLIST_ABSOLUTE pidl = nullptr;
    EXPECT_EQ(SHParseDisplayName(path.c_str(), nullptr, &pidl, 0, nullptr), S_OK);
    return UniquePidl(pidl);
}

UniquePidl PidlOf(const std::string& path)
{
    return PidlOf(Wide(path));
}

// The selection's data object as Explorer gets it, from the parent folder.
ComPtr<IDataObject> SelectionOf(const std::wstring& folder, const std::vector<std::wstring>& names)
{
    ComPtr<IShellFolder> desktop, parent;
    SHGetDesktopFolder(&desktop);
    const UniquePidl folderPidl = PidlOf(folder);
    EXPECT_EQ(desktop->BindToObject(folderPidl.get(), nullptr, IID_PPV_ARGS(&parent)), S_OK);
    std::vector<UniquePidl> children;
    std::vector<LPCITEMIDLIST> items;
    for (std::wstring name : names) {
        PIDLIST_RELATIVE child = nullptr;
        EXPECT_EQ(parent->ParseDisplayName(nullptr, nullptr, name.data(), nullptr, &child, nullptr), S_OK);
        children.emplace_back(child);
        items.push_back(child);
    }
    ComPtr<IDataObject> data;
    EXPECT_EQ(parent->GetUIObjectOf(nullptr, static_cast<UINT>(items.size()), items.data(), IID_IDataObject, nullptr,
                                    reinterpret_cast<void**>(data.GetAddressOf())),
              S_OK);
    return data;
}

ComPtr<IDataObject> SelectionOf(const std::string& folder, const std::vector<std::string>& names)
{
    std::vector<std::wstring> wideNames;
    for (const std::string& name : names) wideNames.push_back(Wide(name));
    return SelectionOf(Wide(folder), wideNames);
}

// Counts the releases of a medium handed out with it.
struct MediumOwner final : IUnknown {
    int releases = 0;
    STDMETHODIMP QueryInterface(REFIID, void** out) override { return *out = nullptr, E_NOINTERFACE; }
    STDMETHODIMP_(ULONG) AddRef() override { return 1; }
    STDMETHODIMP_(ULONG) Release() override { return ++releases, 1; }
};

// A data object of another kind than the shell's, answering CF_HDROP with
// a medium of its choosing.
class OddSelection final : public test::SelectionBase {
public:
    enum Answer { oaFails, oaStream, oaNullHandle, oaEmptyList };
    explicit OddSelection(Answer answer) : answer_(answer) {}
    ~OddSelection() { GlobalFree(list_); }
    MediumOwner owner;

    STDMETHODIMP GetData(FORMATETC*, STGMEDIUM* medium) override
    {
        if (answer_ == oaFails) return DV_E_FORMATETC;
        *medium = {};
        medium->tymed = answer_ == oaStream ? TYMED_ISTREAM : TYMED_HGLOBAL;
        medium->pUnkForRelease = &owner;
        if (answer_ == oaEmptyList) {
            medium->hGlobal = list_ = GlobalAlloc(GHND, sizeof(DROPFILES) + 2);
            static_cast<DROPFILES*>(GlobalLock(list_))->pFiles = sizeof(DROPFILES);
            GlobalUnlock(list_);
        }
        return S_OK;
    }
    STDMETHODIMP QueryInterface(REFIID, void** out) override { return *out = nullptr, E_NOINTERFACE; }

private:
    Answer answer_;
    HGLOBAL list_ = nullptr;
};

std::vector<std::string> MenuTexts(HMENU menu)
{
    std::vector<std::string> texts;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        char text[256] = {};
        GetMenuStringA(menu, i, text, sizeof text, MF_BYPOSITION);
        texts.push_back(text);
    }
    return texts;
}

std::string HelpText(const ComPtr<IContextMenu>& menu, UINT_PTR offset)
{
    char help[512] = {};
    menu->GetCommandString(offset, GCS_HELPTEXTA, nullptr, help, sizeof help);
    return help;
}

HRESULT Invoke(const ComPtr<IContextMenu>& menu, WORD offset, HWND owner)
{
    CMINVOKECOMMANDINFO info = {};
    info.cbSize = sizeof info;
    info.hwnd = owner;
    info.lpVerb = MAKEINTRESOURCEA(offset);
    info.nShow = SW_SHOWNORMAL;
    return menu->InvokeCommand(&info);
}

std::string DisplayName(int folder)
{
    PIDLIST_ABSOLUTE items = nullptr;
    SHGetSpecialFolderLocation(nullptr, folder, &items);
    const UniquePidl owned(items);
    wchar_t* name = nullptr;
    SHGetNameFromIDList(items, SIGDN_NORMALDISPLAY, &name);
    const std::string text = AnsiOf(name ? name : L"");
    CoTaskMemFree(name);
    return text;
}

// Rewrites the serial number that a link's location record holds of its
// target's volume.
void RecordOtherSerial(const std::string& linkPath)
{
    std::string bytes = test::ReadBytes(linkPath);
    const auto at = [&](size_t pos) {
        uint32_t value = 0;
        memcpy(&value, bytes.data() + pos, 4);
        return value;
    };
    size_t pos = 0x4C;
    if (at(0x14) & 1) pos += 2 + (at(pos) & 0xFFFF);
    ASSERT_TRUE((at(0x14) & 2) && (at(pos + 8) & 1)) << "no volume recorded";
    const uint32_t other = at(pos + at(pos + 0x0C) + 8) ^ 0x5A5A5A5A;
    memcpy(&bytes[pos + at(pos + 0x0C) + 8], &other, 4);
    test::WriteBytes(linkPath, bytes);
}

std::string AddHelp(const std::string& target)
{
    return "Add \"" + target + "\" to your favorite list.";
}

class ContextMenuTest : public ::testing::Test {
protected:
    ContextMenuTest() : dir("handler"), data(dir / "Data"), report(dir / "report.txt") {}

    void SetUp() override
    {
        test::RemoveTree(favorites);
        test::MakeFolder(favorites);
        RegDeleteKeyValueA(HKEY_CURRENT_USER, kVokKey, kStatusValue);
        test::MakeFolder(data);
        test::MakeFolder(dir / "Second");
        test::WriteBytes(report, "x");
        ASSERT_EQ(test::RunRegsvr32(test::LibraryPath(), false), 0u);
    }
    void TearDown() override
    {
        EXPECT_EQ(test::RunRegsvr32(test::LibraryPath(), true), 0u);
        test::ResetHandlerRegistration();
        test::RemoveTree(favorites);
        test::MakeFolder(favorites);
    }

    // A new handler object, as the shell makes one for every menu.
    static ComPtr<IShellExtInit> CreateHandler()
    {
        ComPtr<IShellExtInit> handler;
        EXPECT_EQ(CoCreateInstance(test::kHandlerClsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&handler)), S_OK);
        return handler;
    }

    // One menu on the folder's background, every object released after.
    void BuildBackgroundMenu()
    {
        ComPtr<IShellExtInit> handler = CreateHandler();
        ComPtr<IContextMenu> menu;
        ASSERT_EQ(handler->Initialize(PidlOf(folder).get(), nullptr, nullptr), S_OK);
        ASSERT_EQ(handler.As(&menu), S_OK);
        UniqueMenu host(CreatePopupMenu());
        EXPECT_GE(menu->QueryContextMenu(host.get(), 0, 1, 100, CMF_NORMAL), 0);
    }

    // The library can unload once every object is gone and its volume
    // workers are back.
    static bool WorkersBack()
    {
        using CanUnloadNow = HRESULT(WINAPI*)();
        const auto canUnload = reinterpret_cast<CanUnloadNow>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA(test::LibraryPath().c_str()), "DllCanUnloadNow")));
        return canUnload && test::PumpUntil([&] { return canUnload() == S_OK; }, 10000);
    }

    const std::string favorites = HostEnvironment::Favorites();
    test::ScratchDir dir;
    const std::string folder = dir.path().substr(0, dir.path().size() - 1);
    const std::string data, report;
};

TEST_F(ContextMenuTest, ShellMenuOnADialogsBackgroundThenOnASelectedFavorite)
{
    test::MakeLink(favorites + "Data.lnk", data);
    test::MakeLink(favorites + "Report.lnk", report);
    test::TestDialog dialog("Open");
    test::RecordedControl box(dialog.hwnd(), "Edit", "keep.txt");
    ASSERT_TRUE(test::BringToForeground(dialog.hwnd()));
    {
        ComPtr<IShellExtInit> handler = CreateHandler();
        ASSERT_TRUE(handler);
        ComPtr<IContextMenu> menu;
        ASSERT_EQ(handler.As(&menu), S_OK);
        ASSERT_EQ(handler->Initialize(PidlOf(folder).get(), nullptr, nullptr), S_OK);

        UniqueMenu host(CreatePopupMenu());
        AppendMenuA(host.get(), MF_STRING, 1, "View");
        AppendMenuA(host.get(), MF_STRING, 2, "Properties");
        EXPECT_EQ(menu->QueryContextMenu(host.get(), 0, 100, 200, CMF_NORMAL), 6);
        EXPECT_EQ(MenuTexts(host.get()), (std::vector<std::string>{"View", "Vokmark", "Properties"}));
        EXPECT_EQ(MenuTexts(GetSubMenu(host.get(), 1)),
                  (std::vector<std::string>{"Data", "Report", "", "Add to list", "Create favorite", "Maintenance"}));
        EXPECT_EQ(HelpText(menu, 0), data);
        EXPECT_EQ(HelpText(menu, 3), AddHelp(folder));
        EXPECT_EQ(HelpText(menu, 5), "Manage your favorite list.");

        // The dialog's box gets the folder and Enter, then its name back.
        EXPECT_EQ(Invoke(menu, 0, dialog.hwnd()), S_OK);
        EXPECT_NE(test::Describe(box.log).find('"' + data + '"'), std::string::npos) << test::Describe(box.log);
    }
    ASSERT_TRUE(test::PumpUntil([] { return HostEnvironment::CanUnloadNow() == S_OK; }, 3000))
        << "the restore or an object kept the library loaded";
    EXPECT_EQ(box.text(), "keep.txt");

    // The folder, now selected, is a favourite: the menu offers to remove it.
    ComPtr<IShellExtInit> handler = CreateHandler();
    ComPtr<IContextMenu> menu;
    ASSERT_EQ(handler.As(&menu), S_OK);
    ASSERT_EQ(handler->Initialize(nullptr, SelectionOf(folder, {"Data"}).Get(), nullptr), S_OK);
    UniqueMenu host(CreatePopupMenu());
    EXPECT_EQ(menu->QueryContextMenu(host.get(), 0, 100, 200, CMF_NORMAL), 6);
    EXPECT_EQ(MenuTexts(GetSubMenu(host.get(), 0)),
              (std::vector<std::string>{"Data", "Report", "", "Remove", "Create favorite", "Maintenance"}));
    EXPECT_EQ(HelpText(menu, 3), "Remove \"" + data + "\" from your favorite list.");
    EXPECT_EQ(Invoke(menu, 3, nullptr), S_OK);
    EXPECT_FALSE(test::PathPresent(favorites + "Data.lnk"));
    EXPECT_TRUE(test::PathPresent(favorites + "Report.lnk"));
    menu.Reset();
    handler.Reset();
    EXPECT_EQ(HostEnvironment::CanUnloadNow(), S_OK);
}

// A folder named outside the ANSI code page, as the shell hands it over: the
// background of its window (a pidl) and the folder selected in its parent (a
// drop list). The handler records the exact path, finds the favourite that
// points there, offers to remove it, and removes exactly that link.
TEST_F(ContextMenuTest, FolderNamedOutsideTheCodePageIsKnownAndRemovedExactly)
{
    const test::ScriptFixture& cyrillic = test::kScriptFixtures[0];
    const WString target = test::W(dir.path()) + cyrillic.Folder;
    const WString link = test::W(favorites) + cyrillic.Name + L".lnk";
    test::MakeFolder(target);
    test::MakeLink(link, target);
    test::TestWindow foreground("Window");
    ASSERT_TRUE(test::BringToForeground(foreground.hwnd()));
    const std::wstring wideTarget(target.c_str());
    for (const bool selected : {false, true}) {
        SCOPED_TRACE(selected ? "selected in its parent" : "its window's background");
        ComPtr<IShellExtInit> handler = CreateHandler();
        ComPtr<IContextMenu> menu;
        ASSERT_EQ(handler.As(&menu), S_OK);
        const UniquePidl background = selected ? nullptr : PidlOf(wideTarget);
        const ComPtr<IDataObject> selection = selected ? SelectionOf(Wide(dir.path()), {std::wstring(cyrillic.Folder)})
                                                       : nullptr;
        ASSERT_EQ(handler->Initialize(background.get(), selection.Get(), nullptr), S_OK);
        UniqueMenu host(CreatePopupMenu());
        ASSERT_EQ(menu->QueryContextMenu(host.get(), 0, 100, 200, CMF_NORMAL), 5);
        EXPECT_EQ(MenuTexts(GetSubMenu(host.get(), 0)),
                  (std::vector<std::string>{"Report", "", "Remove", "Create favorite", "Maintenance"}));
        EXPECT_EQ(HelpText(menu, 2), "Remove \"" + AnsiOf(target) + "\" from your favorite list.");
        if (selected) {
            EXPECT_EQ(Invoke(menu, 2, nullptr), S_OK);
        }
    }
    EXPECT_FALSE(test::PathPresent(link));
    EXPECT_TRUE(test::PathPresent(target));
}

// With no favourites the menu shows the Add item ("Add" help text naming
// the target) everywhere but on the desktop background: 3 items or 2.
TEST_F(ContextMenuTest, InitializeRecordsTheTargetAndWhatTheMenuWasOpenedOn)
{
    PIDLIST_ABSOLUTE computer = nullptr;
    ASSERT_EQ(SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &computer), S_OK);
    const UniquePidl computerPidl(computer);
    const std::vector<std::string> none;
    const struct {
        const char* name;
        const char* foreground;
        LPCITEMIDLIST folder;
        std::vector<std::string> selection;
        std::optional<OddSelection::Answer> odd;
        HRESULT result;
        HRESULT items;
        std::string target;
        const char* foregroundChild = nullptr;
    } cases[] = {
        {"desktop background", "Progman", PidlOf(folder).release(), none, {}, S_OK, 2, ""},
        {"lower-case class", "progman", PidlOf(folder).release(), none, {}, S_OK, 3, folder},
        {"class beginning so", "ProgmanX", PidlOf(folder).release(), none, {}, S_OK, 3, folder},
        {"desktop in a WorkerW", "WorkerW", PidlOf(folder).release(), none, {}, S_OK, 2, "", "SHELLDLL_DefView"},
        {"WorkerW without the view", "WorkerW", PidlOf(folder).release(), none, {}, S_OK, 3, folder},
        {"WorkerW with another child", "WorkerW", PidlOf(folder).release(), none, {}, S_OK, 3, folder, "Static"},
        {"folder without a path", "Window", computer, none, {}, S_OK, 2, ""},
        {"nothing given", "Window", nullptr, none, {}, E_INVALIDARG, 0, ""},
        {"one folder", "Window", nullptr, {"Data"}, {}, S_OK, 3, data},
        {"medium refused", "Window", nullptr, none, OddSelection::oaFails, DV_E_FORMATETC, 0, ""},
        {"one file", "Window", nullptr, {"report.txt"}, {}, S_OK, 3, report},
        {"stream medium", "Window", nullptr, none, OddSelection::oaStream, E_INVALIDARG, 0, ""},
        {"three items", "Window", nullptr, {"Data", "report.txt", "Second"}, {}, S_OK, 3, data},
        {"null drop handle", "Window", nullptr, none, OddSelection::oaNullHandle, E_INVALIDARG, 0, ""},
        {"selection beside a folder", "Progman", PidlOf(folder).release(), {"report.txt"}, {}, S_OK, 3, report},
        {"empty drop list", "Window", nullptr, none, OddSelection::oaEmptyList, S_OK, 2, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const UniquePidl owned(c.folder == computer ? nullptr : const_cast<LPITEMIDLIST>(c.folder));
        test::TestWindow foreground(c.foreground);
        std::optional<test::TestWindow> child;
        if (c.foregroundChild) child.emplace(c.foregroundChild, "", foreground.hwnd());
        ASSERT_TRUE(test::BringToForeground(foreground.hwnd()));
        std::optional<OddSelection> odd;
        if (c.odd) odd.emplace(*c.odd);
        ComPtr<IDataObject> selection = c.selection.empty() ? nullptr : SelectionOf(dir.path(), c.selection);
        IDataObject* given = odd ? &*odd : selection.Get();

        ComPtr<IShellExtInit> handler = CreateHandler();
        ComPtr<IContextMenu> menu;
        ASSERT_EQ(handler.As(&menu), S_OK);
        EXPECT_EQ(handler->Initialize(c.folder, given, nullptr), c.result);
        UniqueMenu host(CreatePopupMenu());
        EXPECT_EQ(menu->QueryContextMenu(host.get(), 0, 1, 100, CMF_NORMAL), c.items);
        if (c.items == 3) {
            EXPECT_EQ(HelpText(menu, 0), AddHelp(c.target));
        }
        if (odd && *c.odd != OddSelection::oaFails) {
            EXPECT_EQ(odd->owner.releases, 1) << "the medium is released";
        }
    }
}

// A link made on another volume than the one now at its letter: its
// recorded serial number is rewritten, as Wine reads a drive's serial once
// per process. V: is judged on a worker (the favourites are on C:), so a
// menu may come back before it has; a later one then decides.
TEST_F(ContextMenuTest, LinkToAnotherVolumeAtItsLetterIsKept)
{
    const std::string volume = test::PrefixPath("swap-volume\\");
    const struct {
        const char* name;
        std::string target;
        bool otherVolume;
    } cases[] = {{"Photos", "V:\\Photos", true}, {"Music", "V:\\Music", false}, {"Letters", dir / "Letters", true}};
    for (const auto& c : cases) {
        test::MakeFolder(c.target);
        test::MakeLink(favorites + c.name + ".lnk", c.target);
        if (c.otherVolume) RecordOtherSerial(favorites + c.name + ".lnk");
        test::RemoveTree(c.target);
    }
    for (int built = 0; built < 20 && test::PathPresent(favorites + "Music.lnk"); ++built) {
        BuildBackgroundMenu();
        ASSERT_TRUE(WorkersBack());
    }
    for (const auto& c : cases) EXPECT_EQ(test::PathPresent(favorites + c.name + ".lnk"), c.otherVolume) << c.name;
}

// Wine's Explorer Browser in a top-level window of an Explorer frame's class
// with no visible "Edit", as every Explorer since Windows Vista shows its
// address box; the site hands out its browser as Explorer's site chain does.
TEST_F(ContextMenuTest, ExplorerWindowGoesToTheFavoriteThroughItsBrowser)
{
    test::MakeLink(favorites + "Data.lnk", data);
    const struct {
        const char* frameClass;
        bool site;
        bool visibleEdit;  // Explorer of Windows XP: its address box is typed into
        std::string shown; // by the browser afterwards
    } cases[] = {
        {"CabinetWClass", true, false, data},
        {"ExploreWClass", true, false, data},
        {"CabinetWClass", false, false, folder}, // no site, and the shell's window list is empty here
        {"CabinetWClass", true, true, folder},
    };
    test::LockProbe lock;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.frameClass) + (c.site ? " with a site" : " without") +
                     (c.visibleEdit ? ", Edit" : ""));
        demo::ExplorerWindow frame;
        ASSERT_EQ(frame.Open(c.frameClass, folder, {0, 0, 300, 200}), "");
        ASSERT_EQ(frame.FolderShown(), folder);
        std::optional<test::RecordedControl> address;
        if (c.visibleEdit) address.emplace(frame.Frame(), "Edit", "");
        ASSERT_TRUE(test::BringToForeground(frame.Frame()));
        demo::BrowserSite site(frame.ShellBrowser());

        ComPtr<IShellExtInit> handler = CreateHandler();
        ComPtr<IContextMenu> menu;
        ComPtr<IObjectWithSite> withSite;
        ASSERT_EQ(handler.As(&menu), S_OK);
        ASSERT_EQ(handler.As(&withSite), S_OK);
        if (c.site) {
            EXPECT_EQ(withSite->SetSite(&site), S_OK);
        }
        EXPECT_EQ(site.Held(), c.site ? 1 : 0) << "one reference, the object's";
        ASSERT_EQ(handler->Initialize(PidlOf(folder).get(), nullptr, nullptr), S_OK);
        UniqueMenu host(CreatePopupMenu());
        ASSERT_EQ(menu->QueryContextMenu(host.get(), 0, 1, 100, CMF_NORMAL), 5);
        EXPECT_EQ(Invoke(menu, 0, frame.Frame()), S_OK);
        EXPECT_FALSE(lock.ScreenLocked());
        // The browser goes there before BrowseObject returns; nothing to wait for otherwise.
        if (c.shown != folder) test::PumpUntil([&] { return frame.FolderShown() == c.shown; }, 3000);
        EXPECT_EQ(frame.FolderShown(), c.shown);
        EXPECT_EQ(site.BrowseFlags(), c.shown == data ? UINT{SBSP_SAMEBROWSER | SBSP_ABSOLUTE} : ~0u);
        if (address) {
            EXPECT_NE(test::Describe(address->log).find('"' + data + '"'), std::string::npos);
        }

        ComPtr<IServiceProvider> given;
        EXPECT_EQ(withSite->GetSite(IID_PPV_ARGS(&given)), c.site ? S_OK : E_FAIL);
        given.Reset();
        EXPECT_EQ(withSite->SetSite(nullptr), S_OK);
        EXPECT_EQ(site.Held(), 0) << "released by SetSite(NULL)";
        if (c.site) {
            EXPECT_EQ(withSite->SetSite(&site), S_OK);
        }
        withSite.Reset();
        menu.Reset();
        handler.Reset();
        EXPECT_EQ(site.Held(), 0) << "released with the object";
    }
}

// A handler given `site` (may be null), on the background of `shown`, its
// menu built into `host` with the identifiers 1 to `last`.
ComPtr<IContextMenu> MenuOn(const std::string& shown, IUnknown* site, HMENU host, UINT last, HRESULT& count)
{
    ComPtr<IContextMenu> menu;
    ComPtr<IObjectWithSite> withSite;
    EXPECT_EQ(CoCreateInstance(test::kHandlerClsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&menu)), S_OK);
    EXPECT_EQ(menu.As(&withSite), S_OK);
    if (site) withSite->SetSite(site);
    ComPtr<IShellExtInit> init;
    EXPECT_EQ(menu.As(&init), S_OK);
    EXPECT_EQ(init->Initialize(PidlOf(shown).get(), nullptr, nullptr), S_OK);
    count = menu->QueryContextMenu(host, 0, 1, last, CMF_NORMAL);
    return menu;
}

// Nothing binds their items while the menu is built; chosen, the window's
// own browser goes there.
TEST_F(ContextMenuTest, FavoritesWithoutAPathStayAndTheBrowserGoesThere)
{
    test::MakeItemListLink(favorites + "This PC.lnk", CSIDL_DRIVES);
    test::MakeItemListLink(favorites + "Controls.lnk", CSIDL_CONTROLS);
    demo::ExplorerWindow frame;
    ASSERT_EQ(frame.Open("CabinetWClass", folder, {0, 0, 300, 200}), "");
    ASSERT_TRUE(test::BringToForeground(frame.Frame()));
    demo::BrowserSite site(frame.ShellBrowser());
    for (int built = 0; built < 2; ++built) {
        UniqueMenu host(CreatePopupMenu());
        HRESULT count = 0;
        ComPtr<IContextMenu> menu = MenuOn(folder, &site, host.get(), 100, count);
        ASSERT_EQ(count, 6);
        EXPECT_EQ(MenuTexts(GetSubMenu(host.get(), 0)),
                  (std::vector<std::string>{"Controls", "This PC", "", "Add to list", "Create favorite",
                                            "Maintenance"}));
        EXPECT_EQ(HelpText(menu, 1), DisplayName(CSIDL_DRIVES));
        EXPECT_EQ(HelpText(menu, 3), AddHelp(folder)) << "neither is the folder's favourite";
        if (built == 1) {
            EXPECT_EQ(Invoke(menu, 1, frame.Frame()), S_OK);
        }
    }
    EXPECT_EQ(frame.FolderShown(), "") << "This PC, which has no path";
    EXPECT_TRUE(test::PathPresent(favorites + "This PC.lnk"));
    EXPECT_TRUE(test::PathPresent(favorites + "Controls.lnk"));
}

// The favourite chosen from a dialog's folder view, through the handler's
// site, as the view hands out the dialog's browser.
void ChooseFirstFavorite(IUnknown* site, HWND owner, const std::string& folder)
{
    UniqueMenu host(CreatePopupMenu());
    HRESULT count = 0;
    ComPtr<IContextMenu> menu = MenuOn(folder, site, host.get(), 100, count);
    ASSERT_GT(count, 0);
    EXPECT_EQ(Invoke(menu, 0, owner), S_OK);
}

// Wine's item dialog as a folder picker, driven from a timer inside its own
// modal loop: it stays open and shows the favourite, its box untouched.
TEST_F(ContextMenuTest, FolderPickerGoesToTheFavoriteThroughItsBrowser)
{
    test::MakeLink(favorites + "Data.lnk", data);
    ComPtr<IFileOpenDialog> dialog;
    ASSERT_EQ(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&dialog)), S_OK);
    dialog->SetOptions(FOS_PICKFOLDERS);
    ComPtr<IShellItem> start;
    SHCreateItemFromParsingName(Wide(folder).c_str(), nullptr, IID_PPV_ARGS(&start));
    dialog->SetFolder(start.Get());
    const auto shows = [&](const std::string& path) {
        ComPtr<IShellItem> shown;
        LPWSTR name = nullptr;
        if (FAILED(dialog->GetFolder(&shown)) || FAILED(shown->GetDisplayName(SIGDN_FILESYSPATH, &name))) return false;
        const bool same = Wide(path) == name;
        CoTaskMemFree(name);
        return same;
    };
    static std::function<void()> inDialog;
    bool wentThere = false, boxKept = false, screenLocked = true;
    UINT flags = 0;
    inDialog = [&] {
        ComPtr<IShellBrowser> browser;
        ASSERT_EQ(IUnknown_QueryService(dialog.Get(), SID_STopLevelBrowser, IID_PPV_ARGS(&browser)), S_OK);
        demo::BrowserSite site(browser.Get());
        HWND window = nullptr;
        IUnknown_GetWindow(dialog.Get(), &window);
        const HWND box = FindWindowExA(window, nullptr, "Edit", nullptr);
        SetWindowTextA(box, "keep");
        ChooseFirstFavorite(&site, window, folder);
        flags = site.BrowseFlags();
        boxKept = GetWindowTextLengthA(box) == 4;
        screenLocked = test::LockProbe().ScreenLocked();
        // Typed, the path and Enter would have closed the picker with it.
        wentThere = test::PumpUntil([&] { return shows(data); }, 3000) && IsWindow(window);
        dialog->Close(S_OK);
    };
    SetTimer(nullptr, 0, 100, [](HWND, UINT, UINT_PTR id, DWORD) CALLBACK {
        KillTimer(nullptr, id);
        inDialog();
    });
    dialog->Show(nullptr);
    inDialog = nullptr;

    EXPECT_TRUE(wentThere);
    EXPECT_EQ(flags, UINT{SBSP_SAMEBROWSER | SBSP_ABSOLUTE});
    EXPECT_TRUE(boxKept) << "nothing typed";
    EXPECT_FALSE(screenLocked);
}

// A dialog whose folder view is Wine's Explorer Browser, beside a box of its
// own: through the site's browser nothing is typed; without a site the box
// is typed into.
TEST_F(ContextMenuTest, DialogWithABrowserGoesThereAndOneWithoutTypes)
{
    test::MakeLink(favorites + "Data.lnk", data);
    for (const bool withSite : {true, false}) {
        SCOPED_TRACE(withSite);
        demo::ExplorerWindow dialog;
        ASSERT_EQ(dialog.Open("#32770", folder, {0, 0, 300, 200}), "");
        test::RecordedControl box(dialog.Frame(), "Edit", "keep.txt");
        ASSERT_TRUE(test::BringToForeground(dialog.Frame()));
        demo::BrowserSite site(dialog.ShellBrowser());

        ChooseFirstFavorite(withSite ? &site : nullptr, dialog.Frame(), folder);

        EXPECT_EQ(dialog.FolderShown(), withSite ? data : folder);
        EXPECT_EQ(site.BrowseFlags(), withSite ? UINT{SBSP_SAMEBROWSER | SBSP_ABSOLUTE} : ~0u);
        EXPECT_EQ(test::Describe(box.log).find('"' + data + '"') != std::string::npos, !withSite);
        ASSERT_TRUE(test::PumpUntil([] { return HostEnvironment::CanUnloadNow() == S_OK; }, 3000));
    }
}

// A menu takes "&" for a shortcut mark: the caption doubles it, while the
// help text and the command still go by the name.
TEST_F(ContextMenuTest, AmpersandInANameShowsAsItselfAndTheFavoriteStillLeadsThere)
{
    test::MakeLink(favorites + "Tom & Jerry.lnk", data);
    demo::ExplorerWindow frame;
    ASSERT_EQ(frame.Open("CabinetWClass", folder, {0, 0, 300, 200}), "");
    ASSERT_TRUE(test::BringToForeground(frame.Frame()));
    demo::BrowserSite site(frame.ShellBrowser());
    UniqueMenu host(CreatePopupMenu());
    HRESULT count = 0;
    ComPtr<IContextMenu> menu = MenuOn(folder, &site, host.get(), 100, count);
    ASSERT_EQ(count, 5);
    EXPECT_EQ(MenuTexts(GetSubMenu(host.get(), 0)).front(), "Tom && Jerry");
    EXPECT_EQ(HelpText(menu, 0), data);
    EXPECT_EQ(Invoke(menu, 0, frame.Frame()), S_OK);
    EXPECT_EQ(frame.FolderShown(), data);
}

// Explorer-style windows of the test, each on a folder, handed out by a
// stand-in for the shell's window list as Explorer's list hands out its own.
class OpenWindows {
public:
    explicit OpenWindows(DWORD delayMs = 0) : list(delayMs) { EXPECT_TRUE(list.Registered()); }
    HWND Open(const std::string& folder)
    {
        windows_.push_back(std::make_unique<demo::ExplorerWindow>());
        EXPECT_EQ(windows_.back()->Open("CabinetWClass", folder, {0, 0, 300, 200}), "");
        sites_.push_back(std::make_unique<demo::BrowserSite>(windows_.back()->ShellBrowser()));
        list.Add(sites_.back().get());
        return windows_.back()->Frame();
    }
    demo::ExplorerWindow& Window(size_t i) { return *windows_[i]; }
    demo::BrowserSite& Site(size_t i) { return *sites_[i]; }

    demo::WindowList list;

private:
    std::vector<std::unique_ptr<demo::ExplorerWindow>> windows_;
    std::vector<std::unique_ptr<demo::BrowserSite>> sites_;
};

// The folders open in other windows follow "Maintenance", most recently
// active first, each once, with the parent's name where two share one, and
// go first when identifiers are short; one chosen sends the menu's window
// there through its browser.
TEST_F(ContextMenuTest, FoldersOpenInExplorerWindowsFollowMaintenanceAndOneChosenIsGoneTo)
{
    const std::string work = dir / "Work", home = dir / "Home";
    for (const std::string& made : {work, home, work + "\\Docs", home + "\\Docs"}) test::MakeFolder(made);
    OpenWindows open;
    for (const std::string& shown : {data, work + "\\Docs", home + "\\Docs", data, folder}) open.Open(shown);
    ASSERT_TRUE(test::BringToForeground(open.Window(4).Frame()));
    const std::vector<std::string> fixed = {"Add to list", "Create favorite", "Maintenance"};
    const std::vector<std::string> all = {"", "Data", "Docs (Home)", "Docs (Work)"};
    const struct {
        UINT last;
        size_t listed; // open folders that fit
    } cases[] = {{100, 3}, {5, 1}, {4, 0}, {3, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.last);
        UniqueMenu host(CreatePopupMenu());
        HRESULT count = E_FAIL;
        const ComPtr<IContextMenu> menu = MenuOn(folder, &open.Site(4), host.get(), c.last, count);
        std::vector<std::string> expected = fixed;
        if (c.listed) expected.insert(expected.end(), all.begin(), all.begin() + 1 + c.listed);
        EXPECT_EQ(count, MAKE_HRESULT(SEVERITY_SUCCESS, 0, expected.size()));
        EXPECT_EQ(MenuTexts(GetSubMenu(host.get(), 0)), expected);
        if (c.listed < 3) continue;
        const std::string help[] = {data, home + "\\Docs", work + "\\Docs"};
        for (size_t i = 0; i < 3; ++i) EXPECT_EQ(HelpText(menu, 4 + i), help[i]);
        EXPECT_EQ(Invoke(menu, 5, open.Window(4).Frame()), S_OK);
        EXPECT_EQ(open.Window(4).FolderShown(), home + "\\Docs");
    }
}

// On the desktop the window showing the folder comes to the front.
TEST_F(ContextMenuTest, OnTheDesktopAnOpenFolderBringsItsWindowToTheFront)
{
    OpenWindows open;
    const HWND frame = open.Open(data);
    test::TestWindow desktop("Progman");
    ASSERT_TRUE(test::BringToForeground(desktop.hwnd()));
    UniqueMenu host(CreatePopupMenu());
    HRESULT count = E_FAIL;
    const ComPtr<IContextMenu> menu = MenuOn(folder, nullptr, host.get(), 100, count);
    EXPECT_EQ(MenuTexts(GetSubMenu(host.get(), 0)),
              (std::vector<std::string>{"Create favorite", "Maintenance", "", "Data"}));
    EXPECT_EQ(Invoke(menu, 3, desktop.hwnd()), S_OK);
    EXPECT_EQ(GetForegroundWindow(), frame);
    EXPECT_EQ(open.Window(0).FolderShown(), data);
}

// A window list that does not answer in time costs the menu its open
// folders, not its time; a later menu lists them once it answers.
TEST_F(ContextMenuTest, SlowWindowListIsLeftOutInTimeAndComesBackOnceItAnswers)
{
    OpenWindows open(3000);
    open.Open(data);
    test::TestWindow dialog("#32770");
    ASSERT_TRUE(test::BringToForeground(dialog.hwnd()));
    const auto texts = [&] {
        UniqueMenu host(CreatePopupMenu());
        HRESULT count = E_FAIL;
        MenuOn(folder, nullptr, host.get(), 100, count);
        return MenuTexts(GetSubMenu(host.get(), 0));
    };
    const DWORD start = GetTickCount();
    EXPECT_EQ(texts().back(), "Maintenance");
    EXPECT_LT(GetTickCount() - start, 2000u) << "not a speed target: a menu that waited would take the list's delay";
    EXPECT_EQ(HostEnvironment::CanUnloadNow(), S_FALSE) << "the list's reader is still out";
    open.list.SetDelay(0);
    EXPECT_TRUE(test::PumpUntil([&] { return texts().back() == "Data"; }, 15000));
}

// The folders the user was just in follow the open folders, from both of the
// system's records, newest first, each once, none that the list above shows
// nor the menu's own; one chosen sends the window there through its browser.
// Either privacy switch hides them.
TEST_F(ContextMenuTest, RecentFoldersFollowNewestFirstAndOneChosenIsGoneTo)
{
    const std::string photos = dir / "Photos", mail = dir / "Mail";
    for (const std::string& made : {photos, mail}) test::MakeFolder(made);
    test::WriteBytes(mail + "\\note.txt", "x");
    test::MakeLink(favorites + "Data.lnk", data);
    using test::RecentRecords;
    RecentRecords records;
    records.WriteDialogRecords({RecentRecords::DialogRecord(mail), RecentRecords::DialogRecord(data)}, {1, 0});
    records.AddLink("Photos.lnk", photos, 60);
    records.AddLink("note.txt.lnk", mail + "\\note.txt", -60);
    records.AddLink("report.txt.lnk", report, -120);
    demo::ExplorerWindow frame;
    ASSERT_EQ(frame.Open("CabinetWClass", folder, {0, 0, 300, 200}), "");
    ASSERT_TRUE(test::BringToForeground(frame.Frame()));
    demo::BrowserSite site(frame.ShellBrowser());
    const auto texts = [&](ComPtr<IContextMenu>& menu) {
        UniqueMenu host(CreatePopupMenu());
        HRESULT count = E_FAIL;
        menu = MenuOn(folder, &site, host.get(), 100, count);
        return MenuTexts(GetSubMenu(host.get(), 0));
    };
    std::vector<std::string> expected = {"Data", "", "Add to list", "Create favorite", "Maintenance"};
    ComPtr<IContextMenu> menu;
    const struct {
        const char *key, *name;
        DWORD value;
    } switches[] = {{RecentRecords::kAdvancedKey, "Start_TrackDocs", 0},
                    {RecentRecords::kPoliciesKey, "NoRecentDocsHistory", 1}};
    for (const auto& s : switches) {
        RegSetKeyValueA(HKEY_CURRENT_USER, s.key, s.name, REG_DWORD, &s.value, sizeof(s.value));
        EXPECT_EQ(texts(menu), expected) << s.name;
        RegDeleteKeyValueA(HKEY_CURRENT_USER, s.key, s.name);
    }
    expected.insert(expected.end(), {"", "Photos", "Mail"});
    EXPECT_EQ(texts(menu), expected);
    EXPECT_EQ(HelpText(menu, 6), photos);
    EXPECT_EQ(Invoke(menu, 6, frame.Frame()), S_OK);
    EXPECT_EQ(frame.FolderShown(), photos);
}

// The scaling as Wine takes it, from LogPixels, which a process reads as it
// starts: a process of its own per scaling.
TEST_F(ContextMenuTest, ItemPicturesHaveTheSizeOfASmallIconAtTheScaling)
{
    test::MakeLink(favorites + "Data.lnk", data);
    const std::string program = test::LibraryPath().substr(0, test::LibraryPath().rfind('\\') + 1) + INSTALLED_MENU;
    const std::string command = program + " \"" + test::LibraryPath() + "\" \"" + data + "\" --picture-size";
    const char key[] = "Control Panel\\Desktop";
    const ScopeExit reset([&key] { RegDeleteKeyValueA(HKEY_CURRENT_USER, key, "LogPixels"); });
    for (const DWORD dpi : {96, 144, 192}) {
        RegSetKeyValueA(HKEY_CURRENT_USER, key, "LogPixels", REG_DWORD, &dpi, sizeof dpi);
        EXPECT_EQ(test::RunProgram(command), std::optional<DWORD>(dpi / 6)) << dpi;
    }
}

} // namespace
} // namespace vok

namespace vok {
namespace {

// {BD566B9D-AA72-4068-9809-1473BDA5DBF3}, which the package declares.
constexpr CLSID kCommandClsid = {0xBD566B9D, 0xAA72, 0x4068, {0x98, 0x09, 0x14, 0x73, 0xBD, 0xA5, 0xDB, 0xF3}};

// The command as Explorer gets it from its package: by class, through the
// library's own class factory, never through the registry.
ComPtr<IExplorerCommand> CreateCommand()
{
    ComPtr<IClassFactory> factory;
    ComPtr<IExplorerCommand> command;
    EXPECT_EQ(HostEnvironment::GetClassObject(kCommandClsid, IID_PPV_ARGS(&factory)), S_OK);
    if (factory) {
        EXPECT_EQ(factory->CreateInstance(nullptr, IID_PPV_ARGS(&command)), S_OK);
    }
    return command;
}

ComPtr<IShellItemArray> ItemsOf(const std::string& path)
{
    ComPtr<IShellItemArray> items;
    const UniquePidl pidl = PidlOf(path);
    LPCITEMIDLIST lists[] = {pidl.get()};
    EXPECT_EQ(SHCreateShellItemArrayFromIDLists(1, lists, &items), S_OK);
    return items;
}

using CommandText = HRESULT (STDMETHODCALLTYPE IExplorerCommand::*)(IShellItemArray*, LPWSTR*);

std::string TextOf(IExplorerCommand& command, CommandText get = &IExplorerCommand::GetTitle)
{
    wchar_t* text = nullptr;
    EXPECT_EQ((command.*get)(nullptr, &text), S_OK);
    const std::string ansi = AnsiOf(text ? text : L"");
    CoTaskMemFree(text);
    return ansi;
}

// The children's titles, a separator's as the empty text a menu gives.
std::vector<std::string> ChildrenOf(IExplorerCommand& root, std::vector<ComPtr<IExplorerCommand>>* children = nullptr)
{
    ComPtr<IEnumExplorerCommand> list;
    EXPECT_EQ(root.EnumSubCommands(&list), S_OK);
    std::vector<std::string> titles;
    for (ComPtr<IExplorerCommand> child; list && list->Next(1, child.ReleaseAndGetAddressOf(), nullptr) == S_OK;) {
        EXPCMDFLAGS flags = ~0u;
        EXPECT_EQ(child->GetFlags(&flags), S_OK);
        titles.push_back(flags == ECF_ISSEPARATOR ? "" : TextOf(*child.Get()));
        if (children) children->push_back(child);
    }
    return titles;
}

EXPCMDSTATE StateOn(IExplorerCommand& command, const std::string& path)
{
    EXPCMDSTATE state = ~0u;
    EXPECT_EQ(command.GetState(ItemsOf(path).Get(), FALSE, &state), S_OK);
    return state;
}

TEST_F(ContextMenuTest, ExplorerCommandShowsTheClassicSubmenuAndGoesThroughTheSitesBrowser)
{
    test::MakeLink(favorites + "Data.lnk", data);
    test::MakeLink(favorites + "Tom & Jerry.lnk", report);
    ComPtr<IExplorerCommand> root = CreateCommand();
    ASSERT_TRUE(root);
    EXPCMDFLAGS flags = 0;
    EXPECT_EQ(root->GetFlags(&flags), S_OK);
    EXPECT_EQ(flags, ECF_HASSUBCOMMANDS);
    EXPECT_EQ(TextOf(*root.Get()), "Vokmark");
    const std::string icon = TextOf(*root.Get(), &IExplorerCommand::GetIcon);
    const size_t comma = icon.rfind(",-");
    UniqueIcon small;
    EXPECT_EQ(ExtractIconExA(icon.substr(0, comma).c_str(), std::stoi(icon.substr(comma + 1)), nullptr, small.put(), 1),
              1u)
        << icon << ": a picture there, by number";

    // The classic submenu and the command's children, for the same place.
    char desktop[MAX_PATH] = {};
    ASSERT_EQ(SHGetFolderPathA(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, desktop), S_OK);
    const struct {
        const char* place;
        const char* front;
        std::string background; // the folder whose background is clicked, or
        const char* selected;   // the item selected in `folder`
    } cases[] = {
        {"a folder's background", "CabinetWClass", folder, nullptr},
        {"the desktop", "Progman", desktop, nullptr},
        {"a favourite folder", "CabinetWClass", "", "Data"},
        {"a file", "CabinetWClass", "", "report.txt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.place);
        test::TestWindow front(c.front);
        ASSERT_TRUE(test::BringToForeground(front.hwnd()));
        ComPtr<IShellExtInit> handler = CreateHandler();
        ComPtr<IContextMenu> menu;
        ASSERT_EQ(handler.As(&menu), S_OK);
        ASSERT_EQ(c.selected ? handler->Initialize(nullptr, SelectionOf(folder, {c.selected}).Get(), nullptr)
                             : handler->Initialize(PidlOf(c.background).get(), nullptr, nullptr),
                  S_OK);
        UniqueMenu host(CreatePopupMenu());
        ASSERT_GT(HRESULT_CODE(menu->QueryContextMenu(host.get(), 0, 1, 100, CMF_NORMAL)), 0);
        EXPECT_EQ(StateOn(*root.Get(), c.selected ? folder + "\\" + c.selected : c.background), ECS_ENABLED);
        EXPECT_EQ(ChildrenOf(*root.Get()), MenuTexts(GetSubMenu(host.get(), 0)));
    }

    // Chosen in an Explorer window, a favourite is gone to through the
    // window's browser, from the site the root was given.
    demo::ExplorerWindow frame;
    ASSERT_EQ(frame.Open("CabinetWClass", folder, {0, 0, 300, 200}), "");
    ASSERT_TRUE(test::BringToForeground(frame.Frame()));
    demo::BrowserSite site(frame.ShellBrowser());
    ComPtr<IObjectWithSite> withSite;
    ASSERT_EQ(root.As(&withSite), S_OK);
    EXPECT_EQ(withSite->SetSite(&site), S_OK);
    EXPECT_EQ(StateOn(*root.Get(), folder), ECS_ENABLED);
    std::vector<ComPtr<IExplorerCommand>> children;
    ASSERT_EQ(ChildrenOf(*root.Get(), &children)[0], "Data");
    EXPECT_EQ(children[0]->Invoke(nullptr, nullptr), S_OK);
    EXPECT_EQ(frame.FolderShown(), data);
    EXPECT_EQ(site.BrowseFlags(), UINT{SBSP_SAMEBROWSER | SBSP_ABSOLUTE});
    children.clear();
    withSite->SetSite(nullptr);
    EXPECT_EQ(site.Held(), 0) << "given back by the children and the root";

    const DWORD inactive = 0;
    test::SetVokValue(kStatusValue, REG_DWORD, &inactive, sizeof inactive);
    EXPECT_EQ(StateOn(*root.Get(), folder), ECS_HIDDEN);
}

} // namespace
} // namespace vok
