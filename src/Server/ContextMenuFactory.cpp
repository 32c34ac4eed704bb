#include "Server/ContextMenuFactory.h"

#include "Server/Registration.h"
#include "Work/Menu/ContextMenu.h"
#include "Work/Menu/ExplorerCommand.h"

namespace vok {
namespace {

TComObject* MakeContextMenu(TComObjectFactory& creator, IUnknown* outer)
{
    return new TContextMenu(creator, outer);
}

TComObject* MakeExplorerCommand(TComObjectFactory& creator, IUnknown* outer)
{
    return new TExplorerCommand(creator, outer);
}

} // namespace

TContextMenuFactory::TContextMenuFactory(TComServer& server)
    : TComObjectFactory(server, MakeContextMenu, CLSID_VokContextMenu, "", "VOK", imMultiple, thApartment)
{
}

void TContextMenuFactory::UpdateClassRegistration(bool registering)
{
    if (registering) {
        TComObjectFactory::UpdateClassRegistration(true);
        UpdateRegistryRows(roHandler, true, *this);
    } else {
        UpdateRegistryRows(roHandler, false, *this);
        TComObjectFactory::UpdateClassRegistration(false);
    }
}

} // namespace vok

namespace vok {

void CreateContextMenuFactory(TComServer& server)
{
    // The factory puts itself into the registry, through which the server
    // destroys it at shut-down.
    new TContextMenuFactory(server);
    // The package declares the Explorer command's class: no registry rows.
    new TComObjectFactory(server, MakeExplorerCommand, CLSID_VokExplorerCommand, "", "VOK", imInternal, thApartment);
}

} // namespace vok
