// The text of an Internet shortcut (".url") and the URL it yields. Plain
// code over bytes, with no system calls, so that it can be fuzzed natively.
#pragma once

#include <string>
#include <vector>

namespace vok {

// Splits at CR, LF and CR LF; a break at the very end opens no further line.
std::vector<std::string> SplitLines(const std::string& text);

// The URL of a shortcut's whole text: a NUL ends the text; exactly three
// lines, the first "[InternetShortcut]"; the second line with its first
// "URL=" taken out. The empty string for any other text.
std::string UrlFromShortcutText(const std::string& text);

} // namespace vok
