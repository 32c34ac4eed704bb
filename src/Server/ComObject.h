// The reference-counted COM object base: its own IUnknown, aggregation
// through an outer unknown, ISupportErrorInfo, and each object's life
// counted as a use of the module.
#pragma once

#include "Common/InterfaceTable.h"

#include <windows.h>
#include <oaidl.h>

namespace vok {

class TComObject : public ISupportErrorInfo {
public:
    // Counts the object as a use of the module. The new object stands at
    // count 0: the interface handed out raises it to 1.
    explicit TComObject(IUnknown* outer);
    virtual ~TComObject();
    TComObject(const TComObject&) = delete;
    TComObject& operator=(const TComObject&) = delete;

    // The object's own IUnknown, which never delegates: what an aggregating
    // outer object holds, and the object's identity when not aggregated.
    IUnknown* OwnUnknown() { return &own_; }
    HRESULT ObjQueryInterface(REFIID iid, void** out);
    ULONG ObjAddRef();
    ULONG ObjRelease();
    LONG RefCount() const { return ObjectRefs; }

    // IUnknown as reached through every interface: the outer object's when
    // aggregated, the object's own otherwise.
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // S_OK for every interface the object implements, S_FALSE otherwise; no
    // error-information object is ever set.
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID iid) override;

protected:
    // The interface for `iid` from the class's own list, then its bases';
    // null when none lists it. Adds no reference.
    virtual void* FindInterface(REFIID iid);

private:
    class OwnIUnknown final : public IUnknown {
    public:
        explicit OwnIUnknown(TComObject& object) : object_(object) {}
        STDMETHODIMP QueryInterface(REFIID iid, void** out) override { return object_.ObjQueryInterface(iid, out); }
        STDMETHODIMP_(ULONG) AddRef() override { return object_.ObjAddRef(); }
        STDMETHODIMP_(ULONG) Release() override { return object_.ObjRelease(); }

    private:
        TComObject& object_;
    };

    OwnIUnknown own_{*this};
    IUnknown* const OuterUnknown; // not owned, no reference held
    volatile LONG ObjectRefs = 1; // 1 while the construction runs
};

// A COM object class implementing `Interfaces` beside those of the base;
// every interface's IUnknown is the base's, so all share the one count.
template <class... Interfaces>
class TComObjectOf : public TComObject, public Interfaces... {
public:
    using TComObject::TComObject;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override { return TComObject::QueryInterface(iid, out); }
    STDMETHODIMP_(ULONG) AddRef() override { return TComObject::AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return TComObject::Release(); }

protected:
    void* FindInterface(REFIID iid) override
    {
        void* found = FindListedInterface<Interfaces...>(this, iid);
        return found ? found : TComObject::FindInterface(iid);
    }
};

} // namespace vok
