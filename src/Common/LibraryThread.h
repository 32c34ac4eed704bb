// Work that outlives the call that started it runs on threads of the
// library's own. Each holds a reference on the library from before it starts
// until its very last instruction, so that a host that frees the library
// meanwhile never unloads it under the thread, and each counts as a use of
// the module (Common/ModuleUse.h) for as long as it runs.
#pragma once

#include "Common/Unique.h"

#include <windows.h>

#include <functional>
#include <memory>
#include <utility>

namespace vok {

// The COM apartment a library thread starts for its work; COM is the
// thread's own to start and to end.
enum ThreadApartment : BYTE {
    taNoCom = 0,
    taSingle = 1, // the shell's link object, the file operations
    taMulti = 2,  // the shell's window list, served from other threads
};

// Starts `work` on a library thread with the default stack. False (and
// nothing held, `work` never run) when no thread could be started. An
// exception out of `work` ends the work, never the thread or the process.
bool StartLibraryThread(ThreadApartment apartment, std::function<void()> work);

// The library threads still out in this process.
LONG LibraryThreadsRunning();

// One answer that a library thread hands to a caller waiting for it within a
// bound. Shared by both: a thread that answers after the caller gave up
// fills a slot nobody reads, freed by whichever lets go of it last.
template <class T>
class ResultSlot {
public:
    ResultSlot() : done_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    bool Ready() const { return static_cast<bool>(done_); }
    HANDLE DoneEvent() const { return done_.get(); }

    // On the thread, once.
    void Fill(T value)
    {
        value_ = std::move(value);
        SetEvent(done_.get());
    }

    // The answer, once DoneEvent is set; never before.
    T Take() { return std::move(value_); }

private:
    UniqueHandle done_;
    T value_{};
};

// Starts `produce` (returning a T) on a library thread; the slot it fills,
// or null when no thread could be started.
template <class T, class Produce>
std::shared_ptr<ResultSlot<T>> StartWithResult(ThreadApartment apartment, Produce produce)
{
    auto slot = std::make_shared<ResultSlot<T>>();
    if (!slot->Ready()) return nullptr;
    const bool started = StartLibraryThread(apartment, [slot, produce = std::move(produce)]() mutable {
        T value{};
        try {
            value = produce();
        } catch (...) {
        }
        slot->Fill(std::move(value));
    });
    return started ? slot : nullptr;
}

} // namespace vok
