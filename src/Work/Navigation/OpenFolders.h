// The folders shown in the user's Explorer windows, read from the shell's
// window list. That list is Explorer's, across processes: it is read on a
// worker of the library's own, in the multithreaded apartment, and a menu
// waits for it only so long. A hung Explorer costs a menu its open folders,
// never its dialog.
#pragma once

#include "Common/LibraryThread.h"
#include "Common/WideString.h"

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace vok {

struct OpenFolder {
    WString Name;          // the folder's display name
    WString Path;          // its file-system path; empty for a folder without one
    std::string IdList;    // its absolute item list, as bytes
    HWND Window = nullptr; // the top-level Explorer window showing it
};

constexpr size_t kMostOpenFolders = 10;
constexpr DWORD kOpenFoldersBoundMs = 100;

// Starts reading the window list at construction, so that the menu's other
// work runs meanwhile; the window `exclude` (the menu's own) is left out. No
// worker when no Explorer window but that one is open, and one at a time
// per process: while one is still out (Explorer not answering), later menus
// go without.
class OpenFolderReader {
public:
    explicit OpenFolderReader(HWND exclude);
    ~OpenFolderReader();
    OpenFolderReader(const OpenFolderReader&) = delete;
    OpenFolderReader& operator=(const OpenFolderReader&) = delete;

    // The folders, most recently active window first, each once, at most
    // kMostOpenFolders; folders without a path only when `pathless`. Empty when the list has not come within
    // `boundMs` of the start. Incoming calls of the caller's apartment are
    // served meanwhile: the list may be served by its own thread.
    std::vector<OpenFolder> Collect(bool pathless, DWORD boundMs = kOpenFoldersBoundMs);

private:
    std::shared_ptr<ResultSlot<std::vector<OpenFolder>>> found_;
    DWORD started_ = 0;
};

} // namespace vok
