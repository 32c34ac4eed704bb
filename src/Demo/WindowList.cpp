#include "Demo/WindowList.h"

#include <exdisp.h>

namespace vok::demo {
namespace {

constexpr CLSID kShellWindowsClass = {0x9BA05972, 0xF6A8, 0x11CF, {0xA4, 0x42, 0x00, 0xA0, 0xC9, 0x0A, 0x8F, 0x39}};

// One window of the list: its dispatch object answers for the browser
// through the window's site.
class Entry final : public IDispatch, public IServiceProvider {
public:
    explicit Entry(IServiceProvider* site) : site_(site) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_IUnknown || iid == IID_IDispatch)
            *out = static_cast<IDispatch*>(this);
        else if (iid == IID_IServiceProvider)
            *out = static_cast<IServiceProvider*>(this);
        else
            return *out = nullptr, E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&held_)); }
    STDMETHODIMP_(ULONG) Release() override
    {
        const LONG held = InterlockedDecrement(&held_);
        if (held == 0) delete this;
        return static_cast<ULONG>(held);
    }
    STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return E_NOTIMPL;
    }
    STDMETHODIMP QueryService(REFGUID service, REFIID iid, void** out) override
    {
        return site_->QueryService(service, iid, out);
    }

private:
    IServiceProvider* site_;
    volatile LONG held_ = 1;
};

} // namespace

// The list and its class object in one: it lives as long as the WindowList.
class WindowList::Object final : public IShellWindows, public IClassFactory {
public:
    explicit Object(DWORD delayMs) : delayMs_(static_cast<LONG>(delayMs)) { InitializeSRWLock(&lock_); }

    void SetDelay(DWORD delayMs) { InterlockedExchange(&delayMs_, static_cast<LONG>(delayMs)); }

    void Add(IServiceProvider* site)
    {
        AcquireSRWLockExclusive(&lock_);
        sites_.push_back(site);
        ReleaseSRWLockExclusive(&lock_);
    }

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_IUnknown || iid == IID_IClassFactory)
            *out = static_cast<IClassFactory*>(this);
        else if (iid == IID_IDispatch || iid == IID_IShellWindows)
            *out = static_cast<IShellWindows*>(this);
        else
            return *out = nullptr, E_NOINTERFACE;
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override
    {
        return outer ? CLASS_E_NOAGGREGATION : QueryInterface(iid, out);
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }

    STDMETHODIMP get_Count(long* count) override
    {
        if (const LONG delayMs = delayMs_) Sleep(static_cast<DWORD>(delayMs)); // an Explorer slow to answer
        AcquireSRWLockShared(&lock_);
        *count = static_cast<long>(sites_.size());
        ReleaseSRWLockShared(&lock_);
        return S_OK;
    }
    STDMETHODIMP Item(VARIANT index, IDispatch** window) override
    {
        *window = nullptr;
        AcquireSRWLockShared(&lock_);
        const bool known = V_VT(&index) == VT_I4 && V_I4(&index) >= 0 && size_t(V_I4(&index)) < sites_.size();
        if (known) *window = new Entry(sites_[size_t(V_I4(&index))]);
        ReleaseSRWLockShared(&lock_);
        return known ? S_OK : S_FALSE;
    }
    STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return E_NOTIMPL;
    }
    STDMETHODIMP _NewEnum(IUnknown**) override { return E_NOTIMPL; }
    STDMETHODIMP Register(IDispatch*, LONG, int, LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP RegisterPending(LONG, VARIANT*, VARIANT*, int, LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP Revoke(LONG) override { return E_NOTIMPL; }
    STDMETHODIMP OnNavigate(LONG, VARIANT*) override { return E_NOTIMPL; }
    STDMETHODIMP OnActivated(LONG, VARIANT_BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP FindWindowSW(VARIANT*, VARIANT*, int, LONG*, int, IDispatch**) override { return E_NOTIMPL; }
    STDMETHODIMP OnCreated(LONG, IUnknown*) override { return E_NOTIMPL; }
    STDMETHODIMP ProcessAttachDetach(VARIANT_BOOL) override { return E_NOTIMPL; }

private:
    volatile LONG delayMs_;
    SRWLOCK lock_;
    std::vector<IServiceProvider*> sites_;
};

namespace {

struct Registration {
    WindowList::Object* Object;
    HANDLE Registered; // set once the outcome is known
    HANDLE Stop;
    bool Done = false;
};

// COM keeps a class object registered in the apartment that registered it:
// this thread holds the multithreaded apartment until the list goes.
DWORD WINAPI HoldRegistration(void* parameter)
{
    auto& registration = *static_cast<Registration*>(parameter);
    DWORD cookie = 0;
    const bool com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    registration.Done = com && SUCCEEDED(CoRegisterClassObject(kShellWindowsClass,
                                                               static_cast<IClassFactory*>(registration.Object),
                                                               CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie));
    const HANDLE stop = registration.Stop;
    const bool done = registration.Done;
    SetEvent(registration.Registered);
    if (done) {
        WaitForSingleObject(stop, INFINITE);
        CoRevokeClassObject(cookie);
    }
    if (com) CoUninitialize();
    return 0;
}

} // namespace

WindowList::WindowList(DWORD delayMs) : object_(new Object(delayMs))
{
    stop_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    Registration registration{object_, CreateEventW(nullptr, TRUE, FALSE, nullptr), stop_};
    thread_ = CreateThread(nullptr, 0, HoldRegistration, &registration, 0, nullptr);
    if (thread_) WaitForSingleObject(registration.Registered, 10000);
    registered_ = registration.Done;
    CloseHandle(registration.Registered);
}

WindowList::~WindowList()
{
    SetEvent(stop_);
    if (thread_) WaitForSingleObject(thread_, 10000);
    if (thread_) CloseHandle(thread_);
    CloseHandle(stop_);
    delete object_;
}

void WindowList::Add(IServiceProvider* site)
{
    object_->Add(site);
}

void WindowList::SetDelay(DWORD delayMs)
{
    object_->SetDelay(delayMs);
}

} // namespace vok::demo
