// The About window against the real window: the form linked in here, with
// this program's copy of the resources, and the library itself through
// rundll32.exe in other processes.
#include "AboutBox/AboutBox.h"

#include "Common/Unique.h"
#include "Common/WindowText.h"
#include "Resources/AboutBoxLayout.h"
#include "Server/Module.h"
#include "Work/Installation.h"

#include "TestSupport.h"
#include "Work/Store/Favorites.h"
#include "Work/Registry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace vok {
namespace {

using test::PumpUntil;

std::string BesideThisProgram(const char* file)
{
    char path[MAX_PATH] = {};
    const std::string self(path, GetModuleFileNameA(nullptr, path, MAX_PATH));
    return self.substr(0, self.rfind('\\') + 1) + file;
}

// Visible top-level dialogs captioned `caption`, of process `pid` (0: any).
std::vector<HWND> Dialogs(const char* caption, DWORD pid = 0)
{
    std::vector<HWND> found;
    for (HWND w = nullptr; (w = FindWindowExA(nullptr, w, "#32770", caption));) {
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        if (IsWindowVisible(w) && (!pid || owner == pid)) found.push_back(w);
    }
    return found;
}

HWND WaitForDialog(const char* caption, DWORD pid = GetCurrentProcessId())
{
    PumpUntil([&] { return !Dialogs(caption, pid).empty(); }, 15000);
    const auto found = Dialogs(caption, pid);
    return found.empty() ? nullptr : found.front();
}

bool AboutMutexExists()
{
    return UniqueHandle(OpenMutexA(SYNCHRONIZE, FALSE, kAboutMutexName)).get() != nullptr;
}

// The free address space below 4 GiB, reserved while it lives. On 64-bit
// Windows a thread's stack, and the About form on it, may lie above 4 GiB;
// under Wine stacks lie below 2 GiB, where a pointer cut to 32 bits loses
// nothing. A thread made while this is held gets its stack above 4 GiB.
class LowAddressSpaceReserved {
public:
    LowAddressSpaceReserved()
    {
#ifdef _WIN64
        const auto limit = static_cast<ULONG_PTR>(0x100000000ull);
        MEMORY_BASIC_INFORMATION region;
        for (ULONG_PTR at = 0x10000; at < limit && VirtualQuery(reinterpret_cast<void*>(at), &region, sizeof region);
             at = reinterpret_cast<ULONG_PTR>(region.BaseAddress) + region.RegionSize) {
            if (region.State != MEM_FREE) continue;
            const ULONG_PTR start = (reinterpret_cast<ULONG_PTR>(region.BaseAddress) + 0xFFFF) & ~ULONG_PTR(0xFFFF);
            const ULONG_PTR end = std::min(reinterpret_cast<ULONG_PTR>(region.BaseAddress) + region.RegionSize, limit);
            if (end <= start) continue;
            if (void* block = VirtualAlloc(reinterpret_cast<void*>(start), end - start, MEM_RESERVE, PAGE_NOACCESS))
                blocks_.push_back(block);
        }
#endif
    }
    ~LowAddressSpaceReserved()
    {
        for (void* block : blocks_) VirtualFree(block, 0, MEM_RELEASE);
    }
    LowAddressSpaceReserved(const LowAddressSpaceReserved&) = delete;
    LowAddressSpaceReserved& operator=(const LowAddressSpaceReserved&) = delete;

private:
    std::vector<void*> blocks_;
};

HANDLE StartAboutThread()
{
    const LowAddressSpaceReserved highStack;
    return CreateThread(
        nullptr, 0, [](LPVOID) WINAPI -> DWORD { return ShowAboutWindow(), 0; }, nullptr, 0, nullptr);
}

// ShowAboutWindow on a thread of its own, as a host's thread would call it,
// with the form's address above 4 GiB on 64-bit hosts.
class AboutOnThread {
public:
    AboutOnThread() : thread_(StartAboutThread()) {}
    ~AboutOnThread()
    {
        if (!Ended(0) && IsWindow(window_)) PostMessageA(window_, WM_CLOSE, 0, 0);
        if (!Ended()) TerminateThread(thread_.get(), 1);
    }
    HWND Window() { return window_ ? window_ : (window_ = WaitForDialog("About VOK")); }
    HWND Item(int id) { return GetDlgItem(Window(), id); }
    bool Ended(DWORD timeoutMs = 10000) { return WaitForSingleObject(thread_.get(), timeoutMs) == WAIT_OBJECT_0; }

private:
    UniqueHandle thread_;
    HWND window_ = nullptr;
};

// Another process, ended when the test is done with it.
class Process {
public:
    explicit Process(std::string commandLine)
    {
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info = {};
        CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info);
        process_.reset(info.hProcess);
        UniqueHandle thread(info.hThread);
        id = info.dwProcessId;
    }
    ~Process() { TerminateProcess(process_.get(), 1); }
    DWORD ExitCode() const // STILL_ACTIVE: still running after 20 seconds
    {
        DWORD code = STILL_ACTIVE;
        return WaitForSingleObject(process_.get(), 20000) == WAIT_OBJECT_0 && GetExitCodeProcess(process_.get(), &code)
                   ? code
                   : STILL_ACTIVE;
    }
    DWORD id = 0;

private:
    UniqueHandle process_;
};

Process AboutBoxThroughRundll()
{
    return Process("rundll32.exe " + BesideThisProgram(VOK_DLL_NAME) + ",ShowAboutBox");
}

LONG WINAPI RefusedSetValue(HKEY, LPCSTR, DWORD, DWORD, const BYTE*, DWORD)
{
    return ERROR_ACCESS_DENIED;
}
LONG WINAPI RefusedCreateKey(HKEY, LPCSTR, DWORD, LPSTR, DWORD, REGSAM, LPSECURITY_ATTRIBUTES, PHKEY, LPDWORD)
{
    return ERROR_ACCESS_DENIED;
}

RECT PlaceOf(HWND control)
{
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(HWND_DESKTOP, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

bool Pressed(HWND button)
{
    return SendMessageA(button, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

// A click, and its handler run to the end (bounded).
void Click(HWND button)
{
    DWORD_PTR ignored = 0;
    EXPECT_TRUE(SendMessageTimeoutA(button, BM_CLICK, 0, 0, SMTO_NORMAL, 10000, &ignored));
}

LOGFONTA FontOf(HWND control)
{
    LOGFONTA font = {};
    GetObjectA(reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0)), sizeof font, &font);
    return font;
}

DWORD StoredStatus() // 99: none stored
{
    DWORD value = 99;
    return test::ReadStatusValue(value) ? value : 99;
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
        // However the window ended, nothing holds the mutex any more.
        EXPECT_FALSE(AboutMutexExists());
        EXPECT_TRUE(Dialogs("About VOK").empty());
        test::StopState();
    }
    // Command offsets the next context menu of another process uses.
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
    EXPECT_EQ(std::make_pair(client.right, client.bottom), std::make_pair(294L, 323L));
    EXPECT_EQ(GetWindowLongPtrA(window, GWL_STYLE) &
                  (WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX),
              WS_CAPTION | WS_SYSMENU);
    EXPECT_TRUE(GetWindowLongPtrA(window, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_NEAR(frame.left + frame.right, GetSystemMetrics(SM_CXSCREEN), 1) << "centred";
    EXPECT_NEAR(frame.top + frame.bottom, GetSystemMetrics(SM_CYSCREEN), 1);

    char warning[512] = {};
    LoadStringA(GetModuleHandleA(nullptr), IDS_WARNING, warning, sizeof warning);
    // Width or height 0: a label's, taken from its text. Left -1: after "Version".
    const struct {
        int id;
        RECT place; // left, top, width, height
        const char* text;
        const char* face; // null: shows no text
        LONG weight;
        BYTE charset;
    } components[] = {
        {IDC_BEVEL, {RECT_BEVEL}, "", nullptr, 0, 0},
        {IDC_WARNING, {8, 224, 274, 0}, warning, "Times New Roman", FW_NORMAL, ANSI_CHARSET},
        {IDC_IMAGE, {RECT_IMAGE}, "BANNER", nullptr, 0, 0},
        {IDOK, {RECT_OK}, "OK", "Tahoma", FW_NORMAL, ANSI_CHARSET},
        {IDC_OUTER, {RECT_OUTER}, "", nullptr, 0, 0},
        {IDC_PRODUCT, {56, 8, 0, 0}, "Vokmark", "Tahoma", FW_BOLD, ANSI_CHARSET},
        {IDC_VERSIONINFO, {56, 20, 0, 0}, "Version", "Tahoma", FW_NORMAL, ANSI_CHARSET},
        {IDC_VERSION, {-1, 20, 0, 0}, "3.0", "MS Sans Serif", FW_NORMAL, DEFAULT_CHARSET},
        {IDC_COPYRIGHT, {56, 80, 181, 0}, "Copyright \xA9 2005 TALLOWAY", "Tahoma", FW_NORMAL, ANSI_CHARSET},
        {IDC_COMPANY, {56, 68, 0, 0}, kMakerHost, "Tahoma", FW_NORMAL, ANSI_CHARSET},
        {IDC_ACTIVE, {RECT_ACTIVE}, "Active", "Tahoma", FW_NORMAL, ANSI_CHARSET},
        {IDC_INACTIVE, {RECT_INACTIVE}, "Inactive", "Tahoma", FW_NORMAL, ANSI_CHARSET},
    };
    for (const auto& c : components) {
        SCOPED_TRACE(c.text);
        const HWND control = about.Item(c.id);
        const RECT r = PlaceOf(control);
        const std::pair<LONG, LONG> wantGot[] = {
            {c.place.left, r.left}, {c.place.top, r.top}, {c.place.right, r.right}, {c.place.bottom, r.bottom}};
        for (const auto& [want, got] : wantGot) {
            if (want > 0) {
                EXPECT_EQ(got, want);
            }
        }
        EXPECT_LE(r.left + r.right, 294);
        EXPECT_LE(r.top + r.bottom, c.id == IDC_WARNING ? 296 : 323) << "inside, and clear of OK";
        char text[512] = {};
        GetWindowTextA(control, text, sizeof text);
        EXPECT_STREQ(text, c.text);
        if (!c.face) continue;
        const LOGFONTA font = FontOf(control);
        EXPECT_EQ(std::string(font.lfFaceName) + "/" + std::to_string(font.lfWeight) + "/" +
                      std::to_string(font.lfHeight) + "/" + std::to_string(font.lfCharSet),
                  std::string(c.face) + "/" + std::to_string(c.weight) + "/-11/" + std::to_string(c.charset));
        if (c.place.bottom) continue;
        // A label shows all of its text; only the warning takes more than a line.
        const HDC dc = GetDC(control);
        const HGDIOBJ previous = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(control, WM_GETFONT, 0, 0)));
        RECT needed = {0, 0, r.right, 0};
        DrawTextA(dc, c.text, -1, &needed, DT_CALCRECT | DT_NOPREFIX | DT_WORDBREAK);
        SelectObject(dc, previous);
        ReleaseDC(control, dc);
        EXPECT_LE(needed.right, r.right);
        EXPECT_LE(needed.bottom, r.bottom);
        EXPECT_TRUE(c.id == IDC_WARNING || r.bottom == 13) << "one line";
    }
    const RECT word = PlaceOf(about.Item(IDC_VERSIONINFO));
    EXPECT_EQ(PlaceOf(about.Item(IDC_VERSION)).left, std::max<LONG>(95, word.left + word.right + 4));
    // Right of the picture, below the copyright line and above the bevel: empty.
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        const RECT r = PlaceOf(child);
        EXPECT_TRUE(r.left + r.right <= 56 || r.top + r.bottom <= 94 || r.top >= 216) << GetDlgCtrlID(child);
    }
}

TEST_F(AboutBoxTest, PressedButtonFollowsTheStoredSwitchAndShowingWritesNothing)
{
    for (const DWORD stored : {99ul, 0ul, 1ul, 5ul}) { // 99: none stored
        SCOPED_TRACE(stored);
        if (stored != 99) test::SetVokValue(kStatusValue, REG_DWORD, &stored, sizeof stored);
        AboutOnThread about;
        EXPECT_EQ(Pressed(about.Item(IDC_ACTIVE)), stored != 0);
        EXPECT_EQ(Pressed(about.Item(IDC_INACTIVE)), stored == 0);
        EXPECT_EQ(test::ReadState(&ExtensionState::Enabled), stored != 0);
        Click(about.Item(IDOK));
        EXPECT_TRUE(about.Ended());
        EXPECT_EQ(StoredStatus(), stored);
    }
}

TEST_F(AboutBoxTest, SwitchIsStoredAtOnceAndReachesTheMenusOfOtherProcesses)
{
    AboutOnThread about;
    const HWND active = about.Item(IDC_ACTIVE), inactive = about.Item(IDC_INACTIVE);
    // The pressed button stays pressed and stores again; the other releases.
    const std::pair<HWND, DWORD> clicks[] = {{active, 1}, {inactive, 0}, {inactive, 0}, {active, 1}};
    for (const auto& [button, stored] : clicks) {
        RegDeleteKeyValueA(HKEY_CURRENT_USER, kVokKey, kStatusValue);
        Click(button);
        EXPECT_TRUE(IsWindowVisible(about.Window())) << "stored while the window is open";
        EXPECT_EQ(StoredStatus(), stored);
        EXPECT_EQ(test::ReadState(&ExtensionState::Enabled), stored == 1);
        EXPECT_TRUE(Pressed(button));
        EXPECT_NE(Pressed(active), Pressed(inactive));
        const DWORD items = MenuItemsElsewhere();
        EXPECT_TRUE(stored ? items > 0 && items < 100 : items == 0) << items;
    }
    Click(about.Item(IDOK));
    EXPECT_TRUE(about.Ended());
}

TEST_F(AboutBoxTest, OkAndTheCloseBoxEndIt)
{
    const std::pair<UINT, WPARAM> ways[] = {{BM_CLICK, 0}, {WM_SYSCOMMAND, SC_CLOSE}};
    for (const auto& [message, wParam] : ways) {
        SCOPED_TRACE(message);
        AboutOnThread about;
        PostMessageA(message == BM_CLICK ? about.Item(IDOK) : about.Window(), message, wParam, 0);
        EXPECT_TRUE(about.Ended());
        EXPECT_FALSE(AboutMutexExists());
    }
}

TEST_F(AboutBoxTest, SecondRequestWhileOneIsOpenReturnsAtOnceAndOpensNothing)
{
    AboutOnThread about;
    const HWND window = about.Window();
    ASSERT_TRUE(window);
    EXPECT_TRUE(AboutOnThread().Ended(5000)) << "in this process";
    EXPECT_EQ(AboutBoxThroughRundll().ExitCode(), 0u) << "in another";
    EXPECT_EQ(Dialogs("About VOK"), std::vector<HWND>{window});
}

TEST_F(AboutBoxTest, RundllRunsTheLibrarysStartUpThenShowsTheWindow)
{
    RegDeleteTreeA(HKEY_CURRENT_USER, kVokKey); // no installation: start-up says so first
    const Process rundll = AboutBoxThroughRundll();
    const HWND message = WaitForDialog(kMissingInstallationCaption, rundll.id);
    ASSERT_TRUE(message);
    EXPECT_TRUE(Dialogs("About VOK").empty());
    PostMessageA(message, WM_COMMAND, IDOK, 0);
    const HWND window = WaitForDialog("About VOK", rundll.id);
    ASSERT_TRUE(window);
    PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(rundll.ExitCode(), 0u);
}

// vokmark.exe, the package's application: the About window of the library
// beside it.
TEST_F(AboutBoxTest, VokmarkProgramShowsTheWindowOfTheLibraryBesideIt)
{
    const Process vokmark(BesideThisProgram(VOKMARK_NAME));
    const HWND window = WaitForDialog("About VOK", vokmark.id);
    ASSERT_TRUE(window);
    PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(vokmark.ExitCode(), 0u);
}

TEST_F(AboutBoxTest, SwitchThatCannotBeStoredShowsTheErrorBox)
{
    const std::pair<const char*, const void*> refusals[] = {
        {"RegSetValueExA", reinterpret_cast<const void*>(&RefusedSetValue)},
        {"RegCreateKeyExA", reinterpret_cast<const void*>(&RefusedCreateKey)}};
    for (const auto& [function, replacement] : refusals) {
        SCOPED_TRACE(function);
        AboutOnThread about;
        {
            const test::ImportPatch refused("advapi32.dll", function, replacement);
            ASSERT_TRUE(refused);
            PostMessageA(about.Item(IDC_INACTIVE), BM_CLICK, 0, 0);
            const HWND box = WaitForDialog(kStatusErrorTitle);
            ASSERT_TRUE(box);
            EXPECT_EQ(GetWindow(box, GW_OWNER), about.Window());
            char text[128] = {};
            GetDlgItemTextA(box, 0xFFFF, text, sizeof text); // a message box's text
            EXPECT_STREQ(text, "Failed to set data for 'Status'");
            EXPECT_EQ(SendDlgItemMessageA(box, 0x0440, STM_GETICON, 0, 0),
                      reinterpret_cast<LRESULT>(LoadIconA(nullptr, IDI_ERROR)));
            PostMessageA(box, WM_COMMAND, IDOK, 0);
            EXPECT_TRUE(PumpUntil([&] { return !IsWindow(box); }, 10000));
        }
        EXPECT_TRUE(IsWindowVisible(about.Window())) << "stays open";
        EXPECT_TRUE(Pressed(about.Item(IDC_INACTIVE)));
        EXPECT_FALSE(test::ReadState(&ExtensionState::Enabled));
        EXPECT_EQ(StoredStatus(), 99u);
    }
}

TEST_F(AboutBoxTest, PointerUnderlinesTheLinkAndAClickOpensTheHomePageHidden)
{
    bool visibleAtLaunch = true;
    test::ShellLaunchLog launches([&](const ShellLaunchCall& call) { visibleAtLaunch = IsWindowVisible(call.Owner); });
    AboutOnThread about;
    const HWND window = about.Window(), link = about.Item(IDC_COMPANY);
    const auto pointAt = [](HWND target, POINT p) { ClientToScreen(target, &p), SetCursorPos(p.x, p.y); };
    const auto underlined = [&] { return FontOf(link).lfUnderline != 0; };
    EXPECT_FALSE(underlined());
    pointAt(link, {3, 3});
    EXPECT_TRUE(PumpUntil(underlined, 5000));
    pointAt(window, {250, 150}); // free window area
    EXPECT_TRUE(PumpUntil([&] { return !underlined(); }, 5000));

    PostMessageA(link, WM_LBUTTONDOWN, MK_LBUTTON, 0);
    PostMessageA(link, WM_LBUTTONUP, 0, 0);
    ASSERT_TRUE(about.Ended());
    const ShellLaunchCall home{window, WString(L"open"), test::W(std::string("http://") + kMakerHost), {},
                               {},     SW_SHOWMAXIMIZED};
    EXPECT_EQ(launches.calls(), std::vector<ShellLaunchCall>{home});
    EXPECT_FALSE(visibleAtLaunch);
}

} // namespace
} // namespace vok
