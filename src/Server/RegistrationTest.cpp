// Registration through the prefix's own registration tool, read back from
// the real registry.
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <string>
#include <vector>

namespace vok {
namespace {

using test::LibraryPath;
using test::ReadRegistryString;
using test::RunProgram;
using test::RunRegsvr32;
using test::W;

const std::string kClassKey = std::string("CLSID\\") + test::kHandlerClsidText;
const std::string kServerKey = kClassKey + "\\InprocServer32";

struct Row {
    HKEY root;
    std::string key;
    const char* value; // null: the default value
    std::string data;
    bool staysRegistered; // after unregistration
};

// Every entry that registration writes, in its order.
std::vector<Row> RegisteredRows(const std::string& serverPath)
{
    std::vector<Row> rows = {{HKEY_CLASSES_ROOT, kClassKey, nullptr, "VOK", false},
                             {HKEY_CLASSES_ROOT, kServerKey, nullptr, serverPath, false},
                             {HKEY_CLASSES_ROOT, kServerKey, "ThreadingModel", "Apartment", false}};
    for (const char* classKey : test::kHandlerClassKeys) {
        const std::string shellex = std::string(classKey) + "\\shellex";
        rows.push_back({HKEY_CLASSES_ROOT, shellex, nullptr, "", true});
        rows.push_back({HKEY_CLASSES_ROOT, shellex + "\\ContextMenuHandlers", nullptr, "", true});
        rows.push_back(
            {HKEY_CLASSES_ROOT, shellex + "\\ContextMenuHandlers\\VOK", nullptr, test::kHandlerClsidText, false});
    }
    rows.push_back({HKEY_LOCAL_MACHINE, test::kApprovedKey, test::kHandlerClsidText, "VOK Menu Shell Extension", true});
    return rows;
}

bool KeyPresent(HKEY root, const std::string& key)
{
    UniqueKey opened;
    return RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, opened.put()) == ERROR_SUCCESS;
}

void WriteDefault(const std::string& key, const std::string& data)
{
    ASSERT_EQ(RegSetKeyValueA(HKEY_CLASSES_ROOT, key.c_str(), nullptr, REG_SZ, data.c_str(),
                              static_cast<DWORD>(data.size() + 1)),
              ERROR_SUCCESS);
}

std::string Describe(const Row& row)
{
    return row.key + " : " + (row.value ? row.value : "(default)");
}

class RegistrationTest : public ::testing::Test {
protected:
    void SetUp() override { test::ResetHandlerRegistration(); }
    void TearDown() override { test::ResetHandlerRegistration(); }
};

TEST_F(RegistrationTest, RegisteringTwiceWritesEveryRowBothTimes)
{
    // Whatever the shared keys held before is replaced by the empty string.
    for (const char* classKey : test::kHandlerClassKeys) WriteDefault(std::string(classKey) + "\\shellex", "other");
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(RunRegsvr32(LibraryPath(), false), 0u);
        for (const Row& row : RegisteredRows(LibraryPath()))
            EXPECT_EQ(ReadRegistryString(row.root, row.key, row.value), row.data) << Describe(row);
    }
}

TEST_F(RegistrationTest, UnregisteringRemovesTheHandlerAndKeepsWhatIsShared)
{
    ASSERT_EQ(RunRegsvr32(LibraryPath(), false), 0u);
    // The second time there is nothing left to remove.
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(RunRegsvr32(LibraryPath(), true), 0u);
        for (const Row& row : RegisteredRows(LibraryPath())) {
            if (row.staysRegistered)
                EXPECT_EQ(ReadRegistryString(row.root, row.key, row.value), row.data) << Describe(row);
            else
                EXPECT_FALSE(KeyPresent(row.root, row.key)) << Describe(row);
        }
    }
}

// The handler keys are one set for both views on 64-bit Windows: the x64
// library's unregistration leaves them to the x86 library while that is
// still registered, and the last one removes them.
TEST_F(RegistrationTest, HandlerKeysStayWhileTheOtherViewHasTheClass)
{
    const auto handlerKeysLeft = [] {
        int left = 0;
        for (const char* classKey : test::kHandlerClassKeys)
            left += KeyPresent(HKEY_CLASSES_ROOT, std::string(classKey) + "\\shellex\\ContextMenuHandlers\\VOK");
        return left;
    };
    const std::string otherView = "\"HKCR\\" + kClassKey + "\" /reg:32 /f";
    ASSERT_EQ(RunRegsvr32(LibraryPath(), false), 0u);
    ASSERT_EQ(RunProgram("reg.exe add " + otherView), 0u);

    ASSERT_EQ(RunRegsvr32(LibraryPath(), true), 0u);
    EXPECT_FALSE(KeyPresent(HKEY_CLASSES_ROOT, kClassKey));
    EXPECT_EQ(handlerKeysLeft(), 6);

    ASSERT_EQ(RunProgram("reg.exe delete " + otherView), 0u);
    ASSERT_EQ(RunRegsvr32(LibraryPath(), true), 0u);
    EXPECT_EQ(handlerKeysLeft(), 0);
}

TEST_F(RegistrationTest, AnotherProgramsSubkeyKeepsTheClassKey)
{
    ASSERT_EQ(RunRegsvr32(LibraryPath(), false), 0u);
    WriteDefault(kClassKey + "\\Other", "");
    ASSERT_EQ(RunRegsvr32(LibraryPath(), true), 0u);
    EXPECT_FALSE(KeyPresent(HKEY_CLASSES_ROOT, kServerKey));
    EXPECT_TRUE(KeyPresent(HKEY_CLASSES_ROOT, kClassKey + "\\Other"));
}

TEST_F(RegistrationTest, PathWithASpaceIsRegisteredInItsShortForm)
{
    test::ScratchDir dir("with space");
    const std::string copy = dir / "vok.dll";
    ASSERT_TRUE(CopyFileA(LibraryPath().c_str(), copy.c_str(), FALSE));
    char shortPath[MAX_PATH] = {};
    ASSERT_GT(GetShortPathNameA(copy.c_str(), shortPath, MAX_PATH), 0u);
    ASSERT_EQ(std::string(shortPath).find(' '), std::string::npos);

    ASSERT_EQ(RunRegsvr32(copy, false), 0u);
    EXPECT_EQ(ReadRegistryString(HKEY_CLASSES_ROOT, kServerKey, nullptr), shortPath);
}

// A folder named outside the ANSI code page (1252 here): the row names the
// library exactly, and COM creates the class from that very file.
TEST_F(RegistrationTest, FolderNamedInAnyScriptIsRegisteredExactlyAndLoads)
{
    test::ScratchDir dir("script");
    const WString copy = W(dir.path()) + L"\u03A9mega\\vok.dll";
    test::MakeFolder(copy.substr(0, copy.size() - 8));
    ASSERT_TRUE(CopyFileW(W(LibraryPath()).c_str(), copy.c_str(), FALSE));
    ASSERT_EQ(RunProgram("regsvr32.exe /s \"" + test::Utf8(copy) + '"'), 0u);

    wchar_t row[MAX_PATH] = {};
    DWORD size = sizeof row;
    RegGetValueW(HKEY_CLASSES_ROOT, W(kServerKey).c_str(), nullptr, RRF_RT_REG_SZ, nullptr, row, &size);
    EXPECT_EQ(WString(row), copy);
    Microsoft::WRL::ComPtr<IContextMenu> menu;
    ASSERT_EQ(CoCreateInstance(test::kHandlerClsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&menu)), S_OK);
    EXPECT_NE(GetModuleHandleW(copy.c_str()), nullptr) << "created from the library the row names";
    menu.Reset();
    CoFreeUnusedLibrariesEx(0, 0);
}

} // namespace
} // namespace vok
