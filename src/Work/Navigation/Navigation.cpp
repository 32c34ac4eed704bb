#include "Work/Navigation/Navigation.h"

#include "Common/Unique.h"
#include "Common/WindowText.h"
#include "Work/Navigation/ExplorerBrowse.h"
#include "Work/Navigation/ItemListFavorite.h"
#include "Work/Navigation/RestoreHold.h"
#include "Work/ExtensionState.h"
#include "Work/Menu/MenuState.h"
#include "Work/Navigation/ShellLaunch.h"
#include "Work/Store/Shortcuts.h"

#include <commctrl.h>
#include <dlgs.h>
#include <shlobj.h>

#include <utility>

namespace vok {
namespace {

// KillTimer fails for good once the timer is gone (a window's timers die
// with it); a few retries cover a transient failure without ever spinning.
constexpr int kKillTimerAttempts = 5;

// Identifies our watch among other subclasses of the same control.
constexpr UINT_PTR kRestoreWatchId = kRestoreTimerId;

const wchar_t kBrowseForFolderCaption[] = L"Browse For Folder";

bool RestoresText(LPARAM hostKind)
{
    return hostKind == ehOtherWindow || hostKind == ehOfficeDialog;
}

bool IsEditOfHost(const std::string& className, LPARAM hostKind)
{
    switch (hostKind) {
    case ehOtherWindow:
    case ehCabinetWindow:
    case ehExploreWindow: return className == "Edit";
    case ehOfficeDialog: return className == "RichEdit20W";
    default: return false;
    }
}

// Drawing of the whole screen stops while we type into another window, so
// the user sees the box jump straight to its final text.
class ScreenLock {
public:
    ScreenLock() noexcept { LockWindowUpdate(GetDesktopWindow()); }
    ~ScreenLock()
    {
        if (held_) LockWindowUpdate(nullptr);
    }
    ScreenLock(const ScreenLock&) = delete;
    ScreenLock& operator=(const ScreenLock&) = delete;

    // A pending restore releases the lock from now on.
    void HandOver() noexcept { held_ = false; }

private:
    bool held_ = true;
};

// Each character goes as the box reads characters, with lParam equal to
// wParam: a Unicode box gets UTF-16 code units, so a name in any script
// arrives whole; an ANSI box gets the bytes of the ANSI code page, one
// message per byte.
void SendChars(HWND control, const WString& text)
{
    if (IsWindowUnicode(control)) {
        for (const wchar_t unit : text)
            SendMessageW(control, WM_CHAR, static_cast<WPARAM>(unit), static_cast<LPARAM>(unit));
        return;
    }
    for (const char c : AnsiOf(text)) {
        const auto byte = static_cast<unsigned char>(c);
        SendMessageA(control, WM_CHAR, static_cast<WPARAM>(byte), static_cast<LPARAM>(byte));
    }
}

void SendClick(HWND control)
{
    SendMessageA(control, WM_LBUTTONDOWN, 0, 0);
    SendMessageA(control, WM_LBUTTONUP, 0, 0);
}

void SendSelectAll(HWND control)
{
    SendMessageA(control, EM_SETSEL, 0, -1);
}

void SendClear(HWND control)
{
    SendMessageA(control, WM_CLEAR, 0, 0);
}

void PostEnter(HWND control)
{
    PostMessageA(control, WM_KEYDOWN, VK_RETURN, 0);
    PostMessageA(control, WM_KEYUP, VK_RETURN, 0);
}

struct DialogShape {
    bool FolderTree = false;
    bool FileNameBox = false;
};

BOOL CALLBACK NoteDialogPart(HWND child, LPARAM shape)
{
    auto& parts = *reinterpret_cast<DialogShape*>(shape);
    const int id = GetDlgCtrlID(child);
    if (id == cmb13 || id == edt1) parts.FileNameBox = true;
    try {
        if (ClassNameOf(child) == "SysTreeView32") parts.FolderTree = true;
    } catch (...) {
    }
    return TRUE;
}

// "Browse For Folder" is captioned in the system's language; in any language
// it is a dialog with a folder tree and none of the file dialogs' file-name
// boxes (a file dialog's navigation pane is a tree too).
bool IsFolderPicker(HWND window)
{
    if (WindowTextOf(window) == kBrowseForFolderCaption) return true;
    if (ClassNameOf(window) != "#32770") return false;
    DialogShape shape;
    EnumChildWindows(window, NoteDialogPart, reinterpret_cast<LPARAM>(&shape));
    return shape.FolderTree && !shape.FileNameBox;
}

// A folder picker's box is left empty: a file name typed back there would be
// taken for a folder. Any other box's text is kept whole (several file names
// chosen at once run far past 255 characters).
void SaveEditText(HWND control)
{
    const bool folderPicker = IsFolderPicker(GetActiveWindow());
    const WString saved = folderPicker ? WString() : WindowTextOf(control);
    WithMenuState([&](MenuState& s) { s.SavedEditText = saved; });
}

// Whether this thread had a restore pending.
bool ForgetPendingRestore()
{
    bool pending = false;
    WithMenuState([&](MenuState& s) { pending = std::exchange(s.RestoreTimer, 0) != 0; });
    return pending;
}

bool RestorePendingOnThisThread()
{
    bool pending = false;
    WithMenuState([&](MenuState& s) { pending = s.RestoreTimer != 0; });
    return pending;
}

// Enter may close the dialog that holds the box; the box's timer dies with
// it and the restore never runs. Without this watch the screen would stay
// locked and no later navigation would ever restore again.
LRESULT CALLBACK WatchRestoreControl(HWND control, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR)
{
    if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(control, WatchRestoreControl, id);
        if (ForgetPendingRestore()) RestoreFinished();
        LockWindowUpdate(nullptr);
    }
    return DefSubclassProc(control, message, wParam, lParam);
}

// Returns true when the screen lock now belongs to a pending restore, which
// will release it.
bool ScheduleRestore(HWND control)
{
    if (RestorePendingOnThisThread()) return true;
    const UINT_PTR timer = SetTimer(control, kRestoreTimerId, kRestoreDelayMs, RestoreEditText);
    if (timer == 0) return false; // the box is gone, or not ours: nothing will run later
    HoldLibraryForRestore();
    WithMenuState([&](MenuState& s) { s.RestoreTimer = timer; });
    // Subclassing works only on the box's own thread; unwatched, the restore
    // still runs, but the lock must not depend on it.
    return SetWindowSubclass(control, WatchRestoreControl, kRestoreWatchId, 0) != FALSE;
}

// Whether the restore was pending: it then holds the library until it ends.
bool StopRestoreTimer(HWND control)
{
    for (int attempt = 0; attempt < kKillTimerAttempts; ++attempt)
        if (KillTimer(control, kRestoreTimerId)) break;
    RemoveWindowSubclass(control, WatchRestoreControl, kRestoreWatchId);
    return ForgetPendingRestore();
}

void RestoreText(HWND control)
{
    WString saved;
    WithMenuState([&](MenuState& s) { saved = s.SavedEditText; });
    SetFocus(control);
    SendClick(control);
    SendSelectAll(control);
    SendClear(control);
    if (!saved.empty()) {
        SendChars(control, saved);
        SendSelectAll(control);
    }
    SendMessageA(control, WM_CHAR, VK_ESCAPE, 0);
}

void OpenShortcutFile(const WString& path)
{
    ShellLaunch(nullptr, L"open", path.c_str(), nullptr, nullptr, SW_SHOWNA);
}

void OpenFolderWindow(const WString& folder, EditHostKind hostKind)
{
    const wchar_t* verb = hostKind == ehExploreWindow ? L"explore" : L"open";
    ShellLaunch(nullptr, verb, folder.c_str(), nullptr, nullptr, SW_SHOWNA);
}

void OpenNonFolderFavorite(const WString& base, FavoriteKind kind)
{
    if (kind == fkNone) return;
    OpenShortcutFile(base + (kind == fkFileLink ? L".lnk" : L".url"));
}

struct EditSearch {
    LPARAM HostKind;
    bool Found;
};

BOOL CALLBACK FindEditOfHost(HWND control, LPARAM search)
{
    auto& edit = *reinterpret_cast<EditSearch*>(search);
    try {
        edit.Found = IsWindowVisible(control) && IsEditOfHost(ClassNameOf(control), edit.HostKind);
    } catch (...) {
        edit.Found = true; // unsure: the box is typed into
    }
    return edit.Found ? FALSE : TRUE;
}

// Whether TypePathIntoEdit would find a box to type into.
bool HasEditOfHost(HWND window, EditHostKind hostKind)
{
    EditSearch search{hostKind, false};
    EnumChildWindows(window, FindEditOfHost, reinterpret_cast<LPARAM>(&search));
    return search.Found;
}

// A folder without an item list of its own: parsed on the favourites
// folder's volume, which answers; anywhere else made from the path's text.
PIDLIST_ABSOLUTE ItemListOfPath(const WString& folder, const WString& favoritesDir)
{
    if (IsNearTarget(folder, VolumeRootOf(favoritesDir))) return ILCreateFromPathW(folder.c_str());
    return SHSimpleIDListFromPath(folder.c_str());
}

// A folder on the favourites folder's own volume, which has just answered,
// is parsed. Any other is named by the link's own item list, or by a list
// made from the path's text alone, which the browser binds on its own:
// parsing would ask a volume that may keep the window waiting.
UniqueIdList FolderItemList(const LinkReader& reader, const FavoriteInspection& found)
{
    if (!found.Far && !IsFolderByName(found.Path)) return UniqueIdList(ILCreateFromPathW(found.Path.c_str()));
    UniqueIdList items = reader.ItemList();
    if (!items) items.reset(SHSimpleIDListFromPath(found.Path.c_str()));
    return items;
}

bool IsExplorerWindow(EditHostKind hostKind)
{
    return hostKind == ehCabinetWindow || hostKind == ehExploreWindow;
}

// `items` names the same folder as `folder`, for the browsers.
void GoToFolder(const WString& folder, PCIDLIST_ABSOLUTE items, ContextKind contextKind, IUnknown* site)
{
    const HWND active = GetActiveWindow();
    const EditHostKind hostKind = EditHostKindOf(active);
    if (contextKind == ckDesktopBackground) {
        OpenFolderWindow(folder, hostKind);
        return;
    }
    // Windows treats a NULL parent as EnumWindows and would type into some
    // other program's top-level box (Wine enumerates nothing then).
    if (!active) return;
    // A file dialog since Vista shows its folder in a browser, which its view
    // hands to the menu through the site. Typed, the path would be a folder
    // picker's answer, or land in a box of the dialog's own, and the screen
    // would stay locked while a slow share answers.
    if (hostKind == ehOtherWindow && BrowseSiteTo(site, items)) return;
    // Explorer since Vista shows a breadcrumb bar whose box stays hidden
    // until clicked: the window's own browser goes there instead.
    if (IsExplorerWindow(hostKind) && !HasEditOfHost(active, hostKind)) {
        BrowseExplorerWindow(site, active, items);
        return;
    }
    const PathTyping typing{hostKind, &folder};
    EnumChildWindows(active, TypePathIntoEdit, reinterpret_cast<LPARAM>(&typing));
}

} // namespace

bool RestorePending()
{
    return AnyRestorePending();
}

EditHostKind EditHostKindOf(HWND window)
{
    const std::string className = ClassNameOf(window);
    if (className == "CabinetWClass") return ehCabinetWindow;
    if (className == "ExploreWClass") return ehExploreWindow;
    if (IsOfficeDialogClass(className)) return ehOfficeDialog;
    return ehOtherWindow;
}

void NavigateToFavorite(const WString& name, FavoriteKind known, IUnknown* site) noexcept
{
    try {
        const WString favoritesDir = FavoritesFolder();
        const ContextKind contextKind = MenuContextKind();
        // The link is read once: the target that classified it is the
        // folder. A target on another volume is never asked here: a share
        // that has gone would hold the window for the network's time-out,
        // and its browser reports such a folder itself.
        LinkReader reader;
        FavoriteInspection found = InspectFavorite(favoritesDir, name, reader);
        if (found.Far && (known == fkFolderLink || known == fkFileLink)) found.Kind = known;
        if (found.Kind == fkItemListLink)
            OpenItemListFavorite(favoritesDir + name + L".lnk", contextKind == ckDesktopBackground, site);
        else if (found.Kind == fkFolderLink)
            GoToFolder(found.Path, FolderItemList(reader, found).get(), contextKind, site);
        else
            OpenNonFolderFavorite(favoritesDir + name, found.Kind);
    } catch (...) {
    }
}

void GoToOpenFolder(const WString& path, const std::string& idList, HWND window, IUnknown* site) noexcept
{
    try {
        const ContextKind contextKind = MenuContextKind();
        const WString favoritesDir = FavoritesFolder();
        // A window closed since the menu was built is opened anew.
        if (contextKind == ckDesktopBackground && IsWindow(window)) {
            if (IsIconic(window)) ShowWindow(window, SW_RESTORE);
            SetForegroundWindow(window);
        } else if (!path.empty()) {
            const UniqueIdList made(idList.size() < sizeof(USHORT) ? ItemListOfPath(path, favoritesDir) : nullptr);
            const auto items = made ? made.get() : reinterpret_cast<PCIDLIST_ABSOLUTE>(idList.data());
            GoToFolder(path, items, contextKind, site);
        } else {
            BrowseExplorerWindow(site, GetActiveWindow(), reinterpret_cast<PCIDLIST_ABSOLUTE>(idList.data()));
        }
    } catch (...) {
    }
}

BOOL CALLBACK TypePathIntoEdit(HWND control, LPARAM typing)
{
    try {
        const auto& [hostKind, path] = *reinterpret_cast<const PathTyping*>(typing);
        if (!IsWindowVisible(control)) return TRUE;
        if (!IsEditOfHost(ClassNameOf(control), hostKind)) return TRUE;
        ScreenLock lock;
        SetFocus(control);
        if (RestoresText(hostKind)) SaveEditText(control);
        SendSelectAll(control);
        SendClear(control);
        SendClick(control);
        SendChars(control, *path);
        PostEnter(control);
        if (RestoresText(hostKind) && ScheduleRestore(control)) lock.HandOver();
        return FALSE;
    } catch (...) {
        return FALSE;
    }
}

void CALLBACK RestoreEditText(HWND control, UINT, UINT_PTR, DWORD)
{
    bool held = false;
    const auto finish = [&held] {
        LockWindowUpdate(nullptr);
        if (held) RestoreFinished();
    };
    ScopeExit<decltype(finish)> release(finish);
    try {
        held = StopRestoreTimer(control);
        RestoreText(control);
    } catch (...) {
    }
}

} // namespace vok
