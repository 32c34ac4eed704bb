#include "Work/Menu/ExplorerCommand.h"

#include "Common/Unique.h"
#include "Common/WindowText.h"
#include "Resources/CommandIcon.h"
#include "Server/Module.h"
#include "Work/ExtensionState.h"
#include "Work/Menu/MenuHandler.h"
#include "Work/Menu/MenuState.h"
#include "Work/Store/Favorites.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <utility>

using Microsoft::WRL::ComPtr;

namespace vok {
namespace {

const wchar_t kRootTitle[] = L"Vokmark";

HRESULT CopyText(const WString& text, LPWSTR* out)
{
    if (!out) return E_POINTER;
    return SHStrDupW(text.c_str(), out);
}

// By hand: the runtime's number formatting would bring its whole printf
// (some 50 KiB) into the library.
WString DecimalOf(unsigned number)
{
    WString digits;
    do {
        digits.insert(digits.begin(), static_cast<wchar_t>(L'0' + number % 10));
        number /= 10;
    } while (number != 0);
    return digits;
}

// The library's own path: Explorer loads the icon from the file by number.
WString IconLocation()
{
    WString path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(ModuleInstance(), &path[0], static_cast<DWORD>(path.size()));
        if (length == 0) return WString();
        if (length < path.size()) return path.substr(0, length) + L",-" + DecimalOf(IDI_COMMAND);
        path.resize(path.size() * 2);
    }
}

// Copied from the first item's own record: a path or a name asked of the
// shell may go to the item's volume.
CommandSelection SelectionOf(IShellItemArray* items)
{
    CommandSelection selection;
    ComPtr<IShellItem> first;
    UniqueIdList list;
    if (!items || FAILED(items->GetCount(&selection.Count)) || selection.Count == 0 ||
        FAILED(items->GetItemAt(0, &first)) || FAILED(SHGetIDListFromObject(first.Get(), list.put())))
        return CommandSelection();
    selection.FirstItem.assign(reinterpret_cast<const char*>(list.get()), ILGetSize(list.get()));
    return selection;
}

WString PathOf(PCIDLIST_ABSOLUTE item)
{
    wchar_t path[MAX_PATH + 1] = {};
    return SHGetPathFromIDListW(item, path) ? WString(path) : WString();
}

// The desktop's background hands the desktop itself: the namespace's root,
// or the folder behind it.
bool IsDesktopItem(PCIDLIST_ABSOLUTE item, const WString& path)
{
    if (ILIsEmpty(item)) return true;
    wchar_t desktop[MAX_PATH] = {};
    return !path.empty() &&
           SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, desktop) == S_OK &&
           lstrcmpiW(desktop, path.c_str()) == 0;
}

// Where the children are read, waiting is allowed: the path, and whether the
// one item is a folder, are asked as the classic handler asks them, the
// latter within the same bound.
void RecordSelection(const CommandSelection& selection)
{
    if (selection.Count == 0) return RecordMenuTarget(WString(), ckNone);
    const auto item = reinterpret_cast<PCIDLIST_ABSOLUTE>(selection.FirstItem.data());
    const WString path = PathOf(item);
    if (IsDesktopWindow(GetForegroundWindow()) && IsDesktopItem(item, path))
        return RecordMenuTarget(path, ckDesktopBackground);
    const bool folder = selection.Count == 1 && IsFolderWithinBound(path, FavoritesFolder());
    RecordMenuTarget(path, folder ? ckFolderItem : ckOtherItems);
}

} // namespace

HRESULT TExplorerCommand::GetTitle(IShellItemArray*, LPWSTR* name)
{
    return CopyText(kRootTitle, name);
}

HRESULT TExplorerCommand::GetIcon(IShellItemArray*, LPWSTR* icon)
{
    try {
        const WString location = IconLocation();
        if (location.empty()) return E_FAIL;
        return CopyText(location, icon);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT TExplorerCommand::GetToolTip(IShellItemArray*, LPWSTR* tip)
{
    if (tip) *tip = nullptr;
    return E_NOTIMPL;
}

HRESULT TExplorerCommand::GetCanonicalName(GUID* name)
{
    if (!name) return E_POINTER;
    *name = CLSID_VokExplorerCommand;
    return S_OK;
}

// Asked on Explorer's window thread: the switch and the items' own records
// answer it, so it never needs to be asked again where it may wait.
HRESULT TExplorerCommand::GetState(IShellItemArray* items, BOOL, EXPCMDSTATE* state)
{
    if (!state) return E_POINTER;
    try {
        const CommandSelection selection = SelectionOf(items);
        WithMenuState([&](MenuState& s) { s.Selection = selection; });
        *state = MenusShown() ? ECS_ENABLED : ECS_HIDDEN;
        return S_OK;
    } catch (...) {
        *state = ECS_HIDDEN;
        return E_OUTOFMEMORY;
    }
}

HRESULT TExplorerCommand::Invoke(IShellItemArray*, IBindCtx*)
{
    return E_NOTIMPL;
}

HRESULT TExplorerCommand::GetFlags(EXPCMDFLAGS* flags)
{
    if (!flags) return E_POINTER;
    *flags = ECF_HASSUBCOMMANDS;
    return S_OK;
}

HRESULT TExplorerCommand::EnumSubCommands(IEnumExplorerCommand** commands)
{
    if (!commands) return E_POINTER;
    *commands = nullptr;
    try {
        CommandSelection selection;
        WithMenuState([&](MenuState& s) { selection = s.Selection; });
        RecordSelection(selection);
        MenuTable rows = ReadCommandRows(Site.Get());
        std::vector<ComPtr<IExplorerCommand>> children;
        children.reserve(rows.size());
        // Each child is owned before the list can grow: a failure frees it.
        for (MenuRow& row : rows) {
            ComPtr<IExplorerCommand> child = new TExplorerSubCommand(std::move(row), Site.Get());
            children.push_back(std::move(child));
        }
        ComPtr<IEnumExplorerCommand> list = new TExplorerCommandList(std::move(children));
        *commands = list.Detach();
        return S_OK;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT TExplorerCommand::SetSite(IUnknown* site)
{
    Site = site;
    return S_OK;
}

HRESULT TExplorerCommand::GetSite(REFIID iid, void** site)
{
    if (!site) return E_POINTER;
    *site = nullptr;
    if (!Site) return E_FAIL;
    return Site->QueryInterface(iid, site);
}

TExplorerSubCommand::TExplorerSubCommand(MenuRow row, IUnknown* site)
    : TComObjectOf(nullptr), Row(std::move(row)), Site(site)
{
}

HRESULT TExplorerSubCommand::GetTitle(IShellItemArray*, LPWSTR* name)
{
    try {
        return CopyText(Row.Caption, name);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT TExplorerSubCommand::GetIcon(IShellItemArray*, LPWSTR* icon)
{
    if (icon) *icon = nullptr;
    return E_NOTIMPL;
}

HRESULT TExplorerSubCommand::GetToolTip(IShellItemArray*, LPWSTR* tip)
{
    if (tip) *tip = nullptr;
    return E_NOTIMPL;
}

HRESULT TExplorerSubCommand::GetCanonicalName(GUID* name)
{
    if (name) *name = GUID_NULL;
    return E_NOTIMPL;
}

HRESULT TExplorerSubCommand::GetState(IShellItemArray*, BOOL, EXPCMDSTATE* state)
{
    if (!state) return E_POINTER;
    *state = ECS_ENABLED;
    return S_OK;
}

// Whatever the command did, the choice was taken: as the classic menu does,
// nothing is reported back.
HRESULT TExplorerSubCommand::Invoke(IShellItemArray*, IBindCtx*)
{
    try {
        // The command may run code that sets another site; this one stays.
        const ComPtr<IUnknown> site = Site;
        if (Row.Command) Row.Command(Row, site.Get());
    } catch (...) {
    }
    return S_OK;
}

HRESULT TExplorerSubCommand::GetFlags(EXPCMDFLAGS* flags)
{
    if (!flags) return E_POINTER;
    *flags = Row.Kind == mkSeparator ? ECF_ISSEPARATOR : ECF_DEFAULT;
    return S_OK;
}

HRESULT TExplorerSubCommand::EnumSubCommands(IEnumExplorerCommand** commands)
{
    if (commands) *commands = nullptr;
    return E_NOTIMPL;
}

TExplorerCommandList::TExplorerCommandList(std::vector<ComPtr<IExplorerCommand>> commands)
    : TComObjectOf(nullptr), Commands(std::move(commands))
{
}

HRESULT TExplorerCommandList::Next(ULONG count, IExplorerCommand** commands, ULONG* fetched)
{
    if (!commands || (count > 1 && !fetched)) return E_POINTER;
    ULONG given = 0;
    for (; given < count && Position < Commands.size(); ++given, ++Position)
        commands[given] = ComPtr<IExplorerCommand>(Commands[Position]).Detach();
    if (fetched) *fetched = given;
    return given == count ? S_OK : S_FALSE;
}

HRESULT TExplorerCommandList::Skip(ULONG count)
{
    const size_t left = Commands.size() - Position;
    Position += count < left ? count : left;
    return count <= left ? S_OK : S_FALSE;
}

HRESULT TExplorerCommandList::Reset()
{
    Position = 0;
    return S_OK;
}

HRESULT TExplorerCommandList::Clone(IEnumExplorerCommand** copy)
{
    if (!copy) return E_POINTER;
    *copy = nullptr;
    try {
        ComPtr<TExplorerCommandList> list = new TExplorerCommandList(Commands);
        list->Position = Position;
        *copy = list.Detach();
        return S_OK;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

} // namespace vok
