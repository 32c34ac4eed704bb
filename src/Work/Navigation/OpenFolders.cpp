#include "Work/Navigation/OpenFolders.h"

#include "Common/Unique.h"
#include "Work/Navigation/ShellWindowList.h"

#include <exdisp.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <wrl/client.h>

#include <algorithm>

using Microsoft::WRL::ComPtr;

namespace vok {

namespace {

// One reader at a time: while one is out (Explorer not answering), later
// menus go without.
volatile LONG g_reading = 0;

// Names by item list, as read for earlier menus: naming a folder binds to
// its parent and reads the disk (some 3 ms a folder under Wine), while the
// windows mostly stay from one menu to the next. An item list holds its
// folder's name, so a renamed folder is a new entry. Only workers use it.
struct KnownFolder {
    std::string IdList;
    WString Name, Path;
};
constexpr size_t kMostKnownFolders = 32;
SRWLOCK g_knownLock = SRWLOCK_INIT;
std::vector<KnownFolder> g_known;

bool NameFromKnown(OpenFolder& folder)
{
    AcquireSRWLockShared(&g_knownLock);
    const auto known = std::find_if(g_known.begin(), g_known.end(),
                                    [&folder](const KnownFolder& k) { return k.IdList == folder.IdList; });
    const bool found = known != g_known.end();
    if (found) {
        folder.Name = known->Name;
        folder.Path = known->Path;
    }
    ReleaseSRWLockShared(&g_knownLock);
    return found;
}

void RememberName(const OpenFolder& folder)
{
    AcquireSRWLockExclusive(&g_knownLock);
    if (g_known.size() == kMostKnownFolders) g_known.erase(g_known.begin());
    g_known.push_back({folder.IdList, folder.Name, folder.Path});
    ReleaseSRWLockExclusive(&g_knownLock);
}

WString NameOf(PCIDLIST_ABSOLUTE folder, SIGDN form)
{
    PWSTR text = nullptr;
    if (FAILED(SHGetNameFromIDList(folder, form, &text)) || !text) return WString();
    const ScopeExit free([text] { CoTaskMemFree(text); });
    return WString(text);
}

// The menu's own window is told by its handle before anything else is asked
// of it: its thread is busy building the menu and serves no calls until the
// menu waits for this list.
bool IsExcluded(IDispatch& window, HWND exclude)
{
    ComPtr<IWebBrowser2> browser;
    SHANDLE_PTR handle = 0;
    return exclude && SUCCEEDED(window.QueryInterface(IID_PPV_ARGS(&browser))) &&
           SUCCEEDED(browser->get_HWND(&handle)) && reinterpret_cast<HWND>(handle) == exclude;
}

// Through the window's top-level browser to the folder its view shows.
bool ReadWindow(IDispatch& window, HWND exclude, OpenFolder& folder)
{
    if (IsExcluded(window, exclude)) return false;
    ComPtr<IShellBrowser> browser;
    ComPtr<IShellView> view;
    ComPtr<IFolderView> folderView;
    ComPtr<IPersistFolder2> shown;
    PIDLIST_ABSOLUTE list = nullptr;
    if (FAILED(IUnknown_QueryService(&window, kTopLevelBrowserService, IID_PPV_ARGS(&browser))) || !browser ||
        FAILED(browser->QueryActiveShellView(&view)) || !view || FAILED(view.As(&folderView)) ||
        FAILED(folderView->GetFolder(IID_PPV_ARGS(&shown))) || !shown || FAILED(shown->GetCurFolder(&list)) || !list)
        return false;
    const UniqueIdList owned(list);
    HWND frame = nullptr;
    if (FAILED(browser->GetWindow(&frame)) || !frame) return false;
    folder.Window = GetAncestor(frame, GA_ROOT);
    if (folder.Window == exclude) return false;
    folder.IdList.assign(reinterpret_cast<const char*>(list), ILGetSize(list));
    if (NameFromKnown(folder)) return true;
    folder.Name = NameOf(list, SIGDN_NORMALDISPLAY);
    folder.Path = NameOf(list, SIGDN_FILESYSPATH);
    if (folder.Name.empty()) return false;
    RememberName(folder);
    return true;
}

void ReadShellWindows(HWND exclude, std::vector<OpenFolder>& found)
{
    ForEachShellWindow([&](IDispatch& window) {
        OpenFolder folder;
        if (ReadWindow(window, exclude, folder)) found.push_back(std::move(folder));
        return false;
    });
}

std::shared_ptr<ResultSlot<std::vector<OpenFolder>>> StartReader(HWND exclude)
{
    if (InterlockedCompareExchange(&g_reading, 1, 0) != 0) return nullptr;
    auto found = StartWithResult<std::vector<OpenFolder>>(taMulti, [exclude] {
        std::vector<OpenFolder> folders;
        const ScopeExit done([] { InterlockedExchange(&g_reading, 0); });
        ReadShellWindows(exclude, folders);
        return folders;
    });
    if (!found) InterlockedExchange(&g_reading, 0);
    return found;
}

// Waits serving the calls that come into the caller's apartment: in
// Explorer the window list and its windows are served by threads that may
// include the caller's own.
bool WaitServingCalls(HANDLE event, DWORD timeoutMs)
{
    DWORD index = 0;
    const HRESULT hr = CoWaitForMultipleHandles(0, timeoutMs, 1, &event, &index);
    if (hr == CO_E_NOTINITIALIZED) return WaitForSingleObject(event, timeoutMs) == WAIT_OBJECT_0;
    return hr == S_OK;
}

BOOL CALLBACK AddWindow(HWND window, LPARAM list)
{
    try {
        reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
        return TRUE;
    } catch (...) {
        return FALSE;
    }
}

// Explorer's folder windows are of these classes ("ExploreWClass" before
// Windows 7 as well); without one besides the menu's own there is nothing to
// list, and no worker is started.
bool AnyExplorerWindowBut(HWND exclude)
{
    for (const wchar_t* name : {L"CabinetWClass", L"ExploreWClass"})
        for (HWND w = FindWindowExW(nullptr, nullptr, name, nullptr); w; w = FindWindowExW(nullptr, w, name, nullptr))
            if (w != exclude) return true;
    return false;
}

// Top-level windows from the front: the one in front was the last active.
std::vector<HWND> WindowsInZOrder()
{
    std::vector<HWND> windows;
    EnumWindows(AddWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

bool SameFolder(const OpenFolder& a, const OpenFolder& b)
{
    if (!a.Path.empty() || !b.Path.empty())
        return CompareStringOrdinal(a.Path.c_str(), static_cast<int>(a.Path.size()), b.Path.c_str(),
                                    static_cast<int>(b.Path.size()), TRUE) == CSTR_EQUAL;
    return a.IdList == b.IdList;
}

std::vector<OpenFolder> Arrange(std::vector<OpenFolder> found, bool pathless)
{
    const std::vector<HWND> order = WindowsInZOrder();
    const auto rank = [&order](HWND window) { return std::find(order.begin(), order.end(), window) - order.begin(); };
    std::stable_sort(found.begin(), found.end(),
                     [&rank](const OpenFolder& a, const OpenFolder& b) { return rank(a.Window) < rank(b.Window); });
    std::vector<OpenFolder> listed;
    for (OpenFolder& folder : found) {
        if (listed.size() == kMostOpenFolders) break;
        if (folder.Path.empty() && !pathless) continue;
        const auto same = [&folder](const OpenFolder& known) { return SameFolder(known, folder); };
        if (std::none_of(listed.begin(), listed.end(), same)) listed.push_back(std::move(folder));
    }
    return listed;
}

} // namespace

OpenFolderReader::OpenFolderReader(HWND exclude) : started_(GetTickCount())
{
    if (AnyExplorerWindowBut(exclude)) found_ = StartReader(exclude);
}

OpenFolderReader::~OpenFolderReader() = default;

std::vector<OpenFolder> OpenFolderReader::Collect(bool pathless, DWORD boundMs)
{
    if (!found_) return {};
    const DWORD spent = GetTickCount() - started_;
    if (!WaitServingCalls(found_->DoneEvent(), spent < boundMs ? boundMs - spent : 0)) return {};
    return Arrange(found_->Take(), pathless);
}

} // namespace vok
