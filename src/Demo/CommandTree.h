// Windows 11's own Explorer menu as the demo shows it: the library's
// Explorer command, created by its class through the library's class
// factory as Explorer creates it from the package, asked for its state on a
// folder and read back, children and all.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <string>
#include <vector>

namespace vok::demo {

// One line per command, the children indented below the root:
//   "[vok.dll,-101] Vokmark >" then "    Music", "    ----------".
// The first line says what failed when the command could not be read.
std::vector<std::string> DescribeCommandTree(HMODULE library, const std::string& folder, IUnknown* site);

} // namespace vok::demo
