// A stand-in for the shell's window list, for a process that shows Explorer-
// style windows of its own: Wine's list, served by its explorer.exe, answers
// neither its count nor its items. Registered for CLSID_ShellWindows in this
// process's multithreaded apartment, where the library's reader asks for it;
// each window answers for its top-level browser through its site, as
// Explorer's windows do.
#pragma once

#include <windows.h>
#include <servprov.h>

#include <vector>

namespace vok::demo {

class WindowList {
public:
    // Registers the list; `delayMs` is how long every count takes to come,
    // as from an Explorer that is slow to answer.
    explicit WindowList(DWORD delayMs = 0);
    ~WindowList();
    WindowList(const WindowList&) = delete;
    WindowList& operator=(const WindowList&) = delete;

    bool Registered() const { return registered_; }
    // `site` answers for the window's browser and must outlive the list.
    void Add(IServiceProvider* site);
    void SetDelay(DWORD delayMs);

    class Object;

private:
    Object* object_;
    HANDLE stop_ = nullptr;
    HANDLE thread_ = nullptr;
    bool registered_ = false;
};

} // namespace vok::demo
