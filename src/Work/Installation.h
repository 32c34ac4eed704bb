// Where the library is installed: "Install Folder" under the VOK key, and
// the favourites folder inside it.
#pragma once

#include "Common/WideString.h"

namespace vok {

// Reads "Install Folder" into `installDir` (ending in "\") and `favoritesDir`
// (installDir + "Favorites\"). Returns false when the installation is missing
// (the key does not open); the folders then stay empty and the menu stays
// off. A value of a type other than a string leaves them empty too, without
// a message.
bool LoadInstallFolder(WString& installDir, WString& favoritesDir);

// Tells the user that the installation is missing. Modal: never call it while
// holding anything another thread may wait for.
void ShowMissingInstallationMessage();

// The missing-installation message, exactly as shown.
extern const char* const kMissingInstallationText;
extern const char* const kMissingInstallationCaption;

} // namespace vok
