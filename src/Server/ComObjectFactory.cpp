#include "Server/ComObjectFactory.h"

#include "Common/InterfaceTable.h"
#include "Server/ComObject.h"
#include "Server/ComServer.h"
#include "Server/Registration.h"

#include <exception>

namespace vok {
namespace {

constexpr char kCreateErrorCaption[] = "ROZ Error";

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

std::string CreateErrorText(const std::string& message)
{
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + ".";
    return message;
}

TComObjectFactory::TComObjectFactory(TComServer& server, ObjectConstructor objectClass, const CLSID& clsid,
                                     const char* /*progIdStem*/, const char* classDescription,
                                     vok::InstanceMode instanceMode, vok::Threading threading)
    : Server(server), ObjectClass(objectClass), Clsid(clsid), ClassDescription(classDescription),
      InstanceMode(instanceMode), Threading(threading)
{
    // After shut-down has begun a factory is no longer published.
    if (TComClassManager* manager = ComClassManager()) manager->AddFactory(*this);
}

TComObjectFactory::~TComObjectFactory()
{
    if (TComClassManager* manager = ComClassManager()) manager->RemoveFactory(*this);
}

HRESULT TComObjectFactory::QueryInterface(REFIID iid, void** out)
{
    return QueryListedInterface<IClassFactory>(this, iid, out);
}

ULONG TComObjectFactory::AddRef()
{
    return static_cast<ULONG>(Server.NoteFactoryRef(true));
}

ULONG TComObjectFactory::Release()
{
    return static_cast<ULONG>(Server.NoteFactoryRef(false));
}

HRESULT TComObjectFactory::CreateInstance(IUnknown* outer, REFIID iid, void** out)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer && !IsEqualIID(iid, __uuidof(IUnknown))) return CLASS_E_NOAGGREGATION;
    TComObject* object;
    try {
        object = MakeObject(outer);
    } catch (const std::exception& failure) {
        // A half-built object has already been uncounted by its destructor.
        if (ReportCreateErrors) ReportCreateError(failure.what());
        return E_UNEXPECTED;
    } catch (...) {
        return E_UNEXPECTED;
    }
    const HRESULT result = object->ObjQueryInterface(iid, out);
    // Nobody holds an object whose interface was not found.
    if (object->RefCount() == 0) delete object;
    return result;
}

HRESULT TComObjectFactory::LockServer(BOOL lock)
{
    const HRESULT result = CoLockObjectExternal(static_cast<IClassFactory*>(this), lock, TRUE);
    Server.NoteObject(lock != FALSE);
    return result;
}

TComObject* TComObjectFactory::MakeObject(IUnknown* outer)
{
    return ObjectClass(*this, outer);
}

void TComObjectFactory::UpdateClassRegistration(bool registering)
{
    if (InstanceMode == imInternal) return;
    UpdateRegistryRows(roClass, registering, *this);
}

} // namespace vok
