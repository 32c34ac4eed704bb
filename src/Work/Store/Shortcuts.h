// Reading favourite shortcut files: shell links (".lnk") and Internet
// shortcuts (".url"), and the kind of favourite a name stands for.
#pragma once

#include "Common/Unique.h"
#include "Common/WideString.h"
#include "Work/Store/LinkFile.h"
#include "Work/Store/VolumeProbe.h"

#include <windows.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include <string>

namespace vok {

enum FavoriteKind : BYTE {
    fkNone = 0,             // no usable shortcut: dead ".lnk", or no file at all
    fkFileLink = 1,         // ".lnk" to an existing file
    fkFolderLink = 2,       // ".lnk" to an existing folder
    fkInternetShortcut = 3, // no ".lnk", but a ".url"
    fkItemListLink = 4,     // ".lnk" to an item list with no path: never judged dead
};

// A ".url" file larger than this is not an Internet shortcut; it is never
// read into the host's memory.
constexpr DWORD kMaxUrlFileSize = 64 * 1024;

// The target path stored in a shell link (environment references left as
// they are), or the empty string on any failure.
WString GetLinkTarget(const WString& linkPath);

// Like GetLinkTarget, but tells a link that was read (its target, possibly
// empty, is in `target`) from one that could not be read at all: no COM on
// this thread, or a file that is locked, unreadable or not a link. A favourite
// must never be deleted on the strength of an unread link.
bool ReadLinkTarget(const WString& linkPath, WString& target);

// One shell link object, created on the calling thread and reused for every
// link that one call reads: creating the object costs more than reading a
// link, and a menu reads every favourite.
class LinkReader {
public:
    LinkReader() noexcept;
    LinkReader(const LinkReader&) = delete;
    LinkReader& operator=(const LinkReader&) = delete;

    // False when the object could not be made (no COM on this thread): then
    // no link can be read, and none may be judged.
    bool Ready() const { return stream_ != nullptr; }

    // ReadLinkTarget through this object. A link that fails to load yields
    // nothing: the object still holds the previous link, whose target must
    // not pass for this one's. A target on a volume other than the link's
    // own (IsNearTarget) is neither resolved nor tested: it is the target as
    // the link stores it, and Far() says so until the next Read.
    bool Read(const WString& linkPath, WString& target);

    bool Far() const { return far_; }
    // The last link holds an item list and no path ("This PC", a library, a
    // phone): read without resolving, and never judged, since binding its
    // items may wait on the network.
    bool ItemListOnly() const { return itemListOnly_; }
    // The last link's item list, as resolved: names its target without
    // asking the target's volume. Null when it has none.
    UniqueIdList ItemList() const;
    // The kind of target the last link's header records: folder or file.
    FavoriteKind RecordedKind() const;
    // The last link file's bytes, for a worker to judge the link from.
    std::string TakeBytes() { return std::move(bytes_); }
    const std::string& Bytes() const { return bytes_; }

    // The resolved target of a link from its file's bytes, already checked
    // by a Read: on a worker, where its volume may take its time.
    bool ReadResolved(const std::string& bytes, WString& target);

    // Read as the link records it, never resolved, as the system's own links
    // are read (Recent Items): a missing target would start a search.
    bool ReadRecorded(const WString& linkPath, WString& target);

private:
    bool Load(const std::string& bytes);
    bool ReadStoredPath(WString& target);
    bool ReadItemListPath(WString& target);
    bool ReadWholePath(WString& target);

    Microsoft::WRL::ComPtr<IShellLinkW> link_;
    Microsoft::WRL::ComPtr<IPersistStream> stream_;
    std::string bytes_;
    bool far_ = false;
    bool itemListOnly_ = false;
};

// The item list of a link; null when the link cannot be read or has none.
UniqueIdList ReadLinkItemList(const WString& linkPath);

// The name the shell shows for such a link's target ("This PC"); empty
// when there is none.
WString ItemListLinkName(const WString& linkPath);

// The URL of an Internet shortcut of exactly three lines, the first
// "[InternetShortcut]"; the empty string for anything else. The URL is the
// file's own bytes: the file is 8-bit text.
std::string GetShortcutUrl(const WString& urlPath);

// A link target with its environment references ("%USERPROFILE%\Documents",
// kept as typed by the Create Shortcut wizard) expanded; the target itself
// when it has none, or when they cannot be expanded.
WString ExpandTargetPath(const WString& target);

// What a favourite name stands for, judged by its files in `favoritesDir`.
struct FavoriteInspection {
    FavoriteKind Kind = fkNone;
    bool HasLink = false;  // the name has a ".lnk" file
    bool LinkRead = false; // ... which could be read; Target is then its target
    WString Target;        // as stored in the link: what the user is shown
    WString Path;          // Target as the system finds it: what is tested and opened
    bool Far = false;      // on another volume than the link's: Kind is what the link records
};
FavoriteInspection InspectFavorite(const WString& favoritesDir, const WString& name);
FavoriteInspection InspectFavorite(const WString& favoritesDir, const WString& name, LinkReader& reader);
// A ".lnk" just listed: read as it stands, without asking first whether it
// is there (one file call less per favourite in every menu). One that went
// away since is unread, and kept.
FavoriteInspection InspectLink(const WString& linkPath, LinkReader& reader);

// Existence tests shared by the store and the commands. The empty path
// exists as neither; a folder never exists as a file.
bool FileExists(const WString& path);
bool FolderExists(const WString& path);

// A text a link file records, as the system's strings hold it.
WString WideOfRecorded(const RecordedText& text);

} // namespace vok
