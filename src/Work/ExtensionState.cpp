#include "Work/ExtensionState.h"

#include "Work/Store/Favorites.h"

#include <algorithm>
#include <memory>
#include <new>
#include <utility>

namespace vok {
namespace {

// The process-wide part and every thread's record, all under the one lock.
// A thread's record is found through a fiber-local slot, whose callback
// frees it when the thread ends; shut-down frees the rest.
struct ProcessState {
    SharedState Shared;
    std::vector<std::unique_ptr<ExtensionState>> Threads;
    DWORD Slot = FLS_OUT_OF_INDEXES;
};

SRWLOCK g_stateLock = SRWLOCK_INIT;
ProcessState* g_process = nullptr;

// A submenu its host menu never took down goes with its thread's record.
void DestroyRecord(std::unique_ptr<ExtensionState> record)
{
    if (record && record->Submenu && IsMenu(record->Submenu)) DestroyMenu(record->Submenu);
}

// Under the lock. Only a record still listed is freed: one that shut-down
// took away is shut-down's to free, whichever runs first.
std::unique_ptr<ExtensionState> Unlist(ProcessState& process, void* record)
{
    auto& threads = process.Threads;
    const auto found = std::find_if(threads.begin(), threads.end(), [&](const auto& r) { return r.get() == record; });
    if (found == threads.end()) return nullptr;
    std::unique_ptr<ExtensionState> taken = std::move(*found);
    threads.erase(found);
    return taken;
}

// The slot's callback, on a thread that ends (or, on some systems, on the
// thread that frees the slot).
void WINAPI ForgetThreadRecord(void* record)
{
    std::unique_ptr<ExtensionState> ended;
    AcquireSRWLockExclusive(&g_stateLock);
    if (g_process) ended = Unlist(*g_process, record);
    ReleaseSRWLockExclusive(&g_stateLock);
    DestroyRecord(std::move(ended));
}

// Under the lock; null when the record cannot be made.
ExtensionState* RecordOfThisThread(ProcessState& process) noexcept
{
    // Checked against the list: a slot freed by an earlier shut-down and
    // handed out again may still hold that record's address on a thread.
    auto* known = static_cast<ExtensionState*>(FlsGetValue(process.Slot));
    const auto& threads = process.Threads;
    if (known && std::any_of(threads.begin(), threads.end(), [&](const auto& r) { return r.get() == known; }))
        return known;
    try {
        process.Threads.push_back(std::make_unique<ExtensionState>(process.Shared));
    } catch (...) {
        return nullptr;
    }
    ExtensionState* made = process.Threads.back().get();
    if (FlsSetValue(process.Slot, made)) return made;
    process.Threads.pop_back();
    return nullptr;
}

} // namespace

StateAccess::StateAccess()
{
    AcquireSRWLockExclusive(&g_stateLock);
    state_ = g_process ? RecordOfThisThread(*g_process) : nullptr;
    if (!state_) return;
    const SharedState& shared = *state_->shared_;
    try {
        state_->Enabled = shared.Enabled;
        state_->InstallDir = shared.InstallDir;
        state_->FavoritesDir = shared.FavoritesDir;
    } catch (...) {
        state_ = nullptr; // out of memory: as if there were no state
    }
}

StateAccess::~StateAccess()
{
    // What the caller changed of the process-wide part goes back to it; a
    // swap cannot fail, and the copies are brought in anew at every access.
    if (state_) {
        SharedState& shared = *state_->shared_;
        shared.Enabled = state_->Enabled;
        if (state_->InstallDir != shared.InstallDir) shared.InstallDir.swap(state_->InstallDir);
        if (state_->FavoritesDir != shared.FavoritesDir) shared.FavoritesDir.swap(state_->FavoritesDir);
    }
    ReleaseSRWLockExclusive(&g_stateLock);
}

bool StartExtensionState(HINSTANCE resources)
{
    auto process = std::make_unique<ProcessState>();
    ExtensionState setup;
    const bool installed = LoadInstallFolder(setup);
    process->Shared.InstallDir = std::move(setup.InstallDir);
    process->Shared.FavoritesDir = std::move(setup.FavoritesDir);
    process->Shared.Resources = resources;
    process->Slot = FlsAlloc(ForgetThreadRecord);
    if (process->Slot == FLS_OUT_OF_INDEXES) throw std::bad_alloc();

    StopExtensionState();
    AcquireSRWLockExclusive(&g_stateLock);
    g_process = process.release();
    ReleaseSRWLockExclusive(&g_stateLock);
    return installed;
}

void StopExtensionState()
{
    ProcessState* process;
    AcquireSRWLockExclusive(&g_stateLock);
    process = std::exchange(g_process, nullptr);
    ReleaseSRWLockExclusive(&g_stateLock);
    if (!process) return;
    // No callback can reach a record from here on: freeing the slot may run
    // them, and they find no state.
    FlsFree(process->Slot);
    for (auto& record : process->Threads) DestroyRecord(std::move(record));
    for (MenuPictureRow& row : process->Shared.MenuBitmaps)
        for (UniqueBitmap& picture : row) picture.reset();
    delete process;
}

} // namespace vok
