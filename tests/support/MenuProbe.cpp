// A second process for the About window's tests: builds one context menu as
// a shell window of another process would (on a folder background, with the
// installation registered in the registry) and exits with the number of
// command offsets QueryContextMenu used; 100 and up when it could not.
#include "Common/Unique.h"
#include "Work/ExtensionState.h"
#include "Work/Menu/MenuState.h"
#include "Work/Menu/MenuHandler.h"

#include <objbase.h>

int main()
{
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 100;
    if (!vok::StartExtensionState(GetModuleHandleA(nullptr))) return 101;
    vok::WString installDir;
    vok::WithState([&](vok::ExtensionState& s) { installDir = s.InstallDir; });
    vok::WithMenuState([&](vok::MenuState& s) {
        s.TargetPath = installDir;
        s.ContextKind = vok::ckWindowBackground;
    });
    int used = 102;
    {
        vok::UniqueMenu menu(CreatePopupMenu());
        const HRESULT result = vok::QueryContextMenu(menu.get(), 0, 1, 0x7FFF, CMF_NORMAL);
        if (SUCCEEDED(result)) used = HRESULT_CODE(result);
    }
    vok::StopExtensionState();
    CoUninitialize();
    return used;
}
