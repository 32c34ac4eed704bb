// Sending an Explorer window or a file dialog to a folder through the shell's
// own browser, for the windows whose address box cannot be typed into: since
// Windows Vista its "Edit" stays hidden until the user clicks the breadcrumb
// bar, and from Windows 11 22H2 the bar is no Win32 control at all. A file
// dialog's box would take a typed folder for its answer.
#pragma once

#include "Common/WideString.h"

#include <windows.h>
#include <shtypes.h>
#include <unknwn.h>

namespace vok {

// Goes to `folder`, an absolute item list (which names folders that have no
// path as well), in the browser behind `site` (the site the shell gave the
// handler; may be null), else in the shell window list's browser whose
// window is `window`. Returns false when neither exists or the browser
// refused; nothing is changed then.
bool BrowseExplorerWindow(IUnknown* site, HWND window, PCIDLIST_ABSOLUTE folder);

// Whether the site leads to a browser that BrowseExplorerWindow would use.
bool SiteHasBrowser(IUnknown* site);

// Goes to `items` in the browser behind `site` only, in that browser's own
// frame; false when there is none or it refused.
bool BrowseSiteTo(IUnknown* site, PCIDLIST_ABSOLUTE items);

} // namespace vok
