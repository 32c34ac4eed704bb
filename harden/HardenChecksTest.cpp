// The harness's checks are only as good as what they can see: a selection
// the system reads back as given, a buffer guard that catches an overrun and
// a missing NUL, resource counts that move when resources are taken, and the
// registry expectations the library is judged by.
#include "HardenChecks.h"

#include <gtest/gtest.h>
#include <shellapi.h>

#include <string>
#include <vector>

namespace vok::harden {
namespace {

std::vector<std::string> ReadBack(DropSelection& selection)
{
    FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium = {};
    EXPECT_EQ(selection.GetData(&format, &medium), S_OK);
    const auto drop = static_cast<HDROP>(medium.hGlobal);
    std::vector<std::string> paths(DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0));
    for (UINT i = 0; i < paths.size(); ++i) {
        paths[i].resize(DragQueryFileA(drop, i, nullptr, 0));
        DragQueryFileA(drop, i, &paths[i][0], static_cast<UINT>(paths[i].size() + 1));
    }
    ReleaseStgMedium(&medium);
    return paths;
}

TEST(HardenChecks, DropSelectionIsReadBackAsGiven)
{
    for (const std::vector<std::string>& list :
         {std::vector<std::string>{"C:\\a"}, {"C:\\a", "C:\\b c"}, {std::string(300, 'x')}}) {
        DropSelection selection(list);
        EXPECT_EQ(ReadBack(selection), list);
    }
    // The empty list: Windows counts no name in it, this Wine one empty name.
    // Either way nothing is there to read.
    DropSelection empty({});
    const std::vector<std::string> none = ReadBack(empty);
    EXPECT_TRUE(none.empty() || none == std::vector<std::string>{""});
    DropSelection selection({"C:\\a"});
    FORMATETC text = {CF_TEXT, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium = {};
    EXPECT_EQ(selection.GetData(&text, &medium), DV_E_FORMATETC);
}

// A menu whose GetCommandString writes what it is told to.
class ScriptedMenu final : public IContextMenu {
public:
    enum Behaviour { sbFits, sbOneTooMany, sbNoNul };
    explicit ScriptedMenu(Behaviour behaviour) : behaviour_(behaviour) {}
    STDMETHODIMP GetCommandString(UINT_PTR, UINT, UINT*, CHAR* name, UINT cchMax) override
    {
        if (cchMax == 0) return E_INVALIDARG;
        switch (behaviour_) {
        case sbFits: std::memset(name, 'h', cchMax - 1), name[cchMax - 1] = '\0'; break;
        case sbOneTooMany: std::memset(name, 'h', cchMax), name[cchMax] = '\0'; break;
        case sbNoNul: std::memset(name, 'h', cchMax); break;
        }
        return S_OK;
    }
    STDMETHODIMP QueryContextMenu(HMENU, UINT, UINT, UINT, UINT) override { return E_NOTIMPL; }
    STDMETHODIMP InvokeCommand(CMINVOKECOMMANDINFO*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryInterface(REFIID, void** out) override { return *out = nullptr, E_NOINTERFACE; }
    STDMETHODIMP_(ULONG) AddRef() override { return 1; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }

private:
    Behaviour behaviour_;
};

TEST(HardenChecks, StringGuardCatchesAnOverrunAndAMissingNul)
{
    struct Case {
        ScriptedMenu::Behaviour behaviour;
        uint64_t overruns, unterminated;
    };
    for (const Case& c : {Case{ScriptedMenu::sbFits, 0, 0}, Case{ScriptedMenu::sbOneTooMany, 1, 1},
                          Case{ScriptedMenu::sbNoNul, 0, 1}}) {
        ScriptedMenu menu(c.behaviour);
        ComFigures f;
        for (UINT cchMax : {1u, 2u, 260u}) AskString(menu, 0, GCS_HELPTEXTA, cchMax, f);
        EXPECT_EQ(f.StringCalls, 3u);
        EXPECT_EQ(f.StringAnswers, 3u);
        EXPECT_EQ(f.Overruns, 3 * c.overruns) << c.behaviour;
        EXPECT_EQ(f.Unterminated, 3 * c.unterminated) << c.behaviour;
    }
    ScriptedMenu menu(ScriptedMenu::sbFits);
    ComFigures f;
    AskString(menu, 0, GCS_HELPTEXTA, 0, f);
    EXPECT_EQ(f.StringAnswers, 0u) << "an error gives no text to judge";
}

TEST(HardenChecks, HandleCountFollowsHandlesTakenAndGiven)
{
    const DWORD before = ProbeHandles();
    HANDLE events[5];
    for (HANDLE& event : events) event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    EXPECT_EQ(ProbeHandles(), before + 5);
    for (HANDLE event : events) CloseHandle(event);
    EXPECT_EQ(ProbeHandles(), before);
}

TEST(HardenChecks, PrivateBytesFollowMemoryCommittedAndFreed)
{
    const SIZE_T before = CommittedPrivateBytes();
    void* block = VirtualAlloc(nullptr, 1 << 20, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    ASSERT_NE(block, nullptr);
    EXPECT_GE(CommittedPrivateBytes(), before + (1 << 20));
    VirtualFree(block, 0, MEM_RELEASE);
    EXPECT_LT(CommittedPrivateBytes(), before + (1 << 20));
    const Resources sample = Sample();
    EXPECT_GT(sample.Handles(), 0u);
    EXPECT_GT(sample.Private(), 0u);
}

TEST(HardenChecks, RegistryExpectations)
{
    const std::string zero4(4, '\0'), one4("\1\0\0\0", 4);
    EXPECT_FALSE(ExpectEnabled({"Status", REG_DWORD, zero4, ""}));
    EXPECT_TRUE(ExpectEnabled({"Status", REG_DWORD, one4, ""}));
    EXPECT_TRUE(ExpectEnabled({"Status", REG_BINARY, zero4, ""}));
    EXPECT_TRUE(ExpectEnabled({"Status", REG_DWORD, std::string(8, '\0'), ""}));
    EXPECT_TRUE(ExpectEnabled({"Install Folder", REG_DWORD, zero4, ""}));
    EXPECT_EQ(ExpectFavoritesDir({"Status", REG_SZ, "x", ""}, "C:\\I"), "C:\\I\\Favorites\\");
    EXPECT_EQ(ExpectFavoritesDir({"Install Folder", REG_SZ, std::string("C:\\A\0B", 6), ""}, "C:\\I"),
              "C:\\A\\Favorites\\");
    EXPECT_EQ(ExpectFavoritesDir({"Install Folder", REG_EXPAND_SZ, "C:\\E", ""}, "C:\\I"), "C:\\E\\Favorites\\");
    EXPECT_EQ(ExpectFavoritesDir({"Install Folder", REG_MULTI_SZ, std::string("C:\\A\0\0", 6), ""}, "C:\\I"), "");
    EXPECT_EQ(ExpectFavoritesDir({"Install Folder", REG_BINARY, "C:\\A", ""}, "C:\\I"), "");
}

} // namespace
} // namespace vok::harden
