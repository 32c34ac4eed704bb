// Windows 11's own Explorer menu: the command "Vokmark" that a package
// registers, whose children are the rows of the menu the classic handler
// shows for the same selection. One table, two renderings.
#pragma once

#include "Server/ComObject.h"
#include "Work/Menu/MenuRow.h"

#include <ocidl.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include <vector>

namespace vok {

// The command's class, which the package declares; the library's
// registration writes no rows for it.
constexpr CLSID CLSID_VokExplorerCommand = {
    0xBD566B9D, 0xAA72, 0x4068, {0x98, 0x09, 0x14, 0x73, 0xBD, 0xA5, 0xDB, 0xF3}};

// The root: title, icon, and a state Explorer asks for on its window's
// thread without letting it wait. It records the selection it is asked
// about; its children are read when Explorer opens them.
class TExplorerCommand final : public TComObjectOf<IExplorerCommand, IObjectWithSite> {
public:
    using TComObjectOf::TComObjectOf;

    STDMETHODIMP GetTitle(IShellItemArray* items, LPWSTR* name) override;
    STDMETHODIMP GetIcon(IShellItemArray* items, LPWSTR* icon) override;
    STDMETHODIMP GetToolTip(IShellItemArray* items, LPWSTR* tip) override;
    STDMETHODIMP GetCanonicalName(GUID* name) override;
    STDMETHODIMP GetState(IShellItemArray* items, BOOL okToBeSlow, EXPCMDSTATE* state) override;
    STDMETHODIMP Invoke(IShellItemArray* items, IBindCtx* context) override;
    STDMETHODIMP GetFlags(EXPCMDFLAGS* flags) override;
    STDMETHODIMP EnumSubCommands(IEnumExplorerCommand** commands) override;

    // IObjectWithSite: the site that leads to the window's browser, handed on
    // to the children. One reference, until SetSite(NULL) or the object goes.
    STDMETHODIMP SetSite(IUnknown* site) override;
    STDMETHODIMP GetSite(REFIID iid, void** site) override;

private:
    Microsoft::WRL::ComPtr<IUnknown> Site;
};

// One row of the menu as a child command: chosen, it runs the row's command
// with the root's site.
class TExplorerSubCommand final : public TComObjectOf<IExplorerCommand> {
public:
    TExplorerSubCommand(MenuRow row, IUnknown* site);

    STDMETHODIMP GetTitle(IShellItemArray* items, LPWSTR* name) override;
    STDMETHODIMP GetIcon(IShellItemArray* items, LPWSTR* icon) override;
    STDMETHODIMP GetToolTip(IShellItemArray* items, LPWSTR* tip) override;
    STDMETHODIMP GetCanonicalName(GUID* name) override;
    STDMETHODIMP GetState(IShellItemArray* items, BOOL okToBeSlow, EXPCMDSTATE* state) override;
    STDMETHODIMP Invoke(IShellItemArray* items, IBindCtx* context) override;
    STDMETHODIMP GetFlags(EXPCMDFLAGS* flags) override;
    STDMETHODIMP EnumSubCommands(IEnumExplorerCommand** commands) override;

private:
    MenuRow Row;
    Microsoft::WRL::ComPtr<IUnknown> Site;
};

// The children, in the menu's order.
class TExplorerCommandList final : public TComObjectOf<IEnumExplorerCommand> {
public:
    explicit TExplorerCommandList(std::vector<Microsoft::WRL::ComPtr<IExplorerCommand>> commands);

    STDMETHODIMP Next(ULONG count, IExplorerCommand** commands, ULONG* fetched) override;
    STDMETHODIMP Skip(ULONG count) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumExplorerCommand** copy) override;

private:
    std::vector<Microsoft::WRL::ComPtr<IExplorerCommand>> Commands;
    size_t Position = 0;
};

} // namespace vok
