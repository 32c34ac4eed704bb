// The checks of `make harden` that are more than counting: what a registry
// row must give, a selection the handler can be initialised with, one guarded
// GetCommandString call, and the process's resources where this Wine reports
// none. Tested by HardenChecksTest.cpp.
#pragma once

#include "TestSupport.h"

#include <windows.h>
#include <shlobj.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace vok::harden {

struct RegistryRow {
    const char* Value; // "Status" or "Install Folder"
    DWORD Type;
    std::string Data;
    const char* Label;
};

// What the library must make of a row: only a four-byte REG_DWORD 0 switches
// the menu off; only a string type names a folder, as stored up to its first
// NUL.
bool ExpectEnabled(const RegistryRow& row);
std::string ExpectFavoritesDir(const RegistryRow& row, const std::string& folder);

// A selection answering CF_HDROP with a fresh copy of an ANSI drop list.
class DropSelection final : public test::SelectionBase {
public:
    explicit DropSelection(const std::vector<std::string>& paths)
    {
        list_.assign(sizeof(DROPFILES), '\0');
        for (const std::string& path : paths) list_ += path + '\0';
        // The list ends with an empty name; an empty list is that name alone,
        // after the empty first name that the system reads before seeing it.
        list_ += paths.empty() ? std::string(2, '\0') : std::string(1, '\0');
        reinterpret_cast<DROPFILES*>(&list_[0])->pFiles = sizeof(DROPFILES);
    }
    STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override
    {
        if (!format || format->cfFormat != CF_HDROP) return DV_E_FORMATETC;
        HGLOBAL copy = GlobalAlloc(GHND, list_.size());
        if (!copy) return E_OUTOFMEMORY;
        std::memcpy(GlobalLock(copy), list_.data(), list_.size());
        GlobalUnlock(copy);
        *medium = {};
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = copy;
        return S_OK;
    }
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_IUnknown || iid == IID_IDataObject) return *out = this, S_OK;
        return *out = nullptr, E_NOINTERFACE;
    }

private:
    std::string list_;
};

struct ComFigures {
    uint64_t Initializes = 0, Menus = 0, StringCalls = 0, StringAnswers = 0, Overruns = 0, Unterminated = 0;
    uint64_t Invokes = 0, WrongInvokeResults = 0;
};

// One GetCommandString call into a guarded buffer: nothing may be written
// at or beyond cchMax characters, and a text given back ends within them.
void AskString(IContextMenu& menu, UINT_PTR offset, UINT type, UINT cchMax, ComFigures& f);

// What the system says, and what is counted here when it says nothing: this
// Wine answers 0 for GetProcessHandleCount and PrivateUsage (and for
// GetGuiResources, which has no stand-in).
struct Resources {
    DWORD Gdi = 0, User = 0;
    DWORD HandleCount = 0;   // GetProcessHandleCount
    DWORD HandlesProbed = 0; // handle values GetHandleInformation accepts
    // Bytes in size_t, which "%zu" prints on both targets (SIZE_T is an
    // unsigned long on i686).
    size_t PrivateUsage = 0;  // PROCESS_MEMORY_COUNTERS_EX.PrivateUsage
    size_t PrivateMapped = 0; // committed private regions, by VirtualQuery
    DWORD Handles() const { return HandleCount ? HandleCount : HandlesProbed; }
    size_t Private() const { return PrivateUsage ? PrivateUsage : PrivateMapped; }
};

// Handle values GetHandleInformation accepts, below 64 Ki.
DWORD ProbeHandles();
using test::CommittedPrivateBytes;
Resources Sample();

} // namespace vok::harden
