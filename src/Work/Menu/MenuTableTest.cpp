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

const std::vector<Favorite> kFavorites = {{L"Data", L"C:\\Data"}, {L"Work", L"C:\\Work"}};
const std::vector<OpenFolder> kOpen = {{L"Docs", L"C:\\Home\\Docs"}, {L"Docs", L"C:\\Work\\Docs"}};
const std::vector<OpenFolder> kRecent = {{L"Music", L"C:\\Music"}};

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
    const LayoutCase cases[] = {
        {"desktop, nothing", ckDesktopBackground, L"", {}, {}, {}, 100, "?"},
        {"window, favourite shown", ckWindowBackground, L"C:\\Data", kFavorites, {}, {}, 100, "?"},
        {"window, not a favourite", ckWindowBackground, L"C:\\Other", kFavorites, {}, {}, 100, "?"},
        {"folder item, open and recent", ckFolderItem, L"C:\\Other", kFavorites, kOpen, kRecent, 100, "?"},
        {"other items", ckOtherItems, L"", kFavorites, {}, {}, 100, "?"},
        {"recent left out first", ckFolderItem, L"C:\\Other", kFavorites, kOpen, kRecent, 10, "?"},
        {"open folders next", ckFolderItem, L"C:\\Other", kFavorites, kOpen, kRecent, 6, "?"},
        {"favourites last", ckFolderItem, L"C:\\Other", kFavorites, kOpen, kRecent, 4, "?"},
        {"essentials only", ckFolderItem, L"C:\\Other", kFavorites, kOpen, kRecent, 3, "?"},
        {"too little room", ckFolderItem, L"C:\\Other", kFavorites, kOpen, kRecent, 2, ""},
    };
    for (const LayoutCase& c : cases) {
        MenuTable table = BuildMenuTable(c.kind, c.target, ChooseListAction(c.kind, c.target, c.favorites), c.favorites);
        AddOpenFolderRows(table, c.open);
        AddRecentFolderRows(table, c.recent);
        const bool fits = FitMenuTable(table, c.offered);
        EXPECT_EQ(fits ? Described(table) : std::string(), c.expected) << c.label;
    }
}

} // namespace
} // namespace vok
