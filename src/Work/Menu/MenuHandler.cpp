#include "Work/Menu/MenuHandler.h"

#include "AboutBox/Status.h"
#include "Common/Unique.h"
#include "Work/Menu/EditingCommands.h"
#include "Work/ExtensionState.h"
#include "Work/Store/Favorites.h"
#include "Work/Navigation/Navigation.h"
#include "Work/Store/Shortcuts.h"

#include <algorithm>
#include <cstring>
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
const wchar_t kAddCaption[] = L"Add to list";
const wchar_t kRemoveCaption[] = L"Remove";
const wchar_t kCreateCaption[] = L"Create favorite";
const wchar_t kMaintenanceCaption[] = L"Maintenance";

const char kCreateHelp[] = "Create a new favorite.";
const char kMaintenanceHelp[] = "Manage your favorite list.";

// What the state says about the menu to be built, copied out under the guard.
struct MenuContext {
    bool Enabled = false;
    bool HasFavoritesDir = false;
    vok::ContextKind ContextKind = ckNone;
    WString TargetPath;
    HBITMAP Bitmaps[mbCount] = {};
};

MenuContext ReadMenuContext()
{
    MenuContext context;
    WithState([&](ExtensionState& s) {
        context.Enabled = s.Enabled;
        context.HasFavoritesDir = !s.FavoritesDir.empty();
        context.ContextKind = s.ContextKind;
        context.TargetPath = s.TargetPath;
        for (int i = 0; i < mbCount; ++i) context.Bitmaps[i] = s.MenuBitmaps[i].get();
    });
    return context;
}

bool WantsItems(const MenuContext& context, UINT flags)
{
    const bool kindAccepted = (flags & kMenuKindBits) == CMF_NORMAL || (flags & CMF_EXPLORE) != 0;
    return context.Enabled && context.HasFavoritesDir && kindAccepted && context.ContextKind != ckNone;
}

// A folder without a file-system path ("This PC", "Quick access", a library)
// gives the empty path, which cannot be added or removed; neither can the
// desktop.
bool HasListItem(ContextKind kind, const WString& targetPath)
{
    return kind != ckDesktopBackground && !targetPath.empty();
}

// The items placed whatever the list holds: Add or Remove, "Create favorite"
// and "Maintenance".
UINT FixedItemCount(const MenuContext& context)
{
    return HasListItem(context.ContextKind, context.TargetPath) ? 3 : 2;
}

// The identifiers the host gives us, idCmdFirst to idCmdLast inclusive; ours
// must never reach the next handler's.
ULONGLONG IdentifiersOffered(UINT idCmdFirst, UINT idCmdLast)
{
    return idCmdLast < idCmdFirst ? 0 : ULONGLONG{idCmdLast} - idCmdFirst + 1;
}

// How many favourites, from the start of the list, fit beside the separator
// and the fixed items.
size_t FavoritesThatFit(ULONGLONG offered, UINT fixed, size_t count)
{
    const ULONGLONG room = offered - fixed; // the caller made sure the fixed items fit
    return room < 2 ? 0 : static_cast<size_t>(std::min<ULONGLONG>(count, room - 1));
}

bool OnBackground(ContextKind kind)
{
    return kind == ckDesktopBackground || kind == ckWindowBackground;
}

// Places items with consecutive command offsets: into the submenu at the
// offset's position, or appended to the host menu, the first of them
// starting a new column.
class MenuBuilder {
public:
    // `used` counts the offsets placed; it outlives the builder, so that a
    // failure part-way can still tell the host how many identifiers it holds.
    MenuBuilder(HMENU host, HMENU submenu, bool flat, UINT idCmdFirst, UINT& used)
        : host_(host), submenu_(submenu), flat_(flat), idCmdFirst_(idCmdFirst), used_(used)
    {
    }

    // Returns the item's position in the menu that holds it.
    UINT Place(const wchar_t* caption, UINT flags = 0)
    {
        const UINT offset = used_++;
        flags |= MF_BYPOSITION;
        if (!flat_) {
            InsertMenuW(submenu_, offset, flags, idCmdFirst_ + offset, caption);
            return offset;
        }
        InsertMenuW(host_, 0xFFFFFFFF, flags | std::exchange(columnBreak_, 0), idCmdFirst_ + offset, caption);
        return static_cast<UINT>(GetMenuItemCount(host_) - 1);
    }

    void PlaceWithBitmap(const wchar_t* caption, HBITMAP bitmap) { SetBitmap(Holder(), Place(caption), bitmap); }

    static void SetBitmap(HMENU menu, UINT position, HBITMAP bitmap)
    {
        SetMenuItemBitmaps(menu, position, MF_BYPOSITION, bitmap, nullptr);
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

void PlaceItems(MenuBuilder& menu, const MenuContext& context, const std::vector<Favorite>& favorites,
                vok::ListAction action)
{
    // An Internet shortcut's empty target is no folder: an empty TargetPath
    // marks nothing.
    const bool markable = HasListItem(context.ContextKind, context.TargetPath);
    for (const Favorite& favorite : favorites) {
        const UINT position = menu.Place(favorite.Name.c_str());
        if (markable && favorite.Target == context.TargetPath)
            MenuBuilder::SetBitmap(menu.Holder(), position, context.Bitmaps[mbCurrentFolder]);
    }
    if (!favorites.empty()) menu.Place(nullptr, MF_SEPARATOR);
    if (action == laAdd) menu.PlaceWithBitmap(kAddCaption, context.Bitmaps[mbAdd]);
    if (action == laRemove) menu.PlaceWithBitmap(kRemoveCaption, context.Bitmaps[mbRemove]);
    menu.PlaceWithBitmap(kCreateCaption, context.Bitmaps[mbFavorite]);
    const UINT maintenance = menu.Place(kMaintenanceCaption);
    MenuBuilder::SetBitmap(menu.Holder(), maintenance, context.Bitmaps[mbMaintenance]);
    SetMenuDefaultItem(menu.Holder(), maintenance, TRUE);
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
    WithState([&](ExtensionState& s) { previous = std::exchange(s.Submenu, submenu); });
    if (previous && previous != submenu && IsMenu(previous)) DestroyMenu(previous);
}

vok::ListAction ChooseListAction(const MenuContext& context, const std::vector<Favorite>& favorites)
{
    if (!HasListItem(context.ContextKind, context.TargetPath)) return laNone;
    return IsTargetFavorite(favorites, context.TargetPath) ? laRemove : laAdd;
}

HRESULT ItemCount(UINT count)
{
    return MAKE_HRESULT(SEVERITY_SUCCESS, 0, count);
}

CommandOffsets OffsetsOf(const ExtensionState& state)
{
    CommandOffsets offsets;
    const size_t listed = state.FavoriteNames.size();
    const int n = static_cast<int>(listed - std::min(listed, state.FavoritesLeftOut));
    offsets.FirstFavorite = 0;
    offsets.LastFavorite = n - 1;
    int next = n == 0 ? 0 : n + 1; // after the separator
    if (HasListItem(state.ContextKind, state.TargetPath)) offsets.ListActionCmd = next++;
    offsets.CreateCmd = next++;
    offsets.MaintenanceCmd = next;
    return offsets;
}

bool IsFavoriteOffset(const CommandOffsets& offsets, int offset)
{
    return offset >= offsets.FirstFavorite && offset <= offsets.LastFavorite;
}

void RunListAction(vok::ListAction action)
{
    if (action == laAdd) AddTargetToFavorites();
    if (action == laRemove) RemoveTargetFromFavorites();
}

// What the help text of one offset depends on, copied out under the guard.
struct HelpContext {
    CommandOffsets Offsets;
    vok::ListAction ListAction = laNone;
    WString TargetPath;
    WString FavoritesDir;
    WString FavoriteName; // when the offset is a favourite's
};

HelpContext ReadHelpContext(int offset)
{
    HelpContext help;
    WithState([&](ExtensionState& s) {
        help.Offsets = OffsetsOf(s);
        help.ListAction = s.ListAction;
        help.TargetPath = s.TargetPath;
        help.FavoritesDir = s.FavoritesDir;
        if (IsFavoriteOffset(help.Offsets, offset))
            help.FavoriteName = s.FavoriteNames[static_cast<size_t>(offset - help.Offsets.FirstFavorite)];
    });
    return help;
}

// Help texts go to the shell as ANSI text: a path outside the code page
// appears as its ANSI conversion. A URL is the shortcut file's own bytes.
std::string FavoriteHelpText(const HelpContext& help)
{
    const FavoriteInspection found = InspectFavorite(help.FavoritesDir, help.FavoriteName);
    if (found.Kind == fkFileLink || found.Kind == fkFolderLink) return AnsiOf(found.Target);
    if (found.Kind == fkItemListLink) return AnsiOf(ItemListLinkName(help.FavoritesDir + help.FavoriteName + L".lnk"));
    return GetShortcutUrl(help.FavoritesDir + help.FavoriteName + L".url");
}

std::string HelpTextOf(int offset)
{
    const HelpContext help = ReadHelpContext(offset);
    if (offset == help.Offsets.ListActionCmd) {
        const std::string target = AnsiOf(help.TargetPath);
        if (help.ListAction == laAdd) return "Add \"" + target + "\" to your favorite list.";
        if (help.ListAction == laRemove) return "Remove \"" + target + "\" from your favorite list.";
        return std::string();
    }
    if (IsFavoriteOffset(help.Offsets, offset)) return FavoriteHelpText(help);
    if (offset == help.Offsets.CreateCmd) return kCreateHelp;
    if (offset == help.Offsets.MaintenanceCmd) return kMaintenanceHelp;
    return std::string();
}

void CopyCut(const std::string& text, LPSTR buffer, UINT count)
{
    const size_t length = std::min<size_t>(text.size(), count - 1);
    memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
}

} // namespace

CommandOffsets GetCommandOffsets()
{
    CommandOffsets offsets;
    WithState([&](ExtensionState& s) { offsets = OffsetsOf(s); });
    return offsets;
}

HRESULT QueryContextMenu(HMENU hmenu, UINT indexMenu, UINT idCmdFirst, UINT idCmdLast, UINT uFlags) noexcept
{
    if (uFlags & kShellReservedMenuFlag) return ItemCount(0);
    bool flat = false;
    UINT used = 0;
    try {
        LoadStatus();
        const MenuContext context = ReadMenuContext();
        if (!WantsItems(context, uFlags) || !IsMenu(hmenu)) return ItemCount(0);
        const ULONGLONG offered = IdentifiersOffered(idCmdFirst, idCmdLast);
        const UINT fixed = FixedItemCount(context);
        if (offered < fixed) return ItemCount(0);
        std::vector<Favorite> favorites = RefreshFavorites();
        WithState([&](ExtensionState& s) { flat = s.FlatMenu; });
        UniqueMenu submenu(CreatePopupMenu());
        if (!submenu) return ItemCount(0);
        // Decided on the whole list: a favourite left out is still one.
        const vok::ListAction action = ChooseListAction(context, favorites);
        const size_t listed = favorites.size();
        favorites.resize(FavoritesThatFit(offered, fixed, listed));
        WithState([&](ExtensionState& s) {
            s.ListAction = action;
            s.FavoritesLeftOut = listed - favorites.size();
        });

        MenuBuilder menu(hmenu, submenu.get(), flat, idCmdFirst, used);
        PlaceItems(menu, context, favorites, action);
        if (!flat) InsertSubmenuEntry(hmenu, indexMenu, submenu.get(), context);
        StoreSubmenu(submenu.release());
        return ItemCount(used);
    } catch (...) {
        // Items already in the host menu keep their identifiers; a submenu
        // not yet inserted was destroyed on the way out.
        return ItemCount(flat ? used : 0);
    }
}

void ExecuteCommand(WORD offset, IUnknown* site) noexcept
{
    try {
        CommandOffsets offsets;
        vok::ListAction action = laNone;
        bool favorite = false;
        WithState([&](ExtensionState& s) {
            offsets = OffsetsOf(s);
            action = s.ListAction;
            favorite = IsFavoriteOffset(offsets, offset);
            if (favorite) s.ChosenTarget = s.FavoriteNames[static_cast<size_t>(offset - offsets.FirstFavorite)];
        });
        if (favorite)
            NavigateToFavorite(site);
        else if (offset == offsets.ListActionCmd)
            RunListAction(action);
        else if (offset == offsets.CreateCmd)
            CreateFavorite();
        else if (offset == offsets.MaintenanceCmd)
            OpenFavoritesFolder();
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
        CopyCut(HelpTextOf(static_cast<int>(static_cast<UINT>(idCmd))), pszName, cchMax);
        return S_OK;
    } catch (...) {
        pszName[0] = '\0';
        return E_FAIL;
    }
}

} // namespace vok
