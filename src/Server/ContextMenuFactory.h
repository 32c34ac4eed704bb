// The class factory of the context-menu handler, and the handler's class.
#pragma once

#include "Server/ComObjectFactory.h"

namespace vok {

// {2F793154-C4B7-4AA8-AA0E-AF97B47A255D}
constexpr CLSID CLSID_VokContextMenu = {0x2F793154, 0xC4B7, 0x4AA8, {0xAA, 0x0E, 0xAF, 0x97, 0xB4, 0x7A, 0x25, 0x5D}};

class TContextMenuFactory final : public TComObjectFactory {
public:
    explicit TContextMenuFactory(TComServer& server);

    // Adds the handler entries under the shell classes and the approval
    // value to the class rows, and removes them again before those.
    void UpdateClassRegistration(bool registering) override;
};

} // namespace vok

namespace vok {

// Constructs the handler's factory, which the server owns from then on.
void CreateContextMenuFactory(TComServer& server);

} // namespace vok
