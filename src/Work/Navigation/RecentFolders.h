// The folders the user was just in, from the system's own records: the file
// dialogs' last folder of each program (LastVisitedPidlMRU) and the links of
// the Recent Items folder. Both are read on a worker of the library's own,
// within the open folders' bound, and never written: they are the system's
// records, not the user's list.
#pragma once

#include "Common/LibraryThread.h"
#include "Common/WideString.h"
#include "Work/Navigation/OpenFolders.h"

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace vok {

constexpr size_t kMostRecentFolders = 5;
// Recent Items holds a link per document ever opened: only the newest are read.
constexpr size_t kMostRecentLinksRead = 20;
constexpr size_t kMostDialogRecordsRead = 32;

constexpr const wchar_t* kDialogRecordsKey =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ComDlg32\\LastVisitedPidlMRU";

// The absolute item list of one dialog record, as bytes with its terminator:
// the value holds the program's file name in UTF-16 ending in NUL, then the
// list. Empty when the value ends before the name's NUL, an item runs past
// the value's end, or the list has no terminator within it.
std::string ItemListOfDialogRecord(const std::string& value);

// The record numbers of "MRUListEx", newest first: DWORDs up to 0xFFFFFFFF
// or to the value's end, a part of a DWORD there left out.
std::vector<DWORD> DialogRecordOrder(const std::string& value);

// False when the user has turned off the tracking of recent items
// ("Start_TrackDocs" 0) or a policy forbids it (NoRecentDocsHistory).
bool RecentItemsTracked();

// Whether two paths name the same folder: letter case and a trailing
// backslash aside.
bool SameFolderPath(const WString& a, const WString& b);

// Starts reading both records at construction, unless the user keeps no
// history or neither record holds anything; one worker at a time per
// process, as for the open folders. A
// folder on the volume of Recent Items is listed while it exists; one on any
// other volume (a share, another drive) as recorded, without asking it.
class RecentFolderReader {
public:
    RecentFolderReader();
    ~RecentFolderReader();
    RecentFolderReader(const RecentFolderReader&) = delete;
    RecentFolderReader& operator=(const RecentFolderReader&) = delete;

    // The folders, newest first, each once, none naming a folder of `shown`,
    // at most kMostRecentFolders; as open folders without a window or item
    // list. Empty when the records have not been read within `boundMs` of
    // the start.
    std::vector<OpenFolder> Collect(const std::vector<WString>& shown, DWORD boundMs = kOpenFoldersBoundMs);

private:
    std::shared_ptr<ResultSlot<std::vector<WString>>> found_;
    DWORD started_ = 0;
};

} // namespace vok
