#include "Work/Menu/MenuTable.h"

#include "Work/ExtensionState.h"
#include "Work/Menu/EditingCommands.h"
#include "Work/Menu/MenuState.h"
#include "Work/Navigation/Navigation.h"
#include "Work/Store/Shortcuts.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace vok {
namespace {

const wchar_t kAddCaption[] = L"Add to list";
const wchar_t kRemoveCaption[] = L"Remove";
const wchar_t kCreateCaption[] = L"Create favorite";
const wchar_t kMaintenanceCaption[] = L"Maintenance";

const char kCreateHelp[] = "Create a new favorite.";
const char kMaintenanceHelp[] = "Manage your favorite list.";

// A folder without a file-system path ("This PC", "Quick access", a library)
// gives the empty path, which cannot be added or removed; neither can the
// desktop.
bool HasListItem(ContextKind kind, const WString& targetPath)
{
    return kind != ckDesktopBackground && !targetPath.empty();
}

void GoToFavorite(const MenuRow& row, IUnknown* site)
{
    NavigateToFavorite(row.Argument, static_cast<FavoriteKind>(row.TargetKind), site);
}

// Help texts go to the shell as ANSI text: a path outside the code page
// appears as its ANSI conversion. A URL is the shortcut file's own bytes.
std::string FavoriteHelp(const WString& name)
{
    const WString favoritesDir = FavoritesFolder();
    const FavoriteInspection found = InspectFavorite(favoritesDir, name);
    if (found.Kind == fkFileLink || found.Kind == fkFolderLink) return AnsiOf(found.Target);
    if (found.Kind == fkItemListLink) return AnsiOf(ItemListLinkName(favoritesDir + name + L".lnk"));
    return GetShortcutUrl(favoritesDir + name + L".url");
}

// A menu takes "&" as the mark of the next letter's shortcut key; doubled,
// it shows as itself. The name stays as it is for the help text and the
// command.
WString CaptionOf(const WString& name)
{
    WString caption;
    caption.reserve(name.size());
    for (const wchar_t c : name) {
        caption += c;
        if (c == L'&') caption += c;
    }
    return caption;
}

MenuRow Row(MenuItemKind kind, const wchar_t* caption, std::string help, int picture, MenuCommand command)
{
    MenuRow row;
    row.Kind = kind;
    row.Caption = caption;
    row.Help = std::move(help);
    row.Picture = picture;
    row.Command = command;
    return row;
}

MenuRow FavoriteRow(const Favorite& favorite, bool current)
{
    MenuRow row = Row(mkFavorite, CaptionOf(favorite.Name).c_str(), std::string(),
                      current ? mbCurrentFolder : kNoPicture, GoToFavorite);
    row.Group = mgFavorites;
    row.HelpOf = FavoriteHelp;
    row.Argument = favorite.Name;
    row.TargetKind = favorite.Kind;
    return row;
}

MenuRow SeparatorRow(MenuItemGroup group)
{
    MenuRow row = Row(mkSeparator, L"", std::string(), kNoPicture, nullptr);
    row.Group = group;
    return row;
}

// The folder to add or remove is the row's argument.
MenuRow ListActionRow(vok::ListAction action, const WString& targetPath)
{
    const std::string target = "\"" + AnsiOf(targetPath) + "\"";
    MenuRow row = action == laAdd
                      ? Row(mkListAction, kAddCaption, "Add " + target + " to your favorite list.", mbAdd,
                            [](const MenuRow& r, IUnknown*) { AddTargetToFavorites(r.Argument); })
                      : Row(mkListAction, kRemoveCaption, "Remove " + target + " from your favorite list.", mbRemove,
                            [](const MenuRow& r, IUnknown*) { RemoveTargetFromFavorites(r.Argument); });
    row.Argument = targetPath;
    return row;
}

bool IsItemOf(const MenuRow& row, MenuItemGroup group)
{
    return row.Group == group && row.Kind != mkSeparator;
}

// The last item of the group goes; with it its separator, once it is the last.
void LeaveOutLastOf(MenuTable& table, MenuItemGroup group)
{
    const auto isItem = [group](const MenuRow& row) { return IsItemOf(row, group); };
    const auto last = std::find_if(table.rbegin(), table.rend(), isItem);
    if (last != table.rend()) table.erase(std::next(last).base());
    if (std::any_of(table.begin(), table.end(), isItem)) return;
    table.erase(std::remove_if(table.begin(), table.end(), [group](const MenuRow& row) { return row.Group == group; }),
                table.end());
}

void GoToOpenFolderOf(const MenuRow& row, IUnknown* site)
{
    GoToOpenFolder(row.Argument, row.IdList, row.Window, site);
}

WString LastPartOf(const WString& path)
{
    const size_t cut = path.find_last_of(L'\\');
    return cut == WString::npos ? path : path.substr(cut + 1);
}

// Where two open folders share a name, each adds the last part of the path
// above it: "Docs (Work)" beside "Docs (Home)".
WString OpenFolderCaption(const OpenFolder& folder, const std::vector<OpenFolder>& folders)
{
    const auto sameName = [&folder](const OpenFolder& other) { return other.Name == folder.Name; };
    const WString caption = CaptionOf(folder.Name);
    const size_t parentEnd = folder.Path.find_last_of(L'\\');
    if (std::count_if(folders.begin(), folders.end(), sameName) < 2 || parentEnd == WString::npos) return caption;
    return caption + L" (" + CaptionOf(LastPartOf(folder.Path.substr(0, parentEnd))) + L")";
}

MenuRow OpenFolderRow(const OpenFolder& folder, const std::vector<OpenFolder>& folders)
{
    const WString& help = folder.Path.empty() ? folder.Name : folder.Path;
    MenuRow row = Row(mkOpenFolder, OpenFolderCaption(folder, folders).c_str(), AnsiOf(help), mbCurrentFolder,
                      GoToOpenFolderOf);
    row.Group = mgOpenFolders;
    row.Argument = folder.Path;
    row.Window = folder.Window;
    row.IdList = folder.IdList;
    return row;
}

// Gone to as a favourite folder is: the row has no window of its own.
MenuRow RecentFolderRow(const OpenFolder& folder, const std::vector<OpenFolder>& folders)
{
    MenuRow row = Row(mkRecentFolder, OpenFolderCaption(folder, folders).c_str(), AnsiOf(folder.Path), kNoPicture,
                      GoToOpenFolderOf);
    row.Group = mgRecentFolders;
    row.Argument = folder.Path;
    return row;
}

} // namespace

std::vector<WString> FoldersShownAbove(const WString& targetPath, const std::vector<Favorite>& favorites,
                                       const std::vector<OpenFolder>& openFolders)
{
    std::vector<WString> shown;
    if (!targetPath.empty()) shown.push_back(targetPath);
    for (const Favorite& favorite : favorites)
        if (!favorite.Target.empty()) shown.push_back(ExpandTargetPath(favorite.Target));
    for (const OpenFolder& folder : openFolders)
        if (!folder.Path.empty()) shown.push_back(folder.Path);
    return shown;
}

void AddRecentFolderRows(MenuTable& table, const std::vector<OpenFolder>& folders)
{
    if (folders.empty()) return;
    table.push_back(SeparatorRow(mgRecentFolders));
    for (const OpenFolder& folder : folders) table.push_back(RecentFolderRow(folder, folders));
}

void AddOpenFolderRows(MenuTable& table, const std::vector<OpenFolder>& folders)
{
    if (folders.empty()) return;
    table.push_back(SeparatorRow(mgOpenFolders));
    for (const OpenFolder& folder : folders) table.push_back(OpenFolderRow(folder, folders));
}

vok::ListAction ChooseListAction(ContextKind kind, const WString& targetPath, const std::vector<Favorite>& favorites)
{
    if (!HasListItem(kind, targetPath)) return laNone;
    return IsTargetFavorite(favorites, targetPath) ? laRemove : laAdd;
}

MenuTable BuildMenuTable(ContextKind kind, const WString& targetPath, vok::ListAction action,
                         const std::vector<Favorite>& favorites)
{
    // An Internet shortcut's empty target is no folder: an empty TargetPath
    // marks nothing.
    const bool markable = HasListItem(kind, targetPath);
    MenuTable table;
    table.reserve(favorites.size() + 4);
    for (const Favorite& favorite : favorites)
        table.push_back(FavoriteRow(favorite, markable && favorite.Target == targetPath));
    if (!favorites.empty()) table.push_back(SeparatorRow(mgFavorites));
    if (action != laNone) table.push_back(ListActionRow(action, targetPath));
    table.push_back(
        Row(mkCreate, kCreateCaption, kCreateHelp, mbFavorite, [](const MenuRow&, IUnknown*) { CreateFavorite(); }));
    MenuRow maintenance = Row(mkMaintenance, kMaintenanceCaption, kMaintenanceHelp, mbMaintenance,
                              [](const MenuRow&, IUnknown*) { OpenFavoritesFolder(); });
    maintenance.Default = true;
    table.push_back(std::move(maintenance));
    return table;
}

bool FitMenuTable(MenuTable& table, ULONGLONG offered)
{
    while (table.size() > offered) {
        const auto spare = std::max_element(table.begin(), table.end(),
                                            [](const MenuRow& a, const MenuRow& b) { return a.Group < b.Group; });
        if (spare->Group == mgEssential) return false;
        LeaveOutLastOf(table, spare->Group);
    }
    for (size_t i = 0; i < table.size(); ++i) table[i].Offset = static_cast<int>(i);
    return true;
}

std::optional<MenuRow> LastMenuRowAt(int offset)
{
    std::optional<MenuRow> found;
    WithMenuState([&](MenuState& s) {
        const auto row = std::find_if(s.LastMenu.begin(), s.LastMenu.end(),
                                      [offset](const MenuRow& r) { return r.Offset == offset; });
        if (row != s.LastMenu.end()) found = *row;
    });
    return found;
}

std::string HelpTextOf(const MenuRow& row)
{
    return row.HelpOf ? row.HelpOf(row.Argument) : row.Help;
}

} // namespace vok
