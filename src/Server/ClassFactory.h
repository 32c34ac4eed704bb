// The classes this server hands out, one row of the class table each, and
// the one class factory that serves a row.
#pragma once

#include <windows.h>
#include <unknwn.h>

namespace vok {

class TComObject;

// {2F793154-C4B7-4AA8-AA0E-AF97B47A255D}
constexpr CLSID CLSID_VokContextMenu = {0x2F793154, 0xC4B7, 0x4AA8, {0xAA, 0x0E, 0xAF, 0x97, 0xB4, 0x7A, 0x25, 0x5D}};

// Constructs one object of a class, aggregated when `outer` is set, at
// count 0 (see TComObject). May throw: the factory answers E_UNEXPECTED and
// shows the exception's message.
using CreateObjectFn = TComObject* (*)(IUnknown* outer);

// A row of the class table, and the factory of that row's class: it lives as
// long as the module, and its references count as uses of the module.
class TClassFactory final : public IClassFactory {
public:
    constexpr TClassFactory(const CLSID& clsid, CreateObjectFn create) : Clsid(clsid), Create(create) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    // Never destroys the factory: the count returned is the references out.
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // Aggregation is offered through IUnknown alone (CLASS_E_NOAGGREGATION
    // for any other interface).
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override;
    STDMETHODIMP LockServer(BOOL lock) override;

    const CLSID Clsid;

private:
    const CreateObjectFn Create;
    volatile LONG refs_ = 0;
};

// The factory of the row that serves `clsid`, or null.
TClassFactory* FindClassFactory(REFCLSID clsid);

} // namespace vok
