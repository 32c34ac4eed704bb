// The state every context-menu handler object of a process reaches: one
// record per thread for the menu of that thread, the process-wide rest, and
// the guard that serialises access to both.
#pragma once

#include "Common/Unique.h"
#include "Common/WideString.h"

#include <windows.h>
#include <unknwn.h>

#include <array>
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

// Index into a row of ExtensionState::MenuBitmaps, and the resource each is
// loaded from.
enum MenuBitmap : int {
    mbCurrentFolder = 0, // "CF"
    mbAdd = 1,           // "A"
    mbRemove = 2,        // "R"
    mbMaintenance = 3,   // "M"
    mbFavorite = 4,      // "S"
    mbCount = 5,
};

// The sizes, in pixels, the item pictures come in: the small icon's at 100,
// 125, 150, 200 and 250 % scaling.
constexpr int kPictureSizes[] = {16, 20, 24, 32, 40};
constexpr size_t kPictureSizeCount = sizeof(kPictureSizes) / sizeof(kPictureSizes[0]);
using MenuPictureRow = std::array<UniqueBitmap, mbCount>;
using MenuPictureSizes = std::array<MenuPictureRow, kPictureSizeCount>;

// What a menu row stands for. The command offsets that callers outside the
// menu still ask for (CommandOffsets) are read from the rows by kind.
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
// The command a row runs when chosen: the row (its Argument, for most) and
// the invoking handler's site (null when the shell gave none).
using MenuCommand = void (*)(const MenuRow& row, IUnknown* site);

// One item of a menu, from building to the chosen command.
struct MenuRow {
    MenuItemKind Kind = mkSeparator;
    MenuItemGroup Group = mgEssential;
    WString Caption;  // empty for a separator
    std::string Help; // ANSI, as the shell takes it; unless HelpOf
    MenuHelp HelpOf = nullptr;
    int Picture = kNoPicture;      // index into MenuBitmaps
    bool Default = false;          // the default item of the menu that holds it
    MenuCommand Command = nullptr; // null: choosing it does nothing
    WString Argument;              // what Command and HelpOf work on
    HWND Window = nullptr;         // an open folder's Explorer window
    std::string IdList;            // an open folder's item list, as bytes
    BYTE TargetKind = 0;           // a favourite's FavoriteKind, as the menu's scan found it
    int Offset = -1;               // given once the rows fit the identifiers
};

using MenuTable = std::vector<MenuRow>;

// The part of the state that one process has once: the switch, the
// installation and the item bitmaps.
struct SharedState {
    bool Enabled = true;
    WString InstallDir;            // ends in "\" once read
    WString FavoritesDir;          // InstallDir + "Favorites\"; empty: no installation
    HINSTANCE Resources = nullptr; // the module the pictures are loaded from
    // One row per size of kPictureSizes, loaded when a menu first wants that
    // size and kept until shut-down: a menu shown may still draw them.
    MenuPictureSizes MenuBitmaps;
};

// One thread's view of the state. Explorer runs each window on a thread of
// its own, and COM calls an apartment-threaded handler, and the shell builds,
// shows and runs each menu, on one thread: so the values of one menu (its
// target and kind, its list, offsets and submenu, and the working values of
// going to a favourite and of the editing commands) are the thread's own, and
// a menu built in a second window no longer overwrites the first one's. The
// process-wide part keeps its names here, so that every use reads alike
// whichever part a field belongs to: the bitmaps by reference, the switch and
// the folders as copies that StateAccess brings in from the process-wide
// record and takes back to it, under the guard. A record made on its own (a
// state being set up, a test's) has bitmaps of its own.
struct ExtensionState {
    ExtensionState() : MenuBitmaps(ownBitmaps_), Resources(ownResources_) {}
    explicit ExtensionState(SharedState& shared)
        : MenuBitmaps(shared.MenuBitmaps), Resources(shared.Resources), shared_(&shared)
    {
    }
    ExtensionState(const ExtensionState&) = delete;
    ExtensionState& operator=(const ExtensionState&) = delete;

private:
    MenuPictureSizes ownBitmaps_; // only when made on its own
    HINSTANCE ownResources_ = nullptr;

public:
    bool Enabled = true;
    WString InstallDir;   // ends in "\" once read
    WString FavoritesDir; // InstallDir + "Favorites\"; empty: no installation
    MenuPictureSizes& MenuBitmaps;
    HINSTANCE& Resources;

    std::vector<WString> FavoriteNames;
    WString TargetPath;
    vok::ContextKind ContextKind = ckNone;
    bool FlatMenu = false;
    vok::ListAction ListAction = laNone; // the last menu's; its row runs it
    // The rows of the last menu built on this thread, in offset order: a
    // command or help text asked for through any handler object is found here.
    MenuTable LastMenu;
    HMENU Submenu = nullptr; // handed to the host menu, which destroys it
    WString ChosenTarget;
    WString SavedEditText;
    UINT_PTR RestoreTimer = 0;
    bool WizardFilled = false;

private:
    friend class StateAccess;
    SharedState* shared_ = nullptr;
};

// Exclusive access to the calling thread's state, and through it to the
// process-wide part, which two threads share: every read and write goes
// through this guard. Hold it only for copying values in or out: never
// across a link resolution, a message box, a wait or a message loop. The
// thread's record is made at its first access and freed when the thread
// ends or the library shuts the state down.
class StateAccess {
public:
    StateAccess();
    ~StateAccess();
    StateAccess(const StateAccess&) = delete;
    StateAccess& operator=(const StateAccess&) = delete;

    // Null before start-up and after shut-down, and when the thread's record
    // could not be made (out of memory).
    ExtensionState* get() const { return state_; }
    ExtensionState* operator->() const { return state_; }
    ExtensionState& operator*() const { return *state_; }

private:
    ExtensionState* state_;
};

// Runs `f` on the state under the guard, to copy values in or out; does
// nothing when the state does not exist (a command arriving after unload
// began, a call before start-up).
template <class F>
void WithState(F&& f)
{
    StateAccess state;
    if (ExtensionState* s = state.get()) f(*s);
}

// Module start-up of the state: reads the installation folder, creates the
// empty list and notes where the item pictures are to be loaded from. Returns false when the installation
// is missing, so that the caller can tell the user once nothing is held.
bool StartExtensionState(HINSTANCE resources);

// Module shut-down: the reverse of the start-up.
void StopExtensionState();

} // namespace vok
