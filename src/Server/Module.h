// The library's start-up and shut-down, attached to first use and unload.
#pragma once

#include <windows.h>

namespace vok {

HINSTANCE ModuleInstance();
void SetModuleInstance(HINSTANCE instance);

// Runs the start-up steps once per load of the library, in order, on the
// first call of an export that needs them. Never called from the DLL entry
// point: start-up reads the registry and may show a message box, neither of
// which is safe under the loader lock. The missing-installation message is
// shown once per load, after start-up, with nothing held.
// Returns false when start-up could not complete (out of memory); a later
// call tries again.
bool EnsureModuleStarted();

// The shut-down steps: the module state and the menu state; nothing when
// start-up never ran. A handler object destroyed later touches neither.
void StopModule();

} // namespace vok
