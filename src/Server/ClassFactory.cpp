#include "Server/ClassFactory.h"

#include "Common/InterfaceTable.h"
#include "Common/ModuleUse.h"
#include "Server/ComObject.h"
#include "Work/Menu/ContextMenu.h"
#include "Work/Menu/ExplorerCommand.h"

#include <exception>
#include <string>

namespace vok {
namespace {

template <class Object>
TComObject* CreateObject(IUnknown* outer)
{
    return new Object(outer);
}

// The class table: one row, and one factory, per class. Registration writes
// the handler's rows; the package declares the Explorer command.
TClassFactory g_classTable[] = {
    {CLSID_VokContextMenu, CreateObject<TContextMenu>},
    {CLSID_VokExplorerCommand, CreateObject<TExplorerCommand>},
};

constexpr char kCreateErrorCaption[] = "ROZ Error";

// The box's text for an exception's message: a full stop is added after a
// last character above "." (so not after "!", ",", "-" or ".").
std::string CreateErrorText(const std::string& message)
{
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + ".";
    return message;
}

void ReportCreateError(const char* message) noexcept
{
    try {
        if (!message || !*message) return;
        const std::string text = CreateErrorText(message);
        MessageBoxA(nullptr, text.c_str(), kCreateErrorCaption, MB_OK | MB_ICONHAND | MB_SETFOREGROUND);
    } catch (...) {
        // No memory even for the text: the failure code alone must do.
    }
}

} // namespace

HRESULT TClassFactory::QueryInterface(REFIID iid, void** out)
{
    return QueryListedInterface<IClassFactory>(this, iid, out);
}

ULONG TClassFactory::AddRef()
{
    NoteModuleUse(true);
    return static_cast<ULONG>(InterlockedIncrement(&refs_));
}

ULONG TClassFactory::Release()
{
    NoteModuleUse(false);
    return static_cast<ULONG>(InterlockedDecrement(&refs_));
}

HRESULT TClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** out)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer && !IsEqualIID(iid, __uuidof(IUnknown))) return CLASS_E_NOAGGREGATION;
    TComObject* object;
    try {
        object = Create(outer);
    } catch (const std::exception& failure) {
        // A half-built object has already been counted out by its destructor.
        ReportCreateError(failure.what());
        return E_UNEXPECTED;
    } catch (...) {
        return E_UNEXPECTED;
    }
    const HRESULT result = object->ObjQueryInterface(iid, out);
    // Nobody holds an object whose interface was not found.
    if (object->RefCount() == 0) delete object;
    return result;
}

HRESULT TClassFactory::LockServer(BOOL lock)
{
    const HRESULT result = CoLockObjectExternal(static_cast<IClassFactory*>(this), lock, TRUE);
    NoteModuleUse(lock != FALSE);
    return result;
}

TClassFactory* FindClassFactory(REFCLSID clsid)
{
    for (TClassFactory& factory : g_classTable)
        if (IsEqualCLSID(factory.Clsid, clsid)) return &factory;
    return nullptr;
}

} // namespace vok
