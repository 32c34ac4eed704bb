// The demo's description of a menu: real menus and the item bitmaps of the
// test program's own resources (the library's five).
#include "Demo/MenuTranscript.h"

#include "Common/Unique.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vok::demo {
namespace {

using Lines = std::vector<std::string>;

const char* const kBitmapNames[] = {"CF", "A", "R", "M", "S"};

void SetPicture(HMENU menu, UINT position, HBITMAP picture)
{
    MENUITEMINFOA item = {};
    item.cbSize = sizeof(item);
    item.fMask = MIIM_BITMAP;
    item.hbmpItem = picture;
    SetMenuItemInfoA(menu, position, TRUE, &item);
}

class MenuTranscriptTest : public ::testing::Test {
protected:
    MenuTranscriptTest()
    {
        for (const char* name : kBitmapNames) {
            owned.emplace_back(LoadBitmapA(GetModuleHandleA(nullptr), name));
            known.emplace_back(name, owned.back().get());
        }
    }
    HBITMAP Load(const char* name) { return extra.emplace_back(LoadBitmapA(GetModuleHandleA(nullptr), name)).get(); }

    std::vector<UniqueBitmap> owned, extra;
    NamedBitmaps known;
};

TEST_F(MenuTranscriptTest, EveryItemBitmapIsKnownByItsPixelsWhateverItsHandle)
{
    for (const char* name : kBitmapNames) {
        HBITMAP another = Load(name);
        ASSERT_NE(another, nullptr) << name;
        EXPECT_EQ(NameOfBitmap(another, known), name);
    }
}

TEST_F(MenuTranscriptTest, BitmapsCompareByPixels)
{
    struct Case {
        const char* a;
        const char* b;
        bool same;
    } cases[] = {{"S", "S", true}, {"S", "M", false}, {"A", "R", false}, {"CF", "CF", true}};
    for (const Case& c : cases) EXPECT_EQ(SameBitmap(Load(c.a), Load(c.b)), c.same) << c.a << " " << c.b;
    EXPECT_FALSE(SameBitmap(nullptr, Load("S")));
}

TEST_F(MenuTranscriptTest, NoBitmapAndAnUnknownBitmapAreTold)
{
    HDC screen = GetDC(nullptr);
    UniqueBitmap blank(CreateCompatibleBitmap(screen, 13, 13));
    ReleaseDC(nullptr, screen);
    EXPECT_EQ(NameOfBitmap(nullptr, known), "");
    EXPECT_EQ(NameOfBitmap(blank.get(), known), "?");
}

TEST_F(MenuTranscriptTest, MenuIsReadAndPrintedAsTheUserSeesIt)
{
    UniqueMenu host(CreatePopupMenu());
    HMENU sub = CreatePopupMenu();
    AppendMenuA(sub, MF_STRING, 11, "Music");
    AppendMenuA(sub, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(sub, MF_STRING, 13, "Add to list");
    SetPicture(sub, 2, Load("A"));
    AppendMenuA(sub, MF_STRING, 14, "Maintenance");
    SetPicture(sub, 3, Load("M"));
    SetMenuDefaultItem(sub, 3, TRUE);
    AppendMenuA(host.get(), MF_STRING, 1, "Refresh");
    AppendMenuA(host.get(), MF_POPUP, reinterpret_cast<UINT_PTR>(sub), "Vokmark");
    SetPicture(host.get(), 1, Load("S"));
    SetMenuDefaultItem(host.get(), 1, TRUE);

    const std::vector<MenuLine> menu = ReadMenu(host.get(), known);
    ASSERT_EQ(menu.size(), 2u);
    EXPECT_EQ(menu[0].Id, 1u);
    EXPECT_EQ(menu[1].Bitmap, "S");
    EXPECT_TRUE(menu[1].Default);
    ASSERT_EQ(menu[1].Submenu.size(), 4u);
    EXPECT_TRUE(menu[1].Submenu[1].Separator);
    EXPECT_EQ(menu[1].Submenu[3].Id, 14u);

    const Lines expected = {
        "     Refresh",         "[S]  Vokmark  (default) >", "          Music",
        "          ----------", "     [A]  Add to list",     "     [M]  Maintenance  (default)",
    };
    EXPECT_EQ(FormatMenu(menu), expected);
    EXPECT_EQ(FormatMenu(menu, 2)[0], "       Refresh");
}

TEST_F(MenuTranscriptTest, CaptionsAreFoundByPositionSeparatorsNever)
{
    std::vector<MenuLine> menu(3);
    menu[0].Caption = "View";
    menu[1].Separator = true;
    menu[2].Caption = "Vokmark";
    struct Case {
        const char* caption;
        int position;
    } cases[] = {{"View", 0}, {"Vokmark", 2}, {"vokmark", -1}, {"", -1}};
    for (const Case& c : cases) EXPECT_EQ(FindCaption(menu, c.caption), c.position) << c.caption;
}

} // namespace
} // namespace vok::demo
