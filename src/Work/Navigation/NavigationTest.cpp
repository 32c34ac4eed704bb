#include "Work/Navigation/Navigation.h"

#include "TestSupport.h"
#include "Common/WindowText.h"
#include "Work/ExtensionState.h"
#include "Work/Navigation/ShellLaunch.h"

#include <commdlg.h>
#include <commctrl.h>
#include <dlgs.h>
#include <gtest/gtest.h>
#include <shlobj.h>

#include <atomic>
#include <cstddef>
#include <optional>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

namespace vok {
namespace {

using test::Describe;
using test::LockProbe;
using test::MakeLink;
using test::RecordedControl;
using test::SeenMessage;
using test::ShellLaunchLog;
using test::TestDialog;
using test::W;
using Messages = std::vector<SeenMessage>;

constexpr DWORD kBound = 3000; // no wait in these tests should come near it

// One WM_CHAR per character as the box reads them: bytes in an ANSI box,
// UTF-16 code units in a Unicode one; lParam is the character, as wParam.
template <class Text>
void AppendChars(Messages& m, const Text& text)
{
    for (const auto c : text) {
        const auto value = static_cast<std::make_unsigned_t<typename Text::value_type>>(c);
        m.push_back({WM_CHAR, value, static_cast<LPARAM>(value), ""});
    }
}

// What typing a path into a box looks like from the box's side.
template <class Text>
Messages TypedText(const Text& path)
{
    Messages m{{EM_SETSEL, 0, -1, ""}, {WM_CLEAR, 0, 0, ""}, {WM_LBUTTONDOWN, 0, 0, ""}, {WM_LBUTTONUP, 0, 0, ""}};
    AppendChars(m, path);
    return m;
}
Messages Typed(const std::string& path)
{
    return TypedText(path);
}
Messages Typed(const WString& path)
{
    return TypedText(path);
}

// Posted, so they arrive through the thread's message loop, whose
// TranslateMessage queues a carriage return behind them.
Messages Enter()
{
    return {{WM_KEYDOWN, VK_RETURN, 0, ""}, {WM_KEYUP, VK_RETURN, 0, ""}, {WM_CHAR, '\r', 0, ""}};
}

template <class Text>
Messages RestoredText(const Text& saved)
{
    Messages m{{WM_LBUTTONDOWN, 0, 0, ""}, {WM_LBUTTONUP, 0, 0, ""}, {EM_SETSEL, 0, -1, ""}, {WM_CLEAR, 0, 0, ""}};
    AppendChars(m, saved);
    if (!saved.empty()) m.push_back({EM_SETSEL, 0, -1, ""});
    m.push_back({WM_CHAR, VK_ESCAPE, 0, ""});
    return m;
}
Messages Restored(const std::string& saved)
{
    return RestoredText(saved);
}
Messages Restored(const WString& saved)
{
    return RestoredText(saved);
}

Messages Concat(std::initializer_list<Messages> parts)
{
    Messages all;
    for (const Messages& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// Waits, without dispatching anything, until a WM_TIMER for `window` is due.
std::optional<MSG> WaitForDueTimer(HWND window)
{
    const ULONGLONG deadline = GetTickCount64() + kBound;
    MSG msg;
    while (!PeekMessageA(&msg, window, WM_TIMER, WM_TIMER, PM_NOREMOVE)) {
        if (GetTickCount64() >= deadline) return std::nullopt;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_TIMER);
    }
    return msg;
}

class NavigationTest : public test::InstalledTest {
protected:
    NavigationTest() : InstalledTest("navigation") {}
    void SetUp() override
    {
        InstalledTest::SetUp();
        MakeLink(favorites + "Data.lnk", dataPath);
        MakeLink(favorites + "Report.lnk", dir / "report.txt");
        MakeLink(favorites + "Gone.lnk", dir / "Gone");
        test::WriteBytes(favorites + "Web.url", "[InternetShortcut]\r\nURL=http://example.invalid/\r\n\r\n");
    }

    void TearDown() override
    {
        EXPECT_TRUE(WaitForRestore()) << "a restore was left pending";
        EXPECT_FALSE(lock.ScreenLocked()) << "the screen was left locked";
        LockWindowUpdate(nullptr);
        InstalledTest::TearDown();
    }

    // The favourite the next Go() goes to, as the menu's row names it.
    static WString& Chosen()
    {
        static WString chosen;
        return chosen;
    }

    static void Choose(const std::string& name, ContextKind contextKind)
    {
        Chosen() = W(name);
        MenuStateAccess()->ContextKind = contextKind;
    }

    static void Go() { NavigateToFavorite(Chosen(), fkNone, nullptr); }

    static void SetSavedEditText(const std::string& text)
    {
        MenuStateAccess state;
        state->SavedEditText = W(text);
    }

    static bool WaitForRestore()
    {
        return test::PumpUntil([] { return test::ReadState(&MenuState::RestoreTimer) == 0; }, kBound);
    }

    const std::string dataPath = dir / "Data";
    LockProbe lock;
};

TEST_F(NavigationTest, HostKindFollowsTheActiveWindowClass)
{
    const struct {
        const char* className;
        EditHostKind kind;
    } cases[] = {
        {"CabinetWClass", ehCabinetWindow}, {"ExploreWClass", ehExploreWindow}, {"bosa_sdm", ehOfficeDialog},
        {"bosa_sdm_Mso96", ehOfficeDialog}, {"bosa_sd", ehOtherWindow},         {"Bosa_sdm_Mso96", ehOtherWindow},
        {"cabinetwclass", ehOtherWindow},   {"ExplorerWClass", ehOtherWindow}, // Wine's own Explorer
    };
    for (const auto& c : cases) {
        test::TestWindow host(c.className);
        EXPECT_EQ(EditHostKindOf(host.hwnd()), c.kind) << c.className;
    }
    TestDialog dialog("Open");
    EXPECT_EQ(EditHostKindOf(dialog.hwnd()), ehOtherWindow);
}

TEST_F(NavigationTest, ShortcutsToFilesAndInternetShortcutsAreOpenedByTheShell)
{
    const struct {
        const char* name;
        std::optional<std::string> opened; // nothing opened when empty
    } cases[] = {
        {"Report", favorites + "Report.lnk"},
        {"Web", favorites + "Web.url"},
        {"Gone", std::nullopt}, // dead link: silently nothing
        {"Missing", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TestDialog dialog("Open");
        RecordedControl box(dialog.hwnd(), "Edit", "keep.txt");
        ShellLaunchLog launches;
        Choose(c.name, ckWindowBackground);

        Go();

        std::vector<ShellLaunchCall> expected;
        if (c.opened) expected.push_back({nullptr, L"open", W(*c.opened), std::nullopt, std::nullopt, SW_SHOWNA});
        EXPECT_EQ(launches.calls(), expected);
        EXPECT_EQ(Describe(box.log), Describe(Messages())) << "no window is touched";
        EXPECT_EQ(test::ReadState(&MenuState::RestoreTimer), 0u);
    }
}

// A favourite with an item list and no path, with no browser to send there:
// it opens in a new window, from the desktop's background as from a window's.
TEST_F(NavigationTest, ItemListFavoriteWithoutABrowserOpensInANewWindow)
{
    test::MakeItemListLink(favorites + "This PC.lnk", CSIDL_DRIVES);
    for (const ContextKind kind : {ckDesktopBackground, ckWindowBackground}) {
        test::TestWindow host("CabinetWClass");
        ShellLaunchLog launches;
        Choose("This PC", kind);

        Go();

        ASSERT_EQ(launches.calls().size(), 1u);
        EXPECT_EQ(launches.calls()[0].Verb, WString(L"open"));
        // The item list's parsing name, in whatever letter case the system spells it.
        const WString file = launches.calls()[0].File.value_or(L"");
        EXPECT_EQ(_wcsicmp(file.c_str(), L"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}"), 0);
    }
}

TEST_F(NavigationTest, FolderChosenOnTheDesktopBackgroundOpensInANewWindow)
{
    const struct {
        const char* activeClass;
        const char* verb;
    } cases[] = {
        {"Progman", "open"},
        {"CabinetWClass", "open"},
        {"ExploreWClass", "explore"},
        {"bosa_sdm_Mso96", "open"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.activeClass);
        test::TestWindow host(c.activeClass);
        RecordedControl box(host.hwnd(), "Edit", "");
        ShellLaunchLog launches;
        Choose("Data", ckDesktopBackground);

        Go();

        const std::vector<ShellLaunchCall> expected{
            {nullptr, W(c.verb), W(dataPath), std::nullopt, std::nullopt, SW_SHOWNA}};
        EXPECT_EQ(launches.calls(), expected);
        EXPECT_EQ(Describe(box.log), Describe(Messages())) << "nothing is typed";
        EXPECT_FALSE(lock.ScreenLocked());
    }
}

TEST_F(NavigationTest, DialogBoxGetsThePathAndEnterAndItsTextBackAfterTheRestoreDelay)
{
    const struct {
        const char* caption;
        const char* before;
        const char* restored;
    } cases[] = {
        {"Open", "keep.txt", "keep.txt"},
        {"Open", "", ""},                               // an empty box stays empty: no select-all after the clear
        {"Browse For Folder", "keep.txt", ""},          // a folder picker's box ends up empty
        {"Browse For Folder ", "keep.txt", "keep.txt"}, // only the exact caption counts
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.caption) + " / " + c.before);
        TestDialog dialog(c.caption);
        RecordedControl hidden(dialog.hwnd(), "Edit", "hidden", false);
        RecordedControl box(dialog.hwnd(), "Edit", c.before);
        RecordedControl second(dialog.hwnd(), "Edit", "second");
        Choose("Data", ckWindowBackground);
        const ULONGLONG start = GetTickCount64();

        Go();

        // Sent at once; Enter is posted and still queued.
        EXPECT_EQ(Describe(box.log), Describe(Typed(dataPath)));
        EXPECT_EQ(test::ReadState(&MenuState::SavedEditText), W(c.restored));
        EXPECT_EQ(test::ReadState(&MenuState::RestoreTimer), kRestoreTimerId);
        EXPECT_TRUE(RestorePending()) << "the library must stay loaded";
        bool pendingForOthers = false; // a DllCanUnloadNow on another thread
        std::thread([&] { pendingForOthers = RestorePending(); }).join();
        EXPECT_TRUE(pendingForOthers);
        EXPECT_TRUE(lock.ScreenLocked()) << "the lock holds until the restore";

        const std::optional<MSG> timer = WaitForDueTimer(box.hwnd());
        ASSERT_TRUE(timer);
        EXPECT_GE(GetTickCount64() - start, kRestoreDelayMs - 10);
        // Wine puts a handle of its own for the callback in lParam, not the
        // callback's address, so only the identifier is compared.
        EXPECT_EQ(timer->wParam, kRestoreTimerId);

        ASSERT_TRUE(WaitForRestore());
        EXPECT_EQ(Describe(box.log), Describe(Concat({Typed(dataPath), Enter(), Restored(c.restored)})));
        EXPECT_EQ(box.text(), c.restored);
        EXPECT_EQ(Describe(hidden.log), Describe(Messages())) << "invisible boxes are skipped";
        EXPECT_EQ(Describe(second.log), Describe(Messages())) << "only the first visible box is typed into";
        EXPECT_FALSE(lock.ScreenLocked());
        EXPECT_FALSE(RestorePending());
        EXPECT_FALSE(KillTimer(box.hwnd(), kRestoreTimerId)) << "the timer fires once";
    }
}

// "Browse For Folder" in the system's language is known by its shape: a
// folder tree and no file-name box. A file dialog's navigation pane is a
// tree too, beside its file-name box.
TEST_F(NavigationTest, FolderPickerInAnyLanguageGetsItsBoxBackEmpty)
{
    for (const int fileNameBoxId : {0, edt1, cmb13}) {
        SCOPED_TRACE(fileNameBoxId);
        TestDialog dialog(fileNameBoxId ? "\xD6"
                                          "ffnen"
                                        : "Ordner suchen");
        RecordedControl tree(dialog.hwnd(), WC_TREEVIEWA, "");
        RecordedControl box(dialog.hwnd(), "Edit", "keep.txt");
        SetWindowLongPtrA(box.hwnd(), GWLP_ID, fileNameBoxId);
        Choose("Data", ckWindowBackground);

        Go();

        ASSERT_TRUE(WaitForRestore());
        EXPECT_EQ(box.text(), fileNameBoxId ? "keep.txt" : "");
    }
}

TEST_F(NavigationTest, EveryByteOfThePathIsTypedAsItIs)
{
    CPINFO codePage = {};
    if (!GetCPInfo(CP_ACP, &codePage) || codePage.MaxCharSize != 1) GTEST_SKIP() << "needs a one-byte code page";
    const std::string folder = dir / "Caf\xE9 \xA7 1";
    test::MakeFolder(folder);
    MakeLink(favorites + "Cafe.lnk", folder);
    TestDialog dialog("Open");
    RecordedControl box(dialog.hwnd(), "Edit", "");
    Choose("Cafe", ckWindowBackground);

    Go();

    // Zero-extended: 0xE9 arrives as 233, not as a negative number.
    EXPECT_EQ(Describe(box.log), Describe(Typed(folder)));
    ASSERT_TRUE(WaitForRestore());
}

// A Unicode box (every common dialog's and Explorer's) gets the path as
// UTF-16 code units and its earlier text back whole, however long; an ANSI
// box gets the bytes of the ANSI code page, as ever.
TEST_F(NavigationTest, BoxesGetPathsInAnyScriptAndTheirLongTextBackWhole)
{
    WString before;
    while (before.size() < 600) before += L"\"Отчёт 2024.docx\" \"写真.png\" ";
    before.resize(600);
    const struct {
        const test::ScriptFixture& fixture;
        bool unicode;
    } cases[] = {
        {test::kScriptFixtures[0], true},
        {test::kScriptFixtures[1], true},
        {test::kScriptFixtures[2], true},
        {test::kScriptFixtures[0], false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.fixture.Label) + (c.unicode ? ", Unicode box" : ", ANSI box"));
        const WString folder = W(dir.path()) + c.fixture.Folder;
        test::MakeFolder(folder);
        MakeLink(W(favorites) + c.fixture.Name + L".lnk", folder);
        TestDialog dialog("Open");
        RecordedControl box(dialog.hwnd(), "Edit", "", true, c.unicode);
        SetWindowTextW(box.hwnd(), before.c_str());
        box.log.clear();
        // An ANSI box holds "?" where the code page lacks a character.
        const WString boxText = WindowTextOf(box.hwnd());
        {
            MenuStateAccess state;
            Chosen() = c.fixture.Name;
            state->ContextKind = ckWindowBackground;
        }

        Go();
        ASSERT_TRUE(WaitForRestore());

        const Messages expected = c.unicode ? Concat({Typed(folder), Enter(), Restored(boxText)})
                                            : Concat({Typed(AnsiOf(folder)), Enter(), Restored(AnsiOf(boxText))});
        EXPECT_EQ(Describe(box.log), Describe(expected));
        EXPECT_EQ(WindowTextOf(box.hwnd()), boxText);
        EXPECT_EQ(test::ReadState(&MenuState::SavedEditText), boxText);
    }
}

TEST_F(NavigationTest, ExplorerWindowsKeepNoRestoreAndReleaseTheLockAtOnce)
{
    for (const char* className : {"CabinetWClass", "ExploreWClass"}) {
        SCOPED_TRACE(className);
        test::TestWindow explorer(className);
        RecordedControl address(explorer.hwnd(), "Edit", "C:\\Before");
        SetSavedEditText("untouched");
        Choose("Data", ckWindowBackground);

        Go();

        EXPECT_FALSE(lock.ScreenLocked());
        EXPECT_EQ(test::ReadState(&MenuState::RestoreTimer), 0u);
        EXPECT_EQ(test::ReadState(&MenuState::SavedEditText), L"untouched");
        EXPECT_FALSE(KillTimer(address.hwnd(), kRestoreTimerId)) << "no restore timer";
        const size_t expectedCount = Typed(dataPath).size() + Enter().size();
        ASSERT_TRUE(test::PumpUntil([&] { return address.log.size() == expectedCount; }, kBound));
        EXPECT_EQ(Describe(address.log), Describe(Concat({Typed(dataPath), Enter()})));
    }
}

TEST_F(NavigationTest, OfficeDialogsUseOnlyTheirRichEditBox)
{
    ASSERT_TRUE(LoadLibraryA("riched20.dll")); // registers "RichEdit20W"
    const struct {
        const char* className;
        bool richEditTyped;
    } cases[] = {
        {"bosa_sdm_Mso96", true}, {"bosa_sdm", true}, {"bosa_sd", false}, // seven characters: an ordinary window
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.className);
        test::TestWindow office(c.className);
        RecordedControl edit(office.hwnd(), "Edit", "plain");
        RecordedControl rich(office.hwnd(), "RichEdit20W", "rich.doc");
        Choose("Data", ckWindowBackground);

        Go();
        ASSERT_TRUE(WaitForRestore());

        RecordedControl& typed = c.richEditTyped ? rich : edit;
        RecordedControl& skipped = c.richEditTyped ? edit : rich;
        const std::string before = c.richEditTyped ? "rich.doc" : "plain";
        EXPECT_EQ(Describe(typed.log), Describe(Concat({Typed(dataPath), Enter(), Restored(before)})));
        EXPECT_EQ(typed.text(), before);
        EXPECT_EQ(Describe(skipped.log), Describe(Messages()));
        EXPECT_FALSE(lock.ScreenLocked());
    }
}

TEST_F(NavigationTest, SecondNavigationWhileARestoreIsPendingStartsNoSecondTimer)
{
    TestDialog first("Open");
    RecordedControl firstBox(first.hwnd(), "Edit", "first.txt");
    Choose("Data", ckWindowBackground);
    Go();
    ASSERT_EQ(test::ReadState(&MenuState::RestoreTimer), kRestoreTimerId);

    TestDialog second("Save As");
    RecordedControl secondBox(second.hwnd(), "Edit", "second.txt");
    Choose("Data", ckWindowBackground);
    Go();

    EXPECT_EQ(Describe(secondBox.log), Describe(Typed(dataPath)));
    EXPECT_EQ(test::ReadState(&MenuState::RestoreTimer), kRestoreTimerId);
    EXPECT_FALSE(KillTimer(secondBox.hwnd(), kRestoreTimerId)) << "no timer on the second box";
    EXPECT_TRUE(lock.ScreenLocked());

    // The one pending restore runs on its own box, with the text saved last.
    ASSERT_TRUE(WaitForRestore());
    EXPECT_EQ(Describe(firstBox.log), Describe(Concat({Typed(dataPath), Enter(), Restored("second.txt")})));
    EXPECT_EQ(Describe(secondBox.log), Describe(Concat({Typed(dataPath), Enter()})));
    EXPECT_FALSE(lock.ScreenLocked());
}

TEST_F(NavigationTest, LockIsReleasedWhenTheRestoreTimerCannotBeStarted)
{
    // The box goes away as the last character arrives, so there is nothing
    // left to bind the timer to.
    TestDialog dialog("Open");
    RecordedControl box(dialog.hwnd(), "Edit", "keep.txt");
    Messages beforeItWent;
    box.onMessage = [&](const SeenMessage&) {
        if (box.log.size() != Typed(dataPath).size()) return;
        beforeItWent = box.log;
        DestroyWindow(box.hwnd());
    };
    Choose("Data", ckWindowBackground);

    Go();

    EXPECT_FALSE(IsWindow(box.hwnd()));
    EXPECT_EQ(Describe(beforeItWent), Describe(Typed(dataPath)));
    EXPECT_EQ(test::ReadState(&MenuState::RestoreTimer), 0u);
    EXPECT_FALSE(lock.ScreenLocked());
}

// A modal dialog whose Enter closes it, as most dialogs do: the box and its
// restore timer are gone before the timer can fire.
struct ClosingDialog {
    WString favorite;
    HWND box = nullptr;
    UINT_PTR timerAfterNavigation = 0;
    bool lockedAfterNavigation = false;
    const LockProbe* lock = nullptr;

    static constexpr UINT kNavigate = WM_APP + 1;
    static constexpr UINT_PTR kWatchdogTimer = 1;

    static INT_PTR CALLBACK Proc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
    {
        auto* self = reinterpret_cast<ClosingDialog*>(GetWindowLongPtrA(dialog, DWLP_USER));
        switch (message) {
        case WM_INITDIALOG:
            SetWindowLongPtrA(dialog, DWLP_USER, lParam);
            self = reinterpret_cast<ClosingDialog*>(lParam);
            SetWindowTextA(dialog, "Rename");
            self->box = CreateWindowExA(0, "Edit", "keep.txt", WS_CHILD | WS_VISIBLE | WS_BORDER, 10, 10, 200, 24,
                                        dialog, nullptr, nullptr, nullptr);
            SetTimer(dialog, kWatchdogTimer, kBound, nullptr);
            // Wine shows a modal dialog only once its queue first runs dry;
            // the menu is used on a dialog that is already on screen.
            ShowWindow(dialog, SW_SHOW);
            PostMessageA(dialog, kNavigate, 0, 0);
            return TRUE;
        case kNavigate:
            NavigateToFavorite(self->favorite, fkNone, nullptr);
            {
                MenuStateAccess state;
                self->timerAfterNavigation = state->RestoreTimer;
            }
            self->lockedAfterNavigation = self->lock->ScreenLocked();
            return TRUE;
        case WM_TIMER:
            if (wParam == kWatchdogTimer) EndDialog(dialog, IDABORT);
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    }
};

TEST_F(NavigationTest, LockIsReleasedWhenEnterClosesTheDialogBeforeTheRestore)
{
    Choose("Data", ckWindowBackground);
    ClosingDialog run;
    run.favorite = L"Data";
    run.lock = &lock;
    const std::vector<WORD> dialogTemplate = test::EmptyDialogTemplate();
    const INT_PTR result = DialogBoxIndirectParamA(GetModuleHandleA(nullptr),
                                                   reinterpret_cast<const DLGTEMPLATE*>(dialogTemplate.data()), nullptr,
                                                   ClosingDialog::Proc, reinterpret_cast<LPARAM>(&run));

    ASSERT_EQ(result, IDOK) << "Enter was to close the dialog";
    EXPECT_EQ(run.timerAfterNavigation, kRestoreTimerId);
    EXPECT_TRUE(run.lockedAfterNavigation);
    EXPECT_FALSE(IsWindow(run.box));
    EXPECT_FALSE(lock.ScreenLocked());
    EXPECT_EQ(test::ReadState(&MenuState::RestoreTimer), 0u);

    // And restores work again afterwards.
    TestDialog next("Open");
    RecordedControl box(next.hwnd(), "Edit", "next.txt");
    Choose("Data", ckWindowBackground);
    Go();
    EXPECT_EQ(test::ReadState(&MenuState::RestoreTimer), kRestoreTimerId);
    ASSERT_TRUE(WaitForRestore());
    EXPECT_EQ(box.text(), "next.txt");
}

TEST_F(NavigationTest, RestoreEndsWhenItsTimerIsAlreadyGone)
{
    // KillTimer keeps failing for a timer that does not exist; the restore
    // must still finish, restore the text and release the lock.
    std::string restored;
    const bool finished = test::RunOnThreadWithoutCom(
        [&] {
            HWND box = CreateWindowExA(0, "Edit", "typed path", WS_POPUP | WS_VISIBLE, 0, 0, 200, 24, nullptr, nullptr,
                                       nullptr, nullptr);
            {
                MenuStateAccess state;
                state->SavedEditText = L"keep.txt";
                state->RestoreTimer = kRestoreTimerId;
            }
            LockWindowUpdate(GetDesktopWindow());
            RestoreEditText(box, WM_TIMER, kRestoreTimerId, 0);
            char text[64] = {};
            GetWindowTextA(box, text, sizeof text);
            restored = text;
            DestroyWindow(box);
        },
        kBound);

    ASSERT_TRUE(finished) << "the restore did not return";
    EXPECT_EQ(restored, "keep.txt");
    EXPECT_EQ(test::ReadState(&MenuState::RestoreTimer), 0u);
    EXPECT_FALSE(lock.ScreenLocked());
}

// Ends every dialog of a thread that is still open after a bound, so that a
// test of a modal dialog can fail but never hang.
class DialogWatchdog {
public:
    DialogWatchdog(DWORD threadId, DWORD boundMs) : threadId_(threadId), boundMs_(boundMs)
    {
        stop_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        thread_ = CreateThread(nullptr, 0, &DialogWatchdog::Run, this, 0, nullptr);
    }
    ~DialogWatchdog()
    {
        SetEvent(stop_);
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
        CloseHandle(stop_);
    }
    bool fired() const { return fired_; }

private:
    static DWORD WINAPI Run(LPVOID parameter)
    {
        auto* self = static_cast<DialogWatchdog*>(parameter);
        if (WaitForSingleObject(self->stop_, self->boundMs_) == WAIT_OBJECT_0) return 0;
        self->fired_ = true;
        do {
            EnumThreadWindows(
                self->threadId_,
                [](HWND window, LPARAM) CALLBACK -> BOOL {
                    char className[32] = {};
                    GetClassNameA(window, className, sizeof className);
                    if (strcmp(className, "#32770") == 0) PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
                    return TRUE;
                },
                0);
        } while (WaitForSingleObject(self->stop_, 500) != WAIT_OBJECT_0);
        return 0;
    }

    DWORD threadId_;
    DWORD boundMs_;
    HANDLE stop_ = nullptr;
    HANDLE thread_ = nullptr;
    std::atomic<bool> fired_{false};
};

// Runs inside Wine's common file dialog, on its thread, through the hook:
// types a file name, chooses a folder favourite as the shell's menu would,
// then watches the dialog until it shows the folder and the restore is done.
struct FileDialogRun {
    bool wide = false; // GetOpenFileNameW rather than GetOpenFileNameA
    WString favorite;
    WString fileName;
    WString expectedFolder;
    ULONGLONG deadline = 0;
    int phase = 0;
    bool dialogWasActive = false;
    WString folderShown;
    WString boxText;
    DWORD selectionStart = 0;
    DWORD selectionEnd = 0;

    static constexpr UINT_PTR kStepTimer = 1;

    static HWND FileNameBox(HWND dialog)
    {
        const HWND combo = GetDlgItem(dialog, cmb13);
        return reinterpret_cast<HWND>(SendMessageA(combo, CBEM_GETEDITCONTROL, 0, 0));
    }

    // Wine's dialog opens a selected item on Enter instead of the typed path;
    // a right-click on the background leaves nothing selected, so do the same.
    static void ClearListSelection(HWND dialog)
    {
        const HWND view = FindWindowExA(dialog, nullptr, "SHELLDLL_DefView", nullptr);
        const HWND list = FindWindowExA(view, nullptr, "SysListView32", nullptr);
        LVITEMA item = {};
        item.stateMask = LVIS_SELECTED;
        SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
    }

    // The dialog answers in the character set it was opened with.
    WString FolderShown(HWND dialog) const
    {
        if (wide) {
            wchar_t folder[MAX_PATH] = {};
            SendMessageW(dialog, CDM_GETFOLDERPATH, MAX_PATH, reinterpret_cast<LPARAM>(folder));
            return folder;
        }
        char folder[MAX_PATH] = {};
        SendMessageA(dialog, CDM_GETFOLDERPATH, MAX_PATH, reinterpret_cast<LPARAM>(folder));
        return W(folder);
    }

    void Step(HWND dialog)
    {
        if (phase == 0) {
            SetWindowTextW(FileNameBox(dialog), fileName.c_str());
            ClearListSelection(dialog);
            dialogWasActive = GetActiveWindow() == dialog;
            MenuStateAccess()->ContextKind = ckWindowBackground;
            NavigateToFavorite(favorite, fkNone, nullptr);
            phase = 1;
            return;
        }
        if (phase != 1) return;
        folderShown = FolderShown(dialog);
        bool restorePending;
        {
            MenuStateAccess state;
            restorePending = state->RestoreTimer != 0;
        }
        const bool arrived = folderShown == expectedFolder && !restorePending;
        if (!arrived && GetTickCount64() < deadline) return;
        boxText = WindowTextOf(FileNameBox(dialog));
        SendMessageA(FileNameBox(dialog), EM_GETSEL, reinterpret_cast<WPARAM>(&selectionStart),
                     reinterpret_cast<LPARAM>(&selectionEnd));
        phase = 2;
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    }

    // The A and W records differ only in their strings: lCustData is at the same place.
    static UINT_PTR CALLBACK Hook(HWND hook, UINT message, WPARAM wParam, LPARAM lParam)
    {
        static const char kRunProperty[] = "vok.test.FileDialogRun";
        switch (message) {
        case WM_INITDIALOG: {
            const LPARAM run = reinterpret_cast<OPENFILENAMEA*>(lParam)->lCustData;
            SetPropA(hook, kRunProperty, reinterpret_cast<HANDLE>(run));
            return TRUE;
        }
        case WM_NOTIFY:
            if (reinterpret_cast<NMHDR*>(lParam)->code == CDN_INITDONE) SetTimer(hook, kStepTimer, 20, nullptr);
            return 0;
        case WM_TIMER:
            if (wParam == kStepTimer) static_cast<FileDialogRun*>(GetPropA(hook, kRunProperty))->Step(GetParent(hook));
            return 0;
        case WM_DESTROY: RemovePropA(hook, kRunProperty); return 0;
        }
        return 0;
    }

    // Opens the dialog on `start` and runs the steps above inside it; true
    // when the dialog ended by choosing a file (which it must not).
    bool Open(const std::string& start)
    {
        static_assert(offsetof(OPENFILENAMEA, lCustData) == offsetof(OPENFILENAMEW, lCustData));
        const WString wideStart = W(start);
        wchar_t file[MAX_PATH] = {};
        OPENFILENAMEW ofn = {};
        ofn.lStructSize = sizeof ofn;
        ofn.lpstrFilter = L"All files\0*.*\0";
        ofn.lpstrFile = file;
        ofn.nMaxFile = MAX_PATH;
        ofn.lpstrInitialDir = wideStart.c_str();
        ofn.Flags = OFN_EXPLORER | OFN_ENABLEHOOK | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
        ofn.lpfnHook = &FileDialogRun::Hook;
        ofn.lCustData = reinterpret_cast<LPARAM>(this);
        if (wide) return GetOpenFileNameW(&ofn) != FALSE;
        char ansiFile[MAX_PATH] = {};
        OPENFILENAMEA ansi = {};
        ansi.lStructSize = sizeof ansi;
        ansi.lpstrFilter = "All files\0*.*\0";
        ansi.lpstrFile = ansiFile;
        ansi.nMaxFile = MAX_PATH;
        ansi.lpstrInitialDir = start.c_str();
        ansi.Flags = ofn.Flags;
        ansi.lpfnHook = ofn.lpfnHook;
        ansi.lCustData = ofn.lCustData;
        return GetOpenFileNameA(&ansi) != FALSE;
    }
};

// Wine's own Open dialog, as the user opens it: in the ANSI dialog a program
// of the code page shows, and in the Unicode one with a Cyrillic folder and a
// file name typed in Cyrillic, which must come back whole.
TEST_F(NavigationTest, CommonFileDialogGoesToTheFolderAndKeepsTheTypedFileName)
{
    const std::string start = dir / "Start";
    test::MakeFolder(start);
    test::WriteBytes(start + "\\item.txt", "x");
    const test::ScriptFixture& cyrillic = test::kScriptFixtures[0];
    test::MakeFolder(W(dir.path()) + cyrillic.Folder);
    MakeLink(W(favorites) + cyrillic.Name + L".lnk", W(dir.path()) + cyrillic.Folder);
    const struct {
        bool wide;
        WString favorite;
        WString fileName;
        WString folder;
    } cases[] = {
        {false, L"Data", L"keep.txt", W(dataPath)},
        {true, cyrillic.Name, L"Отчёт 2024.docx", W(dir.path()) + cyrillic.Folder},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.wide ? "GetOpenFileNameW" : "GetOpenFileNameA");
        FileDialogRun run;
        run.wide = c.wide;
        run.favorite = c.favorite;
        run.fileName = c.fileName;
        run.expectedFolder = c.folder;
        run.deadline = GetTickCount64() + 2 * kBound;
        bool chosen;
        {
            DialogWatchdog watchdog(GetCurrentThreadId(), 4 * kBound);
            chosen = run.Open(start);
            ASSERT_FALSE(watchdog.fired()) << "the dialog had to be ended from outside";
        }

        EXPECT_FALSE(chosen) << "Enter opened a file";
        EXPECT_EQ(run.phase, 2);
        EXPECT_TRUE(run.dialogWasActive);
        EXPECT_EQ(run.folderShown, c.folder);
        EXPECT_EQ(run.boxText, c.fileName);
        EXPECT_EQ(run.selectionStart, 0u);
        EXPECT_EQ(run.selectionEnd, run.fileName.size()) << "the restored name stands selected";
    }
}

} // namespace
} // namespace vok
