#include "Work/ShellLaunch.h"

#include <shellapi.h>

#include <utility>

namespace vok {
namespace {

ShellLaunchRecorder g_recorder;

std::optional<std::string> Optional(const char* text)
{
    if (!text) return std::nullopt;
    return std::string(text);
}

} // namespace

bool operator==(const ShellLaunchCall& a, const ShellLaunchCall& b)
{
    return a.Owner == b.Owner && a.Verb == b.Verb && a.File == b.File && a.Parameters == b.Parameters &&
           a.Directory == b.Directory && a.ShowCommand == b.ShowCommand;
}

void ShellLaunch(HWND owner, const char* verb, const char* file, const char* parameters, const char* directory,
                 int showCommand) noexcept
{
    if (!g_recorder) {
        ShellExecuteA(owner, verb, file, parameters, directory, showCommand);
        return;
    }
    try {
        g_recorder(ShellLaunchCall{owner, Optional(verb), Optional(file), Optional(parameters), Optional(directory),
                                   showCommand});
    } catch (...) {
    }
}

ShellLaunchRecorder SetShellLaunchRecorder(ShellLaunchRecorder recorder)
{
    return std::exchange(g_recorder, std::move(recorder));
}

} // namespace vok
