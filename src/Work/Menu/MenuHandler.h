// The context-menu handler's operations on the thread's menu: building it, mapping a chosen command offset back to its
// item and running it, and the items' status-bar help texts. TContextMenu's IContextMenu methods are one-line calls of
// these.
#pragma once

#include "Work/Menu/MenuRow.h"

#include <windows.h>
#include <shlobj.h>
#include <unknwn.h>

namespace vok {

// Adds the favourites, the list-editing items, the folders open in Explorer
// windows and the recent folders to `hmenu`, in a "Vokmark" submenu or flat;
// returns the number of command offsets used (0: nothing added). No
// identifier passes `idCmdLast`: recent folders, open folders, then
// favourites, are left out from the end of
// their lists so that the other items fit, and when not even those fit
// nothing is added. `site` is the handler's site, if the shell gave it one.
HRESULT QueryContextMenu(HMENU hmenu, UINT indexMenu, UINT idCmdFirst, UINT idCmdLast, UINT uFlags,
                         IUnknown* site = nullptr) noexcept;

// Runs the item at `offset` of the last menu built on this thread. `site` is
// the invoking handler's site, if the shell gave it one.
void ExecuteCommand(WORD offset, IUnknown* site = nullptr) noexcept;

// E_INVALIDARG for a null record, E_FAIL for a verb string; otherwise runs
// the offset's command and returns S_OK, whatever the command did.
HRESULT InvokeCommand(const CMINVOKECOMMANDINFO* lpici, IUnknown* site = nullptr) noexcept;

// The ANSI help text of the item at offset `idCmd`, cut to fit `cchMax`.
HRESULT GetCommandString(UINT_PTR idCmd, UINT uType, UINT* pwReserved, LPSTR pszName, UINT cchMax) noexcept;

// Whether menus of ours are shown at all: the switch, read now, is Active and
// the installation is known. Reads nothing else.
bool MenusShown();

// Every row of the menu on this thread's target, read as a menu that may
// wait reads them and numbered from 0: what Explorer's command shows as its
// children. Empty when no menu is shown there.
MenuTable ReadCommandRows(IUnknown* site);

} // namespace vok
