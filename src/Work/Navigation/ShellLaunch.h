// The one seam around ShellExecuteExW: everything the commands hand to the shell
// goes through ShellLaunch, so that tests can record it instead of launching.
#pragma once

#include "Common/Unique.h"
#include "Common/WideString.h"

#include <windows.h>
#include <shtypes.h>

#include <functional>
#include <optional>

namespace vok {

// One call as the shell would receive it. A NULL argument stays distinct
// from an empty string.
struct ShellLaunchCall {
    HWND Owner = nullptr;
    std::optional<WString> Verb;
    std::optional<WString> File;
    std::optional<WString> Parameters;
    std::optional<WString> Directory;
    int ShowCommand = 0;
};

bool operator==(const ShellLaunchCall& a, const ShellLaunchCall& b);

using ShellLaunchRecorder = std::function<void(const ShellLaunchCall&)>;

// ShellExecuteExW, silent on failure as ShellExecuteW is, or the installed
// recorder. The result is not examined by any caller, so none is returned.
void ShellLaunch(HWND owner, const wchar_t* verb, const wchar_t* file, const wchar_t* parameters,
                 const wchar_t* directory, int showCommand) noexcept;

// ShellExecuteExW of an item list (SEE_MASK_IDLIST) with the verb "open". A
// recorder gets the verb and, as the file, the items' parsing name.
void ShellLaunchItemList(PCIDLIST_ABSOLUTE items, int showCommand) noexcept;

// ShellExecuteExW, keeping the started process: the process, or null when
// the shell tells none (a document handed to a running program, a failed
// start) or a recorder is installed.
UniqueHandle ShellLaunchProcess(HWND owner, const wchar_t* verb, const wchar_t* file, const wchar_t* parameters,
                                const wchar_t* directory, int showCommand) noexcept;

// For tests: while a recorder is installed nothing is launched. Pass an
// empty recorder to launch again. Returns the one installed before.
ShellLaunchRecorder SetShellLaunchRecorder(ShellLaunchRecorder recorder);

// For tests: the shell gets each call as `redirect` rewrites it, so that a
// stand-in program of the test's starts where the system's would. Returns
// the one installed before; an empty one launches calls as they are.
using ShellLaunchRedirect = std::function<ShellLaunchCall(const ShellLaunchCall&)>;
ShellLaunchRedirect SetShellLaunchRedirect(ShellLaunchRedirect redirect);

} // namespace vok
