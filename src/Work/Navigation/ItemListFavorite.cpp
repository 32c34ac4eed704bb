#include "Work/Navigation/ItemListFavorite.h"

#include "Common/Unique.h"
#include "Work/Navigation/ExplorerBrowse.h"
#include "Work/Navigation/ShellLaunch.h"
#include "Work/Store/Shortcuts.h"

#include <objbase.h>

namespace vok {

void OpenItemListFavorite(const WString& linkPath, bool fromDesktop, IUnknown* site) noexcept
{
    const UniqueIdList items = ReadLinkItemList(linkPath);
    if (!items) return;
    if (!fromDesktop && BrowseSiteTo(site, items.get())) return;
    ShellLaunchItemList(items.get(), SW_SHOWNORMAL);
}

} // namespace vok
