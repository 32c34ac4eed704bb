#include "Work/Navigation/ShellLaunch.h"

#include <shellapi.h>
#include <shobjidl.h>

#include <utility>

namespace vok {
namespace {

ShellLaunchRecorder g_recorder;
ShellLaunchRedirect g_redirect;

std::optional<WString> Optional(const wchar_t* text)
{
    if (!text) return std::nullopt;
    return WString(text);
}

const wchar_t* OrNull(const std::optional<WString>& text)
{
    return text ? text->c_str() : nullptr;
}

// True when a recorder took the call: nothing is to be launched.
bool Recorded(const ShellLaunchCall& call) noexcept
{
    if (!g_recorder) return false;
    try {
        g_recorder(call);
    } catch (...) {
    }
    return true;
}

// Without a process wanted, the shell may do the work on a thread of its
// own: a folder or a link on a share that has gone is parsed there, never
// holding the caller's window.
UniqueHandle Launch(const ShellLaunchCall& call, bool wantsProcess)
{
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof info;
    // Silent on failure, as ShellExecuteW is: no command reports one.
    info.fMask = SEE_MASK_FLAG_NO_UI | (wantsProcess ? SEE_MASK_NOCLOSEPROCESS : SEE_MASK_ASYNCOK);
    info.hwnd = call.Owner;
    info.lpVerb = OrNull(call.Verb);
    info.lpFile = OrNull(call.File);
    info.lpParameters = OrNull(call.Parameters);
    info.lpDirectory = OrNull(call.Directory);
    info.nShow = call.ShowCommand;
    if (!ShellExecuteExW(&info)) return UniqueHandle();
    return UniqueHandle(info.hProcess);
}

} // namespace

bool operator==(const ShellLaunchCall& a, const ShellLaunchCall& b)
{
    return a.Owner == b.Owner && a.Verb == b.Verb && a.File == b.File && a.Parameters == b.Parameters &&
           a.Directory == b.Directory && a.ShowCommand == b.ShowCommand;
}

namespace {

UniqueHandle LaunchAsked(const ShellLaunchCall& asked, bool wantsProcess) noexcept
{
    try {
        if (Recorded(asked)) return UniqueHandle();
        return Launch(g_redirect ? g_redirect(asked) : asked, wantsProcess);
    } catch (...) {
        return UniqueHandle();
    }
}

} // namespace

void ShellLaunch(HWND owner, const wchar_t* verb, const wchar_t* file, const wchar_t* parameters,
                 const wchar_t* directory, int showCommand) noexcept
{
    try {
        LaunchAsked({owner, Optional(verb), Optional(file), Optional(parameters), Optional(directory), showCommand},
                    false);
    } catch (...) {
    }
}

UniqueHandle ShellLaunchProcess(HWND owner, const wchar_t* verb, const wchar_t* file, const wchar_t* parameters,
                                const wchar_t* directory, int showCommand) noexcept
{
    try {
        return LaunchAsked(
            {owner, Optional(verb), Optional(file), Optional(parameters), Optional(directory), showCommand}, true);
    } catch (...) {
        return UniqueHandle();
    }
}

void ShellLaunchItemList(PCIDLIST_ABSOLUTE items, int showCommand) noexcept
{
    if (!g_recorder) {
        SHELLEXECUTEINFOW info = {};
        info.cbSize = sizeof info;
        info.fMask = SEE_MASK_IDLIST;
        info.lpVerb = L"open";
        info.lpIDList = const_cast<ITEMIDLIST*>(static_cast<const ITEMIDLIST*>(items));
        info.nShow = showCommand;
        ShellExecuteExW(&info);
        return;
    }
    wchar_t* name = nullptr;
    if (FAILED(SHGetNameFromIDList(items, SIGDN_DESKTOPABSOLUTEPARSING, &name))) name = nullptr;
    try {
        g_recorder(ShellLaunchCall{nullptr, WString(L"open"), Optional(name), std::nullopt, std::nullopt, showCommand});
    } catch (...) {
    }
    CoTaskMemFree(name);
}

ShellLaunchRecorder SetShellLaunchRecorder(ShellLaunchRecorder recorder)
{
    return std::exchange(g_recorder, std::move(recorder));
}

ShellLaunchRedirect SetShellLaunchRedirect(ShellLaunchRedirect redirect)
{
    return std::exchange(g_redirect, std::move(redirect));
}

} // namespace vok
