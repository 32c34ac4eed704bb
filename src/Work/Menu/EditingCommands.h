// The menu commands that change the favourites, or let the user change them:
// add the current folder through the system's Create Shortcut wizard, remove
// it, start the wizard empty, and open the favourites folder.
#pragma once

#include "Common/WideString.h"

#include <windows.h>

namespace vok {

// The Create Shortcut wizard, as the system starts and shows it.
extern const wchar_t* const kWizardProgram;          // "rundll32.exe"
extern const wchar_t* const kWizardParametersPrefix; // "appwiz.cpl,NewLinkHere ", then the folder
extern const char* const kWizardClass;               // "#32770"
extern const char* const kWizardTitle;               // "Create Shortcut", in English only

// How long AddTargetToFavorites waits for the wizard: first for any window to
// take the foreground, then for the wizard's box to be filled; and how often
// it looks. Both waits dispatch the host thread's messages and end early when
// the wizard's process does.
struct WizardTimeouts {
    DWORD AppearMs;
    DWORD FillMs;
    DWORD PollMs;
};
constexpr WizardTimeouts kWizardTimeouts{5000, 5000, 20};

// One run of the wizard's fill: the text to type (the folder, quoted when
// it holds a space), and whether a box has been claimed for it.
struct WizardFill {
    WString Path;
    bool Filled = false;
};

// Starts the wizard in the favourites folder (made first if missing), types
// `targetPath` into its location box and presses Enter for the user. The
// wizard is the first visible dialog of the process started, whatever its
// caption; where the shell tells no process, the dialog captioned
// kWizardTitle.
void AddTargetToFavorites(const WString& targetPath, const WizardTimeouts& timeouts = kWizardTimeouts) noexcept;

// EnumChildWindows callback over the wizard, its lParam a WizardFill: fills
// the first "Edit" with its Path and presses Enter. Fills nothing once the
// record is Filled; returns FALSE to stop.
BOOL CALLBACK FillWizardPath(HWND window, LPARAM fill);

// Deletes the first favourite ".lnk", in list order, whose target is exactly
// `targetPath`.
void RemoveTargetFromFavorites(const WString& targetPath) noexcept;

// Starts the wizard in the favourites folder and leaves it to the user.
void CreateFavorite() noexcept;

// Opens the favourites folder in a shell window.
void OpenFavoritesFolder() noexcept;

} // namespace vok
