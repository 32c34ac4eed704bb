#include "Work/ContextMenu.h"

#include "Common/Unique.h"
#include "Common/WindowText.h"
#include "Work/ExtensionState.h"
#include "Work/MenuHandler.h"
#include "Work/Shortcuts.h"

#include <shellapi.h>

#include <cwchar>

namespace vok {
namespace {

// The desktop's own window class: a background menu opened while it is in
// front belongs to the desktop.
constexpr char kDesktopClass[] = "Progman";

void ClearTarget() noexcept
{
    WithState([](ExtensionState& s) {
        s.ContextKind = ckNone;
        s.TargetPath.clear();
    });
}

void RecordTarget(const WString& path, ContextKind kind)
{
    WithState([&](ExtensionState& s) {
        s.TargetPath = path;
        s.ContextKind = kind;
    });
}

} // namespace

HRESULT TContextMenu::QueryContextMenu(HMENU hmenu, UINT indexMenu, UINT idCmdFirst, UINT idCmdLast, UINT uFlags)
{
    return vok::QueryContextMenu(hmenu, indexMenu, idCmdFirst, idCmdLast, uFlags);
}

HRESULT TContextMenu::InvokeCommand(CMINVOKECOMMANDINFO* lpici)
{
    return vok::InvokeCommand(lpici);
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
    RecordTarget(path, count == 1 && FolderExists(path) ? ckFolderItem : ckOtherItems);
    return S_OK;
}

HRESULT TContextMenu::InitializeFromFolder(PCIDLIST_ABSOLUTE folder)
{
    // A folder without a file-system path gives the empty path.
    if (!SHGetPathFromIDListW(folder, PathBuffer)) PathBuffer[0] = L'\0';
    const WString path = PathBufferText();
    const bool desktop = ClassNameOf(GetForegroundWindow()) == kDesktopClass;
    RecordTarget(path, desktop ? ckDesktopBackground : ckWindowBackground);
    return S_OK;
}

WString TContextMenu::PathBufferText() const
{
    return WString(PathBuffer, wcsnlen(PathBuffer, MAX_PATH + 1));
}

} // namespace vok
