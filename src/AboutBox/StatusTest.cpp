#include "AboutBox/Status.h"

#include "TestSupport.h"
#include "Work/ExtensionState.h"
#include "Work/Registry.h"

#include <gtest/gtest.h>

namespace vok {
namespace {

class StatusTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::StopState();
        test::SetInstallFolder("C:\\Vokmark");
        ASSERT_TRUE(StartExtensionState(GetModuleHandleA(nullptr)));
    }
    void TearDown() override { test::StopState(); }

    bool Enabled() { return test::ReadState(&ExtensionState::Enabled); }
    void SetEnabled(bool enabled)
    {
        WithState([enabled](ExtensionState& s) { s.Enabled = enabled; });
    }

    test::VokKeyReset registry;
};

TEST_F(StatusTest, StoredValueDecidesTheSwitch)
{
    const struct {
        const char* label;
        DWORD type; // 0: no value
        std::string data;
        bool enabled;
    } cases[] = {
        {"dword 0", REG_DWORD, std::string("\0\0\0\0", 4), false},
        {"dword 1", REG_DWORD, std::string("\1\0\0\0", 4), true},
        {"dword 5", REG_DWORD, std::string("\5\0\0\0", 4), true},
        {"string 0", REG_SZ, std::string("0", 2), true},
        {"string off", REG_SZ, std::string("off", 4), true},
        {"short dword", REG_DWORD, std::string("\0\0", 2), true},
        {"no value", 0, std::string(), true},
    };
    for (const auto& c : cases) {
        RegDeleteTreeA(HKEY_CURRENT_USER, kVokKey);
        test::SetInstallFolder("C:\\Vokmark");
        if (c.type != 0) test::SetVokValue(kStatusValue, c.type, c.data.data(), static_cast<DWORD>(c.data.size()));
        SetEnabled(!c.enabled);
        LoadStatus();
        EXPECT_EQ(Enabled(), c.enabled) << c.label;
    }
}

TEST_F(StatusTest, MissingKeyLeavesTheSwitchAsItIs)
{
    RegDeleteTreeA(HKEY_CURRENT_USER, kVokKey);
    EXPECT_TRUE(Enabled()) << "active after load";
    LoadStatus();
    EXPECT_TRUE(Enabled());
    SetEnabled(false);
    LoadStatus();
    EXPECT_FALSE(Enabled());
}

TEST_F(StatusTest, SaveCreatesTheKeyAndTheNextLoadSeesIt)
{
    RegDeleteTreeA(HKEY_CURRENT_USER, kVokKey);
    SetEnabled(false);
    SaveStatus();
    DWORD stored = 7;
    ASSERT_TRUE(test::ReadStatusValue(stored));
    EXPECT_EQ(stored, 0u);

    SetEnabled(true);
    LoadStatus();
    EXPECT_FALSE(Enabled());

    SetEnabled(true);
    SaveStatus();
    ASSERT_TRUE(test::ReadStatusValue(stored));
    EXPECT_EQ(stored, 1u);
}

} // namespace
} // namespace vok
