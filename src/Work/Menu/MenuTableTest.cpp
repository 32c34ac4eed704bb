// The menu's layout over plain values: which rows a menu has, in which
// order, with which picture and default, and which go when the host offers
// fewer identifiers than they need.
#include "Work/Menu/MenuTable.h"

#include "Work/ExtensionState.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vok {
namespace {

const WString kData = L"C:\\x\\Data";
const WString kOther = L"C:\\x\\Other";
const std::vector<Favorite> kFavorites = {{L"Alpha", kData, fkFolderLink},
                                          {L"Tom & Jerry", kOther, fkFolderLink},
                                          {L"Web", L"", fkInternetShortcut}};
const std::vector<OpenFolder> kOpen = {{L"Docs", L"C:\\Home\\Docs", "", nullptr},
                                       {L"Docs", L"C:\\Work\\Docs", "", nullptr}};
const std::vector<OpenFolder> kRecent = {{L"Photos", L"C:\\x\\Photos", "", nullptr}};

// "*" default, the caption ("---" a separator), {picture}; rows after the
// fitting numbered from 0 without a gap, or "(none)" when nothing fits.
std::string Layout(const MenuTable& table)
{
    static const char* const pictures[mbCount] = {"CF", "A", "R", "M", "S"};
    std::string text;
    for (size_t i = 0; i < table.size(); ++i) {
        const MenuRow& row = table[i];
        EXPECT_EQ(row.Offset, static_cast<int>(i));
        text += (text.empty() ? "" : " ") + std::string(row.Default ? "*" : "");
        text += row.Kind == mkSeparator ? std::string("---") : AnsiOf(row.Caption);
        if (row.Picture != kNoPicture) text += std::string("{") + pictures[row.Picture] + "}";
    }
    return text;
}

TEST(MenuTable, RowsForEachPlaceAndTheRoomTheHostGives)
{
    const std::string essentials = "Create favorite{S} *Maintenance{M}";
    const std::string listed = "Alpha Tom && Jerry Web --- ";
    const std::string around = " --- Docs (Home){CF} Docs (Work){CF} --- Photos";
    // clang-format off
    const struct {
        ContextKind kind;
        WString target;
        std::vector<Favorite> favorites;
        bool withFolders; // the open and recent folders
        ULONGLONG offered;
        std::string layout;
    } cases[] = {
        {ckWindowBackground, L"C:\\x\\New", kFavorites, false, 99, listed + "Add to list{A} " + essentials},
        {ckFolderItem, kData, kFavorites, false, 99, "Alpha{CF} Tom && Jerry Web --- Remove{R} " + essentials},
        // The mark wants the exact path, and an Internet shortcut's empty target marks nothing.
        {ckOtherItems, L"C:\\x\\DATA", kFavorites, false, 99, listed + "Add to list{A} " + essentials},
        {ckFolderItem, L"", kFavorites, false, 99, listed + essentials},
        {ckDesktopBackground, kData, kFavorites, false, 99, listed + essentials},
        {ckWindowBackground, L"C:\\x\\New", {}, true, 99, "Add to list{A} " + essentials + around},
        // Too little room: recent folders go first, then open ones, then
        // favourites, each group's separator with its last item.
        {ckWindowBackground, L"C:\\x\\New", kFavorites, true, 10, listed + "Add to list{A} " + essentials + " --- Docs (Home){CF} Docs (Work){CF}"},
        {ckWindowBackground, L"C:\\x\\New", kFavorites, true, 8, listed + "Add to list{A} " + essentials},
        {ckWindowBackground, L"C:\\x\\New", kFavorites, true, 5, "Alpha --- Add to list{A} " + essentials},
        {ckWindowBackground, L"C:\\x\\New", kFavorites, true, 3, "Add to list{A} " + essentials},
        {ckWindowBackground, L"C:\\x\\New", kFavorites, true, 2, "(none)"},
        {ckDesktopBackground, L"", kFavorites, false, 2, essentials},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.layout + " in " + std::to_string(c.offered));
        const vok::ListAction action = ChooseListAction(c.kind, c.target, c.favorites);
        MenuTable table = BuildMenuTable(c.kind, c.target, action, c.favorites);
        if (c.withFolders) {
            AddOpenFolderRows(table, kOpen);
            AddRecentFolderRows(table, kRecent);
        }
        EXPECT_EQ(FitMenuTable(table, c.offered) ? Layout(table) : "(none)", c.layout);
    }
}

} // namespace
} // namespace vok
