#include "Work/Store/Shortcuts.h"

#include "Common/Unique.h"
#include "Work/Store/ByteStream.h"
#include "Work/Store/LinkFile.h"
#include "Work/Store/UrlText.h"
#include "Work/Store/Wow64.h"

#include <shlobj.h>
#include <wrl/client.h>

using Microsoft::WRL::ComPtr;

namespace vok {
namespace {

// Whole-file read for small text files; false when the file cannot be
// opened or read, or is larger than `limit`.
bool ReadSmallFile(const WString& path, DWORD limit, std::string& content)
{
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > limit) return false;
    content.assign(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!content.empty() && !ReadFile(file.get(), &content[0], static_cast<DWORD>(content.size()), &read, nullptr))
        return false;
    content.resize(read);
    return true;
}

// Attributes answer both existence tests without listing the folder (a
// search handle costs many times more, and every menu asks once per
// favourite). Wildcards never match: a path is taken as it stands.
DWORD AttributesOf(const WString& path)
{
    if (path.empty() || path.find_first_of(L"*?") != WString::npos) return INVALID_FILE_ATTRIBUTES;
    return GetFileAttributesW(path.c_str());
}

bool PathHasAttributes(const WString& path, bool folder)
{
    const DWORD attributes = AttributesOf(path);
    return attributes != INVALID_FILE_ATTRIBUTES && ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) == folder;
}

// GetPath fills at most this much of its buffer: a path that reaches it may
// have been cut.
constexpr size_t kLongestWholePath = MAX_PATH - 1;

} // namespace

LinkReader::LinkReader() noexcept
{
    // __uuidof, not CLSID_ShellLink: the named constant lives in one object
    // with every GUID of the platform (35 KiB) that the linker cannot split.
    if (FAILED(CoCreateInstance(__uuidof(ShellLink), nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&link_)))) return;
    if (FAILED(link_.As(&stream_))) stream_.Reset();
}

bool LinkReader::Read(const WString& linkPath, WString& target)
{
    target.clear();
    far_ = itemListOnly_ = false;
    if (!Ready()) return false;
    // The system's loader trusts the sizes inside the file, so a damaged one
    // must not reach it; and the bytes checked are the bytes loaded, read
    // from the disk once.
    bytes_.clear();
    if (!ReadSmallFile(linkPath, kMaxLinkFileSize, bytes_) || !IsWellFormedLink(bytes_) || !Load(bytes_)) return false;
    const WString nearRoot = VolumeRootOf(linkPath);
    if (!ReadStoredPath(target)) return false;
    if (target.empty() && HasItemList(bytes_)) return itemListOnly_ = true;
    if (!IsNearTarget(ExpandTargetPath(target), nearRoot)) return far_ = true;
    if (target.size() >= kLongestWholePath) return true;
    // No SLR_UPDATE: resolving must never write the favourite back.
    link_->Resolve(nullptr, kResolveFlags);
    WString resolved;
    if (!ReadStoredPath(resolved)) return false;
    if (resolved != target) {
        target = std::move(resolved);
        far_ = !IsNearTarget(ExpandTargetPath(target), nearRoot);
    }
    return true;
}

bool LinkReader::ReadResolved(const std::string& bytes, WString& target)
{
    target.clear();
    bytes_ = bytes;
    if (!Ready() || !Load(bytes_)) return false;
    if (!ReadStoredPath(target)) return false;
    // A path too long for the link object is taken as recorded.
    if (target.size() >= kLongestWholePath) return true;
    link_->Resolve(nullptr, kResolveFlags);
    return ReadStoredPath(target);
}

bool LinkReader::ReadRecorded(const WString& linkPath, WString& target)
{
    target.clear();
    far_ = itemListOnly_ = false;
    bytes_.clear();
    if (!Ready() || !ReadSmallFile(linkPath, kMaxLinkFileSize, bytes_) || !IsWellFormedLink(bytes_) || !Load(bytes_) ||
        !ReadStoredPath(target))
        return false;
    if (target.empty() && HasItemList(bytes_)) return itemListOnly_ = true;
    far_ = !IsNearTarget(ExpandTargetPath(target), VolumeRootOf(linkPath));
    return true;
}

bool LinkReader::Load(const std::string& bytes)
{
    ByteStream memory(bytes);
    return SUCCEEDED(stream_->Load(&memory));
}

bool LinkReader::ReadStoredPath(WString& target)
{
    wchar_t buffer[MAX_PATH + 1] = {};
    // No find-data record: nothing reads it, and filling it costs more than
    // the rest of the read.
    link_->GetPath(buffer, MAX_PATH, nullptr, SLGP_RAWPATH);
    target = buffer;
    if (target.size() >= kLongestWholePath) return ReadWholePath(target);
    // No path holds a "?": this one came back through the ANSI code page
    // (Wine keeps a link's location record in ANSI only). The link's item
    // list names the target exactly; without it the link counts as unread,
    // never as dead.
    if (target.find(L'?') != WString::npos) return ReadItemListPath(target);
    return true;
}

// A cut path would be judged gone: the whole one comes from the link's own
// location record, and a link that has none there counts as unread.
bool LinkReader::ReadWholePath(WString& target)
{
    RecordedText recorded;
    if (!RecordedTargetPath(bytes_, recorded)) return false;
    WString whole = WideOfRecorded(recorded);
    if (whole.size() < target.size() || whole.compare(0, target.size(), target) != 0) return false;
    target = std::move(whole);
    return true;
}

FavoriteKind LinkReader::RecordedKind() const
{
    return (RecordedTargetAttributes(bytes_) & FILE_ATTRIBUTE_DIRECTORY) ? fkFolderLink : fkFileLink;
}

bool LinkReader::ReadItemListPath(WString& target)
{
    target.clear();
    const UniqueIdList items = ItemList();
    wchar_t buffer[MAX_PATH + 1] = {};
    if (!items || !SHGetPathFromIDListW(items.get(), buffer) || !buffer[0]) return false;
    target = buffer;
    return true;
}

UniqueIdList LinkReader::ItemList() const
{
    PIDLIST_ABSOLUTE items = nullptr;
    if (!Ready() || FAILED(link_->GetIDList(&items))) return UniqueIdList();
    return UniqueIdList(items);
}

UniqueIdList ReadLinkItemList(const WString& linkPath)
{
    LinkReader reader;
    WString target;
    return reader.Read(linkPath, target) ? reader.ItemList() : UniqueIdList();
}

WString ItemListLinkName(const WString& linkPath)
{
    const UniqueIdList items = ReadLinkItemList(linkPath);
    wchar_t* name = nullptr;
    if (!items || FAILED(SHGetNameFromIDList(items.get(), SIGDN_NORMALDISPLAY, &name)) || !name) return WString();
    WString result(name);
    CoTaskMemFree(name);
    return result;
}

bool ReadLinkTarget(const WString& linkPath, WString& target)
{
    LinkReader reader;
    return reader.Read(linkPath, target);
}

WString GetLinkTarget(const WString& linkPath)
{
    WString target;
    ReadLinkTarget(linkPath, target);
    return target;
}

std::string GetShortcutUrl(const WString& urlPath)
{
    std::string text;
    if (!ReadSmallFile(urlPath, kMaxUrlFileSize, text)) return std::string();
    return UrlFromShortcutText(text);
}

namespace {

// A target on another volume is what its link records: asking would wait.
// A root or a server is a folder by its name alone (Windows answers no file
// call for a server). Anything the volume answers without proof is also what
// its link records; only a proven absence is fkNone.
FavoriteKind KindOfTarget(const FavoriteInspection& found, const LinkReader& reader)
{
    if (!found.LinkRead) return fkNone;
    if (reader.ItemListOnly()) return fkItemListLink;
    // A link to nothing in the file system that has no item list either.
    if (found.Path.empty()) return fkNone;
    if (IsFolderByName(found.Path)) return fkFolderLink;
    if (found.Far) return reader.RecordedKind();
    switch (JudgeTargetPath(found.Path)) {
    case tvFolder: return fkFolderLink;
    case tvFile: return fkFileLink;
    case tvUnanswered: return reader.RecordedKind();
    default: return fkNone;
    }
}

} // namespace

WString WideOfRecorded(const RecordedText& text)
{
    if (!text.IsWide) return WideOf(text.Ansi);
    return WString(text.Wide.begin(), text.Wide.end());
}

FavoriteInspection InspectLink(const WString& linkPath, LinkReader& reader)
{
    FavoriteInspection result;
    result.HasLink = true;
    result.LinkRead = reader.Read(linkPath, result.Target);
    result.Path = ExpandTargetPath(result.Target);
    result.Far = reader.Far();
    result.Kind = KindOfTarget(result, reader);
    return result;
}

FavoriteInspection InspectFavorite(const WString& favoritesDir, const WString& name, LinkReader& reader)
{
    const WString base = favoritesDir + name;
    if (FileExists(base + L".lnk")) return InspectLink(base + L".lnk", reader);
    FavoriteInspection result;
    if (FileExists(base + L".url")) result.Kind = fkInternetShortcut;
    return result;
}

WString ExpandTargetPath(const WString& target)
{
    if (target.find(L'%') == WString::npos) return target;
    const DWORD size = ExpandEnvironmentStringsW(target.c_str(), nullptr, 0);
    if (size == 0) return target;
    WString expanded(size, L'\0');
    const DWORD written = ExpandEnvironmentStringsW(target.c_str(), &expanded[0], size);
    if (written == 0 || written > size) return target; // the environment changed meanwhile
    expanded.resize(wcslen(expanded.c_str()));
    return expanded;
}

FavoriteInspection InspectFavorite(const WString& favoritesDir, const WString& name)
{
    LinkReader reader;
    return InspectFavorite(favoritesDir, name, reader);
}

bool FileExists(const WString& path)
{
    return PathHasAttributes(path, false);
}

bool FolderExists(const WString& path)
{
    return PathHasAttributes(path, true);
}

} // namespace vok
