#include "Server/ComObject.h"

#include "Common/ModuleUse.h"

namespace vok {

TComObject::TComObject(IUnknown* outer) : OuterUnknown(outer)
{
    NoteModuleUse(true);
    InterlockedDecrement(&ObjectRefs);
}

TComObject::~TComObject()
{
    NoteModuleUse(false);
}

HRESULT TComObject::ObjQueryInterface(REFIID iid, void** out)
{
    if (!out) return E_POINTER;
    *out = FindInterface(iid);
    if (!*out) return E_NOINTERFACE;
    static_cast<IUnknown*>(*out)->AddRef();
    return S_OK;
}

ULONG TComObject::ObjAddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&ObjectRefs));
}

ULONG TComObject::ObjRelease()
{
    const LONG count = InterlockedDecrement(&ObjectRefs);
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
}

HRESULT TComObject::QueryInterface(REFIID iid, void** out)
{
    return OuterUnknown ? OuterUnknown->QueryInterface(iid, out) : ObjQueryInterface(iid, out);
}

ULONG TComObject::AddRef()
{
    return OuterUnknown ? OuterUnknown->AddRef() : ObjAddRef();
}

ULONG TComObject::Release()
{
    return OuterUnknown ? OuterUnknown->Release() : ObjRelease();
}

HRESULT TComObject::InterfaceSupportsErrorInfo(REFIID iid)
{
    return FindInterface(iid) ? S_OK : S_FALSE;
}

void* TComObject::FindInterface(REFIID iid)
{
    if (IsEqualIID(iid, __uuidof(IUnknown))) return OwnUnknown();
    if (IsEqualIID(iid, __uuidof(ISupportErrorInfo))) return static_cast<ISupportErrorInfo*>(this);
    return nullptr;
}

} // namespace vok
