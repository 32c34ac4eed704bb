// The seeded bad input of `make harden`: Internet-shortcut texts around the
// accepted form, damaged shell links, and an independent reading of what a
// ".url" text must yield. Plain code over bytes, the same on every platform,
// so that a seed names the same cases wherever it is run.
#pragma once

#include <cstdint>
#include <string>

namespace vok::harden {

// A small generator whose sequence is fixed by its seed (splitmix64): the
// standard distributions may differ between libraries, this does not.
class Rng {
public:
    explicit Rng(uint64_t seed) : state_(seed) {}
    uint64_t Next();
    // Uniform enough below `bound` (> 0) for choosing cases.
    uint32_t Below(uint32_t bound) { return static_cast<uint32_t>(Next() % bound); }
    bool OneIn(uint32_t n) { return Below(n) == 0; }

private:
    uint64_t state_;
};

// The families of ".url" cases, cycled through by case number.
enum UrlCaseKind : int {
    ucValid, // the accepted form, random URL and line breaks
    ucNoFinalBreak,
    ucMutated,    // the accepted form with bytes flipped, inserted or removed
    ucNulBytes,   // NUL bytes put in
    ucAtBound,    // padded to the size limit, one below or one above it
    ucUtf16,      // the accepted form as UTF-16, with or without its mark
    ucExtraLines, // blank or further lines before, between or after
    ucRandom,     // random bytes of random length
    ucKindCount
};
const char* UrlCaseKindName(int kind);

// Case `index` of `seed`: its kind is index % ucKindCount. `sizeLimit` is the
// reader's bound (kMaxUrlFileSize); the at-bound cases straddle it.
std::string MakeUrlCase(uint64_t seed, uint64_t index, size_t sizeLimit, int& kind);

// What a ".url" file of these bytes must yield, worked out afresh: text up to
// the first NUL; breaks CR, LF or CR LF, none opening a line at the very end;
// exactly three lines, the first "[InternetShortcut]"; the URL is the second
// with its first "URL=" taken out. Empty for any other text, and for a file
// larger than `sizeLimit`.
std::string ExpectedUrl(const std::string& bytes, size_t sizeLimit);

// The families of damaged links.
enum LinkCaseKind : int { lcTruncated, lcBitFlipped, lcRandom, lcHeaderOnly, lcKindCount };
const char* LinkCaseKindName(int kind);

// Damages the bytes of a good link `link` as case `index` of `seed` asks.
std::string MakeLinkCase(const std::string& link, uint64_t seed, uint64_t index, int& kind);

} // namespace vok::harden
