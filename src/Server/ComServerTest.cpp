// The counting that decides when a host may unload the library, through the
// library's own exports.
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <oaidl.h>
#include <shlobj.h>
#include <wrl/client.h>

using Microsoft::WRL::ComPtr;

namespace vok {
namespace {

using test::HostEnvironment;
using test::kHandlerClsid;

const auto* const g_host = ::testing::AddGlobalTestEnvironment(new HostEnvironment);

// An aggregating object that records what its inner object hands it.
struct OuterObject final : IUnknown {
    LONG refs = 0;
    IID asked = GUID_NULL;
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override { return asked = iid, *out = nullptr, E_NOINTERFACE; }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
};

class ComServerTest : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(HostEnvironment::CanUnloadNow(), S_OK) << "something stayed counted"; }

    static ComPtr<IClassFactory> Factory()
    {
        ComPtr<IClassFactory> factory;
        EXPECT_EQ(HostEnvironment::GetClassObject(kHandlerClsid, IID_PPV_ARGS(&factory)), S_OK);
        return factory;
    }
    // Asks, checks the result and the out pointer, and releases what came.
    static void ExpectCounted(HRESULT result, HRESULT expected, IUnknown* out)
    {
        EXPECT_EQ(result, expected);
        EXPECT_EQ(out != nullptr, expected == S_OK);
        EXPECT_EQ(HostEnvironment::CanUnloadNow(), out ? S_FALSE : S_OK);
        if (out) {
            EXPECT_EQ(out->Release(), 0u);
        }
    }
};

TEST_F(ComServerTest, ClassObjectIsTheHandlersFactoryOnly)
{
    const CLSID otherClass = {0x2F793154, 0xC4B7, 0x4AA8, {0xAA, 0x0E, 0xAF, 0x97, 0xB4, 0x7A, 0x25, 0x5E}};
    const struct {
        const CLSID& clsid;
        const IID& iid;
        HRESULT result;
    } cases[] = {{kHandlerClsid, IID_IClassFactory, S_OK},
                 {kHandlerClsid, IID_IUnknown, S_OK},
                 {kHandlerClsid, IID_IContextMenu, E_NOINTERFACE},
                 {otherClass, IID_IClassFactory, CLASS_E_CLASSNOTAVAILABLE}};
    for (const auto& c : cases) {
        IUnknown* out = reinterpret_cast<IUnknown*>(1);
        const HRESULT result = HostEnvironment::GetClassObject(c.clsid, c.iid, reinterpret_cast<void**>(&out));
        ExpectCounted(result, c.result, out);
    }
    EXPECT_EQ(HostEnvironment::GetClassObject(kHandlerClsid, IID_IClassFactory, nullptr), E_POINTER);

    // Releasing the factory never destroys it.
    IClassFactory* factory = Factory().Detach();
    EXPECT_EQ(factory->AddRef(), 2u);
    EXPECT_EQ(factory->Release(), 1u);
    EXPECT_EQ(factory->Release(), 0u);
    EXPECT_EQ(factory->AddRef(), 1u);
    factory->Release();
}

TEST_F(ComServerTest, EachObjectIsCountedUntilItsLastRelease)
{
    OuterObject outer;
    const struct {
        bool aggregated;
        const IID& iid;
        HRESULT result;
    } cases[] = {{false, IID_IContextMenu, S_OK},      {false, IID_IShellExtInit, S_OK},
                 {false, IID_ISupportErrorInfo, S_OK}, {false, IID_IClassFactory, E_NOINTERFACE},
                 {true, IID_IUnknown, S_OK},           {true, IID_IShellExtInit, CLASS_E_NOAGGREGATION}};
    for (const auto& c : cases) {
        IUnknown* out = reinterpret_cast<IUnknown*>(1);
        const HRESULT result = Factory()->CreateInstance(c.aggregated ? &outer : nullptr, c.iid,
                                                         reinterpret_cast<void**>(&out));
        ExpectCounted(result, c.result, out);
    }
    EXPECT_EQ(outer.refs, 0);
    EXPECT_EQ(Factory()->CreateInstance(nullptr, IID_IContextMenu, nullptr), E_POINTER);
}

TEST_F(ComServerTest, InterfacesShareOneCountOrTheOuterObjects)
{
    ComPtr<IContextMenu> menu;
    ASSERT_EQ(Factory()->CreateInstance(nullptr, IID_PPV_ARGS(&menu)), S_OK);
    ComPtr<ISupportErrorInfo> info;
    ASSERT_EQ(menu.As(&info), S_OK);
    EXPECT_EQ(info->AddRef(), 3u);
    EXPECT_EQ(menu->Release(), 2u);
    for (const IID* iid : {&IID_IContextMenu, &IID_IShellExtInit, &IID_ISupportErrorInfo, &IID_IUnknown})
        EXPECT_EQ(info->InterfaceSupportsErrorInfo(*iid), S_OK);
    for (const IID* iid : {&IID_IClassFactory, &IID_IDataObject})
        EXPECT_EQ(info->InterfaceSupportsErrorInfo(*iid), S_FALSE);

    OuterObject outer;
    ComPtr<IUnknown> inner;
    ASSERT_EQ(Factory()->CreateInstance(&outer, IID_PPV_ARGS(&inner)), S_OK);
    IContextMenu* aggregated = nullptr;
    ASSERT_EQ(inner->QueryInterface(IID_PPV_ARGS(&aggregated)), S_OK);
    EXPECT_EQ(outer.refs, 1) << "the reference handed out belongs to the outer object";
    void* other = nullptr;
    aggregated->QueryInterface(IID_IShellExtInit, &other);
    EXPECT_TRUE(IsEqualIID(outer.asked, IID_IShellExtInit));
    aggregated->Release();
    EXPECT_EQ(outer.refs, 0);
}

TEST_F(ComServerTest, ServerLockKeepsTheLibraryLoaded)
{
    EXPECT_EQ(Factory()->LockServer(TRUE), S_OK);
    EXPECT_EQ(HostEnvironment::CanUnloadNow(), S_FALSE);
    EXPECT_EQ(Factory()->LockServer(FALSE), S_OK);
}

} // namespace
} // namespace vok
