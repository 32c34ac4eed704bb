#include "Work/Menu/EditingCommands.h"

#include "TestSupport.h"
#include "Work/ExtensionState.h"
#include "Work/Navigation/ShellLaunch.h"
#include "Work/Store/Shortcuts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <vector>

namespace vok {
namespace {

using test::Describe;
using test::MakeLink;
using test::PathPresent;
using test::RecordedControl;
using test::ScratchDir;
using test::SeenMessage;
using test::ShellLaunchLog;
using test::TestDialog;
using test::W;
using Messages = std::vector<SeenMessage>;

// Short enough to keep the tests quick, long enough for Wine to show a window.
constexpr WizardTimeouts kShortWaits{400, 400, 10};
// For runs that must end because the box was filled, not by a time-out.
constexpr WizardTimeouts kLongWaits{5000, 5000, 10};

Messages Filled(const std::string& text)
{
    return {{EM_SETSEL, 0, -1, ""},       {WM_CLEAR, 0, 0, ""},
            {WM_SETTEXT, 0, 0, text},     {WM_KEYDOWN, VK_RETURN, 0, ""},
            {WM_KEYUP, VK_RETURN, 0, ""}, {WM_CHAR, '\r', 0, ""}}; // queued by the wait's TranslateMessage
}

ULONGLONG ThreadCpuMs()
{
    FILETIME created, exited, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
    const auto ticks = [](const FILETIME& t) { return (ULONGLONG(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    return (ticks(kernel) + ticks(user)) / 10000;
}

// A stand-in for the system's wizard: a top-level "#32770" with boxes, made
// the foreground window, as the wizard makes itself.
struct WizardStandIn {
    explicit WizardStandIn(const std::string& title, int boxes = 1, bool foreground = true) : dialog(title)
    {
        for (int i = 0; i < boxes; ++i)
            this->boxes.push_back(std::make_unique<RecordedControl>(dialog.hwnd(), "Edit", "old"));
        if (foreground) test::BringToForeground(dialog.hwnd());
    }
    RecordedControl& box(size_t i = 0) { return *boxes.at(i); }

    TestDialog dialog;
    std::vector<std::unique_ptr<RecordedControl>> boxes;
};

class EditingCommandsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::MakeFolder(install);
        test::MakeFolder(dir / "Data");
        test::RestartStateWithInstallFolder(install);
        // Whatever the last test left in front, a window of ours is there now.
        host = std::make_unique<TestDialog>("Host");
        test::BringToForeground(host->hwnd());
    }
    void TearDown() override
    {
        host.reset();
        test::StopState();
    }

    void SetTargetPath(const std::string& path) { target = W(path); }

    ShellLaunchCall WizardLaunch() const
    {
        return {nullptr, L"open", L"rundll32.exe", W("appwiz.cpl,NewLinkHere " + favorites), std::nullopt, SW_SHOWNA};
    }

    test::VokKeyReset registry;
    ScratchDir dir{"editing"};
    // A folder with a blank: the wizard's parameters take it unquoted.
    const std::string install = dir / "My Tools";
    const std::string favorites = install + "\\Favorites\\";
    std::unique_ptr<TestDialog> host;
    WString target; // the menu's folder, which the Add and Remove rows carry
};

TEST_F(EditingCommandsTest, AddFillsTheWizardBoxWithTheTargetAndPressesEnter)
{
    test::MakeFolder(favorites);
    const struct {
        const char* target;
        const char* typed;
    } cases[] = {
        {"C:\\Data", "C:\\Data"},
        {"C:\\My Data", "\"C:\\My Data\""},
        {"C:\\Tab\tData", "C:\\Tab\tData"}, // only a space calls for quotes
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target);
        SetTargetPath(c.target);
        std::unique_ptr<WizardStandIn> wizard;
        ShellLaunchLog launches(
            [&](const ShellLaunchCall&) { wizard = std::make_unique<WizardStandIn>("Create Shortcut", 2); });
        const ULONGLONG start = GetTickCount64();

        AddTargetToFavorites(target, kLongWaits);

        EXPECT_LT(GetTickCount64() - start, 2000u) << "it returns once the box is filled";
        EXPECT_EQ(launches.calls(), std::vector<ShellLaunchCall>{WizardLaunch()});
        ASSERT_TRUE(wizard);
        EXPECT_EQ(Describe(wizard->box(0).log), Describe(Filled(c.typed))) << "Enter arrives before the return";
        EXPECT_EQ(Describe(wizard->box(1).log), Describe(Messages())) << "only the first box";
    }
}

TEST_F(EditingCommandsTest, AddCreatesTheFavoritesFolderBeforeStartingTheWizard)
{
    ASSERT_FALSE(PathPresent(favorites));
    std::optional<bool> folderAtLaunch;
    ShellLaunchLog launches([&](const ShellLaunchCall&) { folderAtLaunch = FolderExists(W(favorites)); });

    AddTargetToFavorites(target, kShortWaits);

    EXPECT_EQ(launches.calls(), std::vector<ShellLaunchCall>{WizardLaunch()});
    EXPECT_EQ(folderAtLaunch, true);
}

TEST_F(EditingCommandsTest, CreateAndMaintenanceStartTheShellWithoutMakingTheFolder)
{
    ShellLaunchLog launches;

    CreateFavorite();
    OpenFavoritesFolder();

    const std::vector<ShellLaunchCall> expected{
        WizardLaunch(), {nullptr, L"open", W(favorites), std::nullopt, std::nullopt, SW_SHOWNORMAL}};
    EXPECT_EQ(launches.calls(), expected);
    EXPECT_FALSE(PathPresent(favorites));
}

TEST_F(EditingCommandsTest, AddGivesUpAfterItsTimeOutWithoutSpinning)
{
    test::MakeFolder(favorites);
    SetTargetPath("C:\\Data");
    enum Appears { nothing, otherTitle, wizardBehindAnother, wizardWithoutBox };
    const struct {
        const char* what;
        Appears appears;
        DWORD expectedWaitMs;
    } cases[] = {
        {"nothing takes the foreground", nothing, kShortWaits.AppearMs},
        {"a window under another title", otherTitle, kShortWaits.FillMs},
        {"the wizard, behind another window", wizardBehindAnother, kShortWaits.FillMs},
        {"the wizard, without a box", wizardWithoutBox, kShortWaits.FillMs},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(test::BringToForeground(host->hwnd()));
        std::unique_ptr<WizardStandIn> wizard;
        std::unique_ptr<TestDialog> other;
        ShellLaunchLog launches([&](const ShellLaunchCall&) {
            switch (c.appears) {
            case nothing: break;
            case otherTitle: wizard = std::make_unique<WizardStandIn>("Create New Shortcut"); break;
            case wizardBehindAnother:
                wizard = std::make_unique<WizardStandIn>("Create Shortcut", 1, false);
                other = std::make_unique<TestDialog>("Other");
                test::BringToForeground(other->hwnd());
                break;
            case wizardWithoutBox: wizard = std::make_unique<WizardStandIn>("Create Shortcut", 0); break;
            }
        });
        const ULONGLONG start = GetTickCount64();
        const ULONGLONG cpuStart = ThreadCpuMs();

        AddTargetToFavorites(target, kShortWaits);

        const ULONGLONG waited = GetTickCount64() - start;
        const ULONGLONG cpu = ThreadCpuMs() - cpuStart;
        EXPECT_GE(waited, c.expectedWaitMs);
        EXPECT_LT(waited, c.expectedWaitMs + 1000);
        EXPECT_LT(cpu, waited / 4) << "the waits sleep between looks";
        if (wizard && !wizard->boxes.empty()) {
            EXPECT_EQ(Describe(wizard->box().log), Describe(Messages()));
        }
    }
}

// Run by a timer of the host's, which only the wait's dispatching can fire.
std::function<void()> g_onHostTimer;

TEST_F(EditingCommandsTest, WizardIsFilledOnceItComesToTheFrontWhileTheHostKeepsWorking)
{
    // The wizard shows up behind another window and comes to the front a
    // little later.
    test::MakeFolder(favorites);
    SetTargetPath("C:\\Data");
    std::unique_ptr<WizardStandIn> wizard;
    std::unique_ptr<TestDialog> other;
    bool untouchedWhileBehind = false;
    g_onHostTimer = [&] {
        untouchedWhileBehind = wizard->box().log.empty();
        test::BringToForeground(wizard->dialog.hwnd());
        wizard->box().log.clear(); // the dialog's own select-all on activation
    };
    ShellLaunchLog launches([&](const ShellLaunchCall&) {
        wizard = std::make_unique<WizardStandIn>("Create Shortcut", 1, false);
        other = std::make_unique<TestDialog>("Other");
        test::BringToForeground(other->hwnd());
        SetTimer(other->hwnd(), 1, 100, [](HWND window, UINT, UINT_PTR id, DWORD) CALLBACK {
            KillTimer(window, id);
            g_onHostTimer();
        });
    });

    AddTargetToFavorites(target, kLongWaits);
    g_onHostTimer = nullptr;

    ASSERT_TRUE(wizard);
    EXPECT_TRUE(untouchedWhileBehind);
    EXPECT_EQ(Describe(wizard->box().log), Describe(Filled("C:\\Data")));
}

TEST_F(EditingCommandsTest, AddFillsAtMostOneBoxPerRunWhateverTheWizardDoes)
{
    // The wizard's box answers our messages by running the filling again
    // (here: straight away, from inside its own window procedure).
    test::MakeFolder(favorites);
    SetTargetPath("C:\\My Data");
    std::unique_ptr<WizardStandIn> wizard;
    int reentries = 0;
    ShellLaunchLog launches([&](const ShellLaunchCall&) {
        wizard = std::make_unique<WizardStandIn>("Create Shortcut", 2);
        wizard->box().onMessage = [&](const SeenMessage& seen) {
            if ((seen.Message == WM_CLEAR || seen.Message == WM_SETTEXT) && reentries < 4) {
                ++reentries;
                EnumChildWindows(wizard->dialog.hwnd(), FillWizardPath, 0);
            }
        };
    });

    AddTargetToFavorites(target, kLongWaits);
    ASSERT_TRUE(wizard);
    EnumChildWindows(wizard->dialog.hwnd(), FillWizardPath, 0); // a late extra pass
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);

    EXPECT_GT(reentries, 0);
    EXPECT_EQ(Describe(wizard->box(0).log), Describe(Filled("\"C:\\My Data\"")));
    EXPECT_EQ(Describe(wizard->box(1).log), Describe(Messages()));
}

TEST_F(EditingCommandsTest, QuitMessageEndsTheWaitAndIsLeftForTheHost)
{
    test::MakeFolder(favorites);
    std::unique_ptr<WizardStandIn> wizard;
    ShellLaunchLog launches([&](const ShellLaunchCall&) {
        wizard = std::make_unique<WizardStandIn>("Create Shortcut", 0);
        PostQuitMessage(7);
    });
    const ULONGLONG start = GetTickCount64();

    AddTargetToFavorites(target, kLongWaits);

    EXPECT_LT(GetTickCount64() - start, 2000u);
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 7u);
}

// The wizard of a German Windows as a process of its own, started through
// the shell where the system's would start: known by its process, whatever
// its caption. The host's timer shows its messages flowing in every wait.
TEST_F(EditingCommandsTest, AddFillsTheWizardOfTheProcessItStartedWhateverItsCaption)
{
    test::MakeFolder(favorites);
    SetTargetPath("C:\\My Data");
    const std::string typedFile = dir / "typed.txt", standIn = test::LibraryPath();
    const struct {
        const char* what;
        const char* parameters; // of the stand-in; null: nothing starts
        WizardTimeouts waits;
        const char* typed;
    } cases[] = {
        {"\"Verkn\xc3\xbcpfung erstellen\"", "typed.txt", kLongWaits, "\"C:\\My Data\""},
        {"a wizard process that ends at once", "", kLongWaits, ""}, // well before its time is up
        {"nothing starts", nullptr, kShortWaits, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(test::BringToForeground(host->hwnd()));
        std::optional<ShellLaunchLog> nothingStarts;
        if (!c.parameters) nothingStarts.emplace();
        const ShellLaunchRedirect previous = SetShellLaunchRedirect([&](const ShellLaunchCall& call) {
            EXPECT_EQ(call, WizardLaunch());
            return ShellLaunchCall{
                nullptr,         L"open",       W(standIn.substr(0, standIn.rfind('\\') + 1) + WIZARD_STANDIN_NAME),
                W(c.parameters), W(dir.path()), SW_SHOWNA};
        });
        static bool hostTimerRan;
        hostTimerRan = false;
        SetTimer(host->hwnd(), 1, 20, [](HWND window, UINT, UINT_PTR id, DWORD) CALLBACK {
            KillTimer(window, id);
            hostTimerRan = true;
        });
        const ULONGLONG start = GetTickCount64();

        AddTargetToFavorites(target, c.waits);

        const ULONGLONG waited = GetTickCount64() - start;
        EXPECT_LT(waited, c.parameters ? 4000 : kShortWaits.AppearMs + 1000);
        SetShellLaunchRedirect(previous);
        // A wizard that ends at once may end the wait before the timer is due.
        EXPECT_TRUE(hostTimerRan || waited < 100) << waited << " ms";
        const auto typed = [&] {
            std::ifstream file(typedFile, std::ios::binary);
            return std::string(std::istreambuf_iterator<char>(file), {});
        };
        EXPECT_TRUE(!*c.typed || test::PumpUntil([&] { return typed() == c.typed; }, 5000)) << typed();
    }
}

TEST_F(EditingCommandsTest, RemoveDeletesOnlyTheFirstExactMatchInListOrder)
{
    test::MakeFolder(favorites);
    const std::string data = dir / "Data";
    std::string lowerData = data;
    lowerData.replace(lowerData.size() - 4, 4, "data");
    MakeLink(favorites + "lower.lnk", lowerData);
    MakeLink(favorites + "Zeta.lnk", data);
    MakeLink(favorites + "Alpha.lnk", data);
    test::WriteBytes(favorites + "Web.url", "[InternetShortcut]\r\nURL=" + data + "\r\n\r\n");
    ASSERT_EQ(GetLinkTarget(W(favorites + "lower.lnk")), W(lowerData)) << "the link keeps the letter case given";

    const struct {
        const char* what;
        std::string target;
        std::vector<std::string> deleted;
    } cases[] = {
        {"no favourite targets it", dir / "Elsewhere", {}},
        {"first match in list order, exact case", data, {"Alpha.lnk"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SetTargetPath(c.target);

        RemoveTargetFromFavorites(target);

        for (const char* file : {"lower.lnk", "Web.url", "Zeta.lnk", "Alpha.lnk"}) {
            const bool deleted = std::find(c.deleted.begin(), c.deleted.end(), file) != c.deleted.end();
            EXPECT_EQ(PathPresent(favorites + file), !deleted) << file;
        }
    }
}

} // namespace
} // namespace vok
