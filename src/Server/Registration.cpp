#include "Server/Registration.h"

#include "AboutBox/Status.h"
#include "Common/Unique.h"
#include "Server/ComObjectFactory.h"
#include "Server/ComServer.h"
#include "Work/Store/Wow64.h"

#include <objbase.h>

namespace vok {
namespace {

enum RowKind : BYTE {
    rkClassValue = 0, // below HKEY_CLASSES_ROOT, through WriteRegistryValue
    rkApproval = 1,   // below HKEY_LOCAL_MACHINE, on the Windows NT family only
};

enum RowData : BYTE {
    rdText = 0, // the row's own text
    rdDescription = 1,
    rdServerPath = 2,
    rdThreadingModel = 3, // no row at all for single-threaded classes
    rdClassId = 4,
};

enum RowUndo : BYTE {
    ruKeep = 0,
    ruDeleteKey = 1,
    // 64-bit Windows shares the handler keys between the 32- and the 64-bit
    // registry views, the class keys it does not: the key goes with the
    // last view that has the class.
    ruDeleteSharedKey = 2,
};

// In keys and value names, "{clsid}" stands for the class identifier string
// and "{server}" for the server key. A null value name is the default value.
struct RegistryRow {
    RowOwner Owner;
    RowKind Kind;
    const char* Key;
    const char* ValueName;
    RowData Data;
    const char* Text;
    RowUndo Undo;
};

// One row a line, as the table reads.
// clang-format off
#define VOK_HANDLER_ROWS(classKey)                                                                     \
    {roHandler, rkClassValue, classKey "\\shellex", nullptr, rdText, "", ruKeep},                      \
    {roHandler, rkClassValue, classKey "\\shellex\\ContextMenuHandlers", nullptr, rdText, "", ruKeep}, \
    {roHandler, rkClassValue, classKey "\\shellex\\ContextMenuHandlers\\VOK", nullptr, rdClassId, nullptr, ruDeleteSharedKey}

const RegistryRow kRegistrationRows[] = {
    {roClass, rkClassValue, "CLSID\\{clsid}", nullptr, rdDescription, nullptr, ruDeleteKey},
    {roClass, rkClassValue, "CLSID\\{clsid}\\{server}", nullptr, rdServerPath, nullptr, ruDeleteKey},
    {roClass, rkClassValue, "CLSID\\{clsid}\\{server}", "ThreadingModel", rdThreadingModel, nullptr, ruKeep},
    VOK_HANDLER_ROWS("*"),
    VOK_HANDLER_ROWS("Directory"),
    VOK_HANDLER_ROWS("Directory\\Background"),
    VOK_HANDLER_ROWS("Folder"),
    VOK_HANDLER_ROWS("Drive"),
    VOK_HANDLER_ROWS("Network"),
    {roHandler, rkApproval, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved", "{clsid}",
     rdText, "VOK Menu Shell Extension", ruKeep},
};
#undef VOK_HANDLER_ROWS
// clang-format on

const char* const kThreadingModels[] = {nullptr, "Apartment", "Free", "Both", "Neutral"};

std::string ClassIdString(REFCLSID clsid)
{
    LPOLESTR wide = nullptr;
    if (FAILED(StringFromCLSID(clsid, &wide))) throw EOleError("The class identifier cannot be formed");
    char text[64] = {};
    WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof text, nullptr, nullptr);
    CoTaskMemFree(wide);
    return text;
}

bool IsWindowsNT()
{
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    return GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT;
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

// Null: the row is not written for this factory.
const char* ThreadingModelOf(const TComObjectFactory& factory)
{
    return factory.Threading < sizeof kThreadingModels / sizeof *kThreadingModels ? kThreadingModels[factory.Threading]
                                                                                  : nullptr;
}

struct RowContext {
    const TComObjectFactory& Factory;
    std::string ClassId;
    std::string ServerKey;
};

void ReplaceAll(std::string& text, const std::string& token, const std::string& value)
{
    for (size_t at = text.find(token); at != std::string::npos; at = text.find(token, at + value.size()))
        text.replace(at, token.size(), value);
}

std::string Expand(const char* pattern, const RowContext& context)
{
    std::string text = pattern;
    ReplaceAll(text, "{clsid}", context.ClassId);
    ReplaceAll(text, "{server}", context.ServerKey);
    return text;
}

void WriteRow(const RegistryRow& row, const RowContext& context)
{
    if (row.Kind == rkApproval && !IsWindowsNT()) return;
    if (row.Data == rdThreadingModel && !ThreadingModelOf(context.Factory)) return;
    WString data;
    switch (row.Data) {
    case rdText: data = WideOf(row.Text); break;
    case rdDescription: data = WideOf(context.Factory.ClassDescription); break;
    case rdServerPath: data = RegisteredServerPath(context.Factory.Server.ServerFileName()); break;
    case rdThreadingModel: data = WideOf(ThreadingModelOf(context.Factory)); break;
    case rdClassId: data = WideOf(context.ClassId); break;
    }
    const std::string key = Expand(row.Key, context);
    const std::string valueName = row.ValueName ? Expand(row.ValueName, context) : "";
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

bool ClassRegisteredInOtherView(const RowContext& context)
{
    const REGSAM view = OtherRegistryView();
    if (view == 0) return false;
    UniqueKey classKey;
    return RegOpenKeyExA(HKEY_CLASSES_ROOT, ("CLSID\\" + context.ClassId).c_str(), 0, KEY_READ | view,
                         classKey.put()) == ERROR_SUCCESS;
}

void UndoRow(const RegistryRow& row, const RowContext& context, bool sharedKeysInUse)
{
    if (row.Undo == ruDeleteKey || (row.Undo == ruDeleteSharedKey && !sharedKeysInUse))
        DeleteRegistryKey(Expand(row.Key, context), HKEY_CLASSES_ROOT);
}

} // namespace

void UpdateRegistryRows(RowOwner owner, bool registering, const TComObjectFactory& factory)
{
    const RowContext context{factory, ClassIdString(factory.Clsid), factory.Server.ServerKey()};
    const bool sharedKeysInUse = !registering && ClassRegisteredInOtherView(context);
    constexpr size_t count = sizeof kRegistrationRows / sizeof *kRegistrationRows;
    for (size_t i = 0; i < count; ++i) {
        const RegistryRow& row = kRegistrationRows[registering ? i : count - 1 - i];
        if (row.Owner != owner) continue;
        if (registering)
            WriteRow(row, context);
        else
            UndoRow(row, context, sharedKeysInUse);
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
