#include "Work/ExtensionState.h"

#include "Work/Store/Favorites.h"

#include <memory>

namespace vok {
namespace {

SRWLOCK g_stateLock = SRWLOCK_INIT;
ExtensionState* g_state = nullptr;

} // namespace

StateAccess::StateAccess()
{
    AcquireSRWLockExclusive(&g_stateLock);
    state_ = g_state;
}

StateAccess::~StateAccess()
{
    ReleaseSRWLockExclusive(&g_stateLock);
}

bool StartExtensionState(HINSTANCE resources)
{
    auto state = std::make_unique<ExtensionState>();
    const bool installed = LoadInstallFolder(*state);
    state->FavoriteNames.clear();
    state->Resources = resources;

    StateAccess access;
    delete g_state;
    g_state = state.release();
    return installed;
}

void StopExtensionState()
{
    ExtensionState* state;
    {
        StateAccess access;
        state = g_state;
        g_state = nullptr;
    }
    if (!state) return;
    if (state->Submenu && IsMenu(state->Submenu)) DestroyMenu(state->Submenu);
    state->Submenu = nullptr;
    state->FavoriteNames.clear();
    for (MenuPictureRow& row : state->MenuBitmaps)
        for (UniqueBitmap& picture : row) picture.reset();
    delete state;
}

} // namespace vok
