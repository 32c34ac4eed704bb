#include "Server/Registration.h"

#include "Common/Unique.h"
#include "Server/ClassFactory.h"
#include "Server/Module.h"
#include "Work/Registry.h"
#include "Work/Store/Wow64.h"

#include <objbase.h>

namespace vok {
namespace {

enum RowKind : BYTE {
    rkClassValue = 0, // below HKEY_CLASSES_ROOT, through WriteRegistryValue
    rkApproval = 1,   // below HKEY_LOCAL_MACHINE
};

enum RowData : BYTE {
    rdText = 0, // the row's own text
    rdServerPath = 1,
    rdClassId = 2,
};

enum RowUndo : BYTE {
    ruKeep = 0,
    ruDeleteKey = 1,
    // 64-bit Windows shares the handler keys between the 32- and the 64-bit
    // registry views, the class keys it does not: the key goes with the
    // last view that has the class.
    ruDeleteSharedKey = 2,
};

// In keys and value names, "{clsid}" stands for the class identifier string.
// A null value name is the default value.
struct RegistryRow {
    RowKind Kind;
    const char* Key;
    const char* ValueName;
    RowData Data;
    const char* Text;
    RowUndo Undo;
};

// One row a line, as the table reads.
// clang-format off
#define VOK_HANDLER_ROWS(classKey)                                                          \
    {rkClassValue, classKey "\\shellex", nullptr, rdText, "", ruKeep},                      \
    {rkClassValue, classKey "\\shellex\\ContextMenuHandlers", nullptr, rdText, "", ruKeep}, \
    {rkClassValue, classKey "\\shellex\\ContextMenuHandlers\\VOK", nullptr, rdClassId, nullptr, ruDeleteSharedKey}

const RegistryRow kRegistrationRows[] = {
    {rkClassValue, "CLSID\\{clsid}", nullptr, rdText, "VOK", ruDeleteKey},
    {rkClassValue, "CLSID\\{clsid}\\InprocServer32", nullptr, rdServerPath, nullptr, ruDeleteKey},
    {rkClassValue, "CLSID\\{clsid}\\InprocServer32", "ThreadingModel", rdText, "Apartment", ruKeep},
    VOK_HANDLER_ROWS("*"),
    VOK_HANDLER_ROWS("Directory"),
    VOK_HANDLER_ROWS("Directory\\Background"),
    VOK_HANDLER_ROWS("Folder"),
    VOK_HANDLER_ROWS("Drive"),
    VOK_HANDLER_ROWS("Network"),
    {rkApproval, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved", "{clsid}", rdText,
     "VOK Menu Shell Extension", ruKeep},
};
#undef VOK_HANDLER_ROWS
// clang-format on

constexpr DWORD kServerFileNameBuffer = 262;

std::string ClassIdString(REFCLSID clsid)
{
    LPOLESTR wide = nullptr;
    if (FAILED(StringFromCLSID(clsid, &wide))) throw EOleError("The class identifier cannot be formed");
    char text[64] = {};
    WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof text, nullptr, nullptr);
    CoTaskMemFree(wide);
    return text;
}

// The library's full path, as the loader reports it, in any script. Throws
// when it does not fit the buffer: a cut path would register a library that
// is not there.
WString ServerFileName()
{
    wchar_t path[kServerFileNameBuffer];
    const DWORD length = GetModuleFileNameW(ModuleInstance(), path, kServerFileNameBuffer);
    if (length == 0 || length >= kServerFileNameBuffer) throw ELibraryError("The library's path is too long");
    return WString(path, length);
}

// The names are the table's own, plain ASCII; the data may be a path in any
// script, which the ANSI call would store as its best fit.
LONG SetStringValue(HKEY key, const char* valueName, const WString& value)
{
    const WString name = valueName ? WideOf(valueName) : WString();
    return RegSetValueExW(key, valueName ? name.c_str() : nullptr, 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

LONG CreateKey(HKEY parent, const std::string& key, const char* keyClass, REGSAM access, UniqueKey& opened)
{
    return RegCreateKeyExA(parent, key.c_str(), 0, const_cast<char*>(keyClass), REG_OPTION_NON_VOLATILE, access,
                           nullptr, opened.put(), nullptr);
}

// The approval list's two keys are opened one below the other, each created
// when missing, so that the value can land nowhere but in the list itself.
void WriteApprovalValue(const std::string& key, const std::string& valueName, const WString& value)
{
    const size_t split = key.rfind('\\');
    UniqueKey parent, approved;
    if (CreateKey(HKEY_LOCAL_MACHINE, key.substr(0, split), nullptr, KEY_ALL_ACCESS, parent) != ERROR_SUCCESS ||
        CreateKey(parent.get(), key.substr(split + 1), nullptr, KEY_ALL_ACCESS, approved) != ERROR_SUCCESS ||
        SetStringValue(approved.get(), valueName.c_str(), value) != ERROR_SUCCESS)
        throw ERegistryException("Failed to set data for '" + valueName + "'");
}

void ReplaceAll(std::string& text, const std::string& token, const std::string& value)
{
    for (size_t at = text.find(token); at != std::string::npos; at = text.find(token, at + value.size()))
        text.replace(at, token.size(), value);
}

std::string Expand(const char* pattern, const std::string& classId)
{
    std::string text = pattern;
    ReplaceAll(text, "{clsid}", classId);
    return text;
}

void WriteRow(const RegistryRow& row, const std::string& classId)
{
    WString data;
    switch (row.Data) {
    case rdText: data = WideOf(row.Text); break;
    case rdServerPath: data = RegisteredServerPath(ServerFileName()); break;
    case rdClassId: data = WideOf(classId); break;
    }
    const std::string key = Expand(row.Key, classId);
    const std::string valueName = row.ValueName ? Expand(row.ValueName, classId) : "";
    if (row.Kind == rkApproval)
        WriteApprovalValue(key, valueName, data);
    else
        WriteRegistryValue(key, row.ValueName ? valueName.c_str() : nullptr, data, HKEY_CLASSES_ROOT);
}

// The view this process does not see by default: the 32-bit one from a
// 64-bit library, the 64-bit one from a 32-bit library on 64-bit Windows;
// none on 32-bit Windows.
REGSAM OtherRegistryView()
{
#ifdef _WIN64
    return KEY_WOW64_32KEY;
#else
    return RunsUnderWow64() ? KEY_WOW64_64KEY : 0;
#endif
}

bool ClassRegisteredInOtherView(const std::string& classId)
{
    const REGSAM view = OtherRegistryView();
    if (view == 0) return false;
    UniqueKey classKey;
    return RegOpenKeyExA(HKEY_CLASSES_ROOT, ("CLSID\\" + classId).c_str(), 0, KEY_READ | view, classKey.put()) ==
           ERROR_SUCCESS;
}

void UndoRow(const RegistryRow& row, const std::string& classId, bool sharedKeysInUse)
{
    if (row.Undo == ruDeleteKey || (row.Undo == ruDeleteSharedKey && !sharedKeysInUse))
        DeleteRegistryKey(Expand(row.Key, classId), HKEY_CLASSES_ROOT);
}

} // namespace

void UpdateRegistryRows(bool registering)
{
    const std::string classId = ClassIdString(CLSID_VokContextMenu);
    const bool sharedKeysInUse = !registering && ClassRegisteredInOtherView(classId);
    constexpr size_t count = sizeof kRegistrationRows / sizeof *kRegistrationRows;
    for (size_t i = 0; i < count; ++i) {
        const RegistryRow& row = kRegistrationRows[registering ? i : count - 1 - i];
        if (registering)
            WriteRow(row, classId);
        else
            UndoRow(row, classId, sharedKeysInUse);
    }
}

void WriteRegistryValue(const std::string& key, const char* valueName, const WString& value, HKEY root)
{
    UniqueKey opened;
    if (CreateKey(root, key, "", KEY_READ | KEY_WRITE, opened) != ERROR_SUCCESS ||
        SetStringValue(opened.get(), valueName, value) != ERROR_SUCCESS)
        throw EOleRegistrationError("Error creating system registry entry");
}

void DeleteRegistryKey(const std::string& key, HKEY root)
{
    RegDeleteKeyA(root, key.c_str());
}

WString RegisteredServerPath(const WString& fullPath)
{
    if (fullPath.find(L' ') == WString::npos) return fullPath;
    wchar_t shortPath[MAX_PATH];
    const DWORD length = GetShortPathNameW(fullPath.c_str(), shortPath, MAX_PATH);
    // Without a short form the full path still names the library: the
    // loader takes a server path with spaces as it stands.
    if (length == 0 || length >= MAX_PATH) return fullPath;
    return WString(shortPath, length);
}

} // namespace vok
