#include "Work/Navigation/RecentFolders.h"

#include "Common/LibraryThread.h"
#include "Common/Unique.h"
#include "Work/Store/Shortcuts.h"
#include "Work/Store/VolumeProbe.h"

#include <shlobj.h>

#include <algorithm>
#include <cstring>

namespace vok {

namespace {

// Spelt out, as the window list's identifiers are: FOLDERID_Recent.
constexpr GUID kRecentItemsFolder = {0xAE50C081, 0xEBD2, 0x438A, {0x86, 0x55, 0x8A, 0x09, 0x2E, 0x34, 0x98, 0x7A}};

constexpr const wchar_t* kAdvancedKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced";
constexpr const wchar_t* kPoliciesKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";

// A dialog record holds a program's name and one item list: far below this.
constexpr DWORD kMostRecordBytes = 64 * 1024;

// One reader at a time: while one is out, later menus go without.
volatile LONG g_reading = 0;

struct DatedFolder {
    ULONGLONG Time = 0;
    WString Path;
};

ULONGLONG TicksOf(const FILETIME& time)
{
    return (ULONGLONG{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

bool ReadDword(HKEY root, const wchar_t* key, const wchar_t* name, DWORD& value)
{
    DWORD size = sizeof(value);
    return RegGetValueW(root, key, name, RRF_RT_REG_DWORD, nullptr, &value, &size) == ERROR_SUCCESS;
}

std::string ValueBytes(HKEY key, const WString& name)
{
    DWORD size = 0;
    if (RegQueryValueExW(key, name.c_str(), nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS ||
        size > kMostRecordBytes)
        return std::string();
    std::string bytes(size, '\0');
    if (RegQueryValueExW(key, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&bytes[0]), &size) !=
        ERROR_SUCCESS)
        return std::string();
    bytes.resize(std::min<size_t>(size, bytes.size()));
    return bytes;
}

// A record's value name is its number in decimal.
WString NumberName(DWORD number)
{
    WString name;
    do name.insert(name.begin(), static_cast<wchar_t>(L'0' + number % 10));
    while ((number /= 10) != 0);
    return name;
}

WString PathOfItemList(const std::string& list)
{
    wchar_t path[MAX_PATH + 1] = {};
    if (!SHGetPathFromIDListW(reinterpret_cast<PCIDLIST_ABSOLUTE>(list.data()), path)) return WString();
    return path;
}

WString KnownFolderPath(const GUID& folder)
{
    PWSTR path = nullptr;
    if (FAILED(SHGetKnownFolderPath(folder, 0, nullptr, &path)) || !path) return WString();
    const ScopeExit free([path] { CoTaskMemFree(path); });
    return WString(path);
}

WString ParentOf(const WString& path)
{
    const size_t cut = path.find_last_of(L'\\');
    if (cut == WString::npos) return WString();
    return path.substr(0, cut == 2 && path[1] == L':' ? 3 : cut);
}

// The dialogs' records carry no time but their key's, that of the newest.
struct DialogRecords {
    std::vector<WString> Paths; // newest first
    ULONGLONG Time = 0;
};

DialogRecords ReadDialogRecords()
{
    DialogRecords records;
    UniqueKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kDialogRecordsKey, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
        return records;
    FILETIME written = {};
    if (RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, &written) == ERROR_SUCCESS)
        records.Time = TicksOf(written);
    std::vector<DWORD> order = DialogRecordOrder(ValueBytes(key.get(), L"MRUListEx"));
    if (order.size() > kMostDialogRecordsRead) order.resize(kMostDialogRecordsRead);
    for (const DWORD number : order) {
        const std::string list = ItemListOfDialogRecord(ValueBytes(key.get(), NumberName(number)));
        const WString path = list.empty() ? WString() : PathOfItemList(list);
        if (!path.empty()) records.Paths.push_back(path);
    }
    return records;
}

// Recent Items' links, newest first by the listing's own write times, so
// that no link is opened only to be left out.
std::vector<DatedFolder> NewestLinks(const WString& folder)
{
    std::vector<DatedFolder> links;
    WIN32_FIND_DATAW entry;
    UniqueFind find(
        FindFirstFileExW((folder + L"\\*.lnk").c_str(), FindExInfoBasic, &entry, FindExSearchNameMatch, nullptr, 0));
    if (!find) return links;
    do
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            links.push_back({TicksOf(entry.ftLastWriteTime), folder + L"\\" + entry.cFileName});
    while (FindNextFileW(find.get(), &entry));
    const size_t kept = std::min(links.size(), kMostRecentLinksRead);
    std::partial_sort(links.begin(), links.begin() + static_cast<std::ptrdiff_t>(kept), links.end(),
                      [](const DatedFolder& a, const DatedFolder& b) { return a.Time > b.Time; });
    links.resize(kept);
    return links;
}

// A link to a file stands for the file's folder. On the links' own volume the
// target is asked what it is (a gone one is left out); on any other, the
// link's record of it is taken as it stands.
WString FolderOfLink(LinkReader& reader, const WString& link)
{
    WString target;
    if (!reader.ReadRecorded(link, target) || reader.ItemListOnly() || target.empty()) return WString();
    const WString path = ExpandTargetPath(target);
    const TargetVerdict verdict = reader.Far() ? tvUnanswered : JudgeTargetPath(path);
    if (verdict == tvGone || verdict == tvVolumeAbsent) return WString();
    const FavoriteKind kind = verdict == tvUnanswered ? reader.RecordedKind()
                              : verdict == tvFolder   ? fkFolderLink
                                                      : fkFileLink;
    return kind == fkFolderLink ? path : ParentOf(path);
}

std::vector<DatedFolder> FoldersOfRecentLinks(const WString& folder)
{
    std::vector<DatedFolder> found = NewestLinks(folder);
    if (found.empty()) return found;
    LinkReader reader;
    for (DatedFolder& link : found) link.Path = FolderOfLink(reader, link.Path);
    found.erase(std::remove_if(found.begin(), found.end(), [](const DatedFolder& f) { return f.Path.empty(); }),
                found.end());
    return found;
}

// Links newer than the dialogs' newest record come first, then that record;
// the older ones of both have no times to compare, so they take turns.
std::vector<WString> NewestFirst(const std::vector<DatedFolder>& links, const DialogRecords& dialogs)
{
    std::vector<WString> order;
    size_t link = 0, dialog = 0;
    while (link < links.size() && (dialogs.Paths.empty() || links[link].Time > dialogs.Time))
        order.push_back(links[link++].Path);
    bool dialogTurn = true;
    while (link < links.size() || dialog < dialogs.Paths.size()) {
        const bool fromDialog = dialog < dialogs.Paths.size() && (dialogTurn || link == links.size());
        order.push_back(fromDialog ? dialogs.Paths[dialog++] : links[link++].Path);
        dialogTurn = !fromDialog;
    }
    return order;
}

bool AmongFolders(const std::vector<WString>& folders, const WString& path)
{
    return std::any_of(folders.begin(), folders.end(), [&path](const WString& f) { return SameFolderPath(f, path); });
}

// A dialog's folder on Recent Items' own volume is listed while it exists.
std::vector<WString> ReadRecentFolders(const WString& recentItems)
{
    const WString nearRoot = VolumeRootOf(recentItems);
    DialogRecords dialogs = ReadDialogRecords();
    const auto gone = [&nearRoot](const WString& path) { return IsNearTarget(path, nearRoot) && !FolderExists(path); };
    dialogs.Paths.erase(std::remove_if(dialogs.Paths.begin(), dialogs.Paths.end(), gone), dialogs.Paths.end());
    const std::vector<DatedFolder> links = recentItems.empty() ? std::vector<DatedFolder>()
                                                               : FoldersOfRecentLinks(recentItems);
    std::vector<WString> found;
    for (WString& path : NewestFirst(links, dialogs))
        if (!AmongFolders(found, path)) found.push_back(std::move(path));
    return found;
}

std::shared_ptr<ResultSlot<std::vector<WString>>> StartReader(WString recentItems)
{
    if (InterlockedCompareExchange(&g_reading, 1, 0) != 0) return nullptr;
    auto found = StartWithResult<std::vector<WString>>(taMulti, [recentItems = std::move(recentItems)] {
        const ScopeExit done([] { InterlockedExchange(&g_reading, 0); });
        return ReadRecentFolders(recentItems);
    });
    if (!found) InterlockedExchange(&g_reading, 0);
    return found;
}

// "MRUListEx" names a record; more than fits the first number does too.
bool AnyDialogRecord()
{
    DWORD first = 0, size = sizeof(first);
    const LSTATUS status = RegGetValueW(HKEY_CURRENT_USER, kDialogRecordsKey, L"MRUListEx", RRF_RT_REG_BINARY, nullptr,
                                        &first, &size);
    return status == ERROR_MORE_DATA || (status == ERROR_SUCCESS && size == sizeof(first) && first != 0xFFFFFFFF);
}

// Recent Items' path, asked once per process (half a millisecond under Wine,
// a tenth of a small menu), and the folder's write time when it last held no
// link: a link added or removed since writes the folder anew.
struct RecentItemsSeen {
    bool Asked = false;
    WString Path;
    ULONGLONG EmptyAt = 0;
};
SRWLOCK g_seenLock = SRWLOCK_INIT;
RecentItemsSeen g_seen;

RecentItemsSeen SeenRecentItems()
{
    AcquireSRWLockShared(&g_seenLock);
    RecentItemsSeen seen = g_seen;
    ReleaseSRWLockShared(&g_seenLock);
    if (seen.Asked) return seen;
    seen.Path = KnownFolderPath(kRecentItemsFolder);
    seen.Asked = true;
    AcquireSRWLockExclusive(&g_seenLock);
    g_seen.Path = seen.Path;
    g_seen.Asked = true;
    ReleaseSRWLockExclusive(&g_seenLock);
    return seen;
}

void RememberEmptyAt(ULONGLONG written)
{
    AcquireSRWLockExclusive(&g_seenLock);
    g_seen.EmptyAt = written;
    ReleaseSRWLockExclusive(&g_seenLock);
}

// A worker costs a menu some 10 ms under Wine before it reads anything, so
// none starts for records that hold nothing. Recent Items is looked at here
// only on the system's own disk; anywhere else (a profile on a share) the
// worker finds out.
bool MayHoldLinks(const RecentItemsSeen& seen)
{
    if (seen.Path.empty()) return false;
    wchar_t windows[MAX_PATH + 1] = {};
    if (!GetWindowsDirectoryW(windows, MAX_PATH) || !IsNearTarget(seen.Path, VolumeRootOf(windows))) return true;
    WIN32_FILE_ATTRIBUTE_DATA folder;
    if (!GetFileAttributesExW(seen.Path.c_str(), GetFileExInfoStandard, &folder)) return false;
    const ULONGLONG written = TicksOf(folder.ftLastWriteTime);
    if (written != 0 && written == seen.EmptyAt) return false;
    WIN32_FIND_DATAW entry;
    const UniqueFind find(
        FindFirstFileExW((seen.Path + L"\\*.lnk").c_str(), FindExInfoBasic, &entry, FindExSearchNameMatch, nullptr, 0));
    if (!find) RememberEmptyAt(written);
    return static_cast<bool>(find);
}

WString NameOfFolder(WString path)
{
    if (path.size() > 3 && path.back() == L'\\') path.pop_back();
    const size_t cut = path.find_last_of(L'\\');
    return path.size() <= 3 || cut == WString::npos ? path : path.substr(cut + 1);
}

} // namespace

std::string ItemListOfDialogRecord(const std::string& value)
{
    const auto unitAt = [&value](size_t at) {
        return static_cast<unsigned>(static_cast<unsigned char>(value[at])) |
               static_cast<unsigned>(static_cast<unsigned char>(value[at + 1])) << 8;
    };
    size_t at = 0;
    for (; at + 2 <= value.size() && unitAt(at) != 0; at += 2) {
    }
    at += 2; // past the name's NUL
    const size_t start = at;
    for (;;) {
        if (at + 2 > value.size()) return std::string();
        const unsigned size = unitAt(at);
        if (size == 0) return value.substr(start, at + 2 - start);
        if (size < 2 || size > value.size() - at) return std::string();
        at += size;
    }
}

std::vector<DWORD> DialogRecordOrder(const std::string& value)
{
    std::vector<DWORD> order;
    for (size_t at = 0; at + sizeof(DWORD) <= value.size(); at += sizeof(DWORD)) {
        DWORD number = 0;
        memcpy(&number, value.data() + at, sizeof(number));
        if (number == 0xFFFFFFFF) break;
        order.push_back(number);
    }
    return order;
}

bool RecentItemsTracked()
{
    DWORD value = 0;
    if (ReadDword(HKEY_CURRENT_USER, kAdvancedKey, L"Start_TrackDocs", value) && value == 0) return false;
    for (const HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
        if (ReadDword(root, kPoliciesKey, L"NoRecentDocsHistory", value) && value != 0) return false;
    return true;
}

bool SameFolderPath(const WString& a, const WString& b)
{
    const auto length = [](const WString& path) {
        const bool trailing = path.size() > 3 && path.back() == L'\\';
        return static_cast<int>(path.size() - (trailing ? 1 : 0));
    };
    return CompareStringOrdinal(a.c_str(), length(a), b.c_str(), length(b), TRUE) == CSTR_EQUAL;
}

RecentFolderReader::RecentFolderReader() : started_(GetTickCount())
{
    // The records are asked first: while both are empty, as they mostly are
    // where the history is off, no switch is read.
    RecentItemsSeen seen = SeenRecentItems();
    if ((!AnyDialogRecord() && !MayHoldLinks(seen)) || !RecentItemsTracked()) return;
    found_ = StartReader(std::move(seen.Path));
}

RecentFolderReader::~RecentFolderReader() = default;

std::vector<OpenFolder> RecentFolderReader::Collect(const std::vector<WString>& shown, DWORD boundMs)
{
    std::vector<OpenFolder> listed;
    if (!found_) return listed;
    const DWORD spent = GetTickCount() - started_;
    if (WaitForSingleObject(found_->DoneEvent(), spent < boundMs ? boundMs - spent : 0) != WAIT_OBJECT_0) return listed;
    for (const WString& path : found_->Take()) {
        if (listed.size() == kMostRecentFolders) break;
        if (AmongFolders(shown, path)) continue;
        OpenFolder folder;
        folder.Name = NameOfFolder(path);
        folder.Path = path;
        listed.push_back(std::move(folder));
    }
    return listed;
}

} // namespace vok
