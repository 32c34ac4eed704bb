// The menu as a table of rows: which items a menu has, in which order, with
// which caption, help text, picture and command. QueryContextMenu builds it
// once, places it by walking it and keeps it as the record of the last menu;
// the chosen command and the help texts are found through the same rows.
#pragma once

#include "Work/Menu/MenuRow.h"
#include "Work/Navigation/OpenFolders.h"
#include "Work/Store/Favorites.h"

#include <optional>
#include <vector>

namespace vok {

// Add when the target can be listed and no favourite leads to it yet, Remove
// when one does; none on the desktop or for a folder without a path. Judged
// on the whole list, favourites left out for want of identifiers included.
vok::ListAction ChooseListAction(ContextKind kind, const WString& targetPath, const std::vector<Favorite>& favorites);

// The rows in menu order: the favourites (the one leading to `targetPath`
// marked), a separator after them, the Add or Remove item, "Create favorite"
// and "Maintenance". An item is added here, in one place; offsets come later.
MenuTable BuildMenuTable(ContextKind kind, const WString& targetPath, vok::ListAction action,
                         const std::vector<Favorite>& favorites);

// After the rows of BuildMenuTable: a separator and one row per folder open
// in an Explorer window, in the order given, with the current folder's
// picture; nothing when there are none. They are the first rows left out.
void AddOpenFolderRows(MenuTable& table, const std::vector<OpenFolder>& folders);

// The folders the rows above the recent folders lead to, and the menu's
// own: none of them is listed again as a recent folder.
std::vector<WString> FoldersShownAbove(const WString& targetPath, const std::vector<Favorite>& favorites,
                                       const std::vector<OpenFolder>& openFolders);

// After the open folders: a separator and one row per recent folder, in the
// order given, without a picture; nothing when there are none. They are left
// out before any other rows.
void AddRecentFolderRows(MenuTable& table, const std::vector<OpenFolder>& folders);

// Leaves rows out, by their groups, until the table takes no more than
// `offered` identifiers, then numbers the offsets from 0. False when even the
// essential rows do not fit: no menu.
bool FitMenuTable(MenuTable& table, ULONGLONG offered);

// A copy of the last menu's row at `offset`, taken under the guard.
std::optional<MenuRow> LastMenuRowAt(int offset);

// The row's help text; a favourite's is read from its file now.
std::string HelpTextOf(const MenuRow& row);

} // namespace vok
