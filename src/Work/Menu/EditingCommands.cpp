#include "Work/Menu/EditingCommands.h"

#include "Common/WindowText.h"
#include "Work/ExtensionState.h"
#include "Work/Store/Favorites.h"
#include "Work/Navigation/ShellLaunch.h"
#include "Work/Store/Shortcuts.h"

#include <algorithm>

namespace vok {

const wchar_t* const kWizardProgram = L"rundll32.exe";
const wchar_t* const kWizardParametersPrefix = L"appwiz.cpl,NewLinkHere ";
const char* const kWizardClass = "#32770";
const char* const kWizardTitle = "Create Shortcut";

namespace {

void StartWizard(const WString& favoritesDir)
{
    const WString parameters = kWizardParametersPrefix + favoritesDir;
    ShellLaunch(nullptr, L"open", kWizardProgram, parameters.c_str(), nullptr, SW_SHOWNA);
}

// The wizard's process, when the shell tells it.
UniqueHandle StartWizardProcess(const WString& favoritesDir)
{
    const WString parameters = kWizardParametersPrefix + favoritesDir;
    return ShellLaunchProcess(nullptr, L"open", kWizardProgram, parameters.c_str(), nullptr, SW_SHOWNA);
}

DWORD MsUntil(ULONGLONG deadline)
{
    const ULONGLONG now = GetTickCount64();
    return now >= deadline ? 0 : static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, MAXDWORD));
}

// Returns false when WM_QUIT came: it is put back for the host's own loop.
bool DispatchWaitingMessages()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return false;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return true;
}

// One pause of a wait: the host's messages keep flowing, so that its windows
// answer meanwhile (Windows marks a window that takes none for five seconds
// "Not responding"). Returns false when the wait is over: its time is up,
// WM_QUIT came, or the wizard's process has ended.
bool PauseDispatching(ULONGLONG deadline, DWORD pollMs, HANDLE process)
{
    if (!DispatchWaitingMessages()) return false;
    const DWORD left = MsUntil(deadline);
    if (left == 0) return false;
    const DWORD handles = process ? 1 : 0;
    const DWORD woke = MsgWaitForMultipleObjects(handles, process ? &process : nullptr, FALSE, std::min(left, pollMs),
                                                 QS_ALLINPUT);
    return handles == 0 || woke != WAIT_OBJECT_0;
}

bool WaitForForegroundChange(HWND before, const WizardTimeouts& timeouts, HANDLE process)
{
    const ULONGLONG deadline = GetTickCount64() + timeouts.AppearMs;
    for (;;) {
        if (GetForegroundWindow() != before) return true;
        if (!PauseDispatching(deadline, timeouts.PollMs, process)) return false;
    }
}

struct WizardSearch {
    DWORD ProcessId;
    HWND Found;
};

BOOL CALLBACK FindDialogOfProcess(HWND window, LPARAM search)
{
    auto& wizard = *reinterpret_cast<WizardSearch*>(search);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId != wizard.ProcessId || !IsWindowVisible(window)) return TRUE;
    try {
        if (ClassNameOf(window) != kWizardClass) return TRUE;
    } catch (...) {
        return TRUE;
    }
    wizard.Found = window;
    return FALSE;
}

// The wizard's caption is the system's language ("Verknüpfung erstellen" on
// a German Windows): known by its process, the wizard is the first visible
// dialog that process shows. Without the process, only the English caption
// tells it.
HWND FindWizard(HANDLE process)
{
    if (!process) return FindWindowA(kWizardClass, kWizardTitle);
    WizardSearch search{GetProcessId(process), nullptr};
    if (search.ProcessId != 0) EnumWindows(FindDialogOfProcess, reinterpret_cast<LPARAM>(&search));
    return search.Found;
}

// The wizard takes a path with blanks only in quotes.
WString QuoteTargetPathIfSpaced(const WString& path)
{
    return path.find(L' ') == WString::npos ? path : L'"' + path + L'"';
}

void FillWizardIfForeground(HANDLE process, WizardFill& fill)
{
    const HWND wizard = FindWizard(process);
    if (!wizard || wizard != GetForegroundWindow()) return;
    const bool locked = LockWindowUpdate(wizard) != FALSE;
    EnumChildWindows(wizard, FillWizardPath, reinterpret_cast<LPARAM>(&fill));
    // Another window's lock (a restore still pending) is not ours to end.
    if (locked) LockWindowUpdate(nullptr);
}

void WaitUntilWizardFilled(const WizardTimeouts& timeouts, HANDLE process, WizardFill& fill)
{
    const ULONGLONG deadline = GetTickCount64() + timeouts.FillMs;
    for (;;) {
        FillWizardIfForeground(process, fill);
        if (fill.Filled) {
            DispatchWaitingMessages(); // Enter, posted to a box of this thread's
            return;
        }
        if (!PauseDispatching(deadline, timeouts.PollMs, process)) return;
    }
}

} // namespace

void AddTargetToFavorites(const WString& targetPath, const WizardTimeouts& timeouts) noexcept
{
    try {
        const WString favoritesDir = FavoritesFolder();
        if (!FolderExists(favoritesDir)) CreateDirectoryW(favoritesDir.c_str(), nullptr);
        const HWND before = GetForegroundWindow();
        const UniqueHandle process = StartWizardProcess(favoritesDir);
        const bool appeared = WaitForForegroundChange(before, timeouts, process.get());
        WizardFill fill{QuoteTargetPathIfSpaced(targetPath)};
        if (appeared) WaitUntilWizardFilled(timeouts, process.get(), fill);
    } catch (...) {
    }
}

BOOL CALLBACK FillWizardPath(HWND window, LPARAM fillRecord)
{
    try {
        if (!fillRecord) return FALSE;
        auto& fill = *reinterpret_cast<WizardFill*>(fillRecord);
        if (fill.Filled) return FALSE;
        if (ClassNameOf(window) != "Edit") return TRUE;
        // Claimed before typing: nothing the wizard does in reply to our
        // messages can lead to a second box being filled in this run.
        fill.Filled = true;
        SendMessageA(window, EM_SETSEL, 0, -1);
        SendMessageA(window, WM_CLEAR, 0, 0);
        // The wide message carries the exact text; the system converts it
        // for a box that reads ANSI.
        SendMessageW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(fill.Path.c_str()));
        PostMessageA(window, WM_KEYDOWN, VK_RETURN, 0);
        PostMessageA(window, WM_KEYUP, VK_RETURN, 0);
        return FALSE;
    } catch (...) {
        return FALSE;
    }
}

void RemoveTargetFromFavorites(const WString& targetPath) noexcept
{
    try {
        const WString linkPath = FindFavoriteLinkTo(FavoritesFolder(), targetPath);
        if (!linkPath.empty()) DeleteFileW(linkPath.c_str());
    } catch (...) {
    }
}

void CreateFavorite() noexcept
{
    try {
        StartWizard(FavoritesFolder());
    } catch (...) {
    }
}

void OpenFavoritesFolder() noexcept
{
    try {
        const WString favoritesDir = FavoritesFolder();
        ShellLaunch(nullptr, L"open", favoritesDir.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    } catch (...) {
    }
}

} // namespace vok
