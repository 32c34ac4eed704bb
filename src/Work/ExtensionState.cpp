#include "Work/ExtensionState.h"

#include "Common/Unique.h"
#include "Work/Installation.h"

#include <memory>
#include <utility>

namespace vok {
namespace {

SRWLOCK g_stateLock = SRWLOCK_INIT;
ExtensionState* g_state = nullptr;

} // namespace

void WithStateLocked(void (*run)(ExtensionState&, void*), void* context)
{
    const ExclusiveLock lock(g_stateLock);
    if (g_state) run(*g_state, context);
}

WString FavoritesFolder()
{
    WString folder;
    WithState([&](ExtensionState& s) { folder = s.FavoritesDir; });
    return folder;
}

bool ExtensionStateStarted()
{
    const ExclusiveLock lock(g_stateLock);
    return g_state != nullptr;
}

bool StartExtensionState(HINSTANCE resources)
{
    auto state = std::make_unique<ExtensionState>();
    const bool installed = LoadInstallFolder(state->InstallDir, state->FavoritesDir);
    state->Resources = resources;
    StopExtensionState();
    const ExclusiveLock lock(g_stateLock);
    g_state = state.release();
    return installed;
}

void StopExtensionState()
{
    std::unique_ptr<ExtensionState> state;
    {
        const ExclusiveLock lock(g_stateLock);
        state.reset(std::exchange(g_state, nullptr));
    }
}

} // namespace vok
