// The library as a host loads it: start-up on first use, the
// missing-installation message once per load, nothing under the loader lock;
// and the frame's shut-down and failed constructions, run in this program.
#include "Common/ModuleUse.h"
#include "Server/ClassFactory.h"
#include "Server/Module.h"
#include "Work/Installation.h"

#include "TestSupport.h"
#include "Work/Store/Favorites.h"

#include <gtest/gtest.h>
#include <objbase.h>
#include <shlobj.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace vok {
namespace {

using test::kHandlerClsid;
using Watched = test::WatchedCall;

using GetClassObjectFn = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
using CanUnloadNowFn = HRESULT(WINAPI*)();

class Library {
public:
    Library() : module_(LoadLibraryA(VOK_DLL_NAME)) {}
    ~Library()
    {
        if (module_) FreeLibrary(module_);
    }
    HMODULE get() const { return module_; }
    HRESULT GetClassObject(REFIID iid, void** out) const
    {
        return Export<GetClassObjectFn>("DllGetClassObject")(kHandlerClsid, iid, out);
    }
    HRESULT CanUnloadNow() const { return Export<CanUnloadNowFn>("DllCanUnloadNow")(); }

private:
    template <class Fn>
    Fn Export(const char* name) const
    {
        return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
    }
    HMODULE module_;
};

void AskForFactory(void* library)
{
    IUnknown* factory = nullptr;
    if (static_cast<Library*>(library)->GetClassObject(IID_PPV_ARGS(&factory)) == S_OK) factory->Release();
}

class ModuleTest : public ::testing::Test {
protected:
    test::VokKeyReset registry;
};

TEST_F(ModuleTest, LoadingShowsNothingEvenWithoutAnInstallation)
{
    // A message box in the entry point would run under the loader lock.
    Library* library = nullptr;
    const Watched load = test::CallAnsweringMessageBoxes([](void* out) { *static_cast<Library**>(out) = new Library; },
                                                         &library);
    ASSERT_TRUE(load.finished);
    EXPECT_TRUE(load.messages.empty());
    ASSERT_NE(library->get(), nullptr);
    EXPECT_EQ(library->CanUnloadNow(), S_OK);
    delete library;
}

TEST_F(ModuleTest, MissingInstallationIsReportedOncePerLoad)
{
    for (int load = 0; load < 2; ++load) {
        Library library;
        ASSERT_NE(library.get(), nullptr);

        const Watched first = test::CallAnsweringMessageBoxes(AskForFactory, &library);
        ASSERT_TRUE(first.finished);
        ASSERT_EQ(first.messages.size(), 1u) << "load " << load;
        EXPECT_EQ(first.messages[0], kMissingInstallationText);
        EXPECT_EQ(first.caption, kMissingInstallationCaption);

        const Watched second = test::CallAnsweringMessageBoxes(AskForFactory, &library);
        EXPECT_TRUE(second.finished);
        EXPECT_TRUE(second.messages.empty()) << "shown again in the same load";
    }
}

TEST_F(ModuleTest, InstalledLibraryStartsWithoutAMessage)
{
    test::SetInstallFolder("C:\\Vokmark");
    Library library;
    const Watched watched = test::CallAnsweringMessageBoxes(AskForFactory, &library);
    EXPECT_TRUE(watched.finished);
    EXPECT_TRUE(watched.messages.empty());
}

TEST_F(ModuleTest, UnloadingGivesBackWhatTheLoadTook)
{
    // The statically linked C++ runtime allocates an emergency exception
    // pool at every load (72 KiB here); 40 loads kept it would hold ~3 MiB.
    test::SetInstallFolder("C:\\Vokmark");
    const auto cycle = [] {
        Library library;
        ASSERT_NE(library.get(), nullptr);
        AskForFactory(&library); // the module's whole start-up, then its shut-down
        ASSERT_EQ(library.CanUnloadNow(), S_OK);
    };
    for (int i = 0; i < 5; ++i) cycle();
    const SIZE_T before = test::CommittedPrivateBytes();
    for (int i = 0; i < 40; ++i) cycle();
    const SIZE_T after = test::CommittedPrivateBytes();
    EXPECT_EQ(GetModuleHandleA(VOK_DLL_NAME), nullptr);
    EXPECT_LE(after, before + 1024 * 1024) << "grew by " << (after - before) << " bytes over 40 loads";
}

// The frame linked into this program, as the library runs it.
TEST_F(ModuleTest, HandlerReleasedAfterShutDownTouchesNoFreedState)
{
    test::SetInstallFolder("C:\\Vokmark");
    SetModuleInstance(GetModuleHandleA(nullptr));
    ASSERT_TRUE(EnsureModuleStarted());
    TClassFactory* factory = FindClassFactory(kHandlerClsid);
    ASSERT_NE(factory, nullptr);
    IContextMenu* menu = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_PPV_ARGS(&menu)), S_OK);

    StopModule();
    EXPECT_EQ(menu->Release(), 0u);
    EXPECT_FALSE(ModuleInUse());
}

std::string g_creationFailure;

TComObject* FailToConstruct(IUnknown*)
{
    throw std::runtime_error(g_creationFailure);
}

void CreateFailingObject(void* factory)
{
    IUnknown* object = reinterpret_cast<IUnknown*>(1);
    const HRESULT result = static_cast<TClassFactory*>(factory)->CreateInstance(nullptr, IID_PPV_ARGS(&object));
    EXPECT_EQ(result, E_UNEXPECTED);
    EXPECT_EQ(object, nullptr);
}

TEST_F(ModuleTest, FailedConstructionIsShownInTheErrorBoxAndCountsNothing)
{
    const struct {
        const char* failure;
        const char* shown; // null: no box
    } cases[] = {
        {"Out of memory", "Out of memory."}, {"Done.", "Done."}, {"Why?", "Why?."}, {"Stop!", "Stop!"}, {"", nullptr},
    };
    TClassFactory factory({0x11111111, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}}, FailToConstruct);
    for (const auto& c : cases) {
        g_creationFailure = c.failure;
        const Watched watched = test::CallAnsweringMessageBoxes(CreateFailingObject, &factory);
        EXPECT_TRUE(watched.finished);
        if (c.shown) {
            EXPECT_EQ(watched.caption, "ROZ Error");
            EXPECT_EQ(watched.messages, std::vector<std::string>{c.shown});
        } else {
            EXPECT_TRUE(watched.messages.empty()) << c.failure;
        }
        EXPECT_FALSE(ModuleInUse());
    }
}

} // namespace
} // namespace vok
