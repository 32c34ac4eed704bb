#include "Work/Store/UrlText.h"

#include <cstring>

namespace vok {

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string::npos) {
            lines.push_back(text.substr(pos));
            break;
        }
        lines.push_back(text.substr(pos, end - pos));
        pos = end + 1;
        if (text[end] == '\r' && pos < text.size() && text[pos] == '\n') ++pos;
    }
    return lines;
}

std::string UrlFromShortcutText(const std::string& text)
{
    const std::vector<std::string> lines = SplitLines(text.substr(0, strnlen(text.c_str(), text.size())));
    if (lines.size() != 3 || lines[0] != "[InternetShortcut]") return std::string();
    std::string url = lines[1];
    const size_t key = url.find("URL=");
    if (key != std::string::npos) url.erase(key, 4);
    return url;
}

} // namespace vok
