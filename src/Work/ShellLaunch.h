// The one seam around ShellExecuteA: everything the commands hand to the shell
// goes through ShellLaunch, so that tests can record it instead of launching.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

namespace vok {

// One call as the shell would receive it. A NULL argument stays distinct
// from an empty string.
struct ShellLaunchCall {
    HWND Owner = nullptr;
    std::optional<std::string> Verb;
    std::optional<std::string> File;
    std::optional<std::string> Parameters;
    std::optional<std::string> Directory;
    int ShowCommand = 0;
};

bool operator==(const ShellLaunchCall& a, const ShellLaunchCall& b);

using ShellLaunchRecorder = std::function<void(const ShellLaunchCall&)>;

// ShellExecuteA, or the installed recorder. The result is not examined by
// any caller, so none is returned.
void ShellLaunch(HWND owner, const char* verb, const char* file, const char* parameters, const char* directory,
                 int showCommand) noexcept;

// For tests: while a recorder is installed nothing is launched. Pass an
// empty recorder to launch again. Returns the one installed before.
ShellLaunchRecorder SetShellLaunchRecorder(ShellLaunchRecorder recorder);

} // namespace vok
