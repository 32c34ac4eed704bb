#include "Work/ExtensionState.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <thread>

namespace vok {
namespace {

class ExtensionStateTest : public ::testing::Test {
protected:
    void TearDown() override { StopExtensionState(); }
    test::VokKeyReset registry;
};

TEST_F(ExtensionStateTest, StartsWithTheValuesOfALoad)
{
    StopExtensionState();
    test::SetInstallFolder("C:\\Tools");
    ASSERT_TRUE(StartExtensionState(GetModuleHandleA(nullptr)));

    StateAccess state;
    EXPECT_TRUE(state->Enabled);
    EXPECT_EQ(state->InstallDir, L"C:\\Tools\\");
    EXPECT_EQ(state->FavoritesDir, L"C:\\Tools\\Favorites\\");
    EXPECT_TRUE(state->FavoriteNames.empty());
    EXPECT_EQ(state->TargetPath, L"");
    EXPECT_EQ(state->ContextKind, ckNone);
    EXPECT_FALSE(state->FlatMenu);
    EXPECT_EQ(state->ListAction, laNone);
    EXPECT_EQ(state->Submenu, nullptr);
    EXPECT_EQ(state->RestoreTimer, 0u);
    EXPECT_FALSE(state->WizardFilled);
}

TEST_F(ExtensionStateTest, LoadsTheItemBitmapsInTheirSizes)
{
    StopExtensionState();
    test::SetInstallFolder("C:\\Tools");
    ASSERT_TRUE(StartExtensionState(GetModuleHandleA(nullptr)));

    const SIZE sizes[mbCount] = {{13, 14}, {13, 14}, {13, 14}, {14, 13}, {13, 13}};
    StateAccess state;
    for (int i = 0; i < mbCount; ++i) {
        BITMAP info = {};
        ASSERT_TRUE(state->MenuBitmaps[i]) << "bitmap " << i;
        ASSERT_EQ(GetObjectA(state->MenuBitmaps[i].get(), sizeof(info), &info), static_cast<int>(sizeof(info)));
        EXPECT_EQ(info.bmWidth, sizes[i].cx) << "bitmap " << i;
        EXPECT_EQ(info.bmHeight, sizes[i].cy) << "bitmap " << i;
    }
}

TEST_F(ExtensionStateTest, ResourcesAreEightBitWithAFullColourTable)
{
    for (const char* name : {"CF", "A", "R", "M", "S"}) {
        HRSRC found = FindResourceExA(nullptr, MAKEINTRESOURCEA(2) /* RT_BITMAP */, name,
                                      MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
        ASSERT_NE(found, nullptr) << name;
        const auto* header = static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(nullptr, found)));
        EXPECT_EQ(header->biSize, sizeof(BITMAPINFOHEADER)) << name;
        EXPECT_EQ(header->biBitCount, 8) << name;
        EXPECT_EQ(header->biCompression, static_cast<DWORD>(BI_RGB)) << name;
        EXPECT_EQ(header->biClrUsed, 256u) << name;
    }
}

TEST_F(ExtensionStateTest, ShutDownDestroysALeftoverSubmenu)
{
    StopExtensionState();
    test::SetInstallFolder("C:\\Tools");
    ASSERT_TRUE(StartExtensionState(GetModuleHandleA(nullptr)));
    HMENU submenu = CreatePopupMenu();
    {
        StateAccess state;
        state->Submenu = submenu;
    }
    StopExtensionState();
    EXPECT_FALSE(IsMenu(submenu));
    EXPECT_EQ(StateAccess().get(), nullptr);
}

// Two windows' menus on two threads: each thread has its own target and
// submenu, freed when the thread ends; the switch and the folders are one.
TEST_F(ExtensionStateTest, EachThreadHasItsOwnMenuAndSharesTheRest)
{
    StopExtensionState();
    test::SetInstallFolder("C:\\Tools");
    ASSERT_TRUE(StartExtensionState(GetModuleHandleA(nullptr)));
    StateAccess()->TargetPath = L"C:\\Main";
    HMENU submenu = CreatePopupMenu();
    std::thread([submenu] {
        StateAccess state;
        EXPECT_EQ(state->TargetPath, L"");
        EXPECT_EQ(state->FavoritesDir, L"C:\\Tools\\Favorites\\");
        state->Enabled = false;
        state->Submenu = submenu;
    }).join();
    EXPECT_FALSE(IsMenu(submenu)) << "freed with its thread";
    StateAccess state;
    EXPECT_EQ(state->TargetPath, L"C:\\Main");
    EXPECT_FALSE(state->Enabled);
}

} // namespace
} // namespace vok
