#include "Server/Module.h"

#include "Server/ComServer.h"
#include "Server/ContextMenuFactory.h"
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
        // process; the server object and its factories come before the state.
        CreateModuleServer(g_instance);
        CreateContextMenuFactory(*ModuleServer());
        const bool installed = StartExtensionState(g_instance);
        InterlockedExchange(&g_installationMissing, installed ? 0 : 1);
        InterlockedExchange(&g_started, 1);
        return TRUE;
    } catch (...) {
        StopExtensionState();
        StopMenuState();
        DestroyServerFrame();
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

bool ModuleStarted()
{
    return g_started != 0;
}

void StopModule()
{
    // Marked first: a handler object destroyed from here on must not reach
    // for the server or its factory, which are about to go.
    BeginFrameShutDown();
    if (!InterlockedExchange(&g_started, 0)) return;
    StopExtensionState();
    StopMenuState();
    DestroyServerFrame();
}

} // namespace vok
