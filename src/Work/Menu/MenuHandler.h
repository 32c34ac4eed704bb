// The context-menu handler's operations on the process-wide state: building
// the menu, mapping a chosen command offset back to its item and running it,
// and the items' status-bar help texts. TContextMenu's IContextMenu methods
// are one-line calls of these.
#pragma once

#include <windows.h>
#include <shlobj.h>
#include <unknwn.h>

namespace vok {

// The offsets of one menu's items; -1 for an item the menu does not have.
// The separator, at LastFavorite + 1 when there are favourites, has no field.
struct CommandOffsets {
    int FirstFavorite = 0;
    int LastFavorite = -1;
    int ListActionCmd = -1;
    int CreateCmd = -1;
    int MaintenanceCmd = -1;
};

// Read from the rows of the last menu built in this process.
CommandOffsets GetCommandOffsets();

// Adds the favourites, the list-editing items, the folders open in Explorer
// windows and the recent folders to `hmenu`, in a "Vokmark" submenu or flat;
// returns the number of command offsets used (0: nothing added). No
// identifier passes `idCmdLast`: recent folders, open folders, then
// favourites, are left out from the end of
// their lists so that the other items fit, and when not even those fit
// nothing is added. `site` is the handler's site, if the shell gave it one.
HRESULT QueryContextMenu(HMENU hmenu, UINT indexMenu, UINT idCmdFirst, UINT idCmdLast, UINT uFlags,
                         IUnknown* site = nullptr) noexcept;

// Runs the item at `offset` of the last menu built in this process. `site` is
// the invoking handler's site, if the shell gave it one.
void ExecuteCommand(WORD offset, IUnknown* site = nullptr) noexcept;

// E_INVALIDARG for a null record, E_FAIL for a verb string; otherwise runs
// the offset's command and returns S_OK, whatever the command did.
HRESULT InvokeCommand(const CMINVOKECOMMANDINFO* lpici, IUnknown* site = nullptr) noexcept;

// The ANSI help text of the item at offset `idCmd`, cut to fit `cchMax`.
HRESULT GetCommandString(UINT_PTR idCmd, UINT uType, UINT* pwReserved, LPSTR pszName, UINT cchMax) noexcept;

} // namespace vok
