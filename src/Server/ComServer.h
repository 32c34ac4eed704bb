// The module's in-process server object, which counts what keeps the library
// loaded, and the registry of class factories that DllGetClassObject searches.
#pragma once

#include "Common/WideString.h"

#include <windows.h>

#include <string>

namespace vok {

class TComObjectFactory;

class TComServer {
public:
    explicit TComServer(HINSTANCE module);
    // Destroys every factory of this server.
    ~TComServer();
    TComServer(const TComServer&) = delete;
    TComServer& operator=(const TComServer&) = delete;

    // Both move their counter by one and return the new value.
    LONG NoteObject(bool created);
    LONG NoteFactoryRef(bool added);

    // No object, server lock or factory reference is outstanding. The two
    // counters are read without a lock: the answer is a moment's view anyway.
    bool CanUnload() const { return LiveObjects == 0 && FactoryRefs == 0; }

    // The library's full path, as the loader reports it, in any script.
    // Throws when it does not fit the buffer: a cut path would register a
    // library that is not there.
    WString ServerFileName() const;
    const char* ServerKey() const { return "InprocServer32"; }

    // Writes (or removes) every published factory's registry entries, all in
    // one exclusive visit of the factory registry. Throws on failure.
    void UpdateServerRegistration(bool registering);

private:
    HINSTANCE module_;
    volatile LONG LiveObjects = 0; // handler objects alive, plus server locks
    volatile LONG FactoryRefs = 0; // references on factories handed out
};

// Null before start-up and after shut-down.
TComServer* ModuleServer();

// The factory registry: a list of factories, newest first, under a
// multi-reader/single-writer lock. The thread that holds it exclusively may
// take it again: a factory destroyed during a visit removes itself.
class TComClassManager {
public:
    TComClassManager() = default;
    TComClassManager(const TComClassManager&) = delete;
    TComClassManager& operator=(const TComClassManager&) = delete;

    void AddFactory(TComObjectFactory& factory);
    void RemoveFactory(TComObjectFactory& factory);
    // The first factory serving `clsid`, or null.
    TComObjectFactory* FindFactory(REFCLSID clsid);

    // Calls `action` for every factory of `server`; the next link is taken
    // before the action runs, so the action may destroy the factory.
    template <class Action>
    void VisitFactories(const TComServer& server, Action&& action)
    {
        ExclusiveHold hold(*this);
        for (TComObjectFactory* factory = first_; factory;) {
            TComObjectFactory* const next = NextOf(*factory);
            if (ServerOf(*factory) == &server) action(*factory);
            factory = next;
        }
    }

private:
    class ExclusiveHold {
    public:
        explicit ExclusiveHold(TComClassManager& manager);
        ~ExclusiveHold();
        ExclusiveHold(const ExclusiveHold&) = delete;
        ExclusiveHold& operator=(const ExclusiveHold&) = delete;

    private:
        TComClassManager& manager_;
    };
    static TComObjectFactory* NextOf(const TComObjectFactory& factory);
    static const TComServer* ServerOf(const TComObjectFactory& factory);
    bool HeldByThisThread() const { return owner_ == GetCurrentThreadId(); }

    SRWLOCK lock_ = SRWLOCK_INIT;
    volatile DWORD owner_ = 0; // thread holding the lock exclusively
    int depth_ = 0;            // its nested holds
    TComObjectFactory* first_ = nullptr;
};

// Created by the first factory, or by the first lookup; null after shut-down.
TComClassManager* ComClassManager();

// The first step of the frame's start-up; the factories come after it.
void CreateModuleServer(HINSTANCE module);
// Frees the server with its factories, then the factory registry.
void DestroyServerFrame();

// Set when the module's shut-down begins, before anything is freed; from
// then on a handler object that is destroyed leaves the counters alone.
void BeginFrameShutDown();
bool FrameShuttingDown();

} // namespace vok
