// The menu as rows: what each item of a menu stands for, from building it
// to the chosen command, and the kinds of place a menu is opened on.
#pragma once

#include "Common/WideString.h"

#include <windows.h>
#include <unknwn.h>

#include <string>
#include <vector>

namespace vok {

enum ContextKind : BYTE {
    ckNone = 0,
    ckDesktopBackground = 1,
    ckWindowBackground = 2,
    ckFolderItem = 3,
    ckOtherItems = 4,
};

enum ListAction : BYTE {
    laNone = 0,
    laAdd = 1,
    laRemove = 2,
};

// What a menu row stands for.
enum MenuItemKind : BYTE {
    mkFavorite = 0,
    mkSeparator = 1,
    mkListAction = 2, // "Add to list" or "Remove"
    mkCreate = 3,
    mkMaintenance = 4,
    mkOpenFolder = 5, // a folder shown in an Explorer window
    // A folder the system's records say the user was just in.
    mkRecentFolder = 6,
};

// When the host offers fewer command identifiers than the rows need, the
// group with the highest value loses its items first, from its end; a group
// left without items loses its separator too. Without room for every
// essential row nothing is added.
enum MenuItemGroup : BYTE {
    mgEssential = 0,
    mgFavorites = 1,
    mgOpenFolders = 2,
    mgRecentFolders = 3,
};

constexpr int kNoPicture = -1;

// The help text of a row that is read when asked for, not when the menu is
// built: it reads a file. Takes the row's Argument.
using MenuHelp = std::string (*)(const WString& argument);
struct MenuRow;
// The command a row runs when chosen: the row (its Argument: a favourite's
// name, the folder to add or remove, an open folder's path) and the invoking
// handler's site (null when the shell gave none).
using MenuCommand = void (*)(const MenuRow& row, IUnknown* site);

// One item of a menu, from building to the chosen command.
struct MenuRow {
    MenuItemKind Kind = mkSeparator;
    MenuItemGroup Group = mgEssential;
    WString Caption;  // empty for a separator
    std::string Help; // ANSI, as the shell takes it; unless HelpOf
    MenuHelp HelpOf = nullptr;
    int Picture = kNoPicture;      // index into ExtensionState::MenuBitmaps
    bool Default = false;          // the default item of the menu that holds it
    MenuCommand Command = nullptr; // null: choosing it does nothing
    WString Argument;              // what Command and HelpOf work on
    HWND Window = nullptr;         // an open folder's Explorer window
    std::string IdList;            // an open folder's item list, as bytes
    BYTE TargetKind = 0;           // a favourite's FavoriteKind, as the menu's scan found it
    int Offset = -1;               // given once the rows fit the identifiers
};

using MenuTable = std::vector<MenuRow>;

} // namespace vok
