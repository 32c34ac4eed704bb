// A context menu read back item by item, as the user would describe it: the
// captions, separators, the default item, the submenus and which of the
// library's item bitmaps each item shows.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace vok::demo {

struct MenuLine {
    std::string Caption; // UTF-8
    bool Separator = false;
    bool Default = false;
    UINT Id = 0;
    std::string Bitmap; // name of the known bitmap it shows, "?" for another, "" for none
    std::vector<MenuLine> Submenu;
};

// Bitmaps to recognise by their pixels, with the names to print.
using NamedBitmaps = std::vector<std::pair<std::string, HBITMAP>>;

// True when both bitmaps have the same size and the same pixels.
bool SameBitmap(HBITMAP a, HBITMAP b);

// The name of the first known bitmap with the pixels of `bitmap`; "" for
// none, "?" when it matches none of them.
std::string NameOfBitmap(HBITMAP bitmap, const NamedBitmaps& known);

// Every item of `menu` in order, submenus included.
std::vector<MenuLine> ReadMenu(HMENU menu, const NamedBitmaps& known);

// One line per item, submenus indented below their entry:
//   "[S ] Vokmark  (default) >" then "       Music", "       ----------".
std::vector<std::string> FormatMenu(const std::vector<MenuLine>& lines, int indent = 0);

// Position of the item with `caption`, or -1.
int FindCaption(const std::vector<MenuLine>& lines, const std::string& caption);

} // namespace vok::demo
