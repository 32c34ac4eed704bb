// The one count of what keeps the library loaded in its host: COM objects
// alive, references on class factories, server locks, library threads and
// restores not yet given back. Each counts from its start to its very end;
// DllCanUnloadNow reads this count and nothing else.
#pragma once

#include <windows.h>

namespace vok {

// One use begins or ends; returns the count after the change.
LONG NoteModuleUse(bool begins) noexcept;

// Whether any use is counted: read without a lock, a moment's view anyway.
bool ModuleInUse() noexcept;

} // namespace vok
