// The registry entries through which the shell finds the context-menu
// handler: one table of rows, written in its order at registration and undone
// in the reverse order at unregistration. They are that class's alone: no
// other row of the class table writes any.
#pragma once

#include "Common/LibraryError.h"
#include "Common/WideString.h"

#include <windows.h>

#include <string>

namespace vok {

class EOleError : public ELibraryError {
public:
    using ELibraryError::ELibraryError;
};

// A class entry could not be written.
class EOleRegistrationError : public EOleError {
public:
    using EOleError::EOleError;
};

// Registering: writes the rows in table order. Unregistering: walks
// them backwards and deletes the keys that registration made its own; the
// shared "shellex" keys and the approval value stay, and so do the handler
// keys while the class is still registered in the other registry view.
// Throws on failure.
void UpdateRegistryRows(bool registering);

// Creates or opens `key` below `root` and sets one string value (null
// `valueName`: the default value), written wide so that a path in any script
// is stored as it is. Throws EOleRegistrationError.
void WriteRegistryValue(const std::string& key, const char* valueName, const WString& value, HKEY root);

// Deletes one key without subkeys; a key that is missing or still has
// subkeys stays, without a report.
void DeleteRegistryKey(const std::string& key, HKEY root);

// The path registered for the server: the library's full path, or its short
// form when it holds a space and a short form can be had.
WString RegisteredServerPath(const WString& fullPath);

} // namespace vok
