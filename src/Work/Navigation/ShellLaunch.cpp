#include "Work/Navigation/ShellLaunch.h"

#include <shellapi.h>
#include <shobjidl.h>

#include <utility>

namespace vok {
namespace {

ShellLaunchRecorder g_recorder;

std::optional<WString> Optional(const wchar_t* text)
{
    if (!text) return std::nullopt;
    return WString(text);
}

} // namespace

bool operator==(const ShellLaunchCall& a, const ShellLaunchCall& b)
{
    return a.Owner == b.Owner && a.Verb == b.Verb && a.File == b.File && a.Parameters == b.Parameters &&
           a.Directory == b.Directory && a.ShowCommand == b.ShowCommand;
}

void ShellLaunch(HWND owner, const wchar_t* verb, const wchar_t* file, const wchar_t* parameters,
                 const wchar_t* directory, int showCommand) noexcept
{
    if (!g_recorder) {
        ShellExecuteW(owner, verb, file, parameters, directory, showCommand);
        return;
    }
    try {
        g_recorder(ShellLaunchCall{owner, Optional(verb), Optional(file), Optional(parameters), Optional(directory),
                                   showCommand});
    } catch (...) {
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

} // namespace vok
