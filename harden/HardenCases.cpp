#include "HardenCases.h"

#include <algorithm>

namespace vok::harden {

uint64_t Rng::Next()
{
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

namespace {

const char* const kBreaks[] = {"\r\n", "\n", "\r"};

std::string RandomBreak(Rng& rng)
{
    return kBreaks[rng.Below(3)];
}

// Printable text, now and then with bytes a URL would not hold.
std::string RandomText(Rng& rng, size_t length)
{
    static const char kUrlChars[] = "abcdefghijklmnopqrstuvwxyz0123456789:/.?=&%#-_~+";
    std::string text;
    for (size_t i = 0; i < length; ++i)
        text += rng.OneIn(40) ? static_cast<char>(0x80 + rng.Below(0x80)) : kUrlChars[rng.Below(sizeof kUrlChars - 1)];
    return text;
}

std::string RandomUrlLine(Rng& rng)
{
    std::string url = RandomText(rng, rng.Below(80));
    if (rng.Below(4) != 0) url = "http://" + url;
    switch (rng.Below(6)) {
    case 0: return url;                               // no key at all
    case 1: return RandomText(rng, 3) + "URL=" + url; // the key further on
    case 2: return "URL=" + url + "URL=" + url;       // the key twice
    default: return "URL=" + url;
    }
}

std::string ValidForm(Rng& rng, bool finalBreak)
{
    std::string text = "[InternetShortcut]" + RandomBreak(rng) + RandomUrlLine(rng) + RandomBreak(rng);
    // The third line may be empty, but not when no break ends the text:
    // then it would be no third line at all.
    if (!finalBreak || !rng.OneIn(3)) text += RandomText(rng, 1 + rng.Below(20));
    if (finalBreak) text += RandomBreak(rng);
    return text;
}

void Mutate(Rng& rng, std::string& bytes, uint32_t maxEdits)
{
    const uint32_t edits = 1 + rng.Below(maxEdits);
    for (uint32_t e = 0; e < edits; ++e) {
        const size_t at = bytes.empty() ? 0 : rng.Below(static_cast<uint32_t>(bytes.size()));
        switch (rng.Below(4)) {
        case 0:
            if (!bytes.empty()) bytes[at] = static_cast<char>(bytes[at] ^ (1 << rng.Below(8)));
            break;
        case 1: bytes.insert(at, 1, "\r\n\0=[]"[rng.Below(6)]); break;
        case 2:
            if (!bytes.empty()) bytes.erase(at, 1 + rng.Below(3));
            break;
        default:
            if (!bytes.empty()) bytes[at] = static_cast<char>(rng.Below(256));
            break;
        }
    }
}

std::string Utf16(const std::string& text, bool mark, bool bigEndian)
{
    std::string out;
    if (mark) out += bigEndian ? std::string("\xFE\xFF", 2) : std::string("\xFF\xFE", 2);
    for (char c : text) {
        if (bigEndian) out += '\0';
        out += c;
        if (!bigEndian) out += '\0';
    }
    return out;
}

} // namespace

const char* UrlCaseKindName(int kind)
{
    static const char* const kNames[] = {"valid",    "no final break", "mutated",     "NUL bytes",
                                         "at bound", "UTF-16",         "extra lines", "random"};
    return kind >= 0 && kind < ucKindCount ? kNames[kind] : "?";
}

std::string MakeUrlCase(uint64_t seed, uint64_t index, size_t sizeLimit, int& kind)
{
    Rng rng(seed * 0x100000001B3ull ^ index);
    kind = static_cast<int>(index % ucKindCount);
    switch (kind) {
    case ucValid: return ValidForm(rng, rng.Below(2) == 0);
    case ucNoFinalBreak: return ValidForm(rng, false);
    case ucMutated: {
        std::string text = ValidForm(rng, true);
        Mutate(rng, text, 4);
        return text;
    }
    case ucNulBytes: {
        std::string text = ValidForm(rng, rng.Below(2) == 0);
        const uint32_t count = 1 + rng.Below(3);
        for (uint32_t i = 0; i < count; ++i) text.insert(rng.Below(static_cast<uint32_t>(text.size() + 1)), 1, '\0');
        return text;
    }
    case ucAtBound: {
        // Padding in the URL itself or in the third line (then with no final
        // break), to one below the limit, the limit, one above it.
        const std::string head = "[InternetShortcut]\r\nURL=http://example.invalid/";
        const std::string tail = "\r\nx\r\n";
        const size_t target = sizeLimit - 1 + rng.Below(3);
        if (rng.Below(2) == 0) return head + std::string(target - head.size() - tail.size(), 'a') + tail;
        return head + "\r\n" + std::string(target - head.size() - 2, 'z');
    }
    case ucUtf16: return Utf16(ValidForm(rng, true), rng.Below(2) == 0, rng.OneIn(4));
    case ucExtraLines: {
        std::string text = ValidForm(rng, true);
        const std::string extra = rng.Below(2) ? RandomBreak(rng) : RandomText(rng, 5) + RandomBreak(rng);
        switch (rng.Below(3)) {
        case 0: return extra + text;
        case 1: return text.insert(text.find_first_of("\r\n") + 1, extra);
        default: return text + extra;
        }
    }
    default: {
        std::string bytes(rng.Below(4) == 0 ? rng.Below(static_cast<uint32_t>(sizeLimit) + 64) : rng.Below(200), '\0');
        for (char& c : bytes) c = static_cast<char>(rng.Below(256));
        return bytes;
    }
    }
}

std::string ExpectedUrl(const std::string& bytes, size_t sizeLimit)
{
    if (bytes.size() > sizeLimit) return std::string();
    const std::string text(bytes.c_str()); // up to the first NUL
    std::string lines[4];
    size_t count = 0;
    std::string current;
    bool open = false; // a line has begun and not yet been closed by a break
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            if (count < 4) lines[count] = current;
            ++count;
            current.clear();
            open = false;
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            current += c;
            open = true;
        }
    }
    if (open) {
        if (count < 4) lines[count] = current;
        ++count;
    }
    if (count != 3 || lines[0] != "[InternetShortcut]") return std::string();
    std::string url = lines[1];
    const size_t key = url.find("URL=");
    if (key != std::string::npos) url = url.substr(0, key) + url.substr(key + 4);
    return url;
}

const char* LinkCaseKindName(int kind)
{
    static const char* const kNames[] = {"truncated", "bit-flipped", "random", "header only"};
    return kind >= 0 && kind < lcKindCount ? kNames[kind] : "?";
}

std::string MakeLinkCase(const std::string& link, uint64_t seed, uint64_t index, int& kind)
{
    Rng rng(seed * 0xC2B2AE3D27D4EB4Full ^ (index + 1));
    kind = static_cast<int>(index % lcKindCount);
    const uint32_t size = static_cast<uint32_t>(link.size());
    switch (kind) {
    case lcTruncated: return link.substr(0, rng.Below(size));
    case lcBitFlipped: {
        std::string bytes = link;
        const uint32_t flips = 1 + rng.Below(8);
        for (uint32_t i = 0; i < flips; ++i) {
            const uint32_t at = rng.Below(size);
            bytes[at] = static_cast<char>(bytes[at] ^ (1 << rng.Below(8)));
        }
        return bytes;
    }
    case lcRandom: {
        std::string bytes(rng.Below(2 * size + 1), '\0');
        for (char& c : bytes) c = static_cast<char>(rng.Below(256));
        return bytes;
    }
    default: {
        // The header kept, everything after it random: the loader gets past
        // its first check and must cope with the rest.
        std::string bytes = link.substr(0, std::min<uint32_t>(size, 0x4C));
        const uint32_t more = rng.Below(size);
        for (uint32_t i = 0; i < more; ++i) bytes += static_cast<char>(rng.Below(256));
        return bytes;
    }
    }
}

} // namespace vok::harden
