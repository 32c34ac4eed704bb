// The user's on/off switch for the whole menu, kept in the registry value
// "Status" of HKEY_CURRENT_USER\Software\VOK (REG_DWORD, 1 active, 0 inactive).
#pragma once

namespace vok {

// Refreshes ExtensionState::Enabled from the registry. A missing key leaves
// it as it is; a missing or unreadable value reads as active.
void LoadStatus();

// Stores ExtensionState::Enabled, creating the key when needed. Throws
// ERegistryException (Work/Registry.h) when the key can neither be opened
// nor created, or when the write itself fails.
void SaveStatus();

} // namespace vok
