#include "Server/ComServer.h"

#include "Common/LibraryError.h"
#include "Server/ComObjectFactory.h"

#include <utility>

namespace vok {
namespace {

TComServer* g_moduleServer = nullptr;
TComClassManager* g_classManager = nullptr;
volatile LONG g_shuttingDown = 0;

constexpr DWORD kServerFileNameBuffer = 262;

} // namespace

TComServer::TComServer(HINSTANCE module) : module_(module)
{
}

TComServer::~TComServer()
{
    if (TComClassManager* manager = ComClassManager())
        manager->VisitFactories(*this, [](TComObjectFactory& factory) { delete &factory; });
}

LONG TComServer::NoteObject(bool created)
{
    return created ? InterlockedIncrement(&LiveObjects) : InterlockedDecrement(&LiveObjects);
}

LONG TComServer::NoteFactoryRef(bool added)
{
    return added ? InterlockedIncrement(&FactoryRefs) : InterlockedDecrement(&FactoryRefs);
}

WString TComServer::ServerFileName() const
{
    wchar_t path[kServerFileNameBuffer];
    const DWORD length = GetModuleFileNameW(module_, path, kServerFileNameBuffer);
    if (length == 0 || length >= kServerFileNameBuffer) throw ELibraryError("The library's path is too long");
    return WString(path, length);
}

void TComServer::UpdateServerRegistration(bool registering)
{
    ComClassManager()->VisitFactories(*this, [registering](TComObjectFactory& factory) {
        if (factory.InstanceMode != imInternal) factory.UpdateClassRegistration(registering);
    });
}

TComServer* ModuleServer()
{
    return g_moduleServer;
}

TComClassManager::ExclusiveHold::ExclusiveHold(TComClassManager& manager) : manager_(manager)
{
    if (!manager_.HeldByThisThread()) {
        AcquireSRWLockExclusive(&manager_.lock_);
        manager_.owner_ = GetCurrentThreadId();
    }
    ++manager_.depth_;
}

TComClassManager::ExclusiveHold::~ExclusiveHold()
{
    if (--manager_.depth_ > 0) return;
    manager_.owner_ = 0;
    ReleaseSRWLockExclusive(&manager_.lock_);
}

void TComClassManager::AddFactory(TComObjectFactory& factory)
{
    ExclusiveHold hold(*this);
    factory.NextFactory = first_;
    first_ = &factory;
}

void TComClassManager::RemoveFactory(TComObjectFactory& factory)
{
    ExclusiveHold hold(*this);
    for (TComObjectFactory** link = &first_; *link; link = &(*link)->NextFactory) {
        if (*link != &factory) continue;
        *link = factory.NextFactory;
        return;
    }
}

TComObjectFactory* TComClassManager::FindFactory(REFCLSID clsid)
{
    // Registration holds the lock exclusively and may itself look up a class.
    const bool shared = !HeldByThisThread();
    if (shared) AcquireSRWLockShared(&lock_);
    TComObjectFactory* found = first_;
    while (found && !IsEqualGUID(found->Clsid, clsid)) found = found->NextFactory;
    if (shared) ReleaseSRWLockShared(&lock_);
    return found;
}

TComObjectFactory* TComClassManager::NextOf(const TComObjectFactory& factory)
{
    return factory.NextFactory;
}

const TComServer* TComClassManager::ServerOf(const TComObjectFactory& factory)
{
    return &factory.Server;
}

TComClassManager* ComClassManager()
{
    // First needed during start-up, which runs on one thread.
    if (!g_classManager && !FrameShuttingDown()) g_classManager = new TComClassManager;
    return g_classManager;
}

void CreateModuleServer(HINSTANCE module)
{
    delete g_moduleServer;
    g_moduleServer = new TComServer(module);
}

void DestroyServerFrame()
{
    delete std::exchange(g_moduleServer, nullptr);
    delete std::exchange(g_classManager, nullptr);
}

void BeginFrameShutDown()
{
    InterlockedExchange(&g_shuttingDown, 1);
}

bool FrameShuttingDown()
{
    return g_shuttingDown != 0;
}

} // namespace vok
