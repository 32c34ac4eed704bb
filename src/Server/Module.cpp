#include "Server/Module.h"

#include "Work/ExtensionState.h"
#include "Work/Installation.h"
#include "Work/Menu/MenuState.h"

namespace vok {
namespace {

HINSTANCE g_instance = nullptr;
INIT_ONCE g_startOnce = INIT_ONCE_STATIC_INIT;
volatile LONG g_started = 0;
volatile LONG g_installationMissing = 0;

BOOL CALLBACK StartModule(PINIT_ONCE, PVOID, PVOID*)
{
    try {
        // The runtime and the window system are already up in a started
        // process; the class factories are the module's from its load.
        const bool installed = StartExtensionState(g_instance);
        InterlockedExchange(&g_installationMissing, installed ? 0 : 1);
        InterlockedExchange(&g_started, 1);
        return TRUE;
    } catch (...) {
        StopExtensionState();
        StopMenuState();
        return FALSE;
    }
}

} // namespace

HINSTANCE ModuleInstance()
{
    return g_instance;
}

void SetModuleInstance(HINSTANCE instance)
{
    g_instance = instance;
}

bool EnsureModuleStarted()
{
    if (!InitOnceExecuteOnce(&g_startOnce, StartModule, nullptr, nullptr)) return false;
    // Exactly one caller per load sees the flag set and tells the user.
    if (InterlockedExchange(&g_installationMissing, 0)) ShowMissingInstallationMessage();
    return true;
}

void StopModule()
{
    if (!InterlockedExchange(&g_started, 0)) return;
    StopExtensionState();
    StopMenuState();
}

} // namespace vok
