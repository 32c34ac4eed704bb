// Going to a favourite: the shell opens file and Internet shortcuts; a folder
// is opened from the desktop background, or typed into the edit box of the
// active window and confirmed with Enter, so that the window itself goes
// there. In dialogs the earlier text of the box comes back shortly after.
#pragma once

#include "Common/WideString.h"
#include "Work/Store/Shortcuts.h"

#include <windows.h>
#include <unknwn.h>

#include <string>

namespace vok {

// What kind of window hosts the edit box; decides the class of the box and
// whether its earlier text is restored.
enum EditHostKind : LPARAM {
    ehOtherWindow = 1,   // any other window, a common file dialog for one: "Edit", restored
    ehCabinetWindow = 2, // "CabinetWClass": "Edit", not restored
    ehExploreWindow = 3, // "ExploreWClass": "Edit", not restored
    ehOfficeDialog = 4,  // class beginning "bosa_sdm": "RichEdit20W", restored
};

// The restore timer, bound to the edit box it restores.
constexpr UINT_PTR kRestoreTimerId = 222;
constexpr UINT kRestoreDelayMs = 100;

// True while a restore timer is pending on any thread: its callback and the
// watch on its box are code of this library, which must stay loaded until
// they have run.
bool RestorePending();

// The host kind of a window, from its class name.
EditHostKind EditHostKindOf(HWND window);

// Opens or goes to the favourite `name`. `site`, the handler's site if it has
// one, leads to the browser of an Explorer window. A target on another volume
// is taken to be `known` (what the menu's scan found), or what its link
// records when that is fkNone: its volume is never asked.
void NavigateToFavorite(const WString& name, FavoriteKind known, IUnknown* site) noexcept;

// Goes to a folder open in an Explorer window `window`, as to a favourite
// folder; one without a path (`idList` names it) through the browser only.
// On the desktop the Explorer window showing it comes to the front instead.
void GoToOpenFolder(const WString& path, const std::string& idList, HWND window, IUnknown* site) noexcept;

// What TypePathIntoEdit types, and into which box.
struct PathTyping {
    EditHostKind HostKind;
    const WString* Path;
};

// EnumChildWindows callback, lParam a PathTyping: types the path into the
// first visible edit box of the host's kind and presses Enter. Returns FALSE
// once it has typed, to end the enumeration.
BOOL CALLBACK TypePathIntoEdit(HWND control, LPARAM typing);

// Timer callback of the restore: puts SavedEditText back into the box the
// timer is bound to, sends Escape, and releases the screen lock.
void CALLBACK RestoreEditText(HWND control, UINT message, UINT_PTR timerId, DWORD time);

} // namespace vok
