#include "Server/ContextMenuFactory.h"

#include "Server/Registration.h"
#include "Work/Menu/ContextMenu.h"

namespace vok {
namespace {

TComObject* MakeContextMenu(TComObjectFactory& creator, IUnknown* outer)
{
    return new TContextMenu(creator, outer);
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
}

} // namespace vok
