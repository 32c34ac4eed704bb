// The product's registry key under HKEY_CURRENT_USER and its values.
#pragma once

namespace vok {

constexpr const char* kVokKey = "Software\\VOK";
constexpr const char* kInstallFolderValue = "Install Folder"; // written by the installer
constexpr const char* kStatusValue = "Status";

} // namespace vok
