// The favourites folder's sorted, self-cleaning list of favourites.
#pragma once

#include "Work/Store/Shortcuts.h"
#include "Work/Store/VolumeProbe.h"

#include <vector>

namespace vok {

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

// Whether a selected item is a folder, without keeping the caller waiting on
// a slow or offline volume: asked on the caller's thread only on the
// favourites folder's own volume (the string rule of IsNearTarget); a
// drive's or a share's root is a folder without asking; anywhere else the
// volume's worker asks, within kVolumeWaitMs, and no answer by then counts
// as no folder, as for a path that does not answer.
bool IsFolderWithinBound(const WString& path, const WString& favoritesDir);

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

// The ".lnk" of the first favourite, in list order, whose target is exactly
// `targetPath` (case-sensitive, whole string); empty when there is none.
// Read now: a link added or changed since the menu was built counts.
WString FindFavoriteLinkTo(const WString& favoritesDir, const WString& targetPath);

// Whether a favourite of a list just read leads exactly to `targetPath`.
bool IsTargetFavorite(const std::vector<Favorite>& favorites, const WString& targetPath);

} // namespace vok
