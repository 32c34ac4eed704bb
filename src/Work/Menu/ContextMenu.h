// The handler object the shell creates for each context menu: it records
// what the menu was opened on and hands the menu, the commands and the help
// texts to the handler's operations on its thread's menu.
#pragma once

#include "Common/WideString.h"
#include "Server/ComObject.h"

#include <ocidl.h>
#include <shlobj.h>
#include <wrl/client.h>

namespace vok {

class TContextMenu final : public TComObjectOf<IContextMenu, IShellExtInit, IObjectWithSite> {
public:
    using TComObjectOf::TComObjectOf;

    // IContextMenu
    STDMETHODIMP QueryContextMenu(HMENU hmenu, UINT indexMenu, UINT idCmdFirst, UINT idCmdLast, UINT uFlags) override;
    STDMETHODIMP InvokeCommand(CMINVOKECOMMANDINFO* lpici) override;
    STDMETHODIMP GetCommandString(UINT_PTR idCmd, UINT uType, UINT* pwReserved, CHAR* pszName, UINT cchMax) override;

    // IShellExtInit: records TargetPath and ContextKind from the selection
    // when there is one, else from the folder and the foreground window.
    STDMETHODIMP Initialize(PCIDLIST_ABSOLUTE pidlFolder, IDataObject* lpdobj, HKEY hkeyProgID) override;

    // IObjectWithSite: the shell hands over the browser the menu was opened
    // in before QueryContextMenu. Held by this object alone, one reference,
    // until SetSite(NULL) or the object goes.
    STDMETHODIMP SetSite(IUnknown* site) override;
    STDMETHODIMP GetSite(REFIID iid, void** site) override;

private:
    HRESULT InitializeFromSelection(IDataObject& selection);
    HRESULT InitializeFromFolder(PCIDLIST_ABSOLUTE folder);
    WString PathBufferText() const;

    wchar_t PathBuffer[MAX_PATH + 1] = {};
    Microsoft::WRL::ComPtr<IUnknown> Site;
};

} // namespace vok
