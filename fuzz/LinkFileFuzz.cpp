// libFuzzer target, built natively with the sanitizers: whatever the bytes of
// a ".lnk" file, the shape check answers without reading beyond the data, and
// never passes a file too short to hold the header.
#include "Work/Store/LinkFile.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    if (vok::IsWellFormedLink(bytes) && (size < 0x4C || data[0] != 0x4C)) std::abort();
    return 0;
}
