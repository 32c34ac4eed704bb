// Links judged dead leave the favourites folder for the Recycle Bin, where a
// wrong judgement (a volume that lied, a folder renamed and renamed back) can
// be undone; on a volume that has no bin they are deleted.
#pragma once

#include "Common/WideString.h"

#include <vector>

namespace vok {

// Moves the links to the Recycle Bin on a library thread, after the menu that
// judged them: the bin may take its time (it is set up on first use, on the
// link's own volume). One such thread at a time: while one runs, the links of
// later menus stay until a menu after it. A read-only link is the user's to
// keep and is left.
void RecycleDeadLinks(std::vector<WString> links);

} // namespace vok
