#include "Work/Store/Wow64.h"

#include <atomic>

namespace vok {
namespace {

std::atomic<Wow64Probe> g_probe{nullptr};
// The system's answer, -1 until asked: a process never changes its kind. Not
// a function's static: its guard would cost the runtime's lock handles,
// which outlive every unload of the library.
std::atomic<int> g_systemWow64{-1};

bool SystemSaysWow64()
{
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

} // namespace

bool RunsUnderWow64()
{
    if (const Wow64Probe probe = g_probe.load()) return probe();
    int known = g_systemWow64.load();
    if (known < 0) {
        known = SystemSaysWow64() ? 1 : 0;
        g_systemWow64.store(known);
    }
    return known != 0;
}

Wow64Probe SetWow64Probe(Wow64Probe probe)
{
    return g_probe.exchange(probe);
}

Wow64RedirectionOff::Wow64RedirectionOff() noexcept
{
    if (RunsUnderWow64()) off_ = Wow64DisableWow64FsRedirection(&previous_) != FALSE;
}

Wow64RedirectionOff::~Wow64RedirectionOff()
{
    // On the same thread, as the redirection is the thread's.
    if (off_) Wow64RevertWow64FsRedirection(previous_);
}

bool MayDeleteDeadLink(const WString& storedTarget)
{
    return !(RunsUnderWow64() && storedTarget.find(L'%') != WString::npos);
}

} // namespace vok
