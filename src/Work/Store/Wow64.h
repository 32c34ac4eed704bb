// The 32-bit library in a 32-bit program on 64-bit Windows (WOW64): the file
// system redirector answers "C:\Windows\System32\..." from SysWOW64, and
// environment references expand to the 32-bit folders ("%ProgramFiles%" is
// "C:\Program Files (x86)" there), so a live favourite can look dead.
#pragma once

#include "Common/WideString.h"

#include <windows.h>

namespace vok {

// True in a 32-bit process on 64-bit Windows; never in the x86_64 library.
bool RunsUnderWow64();

// For tests, which no WOW64 machine runs: `probe` answers RunsUnderWow64
// instead of the system; null gives the system's answer again. Returns the
// probe that was set before.
using Wow64Probe = bool (*)();
Wow64Probe SetWow64Probe(Wow64Probe probe);

// File-system redirection off for this thread while it lives, under WOW64
// only, so that a target is tested where the user's 64-bit programs find it.
// Hold it around an existence test and nothing else: the system's own DLLs
// load through the same redirection.
class Wow64RedirectionOff {
public:
    Wow64RedirectionOff() noexcept;
    ~Wow64RedirectionOff();
    Wow64RedirectionOff(const Wow64RedirectionOff&) = delete;
    Wow64RedirectionOff& operator=(const Wow64RedirectionOff&) = delete;

private:
    void* previous_ = nullptr;
    bool off_ = false;
};

// Whether a link whose target was not found may be deleted. Under WOW64 a
// stored target with environment references expands to the 32-bit view's
// folders and may name a folder of the other view: such a link is kept.
bool MayDeleteDeadLink(const WString& storedTarget);

} // namespace vok
