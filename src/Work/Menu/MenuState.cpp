#include "Work/Menu/MenuState.h"

#include "Work/ExtensionState.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace vok {
namespace {

// Every thread's record, under the one lock. A thread's record is found
// through a fiber-local slot, whose callback frees it when the thread ends;
// StopMenuState frees the rest.
struct ThreadRecords {
    std::vector<std::unique_ptr<MenuState>> Records;
    DWORD Slot = FLS_OUT_OF_INDEXES;
};

SRWLOCK g_recordsLock = SRWLOCK_INIT;
ThreadRecords g_records;

void DestroyRecord(std::unique_ptr<MenuState> record)
{
    if (record && record->Submenu && IsMenu(record->Submenu)) DestroyMenu(record->Submenu);
}

// Under the lock. Only a record still listed is freed: one that StopMenuState
// took away is its to free, whichever runs first.
std::unique_ptr<MenuState> Unlist(void* record)
{
    auto& records = g_records.Records;
    const auto found = std::find_if(records.begin(), records.end(), [&](const auto& r) { return r.get() == record; });
    if (found == records.end()) return nullptr;
    std::unique_ptr<MenuState> taken = std::move(*found);
    records.erase(found);
    return taken;
}

// The slot's callback, on a thread that ends (or, on some systems, on the
// thread that frees the slot).
void WINAPI ForgetThreadRecord(void* record)
{
    std::unique_ptr<MenuState> ended;
    {
        const ExclusiveLock lock(g_recordsLock);
        ended = Unlist(record);
    }
    DestroyRecord(std::move(ended));
}

// Under the lock; null when the record cannot be made.
MenuState* RecordOfThisThread() noexcept
{
    if (g_records.Slot == FLS_OUT_OF_INDEXES && (g_records.Slot = FlsAlloc(ForgetThreadRecord)) == FLS_OUT_OF_INDEXES)
        return nullptr;
    // Checked against the list: a slot freed by an earlier shut-down and
    // handed out again may still hold that record's address on a thread.
    auto* known = static_cast<MenuState*>(FlsGetValue(g_records.Slot));
    const auto& records = g_records.Records;
    if (known && std::any_of(records.begin(), records.end(), [&](const auto& r) { return r.get() == known; }))
        return known;
    try {
        g_records.Records.push_back(std::make_unique<MenuState>());
    } catch (...) {
        return nullptr;
    }
    MenuState* made = g_records.Records.back().get();
    if (FlsSetValue(g_records.Slot, made)) return made;
    g_records.Records.pop_back();
    return nullptr;
}

} // namespace

// Asked under the records' lock: shut-down stops the library's state before
// it frees the records, so none is made after.
MenuStateAccess::MenuStateAccess()
{
    AcquireSRWLockExclusive(&g_recordsLock);
    state_ = ExtensionStateStarted() ? RecordOfThisThread() : nullptr;
}

MenuStateAccess::~MenuStateAccess()
{
    ReleaseSRWLockExclusive(&g_recordsLock);
}

void RecordMenuTarget(const WString& path, vok::ContextKind kind)
{
    WithMenuState([&](MenuState& s) {
        s.TargetPath = path;
        s.ContextKind = kind;
    });
}

ContextKind MenuContextKind()
{
    ContextKind kind = ckNone;
    WithMenuState([&](MenuState& s) { kind = s.ContextKind; });
    return kind;
}

void StopMenuState()
{
    ThreadRecords taken;
    {
        const ExclusiveLock lock(g_recordsLock);
        std::swap(taken, g_records);
    }
    // No callback can reach a record from here on: freeing the slot may run
    // them, and they find none listed.
    if (taken.Slot != FLS_OUT_OF_INDEXES) FlsFree(taken.Slot);
    for (auto& record : taken.Records) DestroyRecord(std::move(record));
}

} // namespace vok
