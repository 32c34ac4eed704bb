// The product's registry key under HKEY_CURRENT_USER and its values.
#pragma once

#include "Common/LibraryError.h"

namespace vok {

// A value of the product's own could not be stored: the switch, or the
// approval of the handler at registration.
class ERegistryException : public ELibraryError {
public:
    using ELibraryError::ELibraryError;
};

constexpr const char* kVokKey = "Software\\VOK";
constexpr const char* kInstallFolderValue = "Install Folder"; // written by the installer
// The same name, for reading the folder as it is stored, in any script.
constexpr const wchar_t* kInstallFolderValueW = L"Install Folder";
constexpr const char* kStatusValue = "Status";

} // namespace vok
