#include "Work/Navigation/ExplorerBrowse.h"

#include "Common/Unique.h"

#include <exdisp.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <wrl/client.h>

#include <cstring>

using Microsoft::WRL::ComPtr;

namespace vok {
namespace {

// The services and the class are spelt out here: the platform's named
// constants live in one object with every GUID of the platform, which the
// linker cannot split.
constexpr GUID kTopLevelBrowserService = {0x4C96BE40, 0x915C, 0x11CF, {0x99, 0xD3, 0x00, 0xAA, 0x00, 0x4A, 0xE8, 0x37}};
constexpr GUID kShellBrowserService = {0x000214E2, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr CLSID kShellWindowsClass = {0x9BA05972, 0xF6A8, 0x11CF, {0xA4, 0x42, 0x00, 0xA0, 0xC9, 0x0A, 0x8F, 0x39}};

struct IdListTraits {
    using Type = PIDLIST_ABSOLUTE;
    static Type Invalid() { return nullptr; }
    static void Close(Type list) { ILFree(list); }
};
using UniqueIdList = Unique<IdListTraits>;

// The frame's browser first: a view inside a frame (a pane, a dialog's
// browser) answers only for itself.
ComPtr<IShellBrowser> BrowserOfSite(IUnknown* site)
{
    ComPtr<IShellBrowser> browser;
    if (!site) return browser;
    if (SUCCEEDED(IUnknown_QueryService(site, kTopLevelBrowserService, IID_PPV_ARGS(&browser))) && browser)
        return browser;
    browser.Reset();
    if (FAILED(IUnknown_QueryService(site, kShellBrowserService, IID_PPV_ARGS(&browser)))) browser.Reset();
    return browser;
}

ComPtr<IWebBrowser2> ShellWindowOf(HWND window)
{
    ComPtr<IShellWindows> windows;
    if (FAILED(CoCreateInstance(kShellWindowsClass, nullptr, CLSCTX_ALL, IID_PPV_ARGS(&windows)))) return nullptr;
    long count = 0;
    if (FAILED(windows->get_Count(&count))) return nullptr;
    for (long i = 0; i < count; ++i) {
        VARIANT index;
        VariantInit(&index);
        V_VT(&index) = VT_I4;
        V_I4(&index) = i;
        ComPtr<IDispatch> item;
        ComPtr<IWebBrowser2> browser;
        if (FAILED(windows->Item(index, &item)) || !item || FAILED(item.As(&browser))) continue;
        SHANDLE_PTR handle = 0;
        if (SUCCEEDED(browser->get_HWND(&handle)) && reinterpret_cast<HWND>(handle) == window) return browser;
    }
    return nullptr;
}

// Navigate2 takes an item list as a byte array, which names any folder a
// path names, however long or foreign.
bool NavigateTo(IWebBrowser2& browser, PCIDLIST_ABSOLUTE folder)
{
    const UINT size = ILGetSize(folder);
    SAFEARRAY* bytes = SafeArrayCreateVector(VT_UI1, 0, size);
    if (!bytes) return false;
    std::memcpy(bytes->pvData, folder, size);
    VARIANT target, none;
    VariantInit(&target);
    VariantInit(&none);
    V_VT(&target) = VT_ARRAY | VT_UI1;
    V_ARRAY(&target) = bytes;
    const HRESULT hr = browser.Navigate2(&target, &none, &none, &none, &none);
    VariantClear(&target);
    return SUCCEEDED(hr);
}

} // namespace

bool BrowseSiteTo(IUnknown* site, PCIDLIST_ABSOLUTE items)
{
    const ComPtr<IShellBrowser> browser = BrowserOfSite(site);
    return browser && SUCCEEDED(browser->BrowseObject(items, SBSP_SAMEBROWSER | SBSP_ABSOLUTE));
}

bool BrowseSiteBrowser(IUnknown* site, const WString& folder)
{
    const UniqueIdList list(ILCreateFromPathW(folder.c_str()));
    return list && BrowseSiteTo(site, list.get());
}

bool BrowseExplorerWindow(IUnknown* site, HWND window, const WString& folder)
{
    const UniqueIdList list(ILCreateFromPathW(folder.c_str()));
    return list && BrowseExplorerWindow(site, window, list.get());
}

bool BrowseExplorerWindow(IUnknown* site, HWND window, PCIDLIST_ABSOLUTE folder)
{
    if (const ComPtr<IShellBrowser> browser = BrowserOfSite(site))
        return SUCCEEDED(browser->BrowseObject(folder, SBSP_SAMEBROWSER | SBSP_ABSOLUTE));
    if (const ComPtr<IWebBrowser2> browser = ShellWindowOf(window)) return NavigateTo(*browser.Get(), folder);
    return false;
}

bool SiteHasBrowser(IUnknown* site)
{
    return BrowserOfSite(site) != nullptr;
}

} // namespace vok
