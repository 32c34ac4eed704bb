#include "AboutBox/AboutBoxForm.h"

#include "AboutBox/AboutBox.h"
#include "AboutBox/Status.h"
#include "Common/WindowText.h"
#include "Resources/AboutBoxLayout.h"
#include "Work/ExtensionState.h"
#include "Work/Navigation/ShellLaunch.h"

#include <exception>
#include <string>

namespace vok {
namespace {

constexpr COLORREF kNavy = RGB(0, 0, 128);
constexpr LONG kEightPointHeight = -11; // 8 point at 96 dpi
constexpr int kVersionGap = 4;          // between "Version" and the number, as designed

const struct {
    int Id;
    int Left, Top, Width, Height;
} kLayout[] = {
    {IDC_BEVEL, RECT_BEVEL},
    {IDC_WARNING, RECT_WARNING},
    {IDC_IMAGE, RECT_IMAGE},
    {IDOK, RECT_OK},
    {IDC_OUTER, RECT_OUTER},
    {IDC_PRODUCT, RECT_PRODUCT},
    {IDC_VERSIONINFO, RECT_VERSIONINFO},
    {IDC_VERSION, RECT_VERSION},
    {IDC_COPYRIGHT, RECT_COPYRIGHT},
    {IDC_COMPANY, RECT_COMPANY},
    {IDC_ACTIVE, RECT_ACTIVE},
    {IDC_INACTIVE, RECT_INACTIVE},
};

UniqueFont MakeFont(const char* face, LONG weight, bool underline, BYTE charset)
{
    LOGFONTA font = {};
    font.lfHeight = kEightPointHeight;
    font.lfWeight = weight;
    font.lfUnderline = underline;
    font.lfCharSet = charset;
    lstrcpynA(font.lfFaceName, face, LF_FACESIZE);
    return UniqueFont(CreateFontIndirectA(&font));
}

// Labels drawn straight onto the window's face, so that where two overlap
// both stay readable.
bool IsTransparentLabel(int id)
{
    return id == IDC_WARNING || id == IDC_VERSIONINFO || id == IDC_COPYRIGHT || id == IDC_COMPANY;
}

} // namespace

void TAboutBoxForm::ShowModal()
{
    DialogBoxParamA(resources_, "TABOUTBOXFORM", nullptr, DialogProc, reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK TAboutBoxForm::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    try {
        if (message == WM_INITDIALOG) {
            SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
            reinterpret_cast<TAboutBoxForm*>(lParam)->hwnd_ = hwnd;
        }
        auto* form = reinterpret_cast<TAboutBoxForm*>(GetWindowLongPtrA(hwnd, DWLP_USER));
        return form ? form->Handle(message, wParam, lParam) : FALSE;
    } catch (...) {
        return FALSE;
    }
}

template <class Handler>
void TAboutBoxForm::Dispatch(Handler handler)
{
    try {
        (this->*handler)();
    } catch (const std::exception& error) {
        MessageBoxA(hwnd_, error.what(), kStatusErrorTitle, MB_OK | MB_ICONERROR);
    }
}

INT_PTR TAboutBoxForm::Handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: Dispatch(&TAboutBoxForm::FormCreate); return TRUE; // focus on the first tab stop, btOK
    case WM_SHOWWINDOW:
        if (wParam) Dispatch(&TAboutBoxForm::FormShow);
        return FALSE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
        case IDCANCEL: // the close box and Escape
            Dispatch(&TAboutBoxForm::btOKClick);
            return TRUE;
        case IDC_ACTIVE:
        case IDC_INACTIVE:
            if (HIWORD(wParam) == BN_CLICKED) Dispatch(&TAboutBoxForm::BtActiveClick);
            return TRUE;
        case IDC_COMPANY:
            if (HIWORD(wParam) == STN_CLICKED) Dispatch(&TAboutBoxForm::lbCompanyClick);
            return TRUE;
        }
        return FALSE;
    case WM_MOUSEMOVE: Dispatch(&TAboutBoxForm::FormMouseMove); return FALSE;
    case WM_SETCURSOR:
        // A child passes WM_SETCURSOR to its parent first: this is where the
        // dialog learns that the pointer moves over the link.
        if (reinterpret_cast<HWND>(wParam) != Item(IDC_COMPANY)) return FALSE;
        if (HIWORD(lParam) == WM_MOUSEMOVE) Dispatch(&TAboutBoxForm::lbCompanyMouseMove);
        SetCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_HAND)));
        SetWindowLongPtrA(hwnd_, DWLP_MSGRESULT, TRUE);
        return TRUE;
    case WM_CTLCOLORSTATIC: {
        const HDC dc = reinterpret_cast<HDC>(wParam);
        const int id = GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
        SetTextColor(dc, id == IDC_COMPANY ? kNavy : GetSysColor(COLOR_WINDOWTEXT));
        SetBkMode(dc, TRANSPARENT);
        const HGDIOBJ brush = IsTransparentLabel(id) ? GetStockObject(NULL_BRUSH) : GetSysColorBrush(COLOR_BTNFACE);
        return reinterpret_cast<INT_PTR>(brush);
    }
    case WM_DRAWITEM: Draw(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)); return TRUE;
    }
    return FALSE;
}

void TAboutBoxForm::FormCreate()
{
    icon_.reset(static_cast<HICON>(LoadImageA(resources_, "ABOUTICON", IMAGE_ICON, 32, 32, 0)));
    if (icon_) SendMessageA(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_.get()));

    // The controls' font: the template names the same face, but the dialog
    // manager does not keep its character set. The dialog's own font stays
    // the dialog manager's.
    formFont_ = MakeFont("Tahoma", FW_NORMAL, false, ANSI_CHARSET);
    productFont_ = MakeFont("Tahoma", FW_BOLD, false, ANSI_CHARSET);
    underlinedLinkFont_ = MakeFont("Tahoma", FW_NORMAL, true, ANSI_CHARSET);
    warningFont_ = MakeFont("Times New Roman", FW_NORMAL, false, ANSI_CHARSET);
    versionFont_ = MakeFont("MS Sans Serif", FW_NORMAL, false, DEFAULT_CHARSET);
    const auto setFont = [](HWND window, const UniqueFont& font) {
        if (font) SendMessageA(window, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), FALSE);
    };
    for (const auto& place : kLayout) setFont(Item(place.Id), formFont_);
    setFont(Item(IDC_PRODUCT), productFont_);
    setFont(Item(IDC_WARNING), warningFont_);
    setFont(Item(IDC_VERSION), versionFont_);

    SetWindowTextA(Item(IDC_COMPANY), kMakerHost);
    char warning[512] = {};
    LoadStringA(resources_, IDS_WARNING, warning, sizeof warning);
    SetWindowTextA(Item(IDC_WARNING), warning);

    PlaceControls();
}

void TAboutBoxForm::PlaceControls()
{
    // The dialog manager sized everything in dialog units; the design is in pixels.
    const DWORD style = static_cast<DWORD>(GetWindowLongPtrA(hwnd_, GWL_STYLE));
    const DWORD exStyle = static_cast<DWORD>(GetWindowLongPtrA(hwnd_, GWL_EXSTYLE));
    RECT frame = {0, 0, ABOUT_CLIENT_SIZE};
    AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    SetWindowPos(hwnd_, nullptr, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                 (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    for (const auto& place : kLayout)
        SetWindowPos(Item(place.Id), nullptr, place.Left, place.Top, place.Width, place.Height,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    for (int id : {IDC_PRODUCT, IDC_VERSIONINFO, IDC_VERSION, IDC_COMPANY}) FitLabelToText(id, false);
    for (int id : {IDC_WARNING, IDC_COPYRIGHT}) FitLabelToText(id, true);
    // "Version" and its number read as one: where the font makes the word
    // wider than designed, the number moves on to keep the designed gap.
    RECT word, number;
    GetWindowRect(Item(IDC_VERSIONINFO), &word);
    GetWindowRect(Item(IDC_VERSION), &number);
    const int push = word.right + kVersionGap - number.left;
    if (push > 0) {
        MapWindowPoints(HWND_DESKTOP, hwnd_, reinterpret_cast<POINT*>(&number), 2);
        SetWindowPos(Item(IDC_VERSION), nullptr, number.left + push, number.top, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }

    // The frame round the picture lies above it but covers only its own
    // edge: it owns those pixels alone, and the picture keeps the rest.
    const HWND outer = Item(IDC_OUTER);
    RECT box;
    GetClientRect(outer, &box);
    UniqueRegion shape(CreateRectRgn(0, 0, box.right, box.bottom));
    UniqueRegion inside(CreateRectRgn(1, 1, box.right - 1, box.bottom - 1));
    if (shape && inside && CombineRgn(shape.get(), shape.get(), inside.get(), RGN_DIFF) != ERROR &&
        SetWindowRgn(outer, shape.get(), FALSE))
        shape.release(); // the window owns it now
    SetWindowPos(outer, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

// A label takes the size of its text; a word-wrapped one keeps its width.
void TAboutBoxForm::FitLabelToText(int id, bool wordWrapped)
{
    const HWND label = Item(id);
    RECT box;
    GetClientRect(label, &box);
    const WString text = WindowTextOf(label);
    const HDC dc = GetDC(label);
    if (!dc) return;
    const HGDIOBJ previous = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(label, WM_GETFONT, 0, 0)));
    ScopeExit release([&] {
        SelectObject(dc, previous);
        ReleaseDC(label, dc);
    });
    RECT needed = {0, 0, box.right, 0};
    const UINT format = DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS | (wordWrapped ? DT_WORDBREAK : 0);
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &needed, format);
    SetWindowPos(label, nullptr, 0, 0, wordWrapped ? box.right : needed.right, needed.bottom,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TAboutBoxForm::FormShow()
{
    LoadStatus();
    bool enabled = true;
    WithState([&](ExtensionState& s) { enabled = s.Enabled; });
    // Pressing from code sends no click: showing the window stores nothing.
    CheckRadioButton(hwnd_, IDC_ACTIVE, IDC_INACTIVE, enabled ? IDC_ACTIVE : IDC_INACTIVE);
}

void TAboutBoxForm::BtActiveClick()
{
    const bool enabled = IsDlgButtonChecked(hwnd_, IDC_ACTIVE) == BST_CHECKED;
    WithState([&](ExtensionState& s) { s.Enabled = enabled; });
    SaveStatus();
}

void TAboutBoxForm::btOKClick()
{
    EndDialog(hwnd_, IDOK);
}

void TAboutBoxForm::lbCompanyClick()
{
    ShowWindow(hwnd_, SW_HIDE);
    ShellLaunch(hwnd_, L"open", kHomePageUrl, nullptr, nullptr, SW_SHOWMAXIMIZED);
    EndDialog(hwnd_, IDOK);
}

void TAboutBoxForm::lbCompanyMouseMove()
{
    SetLinkUnderlined(true);
}

void TAboutBoxForm::FormMouseMove()
{
    SetLinkUnderlined(false);
}

void TAboutBoxForm::SetLinkUnderlined(bool underlined)
{
    if (underlined == linkUnderlined_ || !underlinedLinkFont_ || !formFont_) return;
    linkUnderlined_ = underlined;
    const HWND link = Item(IDC_COMPANY);
    const HFONT font = underlined ? underlinedLinkFont_.get() : formFont_.get();
    SendMessageA(link, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    // The label is transparent: the face beneath has to be painted afresh.
    RECT area;
    GetWindowRect(link, &area);
    MapWindowPoints(HWND_DESKTOP, hwnd_, reinterpret_cast<POINT*>(&area), 2);
    RedrawWindow(hwnd_, &area, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void TAboutBoxForm::Draw(const DRAWITEMSTRUCT& item) const
{
    RECT box = item.rcItem;
    switch (item.CtlID) {
    case IDC_BEVEL: // a lowered line along the top edge
        DrawEdge(item.hDC, &box, EDGE_ETCHED, BF_TOP);
        return;
    case IDC_OUTER: // a lowered box
        DrawEdge(item.hDC, &box, BDR_SUNKENOUTER, BF_RECT);
        return;
    case IDOK: { // a flat button with navy text
        const bool pressed = (item.itemState & ODS_SELECTED) != 0;
        FillRect(item.hDC, &box, GetSysColorBrush(COLOR_BTNFACE));
        DrawEdge(item.hDC, &box, pressed ? BDR_SUNKENOUTER : BDR_RAISEDINNER, BF_RECT);
        const WString text = WindowTextOf(item.hwndItem);
        RECT label = box;
        if (pressed) OffsetRect(&label, 1, 1);
        SetBkMode(item.hDC, TRANSPARENT);
        SetTextColor(item.hDC, kNavy);
        DrawTextW(item.hDC, text.c_str(), static_cast<int>(text.size()), &label,
                  DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
        if (item.itemState & ODS_FOCUS) {
            InflateRect(&box, -3, -3);
            DrawFocusRect(item.hDC, &box);
        }
        return;
    }
    }
}

} // namespace vok
