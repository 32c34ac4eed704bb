// The user's on/off switch for the whole menu, kept in the registry value
// "Status" of HKEY_CURRENT_USER\Software\VOK (REG_DWORD, 1 active, 0 inactive).
#pragma once

#include <stdexcept>
#include <string>

namespace vok {

// Raised when the switch cannot be stored.
class ERegistryException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Refreshes ExtensionState::Enabled from the registry. A missing key leaves
// it as it is; a missing or unreadable value reads as active.
void LoadStatus();

// Stores ExtensionState::Enabled, creating the key when needed. Throws
// ERegistryException when the key can neither be opened nor created, or when
// the write itself fails.
void SaveStatus();

} // namespace vok
