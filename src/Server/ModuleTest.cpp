// The library as a host loads it: start-up on first use, the
// missing-installation message once per load, nothing under the loader lock.
#include "TestSupport.h"
#include "Work/Favorites.h"

#include <gtest/gtest.h>
#include <objbase.h>

#include <string>
#include <vector>

namespace vok {
namespace {

const CLSID kHandlerClsid = {0x2F793154, 0xC4B7, 0x4AA8, {0xAA, 0x0E, 0xAF, 0x97, 0xB4, 0x7A, 0x25, 0x5D}};

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

std::string StaticTextOf(HWND box)
{
    std::string text;
    EnumChildWindows(
        box,
        [](HWND child, LPARAM param) -> BOOL {
            char cls[32] = {}, buffer[512] = {};
            GetClassNameA(child, cls, sizeof(cls));
            GetWindowTextA(child, buffer, sizeof(buffer));
            if (lstrcmpiA(cls, "Static") == 0 && buffer[0]) *reinterpret_cast<std::string*>(param) = buffer;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&text));
    return text;
}

struct Watched {
    bool finished = false;
    std::vector<std::string> messages; // texts of the message boxes the call showed
    std::string caption;
};

// Runs `call` on its own thread and answers every message box that thread
// shows with OK, recording its text. Bounded: gives up after 15 seconds.
Watched CallAnsweringMessageBoxes(void (*call)(void*), void* context)
{
    struct Start {
        void (*call)(void*);
        void* context;
    } start{call, context};
    DWORD threadId = 0;
    HANDLE thread = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            auto* s = static_cast<Start*>(p);
            s->call(s->context);
            return 0;
        },
        &start, 0, &threadId);
    Watched watched;
    const ULONGLONG deadline = GetTickCount64() + 15000;
    while (GetTickCount64() < deadline) {
        if (WaitForSingleObject(thread, 20) == WAIT_OBJECT_0) {
            watched.finished = true;
            break;
        }
        struct Find {
            DWORD thread;
            HWND box;
        } find{threadId, nullptr};
        EnumThreadWindows(
            threadId,
            [](HWND hwnd, LPARAM p) -> BOOL {
                char cls[16] = {};
                GetClassNameA(hwnd, cls, sizeof(cls));
                if (strcmp(cls, "#32770") == 0 && IsWindowVisible(hwnd)) reinterpret_cast<Find*>(p)->box = hwnd;
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&find));
        if (find.box) {
            char caption[64] = {};
            GetWindowTextA(find.box, caption, sizeof(caption));
            watched.caption = caption;
            watched.messages.push_back(StaticTextOf(find.box));
            PostMessageA(find.box, WM_COMMAND, IDOK, 0);
            // Wait for it to go before looking again.
            for (int i = 0; i < 250 && IsWindow(find.box); ++i) WaitForSingleObject(thread, 20);
        }
    }
    if (!watched.finished) TerminateThread(thread, 1);
    CloseHandle(thread);
    return watched;
}

void AskForFactory(void* library)
{
    void* out = reinterpret_cast<void*>(1);
    static_cast<Library*>(library)->GetClassObject(IID_IClassFactory, &out);
}

class ModuleTest : public ::testing::Test {
protected:
    test::VokKeyReset registry;
};

TEST_F(ModuleTest, LoadingShowsNothingEvenWithoutAnInstallation)
{
    // A message box in the entry point would run under the loader lock.
    Library* library = nullptr;
    const Watched load = CallAnsweringMessageBoxes([](void* out) { *static_cast<Library**>(out) = new Library; },
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

        const Watched first = CallAnsweringMessageBoxes(AskForFactory, &library);
        ASSERT_TRUE(first.finished);
        ASSERT_EQ(first.messages.size(), 1u) << "load " << load;
        EXPECT_EQ(first.messages[0], kMissingInstallationText);
        EXPECT_EQ(first.caption, kMissingInstallationCaption);

        const Watched second = CallAnsweringMessageBoxes(AskForFactory, &library);
        EXPECT_TRUE(second.finished);
        EXPECT_TRUE(second.messages.empty()) << "shown again in the same load";
    }
}

TEST_F(ModuleTest, InstalledLibraryStartsWithoutAMessage)
{
    test::SetInstallFolder("C:\\Vokmark");
    Library library;
    const Watched watched = CallAnsweringMessageBoxes(AskForFactory, &library);
    EXPECT_TRUE(watched.finished);
    EXPECT_TRUE(watched.messages.empty());
}

TEST_F(ModuleTest, ClassObjectQueriesAreAnsweredSafely)
{
    test::SetInstallFolder("C:\\Vokmark");
    Library library;
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(library.GetClassObject(IID_IClassFactory, nullptr), E_POINTER);
    EXPECT_EQ(library.GetClassObject(IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(library.CanUnloadNow(), S_OK);
}

} // namespace
} // namespace vok
