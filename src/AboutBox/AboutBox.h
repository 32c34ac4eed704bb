// The single-instance About window, which also carries the extension's one
// setting: the Active/Inactive switch.
#pragma once

namespace vok {

// Held while an About window is open, in whatever process shows it.
constexpr char kAboutMutexName[] = "About VOK";

// The maker's web host as the window shows it, and the page the link opens.
constexpr char kMakerHost[] = "www.talloway.example";
constexpr wchar_t kHomePageUrl[] = L"http://www.talloway.example";

// Title of the error box shown when the switch cannot be stored.
constexpr char kStatusErrorTitle[] = "Vokmark";

// Shows the About window modally on the calling thread and returns once it
// is closed; returns at once when an About window is already open in any
// process. The window's resources come from ModuleInstance().
void ShowAboutWindow() noexcept;

} // namespace vok
