#include "Common/LibraryThread.h"

#include "Common/ModuleUse.h"

#include <objbase.h>

namespace vok {
namespace {

volatile LONG g_running = 0;

struct ThreadStart {
    ThreadApartment Apartment;
    std::function<void()> Work;
    HMODULE Module = nullptr;
};

void RunWork(ThreadStart& start)
{
    const DWORD model = start.Apartment == taMulti ? COINIT_MULTITHREADED
                                                   : COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE;
    const bool com = start.Apartment != taNoCom;
    if (com && FAILED(CoInitializeEx(nullptr, model))) return;
    try {
        start.Work();
    } catch (...) {
    }
    start.Work = nullptr; // what it holds goes while COM is still up
    if (com) CoUninitialize();
}

// Everything but the last call; the start record is freed on the way out,
// before the library may go.
HMODULE RunThread(std::unique_ptr<ThreadStart> start)
{
    RunWork(*start);
    return start->Module;
}

DWORD WINAPI LibraryThreadMain(void* parameter)
{
    const HMODULE module = RunThread(std::unique_ptr<ThreadStart>(static_cast<ThreadStart*>(parameter)));
    InterlockedDecrement(&g_running);
    NoteModuleUse(false);
    FreeLibraryAndExitThread(module, 0);
}

} // namespace

bool StartLibraryThread(ThreadApartment apartment, std::function<void()> work)
{
    try {
        auto start = std::make_unique<ThreadStart>(ThreadStart{apartment, std::move(work)});
        if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&LibraryThreadMain),
                                &start->Module))
            return false;
        InterlockedIncrement(&g_running);
        NoteModuleUse(true);
        UniqueHandle thread(CreateThread(nullptr, 0, LibraryThreadMain, start.get(), 0, nullptr));
        if (thread) {
            static_cast<void>(start.release()); // the thread's now
            return true;
        }
        InterlockedDecrement(&g_running);
        NoteModuleUse(false);
        FreeLibrary(start->Module);
        return false;
    } catch (...) {
        return false;
    }
}

LONG LibraryThreadsRunning()
{
    return g_running;
}

} // namespace vok
