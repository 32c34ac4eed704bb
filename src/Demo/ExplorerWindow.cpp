#include "Demo/ExplorerWindow.h"

#include "Common/InterfaceTable.h"

#include <shlguid.h>
#include <shlobj.h>

#include <memory>
#include <type_traits>

namespace vok::demo {
namespace {

struct IdListFree {
    void operator()(PIDLIST_ABSOLUTE list) const { ILFree(list); }
};
using OwnedIdList = std::unique_ptr<std::remove_pointer_t<PIDLIST_ABSOLUTE>, IdListFree>;

} // namespace

// What the stand-in is not, the browser answers for itself.
HRESULT BrowseRecorder::QueryInterface(REFIID iid, void** out)
{
    const HRESULT listed = QueryListedInterface<IShellBrowser>(this, iid, out);
    return listed == E_NOINTERFACE ? browser_->QueryInterface(iid, out) : listed;
}

HRESULT BrowserSite::QueryInterface(REFIID iid, void** out)
{
    return QueryListedInterface<IServiceProvider>(this, iid, out);
}

HRESULT BrowserSite::QueryService(REFGUID service, REFIID iid, void** out)
{
    *out = nullptr;
    if (!IsEqualGUID(service, SID_STopLevelBrowser) && !IsEqualGUID(service, IID_IShellBrowser)) return E_NOINTERFACE;
    return recorder_.QueryInterface(iid, out);
}

ExplorerWindow::~ExplorerWindow()
{
    if (browser_) browser_->Destroy();
    if (frame_) DestroyWindow(frame_);
    if (!frameClass_.empty()) UnregisterClassA(frameClass_.c_str(), GetModuleHandleA(nullptr));
}

std::string ExplorerWindow::Open(const char* frameClass, const std::string& folder, const RECT& place)
{
    WNDCLASSA windowClass{};
    if (!GetClassInfoA(GetModuleHandleA(nullptr), frameClass, &windowClass)) {
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        windowClass.lpszClassName = frameClass;
        if (!RegisterClassA(&windowClass)) return std::string("RegisterClassA ") + frameClass;
        frameClass_ = frameClass;
    }
    frame_ = CreateWindowExA(0, frameClass, folder.c_str(), WS_OVERLAPPEDWINDOW | WS_VISIBLE, place.left, place.top,
                             place.right - place.left, place.bottom - place.top, nullptr, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
    if (!frame_) return std::string("CreateWindowExA of a ") + frameClass + " window";
    HRESULT hr = CoCreateInstance(CLSID_ExplorerBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&browser_));
    if (FAILED(hr)) return "CoCreateInstance of the Explorer Browser: " + std::to_string(hr);
    RECT client{};
    GetClientRect(frame_, &client);
    FOLDERSETTINGS settings{FVM_DETAILS, 0};
    hr = browser_->Initialize(frame_, &client, &settings);
    if (FAILED(hr)) return "IExplorerBrowser::Initialize: " + std::to_string(hr);
    const OwnedIdList list(ILCreateFromPathA(folder.c_str()));
    hr = list ? browser_->BrowseToIDList(list.get(), SBSP_ABSOLUTE) : E_FAIL;
    if (FAILED(hr)) return "IExplorerBrowser::BrowseToIDList " + folder + ": " + std::to_string(hr);
    hr = browser_.As(&shellBrowser_);
    if (FAILED(hr)) return "the Explorer Browser has no IShellBrowser: " + std::to_string(hr);
    SetForegroundWindow(frame_);
    SetActiveWindow(frame_);
    return std::string();
}

std::string ExplorerWindow::FolderShown() const
{
    Microsoft::WRL::ComPtr<IFolderView> view;
    Microsoft::WRL::ComPtr<IPersistFolder2> folder;
    PIDLIST_ABSOLUTE shown = nullptr;
    if (!browser_ || FAILED(browser_->GetCurrentView(IID_PPV_ARGS(&view))) ||
        FAILED(view->GetFolder(IID_PPV_ARGS(&folder))) || FAILED(folder->GetCurFolder(&shown)))
        return std::string();
    const OwnedIdList owned(shown);
    char path[MAX_PATH] = {};
    return SHGetPathFromIDListA(shown, path) ? path : std::string();
}

} // namespace vok::demo
