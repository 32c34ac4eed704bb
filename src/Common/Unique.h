// One owner per Win32 resource: a move-only handle that closes itself.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <shtypes.h>

#include <utility>

namespace vok {

// Traits supply: using Type; static Type Invalid(); static void Close(Type).
template <class Traits>
class Unique {
public:
    using Type = typename Traits::Type;

    Unique() noexcept : handle_(Traits::Invalid()) {}
    explicit Unique(Type handle) noexcept : handle_(handle) {}
    Unique(Unique&& other) noexcept : handle_(other.release()) {}
    Unique& operator=(Unique&& other) noexcept
    {
        if (this != &other) reset(other.release());
        return *this;
    }
    Unique(const Unique&) = delete;
    Unique& operator=(const Unique&) = delete;
    ~Unique() { reset(); }

    Type get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return handle_ != Traits::Invalid(); }

    Type release() noexcept { return std::exchange(handle_, Traits::Invalid()); }

    // Keeps GetLastError, so a caller can read the failure that came before.
    void reset(Type handle = Traits::Invalid()) noexcept
    {
        const Type old = std::exchange(handle_, handle);
        if (old != Traits::Invalid()) {
            const DWORD lastError = GetLastError();
            Traits::Close(old);
            SetLastError(lastError);
        }
    }

    // For out-parameters: frees what is held first.
    Type* put() noexcept
    {
        reset();
        return &handle_;
    }

private:
    Type handle_;
};

struct KeyTraits {
    using Type = HKEY;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { RegCloseKey(h); }
};
struct HandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { CloseHandle(h); }
};
struct FileTraits {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) { CloseHandle(h); }
};
struct FindTraits {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) { FindClose(h); }
};
struct MenuTraits {
    using Type = HMENU;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { DestroyMenu(h); }
};
// Bitmaps, fonts, regions: every GDI object is freed alike.
template <class Handle>
struct GdiObjectTraits {
    using Type = Handle;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { DeleteObject(h); }
};
struct IconTraits {
    using Type = HICON;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { DestroyIcon(h); }
};

// An item list the shell allocated (a link's, a window's folder).
struct IdListTraits {
    using Type = PIDLIST_ABSOLUTE;
    static Type Invalid() { return nullptr; }
    static void Close(Type list) { CoTaskMemFree(list); }
};

// A library this process loaded itself.
struct LibraryTraits {
    using Type = HMODULE;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { FreeLibrary(h); }
};

using UniqueKey = Unique<KeyTraits>;
using UniqueHandle = Unique<HandleTraits>;
using UniqueFile = Unique<FileTraits>;
using UniqueFind = Unique<FindTraits>;
using UniqueMenu = Unique<MenuTraits>;
using UniqueBitmap = Unique<GdiObjectTraits<HBITMAP>>;
using UniqueFont = Unique<GdiObjectTraits<HFONT>>;
using UniqueRegion = Unique<GdiObjectTraits<HRGN>>;
using UniqueIcon = Unique<IconTraits>;
using UniqueIdList = Unique<IdListTraits>;
using UniqueLibrary = Unique<LibraryTraits>;

// Runs a clean-up step when the scope ends, on every path.
template <class F>
class ScopeExit {
public:
    explicit ScopeExit(F f) : f_(std::move(f)) {}
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;
    ~ScopeExit() { f_(); }

private:
    F f_;
};

// Holds a slim reader/writer lock exclusively until the scope ends, on every
// path (an exception from the work done under it included).
class ExclusiveLock {
public:
    explicit ExclusiveLock(SRWLOCK& lock) : lock_(lock) { AcquireSRWLockExclusive(&lock_); }
    ~ExclusiveLock() { ReleaseSRWLockExclusive(&lock_); }
    ExclusiveLock(const ExclusiveLock&) = delete;
    ExclusiveLock& operator=(const ExclusiveLock&) = delete;

private:
    SRWLOCK& lock_;
};

} // namespace vok
