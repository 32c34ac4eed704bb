// Paths and names as the system stores them: UTF-16, so that a folder or a
// favourite named outside the ANSI code page is kept, shown and reached
// exactly. ANSI forms are made only where the outside world wants bytes: the
// help text the shell asks for, characters typed into an ANSI window.
#pragma once

#include <string>
#include <string_view>

namespace vok {

// Traits of the library's own, so that the wide string is instantiated here,
// member by member, and the linker keeps only what is used: the runtime's
// ready-made std::wstring is one 35 KiB object that comes whole.
struct WideTraits : std::char_traits<wchar_t> {};
using WString = std::basic_string<wchar_t, WideTraits>;

// A text of the ANSI code page, and back. A character the code page lacks
// becomes the system's default character or its nearest fit, as every ANSI
// call of the system would give it.
WString WideOf(std::string_view ansi);
std::string AnsiOf(const WString& wide);

// For unordered containers keyed by a wide string.
struct WStringHash {
    size_t operator()(const WString& text) const noexcept
    {
        return std::hash<std::wstring_view>()(std::wstring_view(text.data(), text.size()));
    }
};

} // namespace vok
