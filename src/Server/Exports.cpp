// The library's entry point and exported functions. Every COM export
// answers with an HRESULT: no C++ exception may reach the host.
#include "AboutBox/AboutBox.h"
#include "Common/ModuleUse.h"
#include "Server/ClassFactory.h"
#include "Server/Module.h"
#include "Server/Registration.h"
#include "Work/Navigation/RestoreHold.h"

#include <cstddef>
#include <objbase.h>

using namespace vok;

// The C++ runtime's own (libsupc++, eh_alloc.cc): frees the emergency pool
// kept for exceptions thrown while memory runs out. The runtime is linked in
// statically, so every load of the library allocates a pool of its own at
// start-up (72 KiB in the 64-bit library, 18 KiB in the 32-bit one), and
// nothing else ever frees it: a host that loads and unloads the library
// lost that much each time.
#ifdef __GLIBCXX__
namespace __gnu_cxx {
void __freeres();
} // namespace __gnu_cxx
#endif

namespace {

// libc++abi keeps each thread's exception state in storage whose destructor
// runs at thread exit, after an unload would have taken its code away: a
// library that once threw and was then unloaded ends the process in a
// fault. Pinned, it stays until the process ends. GCC's runtime has no such
// storage: there the library unloads.
void PinLibrary([[maybe_unused]] HINSTANCE instance) noexcept
{
#ifdef _LIBCPP_VERSION
    HMODULE pinned = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCWSTR>(instance), &pinned);
#endif
}

HRESULT UpdateRegistration(bool registering) noexcept
{
    try {
        if (!EnsureModuleStarted()) return E_FAIL;
        UpdateRegistryRows(registering);
        return S_OK;
    } catch (...) {
        // Nothing is rolled back: the entries written so far stay.
        return E_FAIL;
    }
}

} // namespace

// Kept to the minimum: everything else waits for the first export call,
// outside the loader lock.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        SetModuleInstance(instance);
        DisableThreadLibraryCalls(instance);
        PinLibrary(instance);
        break;
    case DLL_PROCESS_DETACH:
        // At process exit the system reclaims everything, and other threads
        // have been stopped wherever they were: touch nothing.
        if (reserved == nullptr) {
            StopModule();
#ifdef __GLIBCXX__
            // Last: no code of the library throws from here on (what runs
            // after this is the runtime's destruction of static objects).
            __gnu_cxx::__freeres();
#endif
        }
        break;
    }
    return TRUE;
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv)
{
    // Hosts pass a null out pointer only by mistake: refuse before anything
    // starts or is counted.
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    try {
        if (!EnsureModuleStarted()) return E_OUTOFMEMORY;
        TClassFactory* factory = FindClassFactory(rclsid);
        if (!factory) return CLASS_E_CLASSNOTAVAILABLE;
        return factory->QueryInterface(riid, ppv);
    } catch (...) {
        return E_UNEXPECTED;
    }
}

extern "C" HRESULT WINAPI DllCanUnloadNow()
{
    // A finished restore gives back its reference and its use here, where
    // the host holds a reference of its own, and the answer stays "no" until
    // a call that finds none: the callback that finished may still be on its
    // way out of the library.
    if (ReleaseFinishedRestores()) return S_FALSE;
    return ModuleInUse() ? S_FALSE : S_OK;
}

extern "C" HRESULT WINAPI DllRegisterServer()
{
    return UpdateRegistration(true);
}

extern "C" HRESULT WINAPI DllUnregisterServer()
{
    return UpdateRegistration(false);
}

// The shape rundll32.exe calls; the four arguments are not used. Without a
// started module the switch could not be read or stored: nothing is shown.
extern "C" void CALLBACK ShowAboutBox(HWND, HINSTANCE, LPSTR, int)
{
    if (EnsureModuleStarted()) ShowAboutWindow();
}
