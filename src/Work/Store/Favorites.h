// The favourites folder and the sorted, self-cleaning list of favourite names.
#pragma once

#include "Work/ExtensionState.h"
#include "Work/Store/Shortcuts.h"
#include "Work/Store/VolumeProbe.h"

#include <vector>

namespace vok {

// Reads "Install Folder" into InstallDir and FavoritesDir of a state that is
// being set up. Returns false when the installation is missing (the key does
// not open); FavoritesDir then stays empty and the menu stays off. A value of
// a type other than a string leaves FavoritesDir empty too, without a message.
bool LoadInstallFolder(ExtensionState& state);

// Tells the user that the installation is missing. Modal: never call it while
// holding anything another thread may wait for.
void ShowMissingInstallationMessage();

// The missing-installation message, exactly as shown.
extern const char* const kMissingInstallationText;
extern const char* const kMissingInstallationCaption;

// A listed favourite and the target its ".lnk" gave when the list was read
// (empty for an Internet shortcut).
struct Favorite {
    WString Name;
    WString Target;
    // What the scan found it to be: its target's kind as its volume answered,
    // or as its link records it where the volume did not answer in time.
    FavoriteKind Kind = fkNone;
};

// Reads the favourites folder: one pass for "*.lnk", one for "*.url", each
// link read once with one link object, sorted. A link proven dead goes to
// the Recycle Bin after the list is made (never one that could not be read,
// nor one whose target's volume refused or failed to answer, nor one whose
// volume is not there). Names are read as the folder holds them, in any
// script; a file that its name does not reach (a path past MAX_PATH) is
// neither listed nor pruned. A link whose target lies on another volume than
// the folder's is judged on a worker (VolumeProbe), within kVolumeWaitMs for
// all of them together; one not judged by then is listed as the link records
// it, and kept. Unless `mayWait`: then no worker starts, such a link is
// listed as it records itself at once, and nothing is pruned.
std::vector<Favorite> ScanFavoritesFolder(const WString& favoritesDir, bool mayWait = true);

// Rebuilds FavoriteNames from the favourites folder and decides FlatMenu.
// Returns the list with the targets just read, so that the caller need not
// read any link again.
std::vector<Favorite> RefreshFavorites(bool mayWait = true);

// Whether a selected item is a folder, without keeping the caller waiting on
// a slow or offline volume: asked on the caller's thread only on the
// favourites folder's own volume (the string rule of IsNearTarget); a
// drive's or a share's root is a folder without asking; anywhere else the
// volume's worker asks, within kVolumeWaitMs, and no answer by then counts
// as no folder, as for a path that does not answer.
bool IsFolderWithinBound(const WString& path);

// Whether a folder entry with these attributes takes part in the scan at all.
// Every entry does (a backup tool's cleared archive bit, a compressed or
// not-indexed folder, a file OneDrive pinned) except one that must be fetched
// before it can be read (offline, recalled on open or on data access): it is
// neither listed nor deleted.
bool IsFavoriteEntry(DWORD attributes);

// Sorts favourite names by the user's locale, ignoring letter case; names
// equal that way are ordered case-sensitively, and exact duplicates keep
// their order (a ".lnk" name before the ".url" of the same name).
void SortFavoriteNames(std::vector<WString>& names);
void SortFavorites(std::vector<Favorite>& favorites);

// The root ("D:\") of the first CD-ROM drive, or the empty string.
WString FindFirstCdromRoot();

// The ".lnk" of the first favourite, in list order, whose target is exactly
// TargetPath (case-sensitive, whole string); empty when there is none.
WString FindTargetFavoriteLink();

// True when a favourite's ".lnk" resolves exactly to TargetPath.
bool IsTargetFavorite();

// The same question answered from a list just read, without reading links.
bool IsTargetFavorite(const std::vector<Favorite>& favorites, const WString& targetPath);

} // namespace vok
