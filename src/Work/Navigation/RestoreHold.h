// The library reference a pending restore holds. The restore timer's
// callback and the watch on its box are code of this library: from SetTimer
// until the restore has finished, DllCanUnloadNow from any thread must
// refuse, and even a host that frees the library regardless must not unload
// it under the callback.
#pragma once

namespace vok {

// At SetTimer: one more restore pending, holding one reference and one use
// of the module until ReleaseFinishedRestores gives both back.
void HoldLibraryForRestore() noexcept;

// When the restore has run, or will never run (its box has gone).
void RestoreFinished() noexcept;

// Whether any thread's restore is pending.
bool AnyRestorePending() noexcept;

// Gives back the references of the restores that have finished. Only from an
// export the host calls while it holds the library itself (DllCanUnloadNow):
// released there, none of them can be the last, so the library never leaves
// under the code that releases it, as it would inside the timer's callback.
// True when it gave any back: the callback that finished may still be on its
// way out of the library, which is not to go in the same call.
bool ReleaseFinishedRestores() noexcept;

} // namespace vok
