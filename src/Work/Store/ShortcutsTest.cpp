#include "Work/Store/Shortcuts.h"

#include "TestSupport.h"
#include "Work/ExtensionState.h"
#include "Work/Store/TargetVerdict.h"

#include <gtest/gtest.h>

namespace vok {
namespace {

using test::MakeLink;
using test::W;
using test::WriteBytes;

class ShortcutsTest : public test::InstalledTest {
protected:
    ShortcutsTest() : InstalledTest("shortcuts") {}
};

TEST_F(ShortcutsTest, LinkTargetIsThePathStoredInTheLink)
{
    MakeLink(favorites + "Data.lnk", dir / "Data");
    EXPECT_EQ(GetLinkTarget(W(favorites + "Data.lnk")), W(dir / "Data"));
}

TEST_F(ShortcutsTest, UnreadableLinksGiveTheEmptyTarget)
{
    WriteBytes(favorites + "text.lnk", "this is not a shell link");
    WString target = L"stale";
    EXPECT_EQ(GetLinkTarget(W(favorites + "missing.lnk")), L"");
    EXPECT_EQ(GetLinkTarget(W(favorites + "text.lnk")), L"");
    EXPECT_FALSE(ReadLinkTarget(W(favorites + "text.lnk"), target));
    EXPECT_EQ(target, L"");
}

TEST_F(ShortcutsTest, ReusedReaderNeverHandsOnThePreviousTarget)
{
    MakeLink(favorites + "Data.lnk", dir / "Data");
    MakeLink(favorites + "outside.lnk", ""); // no file-system target
    WriteBytes(favorites + "text.lnk", "this is not a shell link");
    LinkReader reader;
    WString target;
    const struct {
        const char* link;
        bool read;
        std::string target;
    } reads[] = {{"Data", true, dir / "Data"}, {"text", false, ""},    {"Data", true, dir / "Data"},
                 {"outside", true, ""},        {"missing", false, ""}, {"Data", true, dir / "Data"}};
    for (const auto& r : reads) {
        EXPECT_EQ(reader.Read(W(favorites + r.link + ".lnk"), target), r.read) << r.link;
        EXPECT_EQ(target, W(r.target)) << r.link;
    }
}

TEST_F(ShortcutsTest, LinkCannotBeReadOnAThreadWithoutCom)
{
    MakeLink(favorites + "Data.lnk", dir / "Data");
    bool read = true;
    WString target;
    ASSERT_TRUE(test::RunOnThreadWithoutCom([&] { read = ReadLinkTarget(W(favorites + "Data.lnk"), target); }));
    EXPECT_FALSE(read);
    EXPECT_EQ(target, L"");
}

TEST_F(ShortcutsTest, ClassifiesEachKindOfFavorite)
{
    MakeLink(favorites + "folder.lnk", dir / "Data");
    MakeLink(favorites + "file.lnk", dir / "report.txt");
    MakeLink(favorites + "root.lnk", "C:\\");
    MakeLink(favorites + "gone.lnk", dir / "Gone");
    WriteBytes(favorites + "gone.url", "[InternetShortcut]\r\nURL=http://example.invalid/\r\n\r\n");
    WriteBytes(favorites + "web.url", "anything at all");

    const struct {
        const char* name;
        FavoriteKind kind;
    } cases[] = {
        {"folder", fkFolderLink}, {"file", fkFileLink},        {"root", fkFolderLink},
        {"gone", fkNone},         {"web", fkInternetShortcut}, {"neither", fkNone},
    };
    for (const auto& c : cases) EXPECT_EQ(InspectFavorite(W(favorites), W(c.name)).Kind, c.kind) << c.name;
}

TEST_F(ShortcutsTest, ExistenceTestsTellFilesFromFolders)
{
    EXPECT_TRUE(FileExists(W(dir / "report.txt")));
    EXPECT_FALSE(FileExists(W(dir / "Data")));
    EXPECT_TRUE(FolderExists(W(dir / "Data")));
    EXPECT_FALSE(FolderExists(W(dir / "report.txt")));
    EXPECT_FALSE(FileExists(L""));
    EXPECT_FALSE(FolderExists(L""));
}

TEST_F(ShortcutsTest, InternetShortcutUrlFollowsTheLineRules)
{
    const std::string H = "[InternetShortcut]";
    const struct {
        std::string text;
        std::string url;
    } cases[] = {
        {H + "\r\nURL=abc\r\nModified=0", "abc"},
        {H + "\r\nURL=abc\r\nModified=0\r\n", "abc"},  // a final break opens no line
        {H + "\nURL=abc\nx", "abc"},                   // LF alone
        {H + "\rURL=abc\rx", "abc"},                   // CR alone
        {H + "\r\nURL=abc\r\n\r\n", "abc"},            // two final breaks: an empty last line
        {H + "\r\nURL=abc\r\nx\r\nIconIndex=0", ""},   // four lines
        {H + "\r\nURL=abc", ""},                       // two lines
        {"", ""},                                      // empty file
        {H + "\n\rURL=abc", ""},                       // LF CR is two breaks: three lines, URL third
        {"[internetshortcut]\r\nURL=abc\r\nx", ""},    // letter case
        {H + " \r\nURL=abc\r\nx", ""},                 // trailing blank
        {"\xEF\xBB\xBF" + H + "\r\nURL=abc\r\nx", ""}, // byte-order mark
        {H + "\r\nurl=abc\r\nx", "url=abc"},           // only "URL=" is removed
        {H + "\r\nURL=aURL=b\r\nx", "aURL=b"},         // only the first occurrence
        {H + "\r\nx URL=abc\r\nx", "x abc"},           // anywhere in the line
        {H + "\r\nURL=abc\r\nx" + std::string(1, '\0') + "\r\nmore", "abc"},         // a NUL ends the text
        {std::string("[\0I\0n\0t\0", 8) + "\r\0\n\0U\0R\0L\0=\0a\0\r\0\n\0x\0", ""}, // UTF-16
    };
    int i = 0;
    for (const auto& c : cases) {
        const std::string path = favorites + "case" + std::to_string(i++) + ".url";
        WriteBytes(path, c.text);
        EXPECT_EQ(GetShortcutUrl(W(path)), c.url) << "case " << i - 1;
    }
}

TEST_F(ShortcutsTest, InternetShortcutThatCannotBeReadGivesNoUrl)
{
    EXPECT_EQ(GetShortcutUrl(W(favorites + "missing.url")), "");

    // Held open for writing by another program.
    const std::string locked = favorites + "locked.url";
    WriteBytes(locked, "[InternetShortcut]\r\nURL=abc\r\nx");
    HANDLE writer = CreateFileA(locked.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetShortcutUrl(W(locked)), "");
    CloseHandle(writer);
    EXPECT_EQ(GetShortcutUrl(W(locked)), "abc");
}

TEST_F(ShortcutsTest, OversizedInternetShortcutIsNotRead)
{
    const std::string valid = "[InternetShortcut]\r\nURL=abc\r\n";
    const std::string path = favorites + "big.url";
    WriteBytes(path, valid + std::string(kMaxUrlFileSize - valid.size(), 'x'));
    EXPECT_EQ(GetShortcutUrl(W(path)), "abc"); // exactly at the bound
    WriteBytes(path, valid + std::string(kMaxUrlFileSize - valid.size() + 1, 'x'));
    EXPECT_EQ(GetShortcutUrl(W(path)), "");
}

// Only "not found" under a folder that answers is absence; every other
// answer keeps the favourite, listed as its link records it.
TEST(TargetVerdict, OnlyNotFoundUnderAnAnsweringFolderIsGone)
{
    constexpr DWORD kFolder = FILE_ATTRIBUTE_DIRECTORY, kFile = FILE_ATTRIBUTE_ARCHIVE, kNone = INVALID_FILE_ATTRIBUTES;
    const struct {
        DWORD attributes, error, aboveAttributes, aboveError;
        TargetVerdict verdict;
    } cases[] = {
        {kFolder, 0, kNone, 0, tvFolder},
        {kFile, 0, kNone, 0, tvFile},
        {kNone, ERROR_FILE_NOT_FOUND, kFolder, 0, tvGone},
        {kNone, ERROR_PATH_NOT_FOUND, kFolder, 0, tvGone},
        {kNone, ERROR_PATH_NOT_FOUND, kNone, ERROR_ACCESS_DENIED, tvUnanswered},
        {kNone, ERROR_PATH_NOT_FOUND, kFile, 0, tvUnanswered},
        {kNone, ERROR_PATH_NOT_FOUND, kNone, ERROR_PATH_NOT_FOUND, tvVolumeAbsent}, // not even the root
        {kNone, ERROR_ACCESS_DENIED, kFolder, 0, tvUnanswered},
        {kNone, ERROR_BAD_NETPATH, kFolder, 0, tvUnanswered},
        {kNone, ERROR_NETNAME_DELETED, kFolder, 0, tvUnanswered},
        {kNone, ERROR_UNEXP_NET_ERR, kFolder, 0, tvUnanswered},
        {kNone, ERROR_SEM_TIMEOUT, kFolder, 0, tvUnanswered},
        {kNone, ERROR_IO_DEVICE, kFolder, 0, tvUnanswered},
        {kNone, ERROR_CRC, kFolder, 0, tvUnanswered},
        {kNone, ERROR_NOT_READY, kFolder, 0, tvUnanswered},
        {kNone, ERROR_SHARING_VIOLATION, kFolder, 0, tvUnanswered},
        {kNone, ERROR_LOCK_VIOLATION, kFolder, 0, tvUnanswered},
        {kNone, ERROR_FILENAME_EXCED_RANGE, kFolder, 0, tvUnanswered},
    };
    for (const auto& c : cases)
        EXPECT_EQ(VerdictOf(AnswerOf(c.attributes, c.error), AnswerOf(c.aboveAttributes, c.aboveError)), c.verdict)
            << "error " << c.error << " above " << c.aboveError;
}

TEST_F(ShortcutsTest, TargetsAreJudgedByWhatTheirVolumeAnswers)
{
    WriteBytes(dir / "report.txt", "x");
    const std::string gone(dir / "Gone\\Deeper\\Still");
    const struct {
        std::string path;
        TargetVerdict verdict;
    } cases[] = {
        {dir / "Data", tvFolder},
        {dir / "report.txt", tvFile},
        {gone, tvGone},
        {dir / "report.txt\\sub", tvUnanswered}, // a file above: no folder proves it absent
        {dir / "Da*a", tvUnanswered},            // never expanded
        {"Q:\\Work\\Plans", tvVolumeAbsent},     // no such drive
    };
    for (const auto& c : cases) EXPECT_EQ(JudgeTargetPath(W(c.path)), c.verdict) << c.path;
}

// A target longer than the link object's buffer comes whole from the link's
// own location record: cut, it would be judged gone.
TEST_F(ShortcutsTest, LongTargetIsReadWhole)
{
    const std::string target = "C:\\" + std::string(140, 'a') + "\\" + std::string(150, 'b');
    test::WriteLinkWithStoredPath(favorites + "Long.lnk", target);
    LinkReader reader;
    WString read;
    ASSERT_TRUE(reader.Read(W(favorites + "Long.lnk"), read));
    EXPECT_EQ(read, W(target));
}

} // namespace
} // namespace vok
