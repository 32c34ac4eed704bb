#include "Work/Store/LinkFile.h"

#include "TestSupport.h"
#include "Work/Store/Favorites.h"
#include "Work/Store/Shortcuts.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <vector>

namespace vok {
namespace {

using test::ReadBytes;

uint32_t Get16(const std::string& b, size_t at)
{
    return uint8_t(b[at]) | uint8_t(b[at + 1]) << 8;
}
uint32_t Get32(const std::string& b, size_t at)
{
    return Get16(b, at) | Get16(b, at + 2) << 16;
}
void Put16(std::string& b, size_t at, uint32_t v)
{
    b[at] = char(v), b[at + 1] = char(v >> 8);
}
void Put32(std::string& b, size_t at, uint32_t v)
{
    Put16(b, at, v), Put16(b, at + 2, v >> 16);
}

// Where the sections of a link written by the system begin.
size_t ItemList(const std::string&)
{
    return 0x4C;
}
size_t Location(const std::string& b)
{
    return (Get32(b, 0x14) & 1) ? 0x4C + 2 + Get16(b, 0x4C) : 0x4C;
}
size_t Block(const std::string& b, uint32_t signature)
{
    for (size_t at = Location(b) + Get32(b, Location(b)); at + 8 <= b.size() && Get32(b, at) >= 8; at += Get32(b, at))
        if (Get32(b, at + 4) == signature) return at;
    return std::string::npos;
}

class LinkFileTest : public test::InstalledTest {
protected:
    LinkFileTest() : InstalledTest("link-file") {}
};

TEST_F(LinkFileTest, LinksTheSystemWritesAreWellFormedAndDamagedOnesAreNot)
{
    test::MakeLink(favorites + "folder.lnk", dir / "Data");
    test::WriteLinkWithStoredPath(favorites + "env.lnk", "%SystemRoot%\\system32");
    const std::string folder = ReadBytes(favorites + "folder.lnk"), env = ReadBytes(favorites + "env.lnk");
    ASSERT_TRUE(IsWellFormedLink(folder));
    ASSERT_TRUE(IsWellFormedLink(env));
    ASSERT_NE(Block(env, 0xA0000001), std::string::npos);

    using Damage = std::function<void(std::string&)>;
    const struct {
        const char* what;
        const std::string& link;
        Damage damage;
    } cases[] = {
        {"cut inside the header", folder, [](std::string& b) { b.resize(0x4B); }},
        {"another class", folder, [](std::string& b) { b[4] ^= 1; }},
        {"item runs past the list", folder, [](std::string& b) { Put16(b, ItemList(b) + 2, Get16(b, 0x4C) + 2); }},
        {"list without its end", folder, [](std::string& b) { Put16(b, Location(b) - 2, 0x0101); }},
        {"list runs past the file", folder, [](std::string& b) { Put16(b, 0x4C, 0xFFFF); }},
        {"item of two bytes", folder, [](std::string& b) { Put16(b, ItemList(b) + 2, 2); }},
        {"location runs past the file", folder, [](std::string& b) { Put32(b, Location(b), uint32_t(b.size())); }},
        {"local path past the location", folder,
         [](std::string& b) { Put32(b, Location(b) + 0x10, Get32(b, Location(b))); }},
        {"volume runs past the location", folder,
         [](std::string& b) { Put32(b, Location(b) + Get32(b, Location(b) + 0x0C), 0x7FFF); }},
        {"environment block too short", env, [](std::string& b) { Put32(b, Block(b, 0xA0000001), 0x20); }},
        {"environment path without its end", env,
         [](std::string& b) { b.replace(Block(b, 0xA0000001) + 0x10C, 520, std::string(520, 'A')); }},
        {"block runs past the file", env, [](std::string& b) { Put32(b, Block(b, 0xA0000001), 0x10000); }},
    };
    int index = 0;
    for (const auto& c : cases) {
        std::string bytes = c.link;
        c.damage(bytes);
        EXPECT_FALSE(IsWellFormedLink(bytes)) << c.what;
        // Through the store as well: a damaged link is neither listed nor deleted.
        const std::string path = favorites + "damaged " + std::to_string(index++) + ".lnk";
        test::WriteBytes(path, bytes);
        WString target;
        EXPECT_FALSE(ReadLinkTarget(test::W(path), target)) << c.what;
    }
    const std::vector<Favorite> listed = ScanFavoritesFolder(test::W(favorites));
    ASSERT_EQ(listed.size(), 2u);
    for (int i = 0; i < index; ++i) EXPECT_TRUE(test::PathPresent(favorites + "damaged " + std::to_string(i) + ".lnk"));
}

} // namespace
} // namespace vok
