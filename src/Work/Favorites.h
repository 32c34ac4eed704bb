// The favourites folder and the sorted, self-cleaning list of favourite names.
#pragma once

#include "Work/ExtensionState.h"

#include <string>
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

// Rebuilds FavoriteNames from the favourites folder, deleting ".lnk" files
// whose targets are truly gone, and decides FlatMenu.
void RefreshFavorites();

// One pass over FavoritesDir + pattern ("*.lnk" or "*.url"): appends the names
// to list to `names` and prunes dead links.
void ScanFavorites(const std::string& favoritesDir, const char* pattern, std::vector<std::string>& names);

// Whether a folder entry with these attributes takes part in the scan at all.
// Only the classic attribute bits are accepted (read-only, hidden, system,
// volume label, folder, archive); an entry with any other bit is neither
// listed nor deleted.
bool IsFavoriteEntry(DWORD attributes);

// Sorts favourite names by the user's locale, ignoring letter case; names
// equal that way are ordered case-sensitively, and exact duplicates keep
// their order (a ".lnk" name before the ".url" of the same name).
void SortFavoriteNames(std::vector<std::string>& names);

// The root ("D:\") of the first CD-ROM drive, or the empty string.
std::string FindFirstCdromRoot();

// The ".lnk" of the first favourite, in list order, whose target is exactly
// TargetPath (case-sensitive, whole string); empty when there is none.
std::string FindTargetFavoriteLink();

// True when a favourite's ".lnk" resolves exactly to TargetPath.
bool IsTargetFavorite();

} // namespace vok
