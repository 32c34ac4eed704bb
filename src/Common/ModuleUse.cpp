#include "Common/ModuleUse.h"

namespace vok {
namespace {

// Never freed: an object that outlives the module's shut-down still counts
// itself out here.
volatile LONG g_uses = 0;

} // namespace

LONG NoteModuleUse(bool begins) noexcept
{
    return begins ? InterlockedIncrement(&g_uses) : InterlockedDecrement(&g_uses);
}

bool ModuleInUse() noexcept
{
    return g_uses != 0;
}

} // namespace vok
