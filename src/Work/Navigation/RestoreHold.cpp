#include "Work/Navigation/RestoreHold.h"

#include "Common/ModuleUse.h"

#include <windows.h>

namespace vok {
namespace {

volatile LONG g_pending = 0;
volatile LONG g_finished = 0; // references still held by finished restores
// The library's own handle, which a hold takes a reference on: the same
// every time. Asking for it by an address inside the library cannot fail
// while the library runs.
HMODULE g_library = nullptr;

} // namespace

void HoldLibraryForRestore() noexcept
{
    HMODULE library = nullptr;
    if (GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&HoldLibraryForRestore),
                           &library))
        InterlockedExchangePointer(reinterpret_cast<void* volatile*>(&g_library), library);
    NoteModuleUse(true);
    InterlockedIncrement(&g_pending);
}

void RestoreFinished() noexcept
{
    InterlockedIncrement(&g_finished);
    InterlockedDecrement(&g_pending);
}

bool AnyRestorePending() noexcept
{
    return g_pending > 0;
}

bool ReleaseFinishedRestores() noexcept
{
    const LONG finished = InterlockedExchange(&g_finished, 0);
    for (LONG count = finished; count > 0; --count) {
        if (g_library) FreeLibrary(g_library);
        NoteModuleUse(false);
    }
    return finished > 0;
}

} // namespace vok
