#include "Work/Menu/MenuHandler.h"

#include "AboutBox/Status.h"
#include "Common/Unique.h"
#include "Common/WindowText.h"
#include "Work/ExtensionState.h"
#include "Work/Menu/MenuState.h"
#include "Work/Menu/MenuPictures.h"
#include "Work/Menu/MenuTable.h"
#include "Work/Navigation/ExplorerBrowse.h"
#include "Work/Navigation/OpenFolders.h"
#include "Work/Navigation/RecentFolders.h"
#include "Work/Store/Favorites.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vok {
namespace {

// A flag from the range the shell keeps for itself: menus that carry it get
// none of our items, and we do not even look at the registry for them.
constexpr UINT kShellReservedMenuFlag = 0x00010000;
constexpr UINT kMenuKindBits = 0xF; // CMF_NORMAL when all clear

const wchar_t kSubmenuCaption[] = L"Vokmark";

// What the state says about the menu to be built, copied out under the guard.
struct MenuContext {
    bool Enabled = false;
    WString FavoritesDir;
    vok::ContextKind ContextKind = ckNone;
    WString TargetPath;
    MenuPictureSet Bitmaps = {};
};

MenuContext ReadMenuContext(HWND front)
{
    MenuContext context;
    WithState([&](ExtensionState& s) {
        context.Enabled = s.Enabled;
        context.FavoritesDir = s.FavoritesDir;
    });
    WithMenuState([&](MenuState& s) {
        context.ContextKind = s.ContextKind;
        context.TargetPath = s.TargetPath;
    });
    // The menu opens over the window in front, at that window's scaling.
    context.Bitmaps = MenuPicturesFor(DpiOfWindow(front));
    return context;
}

bool WantsItems(const MenuContext& context, UINT flags)
{
    const bool kindAccepted = (flags & kMenuKindBits) == CMF_NORMAL || (flags & CMF_EXPLORE) != 0;
    return context.Enabled && !context.FavoritesDir.empty() && kindAccepted && context.ContextKind != ckNone;
}

// The identifiers the host gives us, idCmdFirst to idCmdLast inclusive; ours
// must never reach the next handler's.
ULONGLONG IdentifiersOffered(UINT idCmdFirst, UINT idCmdLast)
{
    return idCmdLast < idCmdFirst ? 0 : ULONGLONG{idCmdLast} - idCmdFirst + 1;
}

// A folder without a path can be gone to only through a browser; on the
// desktop its window is brought to the front instead.
bool TakesFolderWithoutPath(const MenuContext& context, IUnknown* site)
{
    return context.ContextKind == ckDesktopBackground || SiteHasBrowser(site);
}

bool OnBackground(ContextKind kind)
{
    return kind == ckDesktopBackground || kind == ckWindowBackground;
}

// Places rows, in offset order: into the submenu at the offset's position,
// or appended to the host menu, the first of them starting a new column.
class MenuBuilder {
public:
    // `used` counts the offsets placed; it outlives the builder, so that a
    // failure part-way can still tell the host how many identifiers it holds.
    MenuBuilder(HMENU host, HMENU submenu, bool flat, UINT idCmdFirst, UINT& used)
        : host_(host), submenu_(submenu), flat_(flat), idCmdFirst_(idCmdFirst), used_(used)
    {
    }

    // Returns the row's position in the menu that holds it.
    UINT Place(const MenuRow& row)
    {
        const auto offset = static_cast<UINT>(row.Offset);
        used_ = offset + 1;
        const bool separator = row.Kind == mkSeparator;
        const UINT flags = MF_BYPOSITION | (separator ? MF_SEPARATOR : 0);
        const wchar_t* caption = separator ? nullptr : row.Caption.c_str();
        if (!flat_) {
            InsertMenuW(submenu_, offset, flags, idCmdFirst_ + offset, caption);
            return offset;
        }
        InsertMenuW(host_, 0xFFFFFFFF, flags | std::exchange(columnBreak_, 0), idCmdFirst_ + offset, caption);
        return static_cast<UINT>(GetMenuItemCount(host_) - 1);
    }

    // In the item's picture place, where a menu draws a 32-bit bitmap
    // through its alpha.
    static void SetBitmap(HMENU menu, UINT position, HBITMAP bitmap)
    {
        MENUITEMINFOW item = {};
        item.cbSize = sizeof(item);
        item.fMask = MIIM_BITMAP;
        item.hbmpItem = bitmap;
        SetMenuItemInfoW(menu, position, TRUE, &item);
    }

    HMENU Holder() const { return flat_ ? host_ : submenu_; }
private:
    HMENU host_;
    HMENU submenu_;
    bool flat_;
    UINT idCmdFirst_;
    UINT& used_;
    UINT columnBreak_ = MF_MENUBARBREAK;
};

void PlaceRows(MenuBuilder& menu, const MenuTable& table, const MenuContext& context)
{
    for (const MenuRow& row : table) {
        const UINT position = menu.Place(row);
        if (row.Picture != kNoPicture) MenuBuilder::SetBitmap(menu.Holder(), position, context.Bitmaps[row.Picture]);
        if (row.Default) SetMenuDefaultItem(menu.Holder(), position, TRUE);
    }
}

void InsertSubmenuEntry(HMENU host, UINT indexMenu, HMENU submenu, const MenuContext& context)
{
    const bool background = OnBackground(context.ContextKind);
    const UINT position = background ? 1 : indexMenu;
    InsertMenuW(host, position, MF_BYPOSITION | MF_POPUP, reinterpret_cast<UINT_PTR>(submenu), kSubmenuCaption);
    // Inserting past the end appends: the entry is then the last item.
    const UINT placed = std::min(position, static_cast<UINT>(GetMenuItemCount(host) - 1));
    MenuBuilder::SetBitmap(host, placed, context.Bitmaps[mbFavorite]);
    if (background) SetMenuDefaultItem(host, placed, TRUE);
}

// The new submenu replaces the last one, which is destroyed unless its host
// menu has taken it down already.
void StoreSubmenu(HMENU submenu)
{
    HMENU previous = nullptr;
    WithMenuState([&](MenuState& s) { previous = std::exchange(s.Submenu, submenu); });
    if (previous && previous != submenu && IsMenu(previous)) DestroyMenu(previous);
}

HRESULT ItemCount(UINT count)
{
    return MAKE_HRESULT(SEVERITY_SUCCESS, 0, count);
}

void CopyCut(const std::string& text, LPSTR buffer, UINT count)
{
    const size_t length = std::min<size_t>(text.size(), count - 1);
    memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
}

bool FitsEssentialRows(const MenuContext& context, ULONGLONG offered)
{
    const vok::ListAction action = ChooseListAction(context.ContextKind, context.TargetPath, {});
    MenuTable essentials = BuildMenuTable(context.ContextKind, context.TargetPath, action, {});
    return FitMenuTable(essentials, offered);
}

// The rows of the menu on `context`: the favourites read now and, where the
// query may wait, the folders open in Explorer's windows and the system's
// records of recent folders, read meanwhile within the one bound. Office's
// dialogs take a long list better without a submenu: `flat` says so.
MenuTable ReadMenuRows(const MenuContext& context, HWND front, IUnknown* site, bool mayWait, bool& flat)
{
    std::optional<OpenFolderReader> openFolders;
    std::optional<RecentFolderReader> recentFolders;
    if (mayWait) openFolders.emplace(front), recentFolders.emplace();
    const std::vector<Favorite> favorites = ScanFavoritesFolder(context.FavoritesDir, mayWait);
    flat = favorites.size() > 3 && IsOfficeDialogClass(ClassNameOf(GetActiveWindow()));
    const vok::ListAction action = ChooseListAction(context.ContextKind, context.TargetPath, favorites);
    MenuTable table = BuildMenuTable(context.ContextKind, context.TargetPath, action, favorites);
    if (!mayWait) return table;
    const std::vector<OpenFolder> open = openFolders->Collect(TakesFolderWithoutPath(context, site));
    AddOpenFolderRows(table, open);
    AddRecentFolderRows(table, recentFolders->Collect(FoldersShownAbove(context.TargetPath, favorites, open)));
    return table;
}

} // namespace

HRESULT QueryContextMenu(HMENU hmenu, UINT indexMenu, UINT idCmdFirst, UINT idCmdLast, UINT uFlags,
                         IUnknown* site) noexcept
{
    if (uFlags & kShellReservedMenuFlag) return ItemCount(0);
    bool flat = false;
    UINT used = 0;
    try {
        LoadStatus();
        // The window in front, asked once: each ask is a round trip to the
        // window server.
        const HWND front = GetForegroundWindow();
        const MenuContext context = ReadMenuContext(front);
        if (!WantsItems(context, uFlags) || !IsMenu(hmenu)) return ItemCount(0);
        // The rows every menu has do not depend on the list: a host that
        // cannot take even those gets nothing, and the folder is not read.
        const ULONGLONG offered = IdentifiersOffered(idCmdFirst, idCmdLast);
        if (!FitsEssentialRows(context, offered)) return ItemCount(0);
        // A double-click asks for the default item alone: it starts no
        // worker and waits for nothing, on any volume or window.
        MenuTable table = ReadMenuRows(context, front, site, (uFlags & CMF_DEFAULTONLY) == 0, flat);
        if (!FitMenuTable(table, offered)) return ItemCount(0);
        UniqueMenu submenu(CreatePopupMenu());
        if (!submenu) return ItemCount(0);
        WithMenuState([&](MenuState& s) {
            s.FlatMenu = flat;
            s.LastMenu = table;
        });
        MenuBuilder menu(hmenu, submenu.get(), flat, idCmdFirst, used);
        PlaceRows(menu, table, context);
        if (!flat) InsertSubmenuEntry(hmenu, indexMenu, submenu.get(), context);
        StoreSubmenu(submenu.release());
        return ItemCount(used);
    } catch (...) {
        // Items already in the host menu keep their identifiers; a submenu
        // not yet inserted was destroyed on the way out.
        return ItemCount(flat ? used : 0);
    }
}

bool MenusShown()
{
    LoadStatus();
    bool shown = false;
    WithState([&](ExtensionState& s) { shown = s.Enabled && !s.FavoritesDir.empty(); });
    return shown;
}

MenuTable ReadCommandRows(IUnknown* site)
{
    LoadStatus();
    const HWND front = GetForegroundWindow();
    const MenuContext context = ReadMenuContext(front);
    if (!WantsItems(context, CMF_NORMAL)) return MenuTable();
    bool flat = false;
    MenuTable table = ReadMenuRows(context, front, site, true, flat);
    FitMenuTable(table, table.size());
    return table;
}

void ExecuteCommand(WORD offset, IUnknown* site) noexcept
{
    try {
        const std::optional<MenuRow> row = LastMenuRowAt(offset);
        if (row && row->Command) row->Command(*row, site);
    } catch (...) {
    }
}

HRESULT InvokeCommand(const CMINVOKECOMMANDINFO* lpici, IUnknown* site) noexcept
{
    if (!lpici) return E_INVALIDARG;
    const auto verb = reinterpret_cast<UINT_PTR>(lpici->lpVerb);
    if (verb >> 16) return E_FAIL; // a verb string, which no item of ours has
    ExecuteCommand(static_cast<WORD>(verb), site);
    return S_OK;
}

HRESULT GetCommandString(UINT_PTR idCmd, UINT uType, UINT*, LPSTR pszName, UINT cchMax) noexcept
{
    if (uType != GCS_HELPTEXTA) return E_INVALIDARG;
    // No room even for the terminating NUL: there is nothing we may write.
    if (!pszName || cchMax == 0) return E_INVALIDARG;
    try {
        const std::optional<MenuRow> row = LastMenuRowAt(static_cast<int>(static_cast<UINT>(idCmd)));
        CopyCut(row ? HelpTextOf(*row) : std::string(), pszName, cchMax);
        return S_OK;
    } catch (...) {
        pszName[0] = '\0';
        return E_FAIL;
    }
}

} // namespace vok
