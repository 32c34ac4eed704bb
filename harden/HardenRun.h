// What the modes of harden.exe share: the exit code of a finding, the figure
// lines the script adds up, a registered scratch installation and a menu on
// it. Each mode is one function that returns the process's exit code.
#pragma once

#include "TestSupport.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace vok::harden {

// A batch that found a wrong result or a lost file ends with this code.
constexpr int kFindingExit = 2;

// One "name: value" line of standard output.
void Figure(const char* name, unsigned long long value);

bool StillThere(const std::string& path);

// A scratch installation, registered: `dir`\Data a folder, `dir`\report.txt
// a file, `dir`\inst the installation folder with its empty Favorites.
struct Installation {
    explicit Installation(const char* name);
    // A folder link, a file link and an Internet shortcut: favourites that
    // must outlive whatever is tried beside them.
    std::vector<std::string> MakeLiveFavorites(const std::string& prefix) const;
    static constexpr const char* kUrlText = "[InternetShortcut]\r\nURL=http://example.invalid/\r\n\r\n";

    test::VokKeyReset registry;
    test::ScratchDir dir;
    const std::string favorites;
};

// A folder background menu on `targetPath` through the handler's operations,
// in a host menu holding one item; the number of items it added.
int BuildMenu(const std::string& targetPath);

// The modes kept in files of their own (Harden.cpp holds the rest, and main).

// HardenFaults.cpp. "folders": the favourites folder missing or a file, names
// of 255 characters and outside the ANSI code page, and `many` generated
// favourites in one menu (0: none).
int RunFolders(int many);
// "faults": no COM, locked, read-only and absent-volume links, the folder or a
// favourite vanishing between a menu and its command, the About window's
// store failing.
int RunFaults();
// HardenLoad.cpp: `cycles N`, vok.dll loaded, used (a navigation that leaves
// a restore pending) and unloaded N times, its unload answers and resources
// checked; `threads ROUNDS`, two threads in apartments of their own building
// menus and running commands on one favourites folder through one loaded
// vok.dll, every menu's list judged.
int RunCycles(int cycles);
int RunThreads(uint64_t rounds);

} // namespace vok::harden
