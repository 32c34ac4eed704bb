// The menu's layout from plain values: which rows, in which order, with which
// caption, group, offset, picture and default, for every kind of place a menu
// opens on and every amount of room the host leaves.
#include "Work/Menu/MenuTable.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vok {
namespace {

// One row as "kind/group caption @offset #picture", "*" for the default.
std::string Described(const MenuTable& table)
{
    std::string text;
    for (const MenuRow& row : table) {
        text += std::to_string(row.Kind) + "/" + std::to_string(row.Group) + " " + AnsiOf(row.Caption) + " @" +
                std::to_string(row.Offset) + " #" + std::to_string(row.Picture) + (row.Default ? "*" : "") + "; ";
    }
    return text;
}

const std::vector<Favorite> kFavorites = {{L"Data", L"C:\\Data", fkNone}, {L"Work", L"C:\\Work", fkNone}};
const std::vector<OpenFolder> kOpen = {{L"Docs", L"C:\\Home\\Docs", "", nullptr},
                                       {L"Docs", L"C:\\Work\\Docs", "", nullptr}};
const std::vector<OpenFolder> kRecent = {{L"Music", L"C:\\Music", "", nullptr}};

struct LayoutCase {
    const char* label;
    ContextKind kind;
    const wchar_t* target;
    std::vector<Favorite> favorites;
    std::vector<OpenFolder> open, recent;
    ULONGLONG offered;
    const char* expected; // empty: no menu
};

TEST(MenuTable, LayoutOverContextsAndRoom)
{
    // clang-format off
    const LayoutCase cases[] = {
        {"desktop, nothing", ckDesktopBackground, L"", {}, {}, {}, 100,
         "3/0 Create favorite @0 #4; 4/0 Maintenance @1 #3*; "},
        {"window, favourite shown", ckWindowBackground, L"C:\\Data", kFavorites, {}, {}, 100,
         "0/1 Data @0 #0; 0/1 Work @1 #-1; 1/1  @2 #-1; 2/0 Remove @3 #2; 3/0 Create favorite @4 #4; "
         "4/0 Maintenance @5 #3*; "},
        {"window, not a favourite", ckWindowBackground, L"C:\\Other", kFavorites, {}, {}, 100,
         "0/1 Data @0 #-1; 0/1 Work @1 #-1; 1/1  @2 #-1; 2/0 Add to list @3 #1; 3/0 Create favorite @4 #4; "
         "4/0 Maintenance @5 #3*; "},
        {"folder item, open and recent", ckFolderItem, L"C:\\Other", kFavorites, kOpen, kRecent, 100,
         "0/1 Data @0 #-1; 0/1 Work @1 #-1; 1/1  @2 #-1; 2/0 Add to list @3 #1; 3/0 Create favorite @4 #4; "
         "4/0 Maintenance @5 #3*; 1/2  @6 #-1; 5/2 Docs (Home) @7 #0; 5/2 Docs (Work) @8 #0; 1/3  @9 #-1; "
         "6/3 Music @10 #-1; "},
        {"other items", ckOtherItems, L"", kFavorites, {}, {}, 100,
         "0/1 Data @0 #-1; 0/1 Work @1 #-1; 1/1  @2 #-1; 3/0 Create favorite @3 #4; 4/0 Maintenance @4 #3*; "},
        {"recent left out first", ckFolderItem, L"C:\\Other", kFavorites, kOpen, kRecent, 10,
         "0/1 Data @0 #-1; 0/1 Work @1 #-1; 1/1  @2 #-1; 2/0 Add to list @3 #1; 3/0 Create favorite @4 #4; "
         "4/0 Maintenance @5 #3*; 1/2  @6 #-1; 5/2 Docs (Home) @7 #0; 5/2 Docs (Work) @8 #0; "},
        {"open folders next", ckFolderItem, L"C:\\Other", kFavorites, kOpen, kRecent, 6,
         "0/1 Data @0 #-1; 0/1 Work @1 #-1; 1/1  @2 #-1; 2/0 Add to list @3 #1; 3/0 Create favorite @4 #4; "
         "4/0 Maintenance @5 #3*; "},
        {"favourites last", ckFolderItem, L"C:\\Other", kFavorites, kOpen, kRecent, 5,
         "0/1 Data @0 #-1; 1/1  @1 #-1; 2/0 Add to list @2 #1; 3/0 Create favorite @3 #4; "
         "4/0 Maintenance @4 #3*; "},
        {"essentials only", ckFolderItem, L"C:\\Other", kFavorites, kOpen, kRecent, 3,
         "2/0 Add to list @0 #1; 3/0 Create favorite @1 #4; 4/0 Maintenance @2 #3*; "},
        {"too little room", ckFolderItem, L"C:\\Other", kFavorites, kOpen, kRecent, 2,
         ""},
    };
    // clang-format on
    for (const LayoutCase& c : cases) {
        MenuTable table = BuildMenuTable(c.kind, c.target, ChooseListAction(c.kind, c.target, c.favorites),
                                         c.favorites);
        AddOpenFolderRows(table, c.open);
        AddRecentFolderRows(table, c.recent);
        const bool fits = FitMenuTable(table, c.offered);
        EXPECT_EQ(fits ? Described(table) : std::string(), c.expected) << c.label;
    }
}

} // namespace
} // namespace vok
