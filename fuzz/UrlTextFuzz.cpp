// libFuzzer target, built natively with the sanitizers: whatever the bytes of
// a ".url" file, the reader gives the URL or nothing, and never reads beyond
// the data.
#include "Work/Store/UrlText.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string url = vok::UrlFromShortcutText(text);
    // A URL comes only from the accepted form, and only from its second line.
    if (!url.empty() &&
        (text.compare(0, 19, "[InternetShortcut]\r") != 0 && text.compare(0, 19, "[InternetShortcut]\n") != 0))
        std::abort();
    if (url.size() > size) std::abort();
    return 0;
}
