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

// Answers the top-level and the shell browser services with the window's
// browser. Lives on the caller's stack; counts the references others hold.
class BrowserSite final : public IServiceProvider {
public:
    explicit BrowserSite(IShellBrowser* browser) : browser_(browser) {}
    LONG Held() const { return held_; }

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++held_); }
    STDMETHODIMP_(ULONG) Release() override { return static_cast<ULONG>(--held_); }
    STDMETHODIMP QueryService(REFGUID service, REFIID iid, void** out) override;

private:
    IShellBrowser* browser_;
    LONG held_ = 0;
};

class ExplorerWindow {
public:
    ExplorerWindow() = default;
    ~ExplorerWindow();
    ExplorerWindow(const ExplorerWindow&) = delete;
    ExplorerWindow& operator=(const ExplorerWindow&) = delete;

    // Opens the frame at `place`, titled with the folder, showing `folder`,
    // as the active window. Returns what failed, or the empty string.
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
