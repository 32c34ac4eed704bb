#include "Work/Menu/ContextMenu.h"

#include "Common/Unique.h"
#include "Common/WindowText.h"
#include "Work/ExtensionState.h"
#include "Work/Menu/MenuHandler.h"
#include "Work/Menu/MenuState.h"
#include "Work/Store/Favorites.h"
#include "Work/Store/Shortcuts.h"

#include <shellapi.h>

#include <cwchar>

namespace vok {
namespace {

void ClearTarget() noexcept
{
    WithMenuState([](MenuState& s) {
        s.ContextKind = ckNone;
        s.TargetPath.clear();
    });
}

} // namespace

HRESULT TContextMenu::QueryContextMenu(HMENU hmenu, UINT indexMenu, UINT idCmdFirst, UINT idCmdLast, UINT uFlags)
{
    return vok::QueryContextMenu(hmenu, indexMenu, idCmdFirst, idCmdLast, uFlags, Site.Get());
}

HRESULT TContextMenu::InvokeCommand(CMINVOKECOMMANDINFO* lpici)
{
    // The command may run code that sets another site; this one stays until
    // the command is done.
    const Microsoft::WRL::ComPtr<IUnknown> site = Site;
    return vok::InvokeCommand(lpici, site.Get());
}

HRESULT TContextMenu::GetCommandString(UINT_PTR idCmd, UINT uType, UINT* pwReserved, CHAR* pszName, UINT cchMax)
{
    return vok::GetCommandString(idCmd, uType, pwReserved, pszName, cchMax);
}

HRESULT TContextMenu::Initialize(PCIDLIST_ABSOLUTE pidlFolder, IDataObject* lpdobj, HKEY)
{
    try {
        ClearTarget();
        if (!lpdobj && !pidlFolder) return E_INVALIDARG;
        // A folder given beside a selection is the selection's folder: the
        // selection decides.
        return lpdobj ? InitializeFromSelection(*lpdobj) : InitializeFromFolder(pidlFolder);
    } catch (...) {
        ClearTarget();
        return E_OUTOFMEMORY;
    }
}

HRESULT TContextMenu::InitializeFromSelection(IDataObject& selection)
{
    FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium = {};
    const HRESULT got = selection.GetData(&format, &medium);
    if (FAILED(got)) return got;
    ScopeExit release([&medium] { ReleaseStgMedium(&medium); });
    // A data object may answer with a medium other than the one asked for:
    // only a drop handle is read.
    if (medium.tymed != TYMED_HGLOBAL || !medium.hGlobal) return E_INVALIDARG;
    const auto drop = static_cast<HDROP>(medium.hGlobal);
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    PathBuffer[0] = L'\0'; // an empty list fetches nothing
    DragQueryFileW(drop, 0, PathBuffer, MAX_PATH + 1);
    const WString path = PathBufferText();
    RecordMenuTarget(path, count == 1 && IsFolderWithinBound(path, FavoritesFolder()) ? ckFolderItem : ckOtherItems);
    return S_OK;
}

HRESULT TContextMenu::InitializeFromFolder(PCIDLIST_ABSOLUTE folder)
{
    // A folder without a file-system path gives the empty path.
    if (!SHGetPathFromIDListW(folder, PathBuffer)) PathBuffer[0] = L'\0';
    const WString path = PathBufferText();
    RecordMenuTarget(path, IsDesktopWindow(GetForegroundWindow()) ? ckDesktopBackground : ckWindowBackground);
    return S_OK;
}

HRESULT TContextMenu::SetSite(IUnknown* site)
{
    Site = site;
    return S_OK;
}

HRESULT TContextMenu::GetSite(REFIID iid, void** site)
{
    if (!site) return E_POINTER;
    *site = nullptr;
    if (!Site) return E_FAIL;
    return Site->QueryInterface(iid, site);
}

WString TContextMenu::PathBufferText() const
{
    return WString(PathBuffer, wcsnlen(PathBuffer, MAX_PATH + 1));
}

} // namespace vok
