// The harness's own pieces: the same seed gives the same cases, each family
// gives what it claims, and the independent reading of a ".url" text agrees
// with the reader's plain code where the answer is known.
#include "HardenCases.h"
#include "Work/Store/UrlText.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace vok::harden {
namespace {

constexpr size_t kLimit = 64 * 1024;

TEST(HardenCases, ASeedNamesTheSameCasesEveryTime)
{
    for (uint64_t index = 0; index < 64; ++index) {
        int kindA = -1, kindB = -1;
        EXPECT_EQ(MakeUrlCase(7, index, kLimit, kindA), MakeUrlCase(7, index, kLimit, kindB));
        EXPECT_EQ(kindA, kindB);
    }
    int kind = 0;
    EXPECT_NE(MakeUrlCase(7, 0, kLimit, kind), MakeUrlCase(8, 0, kLimit, kind));
}

TEST(HardenCases, EveryFamilyComesInTurn)
{
    std::set<int> kinds;
    for (uint64_t index = 0; index < ucKindCount; ++index) {
        int kind = -1;
        MakeUrlCase(1, index, kLimit, kind);
        kinds.insert(kind);
    }
    EXPECT_EQ(kinds.size(), static_cast<size_t>(ucKindCount));
}

TEST(HardenCases, BoundCasesStraddleTheLimit)
{
    std::set<size_t> sizes;
    for (uint64_t index = ucAtBound; index < 400 * ucKindCount; index += ucKindCount) {
        int kind = -1;
        sizes.insert(MakeUrlCase(3, index, kLimit, kind).size());
        EXPECT_EQ(kind, ucAtBound);
    }
    EXPECT_EQ(sizes, (std::set<size_t>{kLimit - 1, kLimit, kLimit + 1}));
}

TEST(HardenCases, ValidCasesYieldAUrlAndNoFinalBreakCasesEndWithoutOne)
{
    for (uint64_t index = 0; index < 200 * ucKindCount; index += ucKindCount) {
        int kind = -1;
        const std::string valid = MakeUrlCase(5, index + ucValid, kLimit, kind);
        EXPECT_EQ(valid.rfind("[InternetShortcut]", 0), 0u);
        const std::string open = MakeUrlCase(5, index + ucNoFinalBreak, kLimit, kind);
        ASSERT_FALSE(open.empty());
        EXPECT_TRUE(open.back() != '\r' && open.back() != '\n') << open;
    }
}

TEST(HardenCases, ExpectedUrlReadsTheAcceptedFormOnly)
{
    EXPECT_EQ(ExpectedUrl("[InternetShortcut]\r\nURL=http://a/\r\n\r\n", kLimit), "http://a/");
    EXPECT_EQ(ExpectedUrl("[InternetShortcut]\nURL=http://a/\nx", kLimit), "http://a/");
    EXPECT_EQ(ExpectedUrl("[InternetShortcut]\rxURL=b\r\r", kLimit), "xb");
    EXPECT_EQ(ExpectedUrl("[InternetShortcut]\r\nURL=a\r\n", kLimit), "");                        // two lines
    EXPECT_EQ(ExpectedUrl("[InternetShortcut]\r\nURL=a\r\n\r\n\r\n", kLimit), "");                // four
    EXPECT_EQ(ExpectedUrl(std::string("[InternetShortcut]\r\nURL=a\0\r\n\r\n", 28), kLimit), ""); // cut at NUL
    EXPECT_EQ(ExpectedUrl("[InternetShortcut]\r\nURL=a\r\n\r\n", 10), "");                        // too large
}

TEST(HardenCases, ExpectedUrlAgreesWithTheReaderOnEveryFamily)
{
    for (uint64_t index = 0; index < 2000; ++index) {
        int kind = -1;
        const std::string bytes = MakeUrlCase(11, index, kLimit, kind);
        // The plain code knows no size limit: the file reader applies it.
        EXPECT_TRUE(ExpectedUrl(bytes, bytes.size()) == UrlFromShortcutText(bytes))
            << UrlCaseKindName(kind) << " case " << index;
    }
}

TEST(HardenCases, LinkCasesDamageTheGoodLink)
{
    const std::string good(300, 'L');
    for (uint64_t index = 0; index < 400; ++index) {
        int kind = -1;
        const std::string bad = MakeLinkCase(good, 2, index, kind);
        EXPECT_EQ(kind, static_cast<int>(index % lcKindCount));
        if (kind == lcTruncated) {
            EXPECT_LT(bad.size(), good.size());
        }
        if (kind == lcBitFlipped) {
            EXPECT_EQ(bad.size(), good.size());
            EXPECT_NE(bad, good);
        }
        if (kind == lcHeaderOnly) {
            EXPECT_EQ(bad.compare(0, 0x4C, good, 0, 0x4C), 0);
        }
    }
}

} // namespace
} // namespace vok::harden
