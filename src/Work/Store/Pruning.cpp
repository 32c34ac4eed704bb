#include "Work/Store/Pruning.h"

#include "Common/LibraryThread.h"
#include "Common/Unique.h"

#include <windows.h>
#include <shellapi.h>

#include <utility>

namespace vok {
namespace {

volatile LONG g_recycling = 0;

bool IsReadOnly(const WString& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
}

// The operation's list: each path ended by a NUL, the list by another.
WString OperationList(const std::vector<WString>& links)
{
    WString list;
    for (const WString& link : links) {
        if (IsReadOnly(link)) continue;
        list += link;
        list += L'\0';
    }
    return list;
}

void Recycle(const std::vector<WString>& links)
{
    const WString list = OperationList(links);
    if (list.empty()) return;
    SHFILEOPSTRUCTW operation = {};
    operation.wFunc = FO_DELETE;
    operation.pFrom = list.c_str(); // the string's own NUL ends the list
    operation.fFlags = FOF_ALLOWUNDO | FOF_NO_UI;
    SHFileOperationW(&operation);
}

} // namespace

void RecycleDeadLinks(std::vector<WString> links)
{
    if (links.empty() || InterlockedCompareExchange(&g_recycling, 1, 0) != 0) return;
    const bool started = StartLibraryThread(taSingle, [links = std::move(links)] {
        const ScopeExit done([] { InterlockedExchange(&g_recycling, 0); });
        Recycle(links);
    });
    if (!started) InterlockedExchange(&g_recycling, 0);
}

} // namespace vok
