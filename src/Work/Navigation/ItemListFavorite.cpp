#include "Work/Navigation/ItemListFavorite.h"

#include "Common/Unique.h"
#include "Work/Navigation/ExplorerBrowse.h"
#include "Work/Navigation/ShellLaunch.h"
#include "Work/Store/Shortcuts.h"

#include <objbase.h>

namespace vok {

void OpenItemListFavorite(const WString& linkPath, bool fromDesktop, IUnknown* site) noexcept
{
    PIDLIST_ABSOLUTE items = ReadLinkItemList(linkPath);
    if (!items) return;
    const auto freeItems = [items] { CoTaskMemFree(items); };
    ScopeExit<decltype(freeItems)> release(freeItems);
    if (!fromDesktop && BrowseSiteTo(site, items)) return;
    ShellLaunchItemList(items, SW_SHOWNORMAL);
}

} // namespace vok
