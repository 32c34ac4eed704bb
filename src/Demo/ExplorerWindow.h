// An Explorer-style window for a host that is not Explorer: Wine's Explorer
// Browser, the folder view Explorer itself is built around, in a top-level
// frame of the caller's class with no address box; and a site that hands
// out its browser as Explorer's site chain does for the view's menus.
#pragma once

#include <windows.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include <string>

namespace vok::demo {

// A browser's stand-in that passes every call on to the browser and notes
// the flags of each BrowseObject: Wine's browser goes there in place
// whatever they say. Its references are its site's.
class BrowseRecorder final : public IShellBrowser {
public:
    BrowseRecorder(IShellBrowser* browser, IUnknown& site) : browser_(browser), site_(site) {}
    // The flags of the last BrowseObject; ~0u before the first.
    UINT Flags() const { return flags_; }

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override { return site_.AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return site_.Release(); }
    STDMETHODIMP BrowseObject(PCUIDLIST_RELATIVE list, UINT flags) override
    {
        flags_ = flags;
        return browser_->BrowseObject(list, flags);
    }
    STDMETHODIMP GetWindow(HWND* window) override { return browser_->GetWindow(window); }
    STDMETHODIMP ContextSensitiveHelp(BOOL enter) override { return browser_->ContextSensitiveHelp(enter); }
    STDMETHODIMP InsertMenusSB(HMENU menu, LPOLEMENUGROUPWIDTHS widths) override
    {
        return browser_->InsertMenusSB(menu, widths);
    }
    STDMETHODIMP SetMenuSB(HMENU menu, HOLEMENU shared, HWND active) override
    {
        return browser_->SetMenuSB(menu, shared, active);
    }
    STDMETHODIMP RemoveMenusSB(HMENU menu) override { return browser_->RemoveMenusSB(menu); }
    STDMETHODIMP SetStatusTextSB(LPCWSTR text) override { return browser_->SetStatusTextSB(text); }
    STDMETHODIMP EnableModelessSB(BOOL enable) override { return browser_->EnableModelessSB(enable); }
    STDMETHODIMP TranslateAcceleratorSB(MSG* msg, WORD id) override
    {
        return browser_->TranslateAcceleratorSB(msg, id);
    }
    STDMETHODIMP GetViewStateStream(DWORD mode, IStream** stream) override
    {
        return browser_->GetViewStateStream(mode, stream);
    }
    STDMETHODIMP GetControlWindow(UINT id, HWND* window) override { return browser_->GetControlWindow(id, window); }
    STDMETHODIMP SendControlMsg(UINT id, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override
    {
        return browser_->SendControlMsg(id, message, wParam, lParam, result);
    }
    STDMETHODIMP QueryActiveShellView(IShellView** view) override { return browser_->QueryActiveShellView(view); }
    STDMETHODIMP OnViewWindowActive(IShellView* view) override { return browser_->OnViewWindowActive(view); }
    STDMETHODIMP SetToolbarItems(LPTBBUTTONSB buttons, UINT count, UINT flags) override
    {
        return browser_->SetToolbarItems(buttons, count, flags);
    }

private:
    IShellBrowser* browser_;
    IUnknown& site_;
    UINT flags_ = ~0u;
};

// Answers the top-level and the shell browser services with the window's
// browser, through a BrowseRecorder. Lives on the caller's stack; counts the
// references others hold.
class BrowserSite final : public IServiceProvider {
public:
    explicit BrowserSite(IShellBrowser* browser) : recorder_(browser, *this) {}
    LONG Held() const { return held_; }
    UINT BrowseFlags() const { return recorder_.Flags(); }

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++held_); }
    STDMETHODIMP_(ULONG) Release() override { return static_cast<ULONG>(--held_); }
    STDMETHODIMP QueryService(REFGUID service, REFIID iid, void** out) override;

private:
    BrowseRecorder recorder_;
    LONG held_ = 0;
};

class ExplorerWindow {
public:
    ExplorerWindow() = default;
    ~ExplorerWindow();
    ExplorerWindow(const ExplorerWindow&) = delete;
    ExplorerWindow& operator=(const ExplorerWindow&) = delete;

    // Opens the frame at `place`, titled with the folder, showing `folder`,
    // as the active window; a class of the system's ("#32770") is used as it
    // is. Returns what failed, or the empty string.
    std::string Open(const char* frameClass, const std::string& folder, const RECT& place);

    HWND Frame() const { return frame_; }
    IShellBrowser* ShellBrowser() const { return shellBrowser_.Get(); }
    // The folder the browser shows, as a path; empty when it shows none.
    std::string FolderShown() const;

private:
    std::string frameClass_;
    HWND frame_ = nullptr;
    Microsoft::WRL::ComPtr<IExplorerBrowser> browser_;
    Microsoft::WRL::ComPtr<IShellBrowser> shellBrowser_;
};

} // namespace vok::demo
