// QueryInterface as a table: an object names the interfaces it implements
// as a list of types, and the one lookup below answers for all of them.
#pragma once

#include <windows.h>
#include <unknwn.h>

namespace vok {

// `object` as the first of `Interfaces` whose identifier is `iid`; null when
// none is. Adds no reference.
template <class... Interfaces, class Object>
void* FindListedInterface(Object* object, REFIID iid)
{
    void* found = nullptr;
    ((found = found ? found : IsEqualIID(iid, __uuidof(Interfaces)) ? static_cast<Interfaces*>(object) : nullptr), ...);
    return found;
}

// The whole of QueryInterface for an object that answers IUnknown (through
// its first interface) and `Interfaces`, and nothing else.
template <class First, class... Others, class Object>
HRESULT QueryListedInterface(Object* object, REFIID iid, void** out)
{
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, __uuidof(IUnknown)))
        *out = static_cast<IUnknown*>(static_cast<First*>(object));
    else
        *out = FindListedInterface<First, Others...>(object, iid);
    if (!*out) return E_NOINTERFACE;
    static_cast<IUnknown*>(*out)->AddRef();
    return S_OK;
}

} // namespace vok
