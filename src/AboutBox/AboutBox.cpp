#include "AboutBox/AboutBox.h"

#include "AboutBox/AboutBoxForm.h"
#include "Common/Unique.h"
#include "Server/Module.h"

namespace vok {

void ShowAboutWindow() noexcept
{
    try {
        SetLastError(ERROR_SUCCESS);
        const HANDLE created = CreateMutexA(nullptr, TRUE, kAboutMutexName);
        const bool anotherIsOpen = GetLastError() == ERROR_ALREADY_EXISTS;
        // Never released: it ends when this handle closes, on every path.
        UniqueHandle mutex(created);
        if (anotherIsOpen) return;
        // A mutex that could not be created at all does not stop the window.
        TAboutBoxForm AboutBoxForm(ModuleInstance());
        AboutBoxForm.ShowModal();
    } catch (...) {
    }
}

} // namespace vok
