// One thread's menu: what the shell handed the handler, the rows built, the
// submenu, and the working values of the command chosen from it. Explorer
// runs each window on a thread of its own, and COM calls an
// apartment-threaded handler, and the shell builds, shows and runs each
// menu, on one thread: so each thread has a record of its own, and a menu
// built in a second window leaves the first one's alone.
#pragma once

#include "Work/Menu/MenuRow.h"

namespace vok {

// What Explorer's command was last asked its state for on this thread: the
// first item's absolute item list, as bytes, and how many items there are.
// Its children follow it.
struct CommandSelection {
    std::string FirstItem;
    DWORD Count = 0;
};

struct MenuState {
    WString TargetPath;
    vok::ContextKind ContextKind = ckNone;
    bool FlatMenu = false;
    // The rows of the last menu built on this thread, in offset order: a
    // command or help text asked for through any handler object is found here.
    MenuTable LastMenu;
    HMENU Submenu = nullptr; // handed to the host menu, which destroys it
    // A dialog's box whose text is typed back once the dialog has moved.
    WString SavedEditText;
    UINT_PTR RestoreTimer = 0;
    CommandSelection Selection;
};

// Exclusive access to the calling thread's record. Hold it only for copying
// values in or out: never across a link resolution, a message box, a wait or
// a message loop. The record is made at the thread's first access and freed
// when the thread ends or StopMenuState runs.
class MenuStateAccess {
public:
    MenuStateAccess();
    ~MenuStateAccess();
    MenuStateAccess(const MenuStateAccess&) = delete;
    MenuStateAccess& operator=(const MenuStateAccess&) = delete;

    // Null while the library's state is not started, and when the record
    // could not be made (out of memory).
    MenuState* get() const { return state_; }
    MenuState* operator->() const { return state_; }
    MenuState& operator*() const { return *state_; }

private:
    MenuState* state_;
};

// Runs `f` on the thread's record under the guard; does nothing without one.
template <class F>
void WithMenuState(F&& f)
{
    MenuStateAccess state;
    if (MenuState* s = state.get()) f(*s);
}

// Records what the thread's next menu is opened on.
void RecordMenuTarget(const WString& path, vok::ContextKind kind);

// The kind of place this thread's menu was opened on; ckNone without one.
vok::ContextKind MenuContextKind();

// Frees every thread's record (at shut-down, after the library's state has
// stopped): a submenu its host menu never took down goes with it.
void StopMenuState();

} // namespace vok
