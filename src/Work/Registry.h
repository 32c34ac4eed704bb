// The product's registry key under HKEY_CURRENT_USER and its values.
#pragma once

namespace vok {

constexpr const char* kVokKey = "Software\\VOK";
constexpr const char* kInstallFolderValue = "Install Folder"; // written by the installer
// The same name, for reading the folder as it is stored, in any script.
constexpr const wchar_t* kInstallFolderValueW = L"Install Folder";
constexpr const char* kStatusValue = "Status";

} // namespace vok
