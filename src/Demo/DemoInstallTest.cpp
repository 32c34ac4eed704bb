// The demo's installation, checked against the library's own reading of it:
// what the demo shows rests on this layout.
#include "Demo/DemoInstall.h"

#include "TestSupport.h"
#include "Work/Store/Favorites.h"
#include "Work/Store/Shortcuts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vok::demo {
namespace {

using Names = std::vector<std::string>;

std::string InstallFolderValue()
{
    char data[MAX_PATH] = {};
    DWORD size = sizeof(data);
    if (RegGetValueA(HKEY_CURRENT_USER, "Software\\VOK", "Install Folder", RRF_RT_REG_SZ, nullptr, data, &size) !=
        ERROR_SUCCESS)
        return "";
    return data;
}

class DemoInstallTest : public ::testing::Test {
protected:
    test::VokKeyReset registry;
    test::ScratchDir dir{"demo-install"};
    DemoLayout layout = LayoutAt(dir.path() + "root");
};

TEST(DemoLayoutTest, PathsFollowTheRootWithOrWithoutItsBackslash)
{
    for (const std::string root : {"C:\\VokDemo", "C:\\VokDemo\\"}) {
        const DemoLayout layout = LayoutAt(root);
        EXPECT_EQ(layout.Root, "C:\\VokDemo\\") << root;
        EXPECT_EQ(layout.InstallFolder, "C:\\VokDemo\\Vokmark") << root;
        EXPECT_EQ(layout.Favorites, "C:\\VokDemo\\Vokmark\\Favorites\\") << root;
        EXPECT_EQ(layout.StartFolder, "C:\\VokDemo\\Start") << root;
        EXPECT_EQ(layout.ChosenFolder, "C:\\VokDemo\\Tax Returns") << root;
    }
}

TEST_F(DemoInstallTest, InstallationIsRegisteredAndEveryKindOfFavoriteIsThere)
{
    const std::vector<std::string> report = InstallDemo(layout);
    EXPECT_EQ(report.size(), 7u);
    EXPECT_EQ(InstallFolderValue(), layout.InstallFolder);
    EXPECT_TRUE(test::PathPresent(layout.StartFolder + "\\letter.txt"));

    struct Case {
        const char* file;
        std::string target; // "" for the Internet shortcut
        bool targetThere;
    } cases[] = {
        {"Music.lnk", layout.Root + "Music", true},
        {"Projects.lnk", layout.Root + "Projects", true},
        {"Tax Returns.lnk", layout.ChosenFolder, true},
        {"Plan.lnk", layout.Root + "Projects\\plan.txt", true},
        {"Отчёты.lnk", layout.Root + kCyrillicFavorite, true},
        {"Vokmark Home.url", "", true},
        {"Old Stuff.lnk", layout.Root + "Old Stuff", false},
    };
    for (const Case& c : cases) {
        const WString path = test::FromUtf8(layout.Favorites + c.file);
        ASSERT_TRUE(test::PathPresent(path)) << c.file;
        if (c.target.empty()) {
            EXPECT_EQ(GetShortcutUrl(path), "https://vokmark.example/");
            continue;
        }
        EXPECT_EQ(GetLinkTarget(path), test::FromUtf8(c.target)) << c.file;
        EXPECT_EQ(test::PathPresent(test::FromUtf8(c.target)), c.targetThere) << c.file;
    }
}

TEST_F(DemoInstallTest, TheLibraryListsTheLiveFavoritesAndPrunesTheDeadLink)
{
    InstallDemo(layout);
    Names names;
    for (const Favorite& favorite : ScanFavoritesFolder(test::FromUtf8(layout.Favorites)))
        names.push_back(test::Utf8(favorite.Name));
    EXPECT_EQ(names, (Names{"Music", "Plan", "Projects", kChosenFavorite, kUrlFavorite, kCyrillicFavorite}));
    ASSERT_TRUE(test::LibraryThreadsBack());
    EXPECT_FALSE(test::PathPresent(layout.Favorites + kDeadFavorite + ".lnk"));
    EXPECT_TRUE(test::PathPresent(layout.Favorites + kUrlFavorite + ".url"));
}

TEST_F(DemoInstallTest, InstallingAgainOverAnEarlierInstallationSucceeds)
{
    InstallDemo(layout);
    EXPECT_NO_THROW(InstallDemo(layout));
    EXPECT_TRUE(test::PathPresent(layout.Favorites + kDeadFavorite + ".lnk"));
    EXPECT_FALSE(test::PathPresent(layout.Root + kDeadFavorite));
}

TEST_F(DemoInstallTest, AFolderThatCannotBeMadeNamesItself)
{
    const DemoLayout nowhere = LayoutAt("Q:\\no such drive");
    try {
        InstallDemo(nowhere);
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("cannot create folder Q:\\no such drive\\"), std::string::npos)
            << e.what();
    }
}

} // namespace
} // namespace vok::demo
