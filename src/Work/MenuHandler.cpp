#include "Work/MenuHandler.h"

namespace vok {

CommandOffsets GetCommandOffsets()
{
    return CommandOffsets();
}

HRESULT QueryContextMenu(HMENU, UINT, UINT, UINT, UINT) noexcept
{
    return 0;
}

void ExecuteCommand(WORD) noexcept {}

HRESULT InvokeCommand(const CMINVOKECOMMANDINFO*) noexcept
{
    return E_FAIL;
}

HRESULT GetCommandString(UINT_PTR, UINT, UINT*, LPSTR, UINT) noexcept
{
    return E_INVALIDARG;
}

} // namespace vok
