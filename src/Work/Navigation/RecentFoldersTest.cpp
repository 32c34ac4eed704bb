// The file dialogs' records, written to the registry as Windows writes them
// and read by the library's worker, with Recent Items empty.
#include "TestSupport.h"
#include "Work/Navigation/RecentFolders.h"

#include <gtest/gtest.h>

namespace vok {
namespace {

std::vector<std::string> ListedPaths()
{
    RecentFolderReader reader;
    std::vector<std::string> paths;
    for (const OpenFolder& folder : reader.Collect({}, 10000)) paths.push_back(AnsiOf(folder.Path));
    return paths;
}

TEST(RecentFoldersTest, DialogRecordsAreReadNewestFirstAndNeverPastTheirValues)
{
    test::ScratchDir dir("recent");
    const std::string a = dir / "Alpha", b = dir / "Beta", gone = dir / "Gone";
    for (const std::string& made : {a, b, gone}) test::MakeFolder(made);
    using test::RecentRecords;
    const std::string recordA = RecentRecords::DialogRecord(a), recordB = RecentRecords::DialogRecord(b);
    const std::string recordGone = RecentRecords::DialogRecord(gone);
    test::RemoveTree(gone);
    const struct {
        const char* label;
        std::vector<std::string> values; // "0", "1", ...
        std::vector<DWORD> order;        // none: no MRUListEx
        std::vector<std::string> listed;
    } cases[] = {
        {"well-formed, each once", {recordA, recordB, recordA}, {1, 2, 0}, {b, a}},
        {"an item running past the value's end", {recordA, recordB.substr(0, recordB.size() - 7)}, {1, 0}, {a}},
        {"an item list without terminator", {recordA, recordB.substr(0, recordB.size() - 2)}, {1, 0}, {a}},
        {"a name without its NUL", {std::string("n\0o\0", 4), recordA}, {0, 1}, {a}},
        {"a number without a value", {recordA}, {7, 0}, {a}},
        {"a folder gone from its disk", {recordGone, recordA}, {0, 1}, {a}},
        {"MRUListEx absent", {recordA, recordB}, {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        RecentRecords records;
        records.WriteDialogRecords(c.values, c.order);
        EXPECT_EQ(ListedPaths(), c.listed);
    }
}

} // namespace
} // namespace vok
