// The About window against the real window: the form linked in here, with
// this program's copy of the resources, and the library itself through
// rundll32.exe in other processes.
#include "AboutBox/AboutBox.h"

#include "Common/Unique.h"
#include "Common/WindowText.h"
#include "Resources/AboutBoxLayout.h"
#include "Server/Module.h"
#include "TestSupport.h"
#include "Work/Favorites.h"
#include "Work/Registry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace vok {
namespace {

std::string BesideThisProgram(const char* file)
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir = path;
    return dir.substr(0, dir.rfind('\\') + 1) + file;
}

// Polls `found` every 10 ms for at most `timeoutMs`.
bool WaitFor(const std::function<bool()>& found, DWORD timeoutMs = 15000)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (!found()) {
        if (GetTickCount64() > deadline) return false;
        Sleep(10);
    }
    return true;
}

// Visible top-level dialogs captioned `caption`, of process `pid` (0: any).
std::vector<HWND> Dialogs(const std::string& caption, DWORD pid = 0)
{
    struct Search {
        std::string caption;
        DWORD pid;
        std::vector<HWND> found;
    } search{caption, pid, {}};
    EnumWindows(
        [](HWND hwnd, LPARAM p) -> BOOL {
            auto* s = reinterpret_cast<Search*>(p);
            DWORD owner = 0;
            GetWindowThreadProcessId(hwnd, &owner);
            if (IsWindowVisible(hwnd) && ClassNameOf(hwnd) == "#32770" && WindowTextOf(hwnd) == s->caption &&
                (!s->pid || owner == s->pid))
                s->found.push_back(hwnd);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForDialog(const std::string& caption, DWORD pid = 0)
{
    HWND found = nullptr;
    WaitFor([&] {
        const auto all = Dialogs(caption, pid);
        found = all.empty() ? nullptr : all.front();
        return found != nullptr;
    });
    return found;
}

bool AboutMutexExists()
{
    return UniqueHandle(OpenMutexA(SYNCHRONIZE, FALSE, kAboutMutexName)).get() != nullptr;
}

// ShowAboutWindow on a thread of its own, as a host's thread would call it.
class AboutOnThread {
public:
    AboutOnThread()
        : thread_(CreateThread(
              nullptr, 0,
              [](LPVOID) -> DWORD {
                  ShowAboutWindow();
                  return 0;
              },
              nullptr, 0, &threadId_))
    {
    }
    ~AboutOnThread()
    {
        if (!Ended(0) && IsWindow(window_)) PostMessageA(window_, WM_CLOSE, 0, 0);
        if (!Ended(10000)) TerminateThread(thread_.get(), 1);
    }
    // The window this thread shows, once it is up.
    HWND Window()
    {
        if (!window_) window_ = WaitForDialog("About VOK", GetCurrentProcessId());
        return window_;
    }
    HWND Item(int id) { return GetDlgItem(Window(), id); }
    bool Ended(DWORD timeoutMs = 10000) { return WaitForSingleObject(thread_.get(), timeoutMs) == WAIT_OBJECT_0; }

private:
    DWORD threadId_ = 0;
    UniqueHandle thread_;
    HWND window_ = nullptr;
};

// Another process; its exit code, or STILL_ACTIVE when it did not end in time.
class Process {
public:
    explicit Process(std::string commandLine)
    {
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info = {};
        if (CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
            process_.reset(info.hProcess);
            UniqueHandle(info.hThread).reset();
            id_ = info.dwProcessId;
        }
    }
    ~Process()
    {
        if (process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) TerminateProcess(process_.get(), 1);
    }
    DWORD id() const { return id_; }
    DWORD ExitCode(DWORD timeoutMs = 20000) const
    {
        DWORD code = STILL_ACTIVE;
        if (process_ && WaitForSingleObject(process_.get(), timeoutMs) == WAIT_OBJECT_0)
            GetExitCodeProcess(process_.get(), &code);
        return code;
    }

private:
    UniqueHandle process_;
    DWORD id_ = 0;
};

Process AboutBoxThroughRundll()
{
    return Process("rundll32.exe " + BesideThisProgram(VOK_DLL_NAME) + ",ShowAboutBox");
}

// Redirects this program's import of `function` from advapi32 while it lives.
class ImportPatch {
public:
    ImportPatch(const char* function, const void* replacement)
    {
        auto* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
        const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
            base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
        const DWORD imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
        for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports); d->Name; ++d) {
            if (lstrcmpiA(reinterpret_cast<const char*>(base + d->Name), "advapi32.dll") != 0) continue;
            auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->OriginalFirstThunk);
            auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
            for (; names->u1.AddressOfData; ++names, ++slots) {
                if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
                const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
                if (strcmp(reinterpret_cast<const char*>(byName->Name), function) == 0)
                    slot_ = reinterpret_cast<ULONG_PTR*>(&slots->u1.Function);
            }
        }
        if (slot_) original_ = Write(reinterpret_cast<ULONG_PTR>(replacement));
    }
    ~ImportPatch()
    {
        if (slot_) Write(original_);
    }
    explicit operator bool() const { return slot_ != nullptr; }

private:
    ULONG_PTR Write(ULONG_PTR value)
    {
        DWORD protection = 0;
        VirtualProtect(slot_, sizeof *slot_, PAGE_READWRITE, &protection);
        const ULONG_PTR old = std::exchange(*slot_, value);
        VirtualProtect(slot_, sizeof *slot_, protection, &protection);
        return old;
    }
    ULONG_PTR* slot_ = nullptr;
    ULONG_PTR original_ = 0;
};

LONG WINAPI RefusedSetValue(HKEY, LPCSTR, DWORD, DWORD, const BYTE*, DWORD)
{
    return ERROR_ACCESS_DENIED;
}
LONG WINAPI RefusedCreateKey(HKEY, LPCSTR, DWORD, LPSTR, DWORD, REGSAM, LPSECURITY_ATTRIBUTES, PHKEY, LPDWORD)
{
    return ERROR_ACCESS_DENIED;
}

RECT ClientRectOf(HWND control)
{
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(HWND_DESKTOP, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

bool Pressed(HWND button)
{
    return SendMessageA(button, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

// Sends a click and waits for its handler to finish, bounded.
void Click(HWND button)
{
    DWORD_PTR ignored = 0;
    ASSERT_TRUE(SendMessageTimeoutA(button, BM_CLICK, 0, 0, SMTO_NORMAL, 10000, &ignored));
}

LOGFONTA FontOf(HWND control)
{
    LOGFONTA font = {};
    GetObjectA(reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0)), sizeof font, &font);
    return font;
}

class AboutBoxTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetModuleInstance(GetModuleHandleA(nullptr));
        test::MakeFolder(dir / "inst");
        test::MakeFolder(dir / "inst\\Favorites");
        test::MakeLink(dir / "inst\\Favorites\\Data.lnk", dir.path());
        test::RestartStateWithInstallFolder(dir / "inst");
    }
    void TearDown() override
    {
        // Whatever way the window ended, nothing holds the mutex any more.
        EXPECT_FALSE(AboutMutexExists());
        EXPECT_TRUE(Dialogs("About VOK").empty());
        StopExtensionState();
    }
    void SetStatus(DWORD value) { test::SetVokValue(kStatusValue, REG_DWORD, &value, sizeof value); }
    // Menu items the next context menu of another process has.
    DWORD MenuItemsElsewhere() { return Process(BesideThisProgram(MENU_PROBE_NAME)).ExitCode(); }

    test::VokKeyReset registry;
    test::ScratchDir dir{"about"};
};

TEST_F(AboutBoxTest, WindowHasItsDesignedFrameAndComponents)
{
    AboutOnThread about;
    const HWND window = about.Window();
    ASSERT_TRUE(window);
    RECT client, frame;
    GetClientRect(window, &client);
    GetWindowRect(window, &frame);
    EXPECT_EQ(client.right, 294);
    EXPECT_EQ(client.bottom, 323);
    const LONG_PTR style = GetWindowLongPtrA(window, GWL_STYLE);
    EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX),
              WS_CAPTION | WS_SYSMENU);
    EXPECT_TRUE(GetWindowLongPtrA(window, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_NEAR((frame.left + frame.right) / 2, GetSystemMetrics(SM_CXSCREEN) / 2, 1);
    EXPECT_NEAR((frame.top + frame.bottom) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 1);
    EXPECT_TRUE(SendMessageA(window, WM_GETICON, ICON_BIG, 0));
    EXPECT_EQ(std::string(FontOf(window).lfFaceName), "Tahoma");
    EXPECT_EQ(FontOf(window).lfHeight, -11);

    char warning[512] = {};
    LoadStringA(GetModuleHandleA(nullptr), IDS_WARNING, warning, sizeof warning);
    // Labels (size 0) take their text's size: they only have to show all of it.
    const struct {
        int id;
        RECT place; // left, top, width, height
        const char* text;
        const char* face; // null: shows no text
        LONG weight;
    } components[] = {
        {IDC_BEVEL, {RECT_BEVEL}, "", nullptr, 0},
        {IDC_WARNING, {8, 224, 274, 0}, warning, "Times New Roman", FW_NORMAL},
        {IDC_IMAGE, {RECT_IMAGE}, "BANNER", nullptr, 0},
        {IDOK, {RECT_OK}, "OK", "Tahoma", FW_NORMAL},
        {IDC_OUTER, {RECT_OUTER}, "", nullptr, 0},
        {IDC_PRODUCT, {56, 8, 0, 0}, "Vokmark", "Tahoma", FW_BOLD},
        {IDC_VERSIONINFO, {56, 20, 0, 0}, "Version", "Tahoma", FW_NORMAL},
        {IDC_VERSION, {-1, 20, 0, 0}, "3.0", "MS Sans Serif", FW_NORMAL},
        {IDC_COPYRIGHT, {56, 80, 181, 0}, "Copyright \xA9 2005 TALLOWAY", "Tahoma", FW_NORMAL},
        {IDC_COMPANY, {56, 68, 0, 0}, kMakerHost, "Tahoma", FW_NORMAL},
        {IDC_ACTIVE, {RECT_ACTIVE}, "Active", "Tahoma", FW_NORMAL},
        {IDC_INACTIVE, {RECT_INACTIVE}, "Inactive", "Tahoma", FW_NORMAL},
    };
    for (const auto& c : components) {
        SCOPED_TRACE(c.text);
        const HWND control = about.Item(c.id);
        ASSERT_TRUE(control);
        const RECT r = ClientRectOf(control);
        if (c.place.left >= 0) { EXPECT_EQ(r.left, c.place.left); }
        EXPECT_EQ(r.top, c.place.top);
        if (c.place.right) { EXPECT_EQ(r.right - r.left, c.place.right); }
        if (c.place.bottom) { EXPECT_EQ(r.bottom - r.top, c.place.bottom); }
        EXPECT_LE(r.right, 294);
        EXPECT_LE(r.bottom, 323);
        std::string text(1024, '\0');
        text.resize(static_cast<size_t>(GetWindowTextA(control, &text[0], static_cast<int>(text.size()))));
        EXPECT_EQ(text, c.text);
        if (!c.face) continue; // no text to show
        const LOGFONTA font = FontOf(control);
        EXPECT_EQ(std::string(font.lfFaceName), c.face);
        EXPECT_EQ(font.lfWeight, c.weight);
        EXPECT_EQ(font.lfHeight, -11);
        if (c.place.bottom) continue;
        // A label shows all of its text.
        const HDC dc = GetDC(control);
        const HGDIOBJ previous = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(control, WM_GETFONT, 0, 0)));
        RECT needed = {0, 0, r.right - r.left, 0};
        DrawTextA(dc, c.text, -1, &needed, DT_CALCRECT | DT_NOPREFIX | DT_WORDBREAK);
        SelectObject(dc, previous);
        ReleaseDC(control, dc);
        EXPECT_LE(needed.right, r.right - r.left);
        EXPECT_LE(needed.bottom, r.bottom - r.top);
        if (c.id != IDC_WARNING) { EXPECT_EQ(r.bottom - r.top, 13) << "one line"; }
    }
    const RECT word = ClientRectOf(about.Item(IDC_VERSIONINFO));
    EXPECT_EQ(ClientRectOf(about.Item(IDC_VERSION)).left, std::max<LONG>(95, word.right + 4));
    EXPECT_LE(ClientRectOf(about.Item(IDC_WARNING)).bottom, 296) << "clear of OK";
    EXPECT_EQ(FontOf(about.Item(IDC_VERSION)).lfCharSet, DEFAULT_CHARSET);
    EXPECT_EQ(FontOf(about.Item(IDC_WARNING)).lfCharSet, ANSI_CHARSET);

    // Right of the picture, below the copyright line and above the bevel: empty.
    const RECT emptyArea = {56, 94, 294, 216};
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        RECT r = ClientRectOf(child), overlap;
        EXPECT_FALSE(IntersectRect(&overlap, &r, &emptyArea)) << GetDlgCtrlID(child);
    }
}

TEST_F(AboutBoxTest, PressedButtonFollowsTheStoredSwitchAndShowingWritesNothing)
{
    const struct {
        const char* label;
        bool stored;
        DWORD value;
        bool active;
    } cases[] = {{"missing", false, 0, true}, {"0", true, 0, false}, {"1", true, 1, true}, {"5", true, 5, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        test::SetInstallFolder(dir / "inst");
        if (c.stored) SetStatus(c.value);
        {
            AboutOnThread about;
            ASSERT_TRUE(about.Window());
            EXPECT_EQ(Pressed(about.Item(IDC_ACTIVE)), c.active);
            EXPECT_EQ(Pressed(about.Item(IDC_INACTIVE)), !c.active);
            EXPECT_EQ(test::ReadState(&ExtensionState::Enabled), c.active);
            Click(about.Item(IDOK));
            EXPECT_TRUE(about.Ended());
        }
        DWORD value = 7;
        EXPECT_EQ(test::ReadStatusValue(value), c.stored);
        if (c.stored) { EXPECT_EQ(value, c.value); }
        RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\VOK");
    }
}

TEST_F(AboutBoxTest, SwitchIsStoredAtOnceAndReachesOtherProcesses)
{
    AboutOnThread about;
    ASSERT_TRUE(about.Window());
    const HWND active = about.Item(IDC_ACTIVE), inactive = about.Item(IDC_INACTIVE);

    // Clicking the pressed button keeps it pressed and stores again.
    Click(active);
    DWORD value = 7;
    EXPECT_TRUE(test::ReadStatusValue(value));
    EXPECT_EQ(value, 1u);
    EXPECT_TRUE(Pressed(active));
    EXPECT_FALSE(Pressed(inactive));

    Click(inactive);
    ASSERT_TRUE(IsWindowVisible(about.Window())) << "stored before the window closes";
    EXPECT_TRUE(test::ReadStatusValue(value));
    EXPECT_EQ(value, 0u);
    EXPECT_FALSE(Pressed(active));
    EXPECT_TRUE(Pressed(inactive));
    EXPECT_FALSE(test::ReadState(&ExtensionState::Enabled));
    EXPECT_EQ(MenuItemsElsewhere(), 0u);

    Click(inactive);
    EXPECT_TRUE(Pressed(inactive));
    EXPECT_TRUE(test::ReadStatusValue(value));
    EXPECT_EQ(value, 0u);
    Click(about.Item(IDOK));
    EXPECT_TRUE(about.Ended());
}

TEST_F(AboutBoxTest, OkTheCloseBoxAndEscapeEndIt)
{
    const struct {
        const char* label;
        std::function<void(HWND)> close;
    } ways[] = {
        {"OK", [](HWND w) { Click(GetDlgItem(w, IDOK)); }},
        {"close box", [](HWND w) { PostMessageA(w, WM_SYSCOMMAND, SC_CLOSE, 0); }},
        {"Escape", [](HWND w) { PostMessageA(w, WM_COMMAND, IDCANCEL, 0); }},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.label);
        AboutOnThread about;
        ASSERT_TRUE(about.Window());
        way.close(about.Window());
        EXPECT_TRUE(about.Ended());
        EXPECT_FALSE(AboutMutexExists());
    }
}

TEST_F(AboutBoxTest, SecondRequestWhileOneIsOpenReturnsAtOnceAndOpensNothing)
{
    AboutOnThread about;
    const HWND window = about.Window();
    ASSERT_TRUE(window);

    AboutOnThread sameProcess;
    EXPECT_TRUE(sameProcess.Ended(5000));
    EXPECT_EQ(AboutBoxThroughRundll().ExitCode(), 0u);

    EXPECT_EQ(Dialogs("About VOK"), std::vector<HWND>{window});
    Click(about.Item(IDOK));
    EXPECT_TRUE(about.Ended());
}

TEST_F(AboutBoxTest, RundllRunsTheLibrarysStartUpThenShowsTheWindow)
{
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\VOK"); // no installation: start-up says so first
    const Process rundll = AboutBoxThroughRundll();
    const HWND message = WaitForDialog(kMissingInstallationCaption, rundll.id());
    ASSERT_TRUE(message);
    EXPECT_TRUE(Dialogs("About VOK").empty());
    PostMessageA(message, WM_COMMAND, IDOK, 0);

    const HWND window = WaitForDialog("About VOK", rundll.id());
    ASSERT_TRUE(window);
    PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(rundll.ExitCode(), 0u);
}

TEST_F(AboutBoxTest, SwitchThatCannotBeStoredShowsTheErrorBox)
{
    const struct {
        const char* function;
        const void* replacement;
    } failures[] = {{"RegSetValueExA", reinterpret_cast<const void*>(&RefusedSetValue)},
                    {"RegCreateKeyExA", reinterpret_cast<const void*>(&RefusedCreateKey)}};
    for (const auto& failure : failures) {
        SCOPED_TRACE(failure.function);
        AboutOnThread about;
        ASSERT_TRUE(about.Window());
        {
            const ImportPatch refused(failure.function, failure.replacement);
            ASSERT_TRUE(refused);
            PostMessageA(about.Item(IDC_INACTIVE), BM_CLICK, 0, 0);
            const HWND box = WaitForDialog(kStatusErrorTitle, GetCurrentProcessId());
            ASSERT_TRUE(box);
            EXPECT_EQ(GetWindow(box, GW_OWNER), about.Window());
            char text[128] = {};
            GetDlgItemTextA(box, 0xFFFF, text, sizeof text); // the message box's text
            EXPECT_STREQ(text, "Failed to set data for 'Status'");
            EXPECT_EQ(reinterpret_cast<HICON>(SendDlgItemMessageA(box, 0x0440, STM_GETICON, 0, 0)),
                      LoadIconA(nullptr, IDI_ERROR));
            PostMessageA(box, WM_COMMAND, IDOK, 0);
            EXPECT_TRUE(WaitFor([&] { return !IsWindow(box); }));
        }
        EXPECT_TRUE(IsWindowVisible(about.Window())) << "stays open";
        EXPECT_TRUE(Pressed(about.Item(IDC_INACTIVE)));
        EXPECT_FALSE(test::ReadState(&ExtensionState::Enabled));
        DWORD value = 0;
        EXPECT_FALSE(test::ReadStatusValue(value));
        Click(about.Item(IDOK));
        EXPECT_TRUE(about.Ended());
    }
}

TEST_F(AboutBoxTest, CompanyLinkHidesTheWindowOpensTheHomePageAndCloses)
{
    bool visibleAtLaunch = true;
    test::ShellLaunchLog launches([&](const ShellLaunchCall& call) { visibleAtLaunch = IsWindowVisible(call.Owner); });
    AboutOnThread about;
    const HWND window = about.Window();
    ASSERT_TRUE(window);
    const HWND link = about.Item(IDC_COMPANY);
    PostMessageA(link, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    PostMessageA(link, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    ASSERT_TRUE(about.Ended());
    const ShellLaunchCall expected{window, std::string("open"), std::string(kHomePageUrl), std::nullopt, std::nullopt,
                                   SW_SHOWMAXIMIZED};
    EXPECT_EQ(launches.calls(), std::vector<ShellLaunchCall>{expected});
    EXPECT_FALSE(visibleAtLaunch);
    EXPECT_EQ(std::string(kHomePageUrl), std::string("http://") + kMakerHost);
}

TEST_F(AboutBoxTest, PointerOverTheLinkUnderlinesIt)
{
    AboutOnThread about;
    ASSERT_TRUE(about.Window());
    const HWND link = about.Item(IDC_COMPANY);
    const auto pointAt = [](HWND target, int x, int y) {
        POINT p = {x, y};
        ClientToScreen(target, &p);
        SetCursorPos(p.x, p.y);
    };
    const auto underlined = [&] { return FontOf(link).lfUnderline != 0; };
    EXPECT_FALSE(underlined());
    pointAt(link, 3, 3);
    EXPECT_TRUE(WaitFor(underlined, 5000));
    pointAt(about.Window(), 250, 150); // free window area
    EXPECT_TRUE(WaitFor([&] { return !underlined(); }, 5000));
    Click(about.Item(IDOK));
    EXPECT_TRUE(about.Ended());
}

} // namespace
} // namespace vok
