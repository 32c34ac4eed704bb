#include "Work/ExtensionState.h"

#include "Work/Menu/MenuPictures.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <thread>

namespace vok {
namespace {

class ExtensionStateTest : public ::testing::Test {
protected:
    void TearDown() override { test::StopState(); }
    test::VokKeyReset registry;
};

TEST_F(ExtensionStateTest, StartsWithTheValuesOfALoad)
{
    test::StopState();
    test::SetInstallFolder("C:\\Tools");
    ASSERT_TRUE(StartExtensionState(GetModuleHandleA(nullptr)));

    EXPECT_TRUE(test::ReadState(&ExtensionState::Enabled));
    EXPECT_EQ(test::ReadState(&ExtensionState::InstallDir), L"C:\\Tools\\");
    EXPECT_EQ(test::ReadState(&ExtensionState::FavoritesDir), L"C:\\Tools\\Favorites\\");
    MenuStateAccess state;
    EXPECT_EQ(state->TargetPath, L"");
    EXPECT_EQ(state->ContextKind, ckNone);
    EXPECT_FALSE(state->FlatMenu);
    EXPECT_EQ(state->Submenu, nullptr);
    EXPECT_EQ(state->RestoreTimer, 0u);
}

// The small icon's size at 100, 150 and 200 % scaling, and between sizes
// the one below; 32-bit, premultiplied, transparent in the corners.
TEST_F(ExtensionStateTest, LoadsTheItemPicturesInTheSizeOfTheScaling)
{
    test::StopState();
    test::SetInstallFolder("C:\\Tools");
    ASSERT_TRUE(StartExtensionState(GetModuleHandleA(nullptr)));
    const struct {
        UINT dpi;
        LONG size;
    } cases[] = {{96, 16}, {120, 20}, {144, 24}, {168, 24}, {192, 32}, {240, 40}, {480, 40}};
    for (const auto& c : cases) {
        const MenuPictureSet pictures = MenuPicturesFor(c.dpi);
        EXPECT_EQ(MenuPicturesFor(c.dpi), pictures) << "loaded once, kept";
        for (HBITMAP picture : pictures) {
            DIBSECTION dib = {};
            ASSERT_EQ(GetObjectA(picture, sizeof(dib), &dib), static_cast<int>(sizeof(dib))) << c.dpi;
            EXPECT_EQ(dib.dsBm.bmWidth, c.size) << c.dpi;
            EXPECT_EQ(dib.dsBm.bmHeight, c.size) << c.dpi;
            EXPECT_EQ(dib.dsBm.bmBitsPixel, 32) << c.dpi;
            const auto* pixels = static_cast<const DWORD*>(dib.dsBm.bmBits);
            EXPECT_EQ(pixels[0] | pixels[c.size - 1] | pixels[c.size * c.size - 1], 0u) << "transparent corners";
        }
    }
}

TEST_F(ExtensionStateTest, ResourcesAreThirtyTwoBitWithoutAColourTable)
{
    for (const char* name : {"CF", "A_20", "R_24", "M_32", "S_40"}) {
        HRSRC found = FindResourceExA(nullptr, MAKEINTRESOURCEA(2) /* RT_BITMAP */, name,
                                      MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
        ASSERT_NE(found, nullptr) << name;
        const auto* header = static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(nullptr, found)));
        EXPECT_EQ(header->biSize, sizeof(BITMAPINFOHEADER)) << name;
        EXPECT_EQ(header->biBitCount, 32) << name;
        EXPECT_EQ(header->biCompression, static_cast<DWORD>(BI_RGB)) << name;
        EXPECT_EQ(header->biClrUsed, 0u) << name;
    }
}

TEST_F(ExtensionStateTest, ShutDownDestroysALeftoverSubmenu)
{
    test::StopState();
    test::SetInstallFolder("C:\\Tools");
    ASSERT_TRUE(StartExtensionState(GetModuleHandleA(nullptr)));
    HMENU submenu = CreatePopupMenu();
    {
        MenuStateAccess state;
        state->Submenu = submenu;
    }
    test::StopState();
    EXPECT_FALSE(IsMenu(submenu));
    EXPECT_EQ(MenuStateAccess().get(), nullptr);
}

// Two windows' menus on two threads: each thread has its own target and
// submenu, freed when the thread ends; the switch and the folders are one.
TEST_F(ExtensionStateTest, EachThreadHasItsOwnMenuAndSharesTheRest)
{
    test::StopState();
    test::SetInstallFolder("C:\\Tools");
    ASSERT_TRUE(StartExtensionState(GetModuleHandleA(nullptr)));
    MenuStateAccess()->TargetPath = L"C:\\Main";
    HMENU submenu = CreatePopupMenu();
    std::thread([submenu] {
        EXPECT_EQ(test::ReadState(&ExtensionState::FavoritesDir), L"C:\\Tools\\Favorites\\");
        WithState([](ExtensionState& s) { s.Enabled = false; });
        MenuStateAccess state;
        EXPECT_EQ(state->TargetPath, L"");
        state->Submenu = submenu;
    }).join();
    EXPECT_FALSE(IsMenu(submenu)) << "freed with its thread";
    EXPECT_EQ(test::ReadState(&MenuState::TargetPath), L"C:\\Main");
    EXPECT_FALSE(test::ReadState(&ExtensionState::Enabled));
}

} // namespace
} // namespace vok
