#include "Work/Navigation/ExplorerBrowse.h"

#include "Work/Navigation/ShellWindowList.h"

#include <exdisp.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <wrl/client.h>

#include <cstring>

using Microsoft::WRL::ComPtr;

namespace vok {
namespace {

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
    ComPtr<IWebBrowser2> found;
    ForEachShellWindow([&](IDispatch& item) {
        ComPtr<IWebBrowser2> browser;
        SHANDLE_PTR handle = 0;
        if (FAILED(item.QueryInterface(IID_PPV_ARGS(&browser))) || FAILED(browser->get_HWND(&handle)) ||
            reinterpret_cast<HWND>(handle) != window)
            return false;
        found = browser;
        return true;
    });
    return found;
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
