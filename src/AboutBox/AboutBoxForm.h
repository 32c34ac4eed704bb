// The About window itself: a dialog built from the layout resource
// "TABOUTBOXFORM", with the window's event handlers.
#pragma once

#include "Common/Unique.h"

#include <windows.h>

namespace vok {

class TAboutBoxForm {
public:
    explicit TAboutBoxForm(HINSTANCE resources) : resources_(resources) {}
    TAboutBoxForm(const TAboutBoxForm&) = delete;
    TAboutBoxForm& operator=(const TAboutBoxForm&) = delete;

    // Creates the window with no owner, shows it and runs its modal loop
    // until it is closed; the window is destroyed on return.
    void ShowModal();

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
    // Runs one event handler; an error it raises is shown in an error box
    // and the window stays open.
    template <class Handler>
    void Dispatch(Handler handler);

    void FormCreate();
    void FormShow();
    void FormMouseMove();
    void btOKClick();
    void lbCompanyClick();
    void lbCompanyMouseMove();
    void BtActiveClick();

    void PlaceControls();
    void FitLabelToText(int id, bool wordWrapped);
    void SetLinkUnderlined(bool underlined);
    void Draw(const DRAWITEMSTRUCT& item) const;
    HWND Item(int id) const { return GetDlgItem(hwnd_, id); }

    HINSTANCE resources_;
    HWND hwnd_ = nullptr;
    UniqueIcon icon_;
    UniqueFont formFont_;
    UniqueFont productFont_;
    UniqueFont underlinedLinkFont_;
    UniqueFont warningFont_;
    UniqueFont versionFont_;
    bool linkUnderlined_ = false;
};

} // namespace vok
