#include "Demo/MenuTranscript.h"

namespace vok::demo {
namespace {

// The pixels of a bitmap as 32-bit rows, so that bitmaps of any depth and
// any handle compare by what they show.
bool PixelsOf(HBITMAP bitmap, LONG& width, LONG& height, std::vector<DWORD>& pixels)
{
    BITMAP info{};
    if (!bitmap || GetObjectA(bitmap, sizeof(info), &info) != sizeof(info)) return false;
    width = info.bmWidth;
    height = info.bmHeight;
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof(format.bmiHeader);
    format.bmiHeader.biWidth = width;
    format.bmiHeader.biHeight = height;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
    HDC screen = GetDC(nullptr);
    const int rows = GetDIBits(screen, bitmap, 0, static_cast<UINT>(height), pixels.data(), &format, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    return rows == height;
}

// Captions as the menu holds them, in any script, printed as UTF-8.
std::string Utf8Of(const wchar_t* text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return std::string();
    std::string utf8(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &utf8[0], size, nullptr, nullptr);
    utf8.resize(static_cast<size_t>(size) - 1);
    return utf8;
}

} // namespace

bool SameBitmap(HBITMAP a, HBITMAP b)
{
    LONG wa = 0, ha = 0, wb = 0, hb = 0;
    std::vector<DWORD> pa, pb;
    if (!PixelsOf(a, wa, ha, pa) || !PixelsOf(b, wb, hb, pb)) return false;
    return wa == wb && ha == hb && pa == pb;
}

std::string NameOfBitmap(HBITMAP bitmap, const NamedBitmaps& known)
{
    if (!bitmap) return std::string();
    for (const auto& entry : known)
        if (SameBitmap(bitmap, entry.second)) return entry.first;
    return "?";
}

std::vector<MenuLine> ReadMenu(HMENU menu, const NamedBitmaps& known)
{
    std::vector<MenuLine> lines;
    const int count = GetMenuItemCount(menu);
    for (int position = 0; position < count; ++position) {
        wchar_t caption[256] = {};
        MENUITEMINFOW item{};
        item.cbSize = sizeof(item);
        item.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_BITMAP | MIIM_STRING;
        item.dwTypeData = caption;
        item.cch = 256;
        if (!GetMenuItemInfoW(menu, static_cast<UINT>(position), TRUE, &item)) continue;
        MenuLine line;
        line.Separator = (item.fType & MFT_SEPARATOR) != 0;
        line.Default = (item.fState & MFS_DEFAULT) != 0;
        line.Id = item.wID;
        if (!line.Separator) line.Caption = Utf8Of(caption);
        line.Bitmap = NameOfBitmap(item.hbmpItem, known);
        if (item.hSubMenu) line.Submenu = ReadMenu(item.hSubMenu, known);
        lines.push_back(std::move(line));
    }
    return lines;
}

std::vector<std::string> FormatMenu(const std::vector<MenuLine>& lines, int indent)
{
    std::vector<std::string> out;
    const std::string margin(static_cast<size_t>(indent), ' ');
    for (const MenuLine& line : lines) {
        if (line.Separator) {
            out.push_back(margin + "     ----------");
            continue;
        }
        std::string mark = line.Bitmap.empty() ? "    " : "[" + line.Bitmap + "]";
        mark.resize(5, ' ');
        std::string text = margin + mark + line.Caption;
        if (line.Default) text += "  (default)";
        if (!line.Submenu.empty()) text += " >";
        out.push_back(text);
        for (std::string& nested : FormatMenu(line.Submenu, indent + 5)) out.push_back(std::move(nested));
    }
    return out;
}

int FindCaption(const std::vector<MenuLine>& lines, const std::string& caption)
{
    for (size_t i = 0; i < lines.size(); ++i)
        if (!lines[i].Separator && lines[i].Caption == caption) return static_cast<int>(i);
    return -1;
}

} // namespace vok::demo
