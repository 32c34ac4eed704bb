// Identifiers of the library's type library resource "zindle" (TYPELIB 1),
// which nothing loads.
#pragma once

#include <guiddef.h>

namespace vok {

constexpr unsigned kTypeLibraryResourceId = 1;
constexpr unsigned short kTypeLibraryMajorVersion = 1;
constexpr unsigned short kTypeLibraryMinorVersion = 0;

// {2F793154-C4B7-4AA8-AA0E-AF97B47A255B}
constexpr GUID LIBID_zindle = {0x2F793154, 0xC4B7, 0x4AA8, {0xAA, 0x0E, 0xAF, 0x97, 0xB4, 0x7A, 0x25, 0x5B}};

} // namespace vok
