// The library's entry point and exported COM server functions.
#include "AboutBox/AboutBox.h"
#include "Server/Module.h"
#include "Work/Navigation.h"

#include <objbase.h>

using namespace vok;

// Kept to the minimum: everything else waits for the first export call,
// outside the loader lock.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        SetModuleInstance(instance);
        DisableThreadLibraryCalls(instance);
        break;
    case DLL_PROCESS_DETACH:
        // At process exit the system reclaims everything, and other threads
        // have been stopped wherever they were: touch nothing.
        if (reserved == nullptr) StopModule();
        break;
    }
    return TRUE;
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID, REFIID, LPVOID* ppv)
{
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (!EnsureModuleStarted()) return E_OUTOFMEMORY;
    // No class factory is published yet.
    return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" HRESULT WINAPI DllCanUnloadNow()
{
    // No object or factory reference can be outstanding while no factory is
    // published; a pending restore still has a timer pointing into us.
    if (ModuleStarted() && RestorePending()) return S_FALSE;
    return S_OK;
}

// The shape rundll32.exe calls; the four arguments are not used. Without a
// started module the switch could not be read or stored: nothing is shown.
extern "C" void CALLBACK ShowAboutBox(HWND, HINSTANCE, LPSTR, int)
{
    if (EnsureModuleStarted()) ShowAboutWindow();
}
