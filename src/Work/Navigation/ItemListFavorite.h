// Going to a favourite that names its target by an item list alone ("This
// PC", Control Panel, a library, a network computer, a phone): there is no
// path to type into a box, so the window's own browser goes there, or the
// shell opens it in a window of its own.
#pragma once

#include "Common/WideString.h"

#include <windows.h>
#include <unknwn.h>

namespace vok {

// `linkPath` is the favourite's ".lnk"; `site` the handler's site, if any.
// From the desktop's background the target always opens in a new window, as
// a folder does.
void OpenItemListFavorite(const WString& linkPath, bool fromDesktop, IUnknown* site) noexcept;

} // namespace vok
