// The class factory base: hands out one class's objects, moves the server's
// counters, and writes the class's registry entries.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <string>

namespace vok {

class TComObject;
class TComServer;
class TComObjectFactory;

enum InstanceMode : BYTE {
    imInternal = 0, // not published: no registry entries
    imSingle = 1,
    imMultiple = 2,
};

enum Threading : BYTE {
    thSingle = 0,
    thApartment = 1,
    thFree = 2,
    thBoth = 3,
    thNeutral = 4,
};

// Constructs one object of a class, for the factory and an outer unknown.
using ObjectConstructor = TComObject* (*)(TComObjectFactory& creator, IUnknown* outer);

class TComObjectFactory : public IClassFactory {
public:
    // Puts itself at the head of the factory registry. No class of this
    // server has a ProgID: `progIdStem` is left empty and never used.
    TComObjectFactory(TComServer& server, ObjectConstructor objectClass, const CLSID& clsid, const char* progIdStem,
                      const char* classDescription, vok::InstanceMode instanceMode, vok::Threading threading);
    // Takes itself out of the registry.
    virtual ~TComObjectFactory();
    TComObjectFactory(const TComObjectFactory&) = delete;
    TComObjectFactory& operator=(const TComObjectFactory&) = delete;

    // IUnknown: the factory lives from start-up to shut-down; its count is
    // the server's FactoryRefs.
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IClassFactory
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override;
    STDMETHODIMP LockServer(BOOL lock) override;

    // May throw; CreateInstance turns a failure into E_UNEXPECTED.
    virtual TComObject* MakeObject(IUnknown* outer);
    // The class key with its server path and threading model. Throws on failure.
    virtual void UpdateClassRegistration(bool registering);

    TComObjectFactory* NextFactory = nullptr;
    TComServer& Server;
    const ObjectConstructor ObjectClass;
    const CLSID Clsid;
    const std::string ClassDescription;
    const vok::InstanceMode InstanceMode;
    const vok::Threading Threading;
    bool ReportCreateErrors = true;
};

// The text of the "ROZ Error" box for an exception's message: a full stop is
// added after a last character above "." (so not after "!", ",", "-" or ".").
std::string CreateErrorText(const std::string& message);

} // namespace vok
