// Every resource the library carries, read back from both built files: the
// 64-bit one and the shipped 32-bit one, which this machine can only read.
#include "Common/Unique.h"
#include "Resources/AboutBoxLayout.h"
#include "vok_TLB.h"

#include <gtest/gtest.h>
#include <oleauto.h>
#include <windows.h>

#include <string>
#include <vector>

namespace vok {
namespace {

constexpr WORD kEnglishUs = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

struct ModuleTraits {
    using Type = HMODULE;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { FreeLibrary(h); }
};

std::vector<std::string> Libraries()
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string own = path;
    std::vector<std::string> libraries{own.substr(0, own.rfind('\\') + 1) + VOK_DLL_NAME};
    if (VOK_I686_DLL[0]) libraries.push_back(std::string("Z:") + VOK_I686_DLL);
    return libraries;
}

// The bytes of one resource in U.S. English, or null.
template <class T = BYTE>
const T* Resource(HMODULE module, LPCSTR type, LPCSTR name)
{
    const HRSRC found = FindResourceExA(module, type, name, kEnglishUs);
    return found ? static_cast<const T*>(LockResource(LoadResource(module, found))) : nullptr;
}

#pragma pack(push, 2)
struct GroupIconEntry {
    BYTE Width, Height, ColorCount, Reserved;
    WORD Planes, BitCount;
    DWORD BytesInRes;
    WORD Id;
};
struct GroupIcon {
    WORD Reserved, Type, Count;
    GroupIconEntry Entries[1];
};
struct DialogTemplateEx {
    WORD Version, Signature;
    DWORD HelpId, ExStyle, Style;
    WORD Items;
    short X, Y, Width, Height;
};
#pragma pack(pop)

class ResourcesTest : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override
    {
        module_.reset(LoadLibraryExA(GetParam().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
        ASSERT_TRUE(module_) << GetParam();
    }
    HMODULE module() const { return module_.get(); }

private:
    Unique<ModuleTraits> module_;
};

TEST_P(ResourcesTest, BitmapsHaveTheirSizesAndDepths)
{
    const struct {
        const char* name;
        LONG width, height;
        WORD bits;
    } bitmaps[] = {{"CF", 13, 14, 8}, {"A", 13, 14, 8},  {"R", 13, 14, 8},
                   {"M", 14, 13, 8},  {"S", 13, 13, 8}, {"BANNER", 39, 194, 24}};
    for (const auto& b : bitmaps) {
        const auto* info = Resource<BITMAPINFOHEADER>(module(), RT_BITMAP, b.name);
        ASSERT_TRUE(info) << b.name;
        EXPECT_EQ(info->biSize, sizeof(BITMAPINFOHEADER)) << b.name;
        EXPECT_EQ(info->biWidth, b.width) << b.name;
        EXPECT_EQ(info->biHeight, b.height) << b.name;
        EXPECT_EQ(info->biBitCount, b.bits) << b.name;
        EXPECT_EQ(info->biCompression, static_cast<DWORD>(BI_RGB)) << b.name;
        if (b.bits == 8) { EXPECT_EQ(info->biClrUsed, 256u) << b.name; }
    }
}

TEST_P(ResourcesTest, IconsHaveOneImageEach)
{
    const struct {
        const char* name;
        BYTE size, colours; // 0 colours: 256
        WORD bits;
    } icons[] = {{"MAINICON", 16, 16, 4}, {IDI_ABOUTBOX, 32, 0, 8}};
    for (const auto& i : icons) {
        const auto* group = Resource<GroupIcon>(module(), RT_GROUP_ICON, i.name);
        ASSERT_TRUE(group) << i.name;
        ASSERT_EQ(group->Count, 1) << i.name;
        const GroupIconEntry& entry = group->Entries[0];
        EXPECT_EQ(entry.Width, i.size) << i.name;
        EXPECT_EQ(entry.Height, i.size) << i.name;
        EXPECT_EQ(entry.ColorCount, i.colours) << i.name;
        EXPECT_EQ(entry.BitCount, i.bits) << i.name;
        const auto* image = Resource<BITMAPINFOHEADER>(module(), RT_ICON, MAKEINTRESOURCEA(entry.Id));
        ASSERT_TRUE(image) << i.name;
        EXPECT_EQ(image->biWidth, i.size) << i.name;
        EXPECT_EQ(image->biHeight, 2 * i.size) << i.name; // colours and mask
        EXPECT_EQ(image->biBitCount, i.bits) << i.name;
    }
}

TEST_P(ResourcesTest, AboutWindowLayoutAndWarning)
{
    const auto* layout = Resource<DialogTemplateEx>(module(), RT_DIALOG, "TABOUTBOXFORM");
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->Signature, 0xFFFF);
    EXPECT_EQ(layout->Items, 12);
    EXPECT_EQ(layout->Width, 294);
    EXPECT_EQ(layout->Height, 323);
    EXPECT_TRUE(layout->ExStyle & WS_EX_TOPMOST);

    EXPECT_TRUE(Resource(module(), RT_STRING, MAKEINTRESOURCEA(IDS_WARNING / 16 + 1)));
    char text[512] = {};
    ASSERT_EQ(LoadStringA(module(), IDS_WARNING, text, sizeof text), 288);
    const std::string warning = text;
    EXPECT_EQ(warning.rfind("Warning: Vokmark ", 0), 0u);
    EXPECT_NE(warning.find(" by  copyright "), std::string::npos);
    EXPECT_EQ(warning.find("by   "), std::string::npos);
    EXPECT_EQ(warning.substr(warning.size() - 9), "treaties.");
}

TEST_P(ResourcesTest, VersionBlockSaysWhatTheProductIs)
{
    EXPECT_TRUE(Resource(module(), RT_VERSION, MAKEINTRESOURCEA(1)));
    const DWORD size = GetFileVersionInfoSizeA(GetParam().c_str(), nullptr);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoA(GetParam().c_str(), 0, size, block.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00020000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00020000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0u);
    EXPECT_EQ(fixed->dwFileFlagsMask, 0x3Fu);
    EXPECT_EQ(fixed->dwFileFlags, 0u);
    EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS__WINDOWS32));
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
    EXPECT_EQ(fixed->dwFileSubtype, 0u);

    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                               &length));
    ASSERT_EQ(length, 4u);
    EXPECT_EQ(translation[0], 0x0409);
    EXPECT_EQ(translation[1], 0x04E4);

    const struct {
        const char* field;
        const char* value;
    } fields[] = {{"CompanyName", "TALLOWAY"}, {"ProductName", "Vokmark"},  {"FileVersion", "2.0.0.0"},
                  {"ProductVersion", "2.0"},   {"FileDescription", ""},    {"InternalName", ""},
                  {"LegalCopyright", ""},      {"LegalTrademarks", ""},    {"OriginalFilename", ""},
                  {"Comments", ""}};
    for (const auto& f : fields) {
        char* value = nullptr;
        length = 0;
        EXPECT_TRUE(VerQueryValueA(block.data(), (std::string("\\StringFileInfo\\040904E4\\") + f.field).c_str(),
                                   reinterpret_cast<void**>(&value), &length))
            << f.field;
        EXPECT_EQ(std::string(value ? value : "?", value ? strnlen(value, length) : 1), f.value) << f.field;
    }
}

TEST_P(ResourcesTest, TypeLibraryIsTheEmptyZindle)
{
    EXPECT_TRUE(Resource(module(), "TYPELIB", MAKEINTRESOURCEA(kTypeLibraryResourceId)));
    wchar_t path[MAX_PATH] = {};
    MultiByteToWideChar(CP_ACP, 0, GetParam().c_str(), -1, path, MAX_PATH);
    ITypeLib* library = nullptr;
    ASSERT_HRESULT_SUCCEEDED(LoadTypeLibEx(path, REGKIND_NONE, &library));
    TLIBATTR* attributes = nullptr;
    ASSERT_HRESULT_SUCCEEDED(library->GetLibAttr(&attributes));
    EXPECT_TRUE(IsEqualGUID(attributes->guid, LIBID_zindle));
    EXPECT_EQ(attributes->lcid, 0x0409u);
    EXPECT_EQ(attributes->syskind, SYS_WIN32);
    EXPECT_EQ(attributes->wMajorVerNum, kTypeLibraryMajorVersion);
    EXPECT_EQ(attributes->wMinorVerNum, kTypeLibraryMinorVersion);
    library->ReleaseTLibAttr(attributes);
    EXPECT_EQ(library->GetTypeInfoCount(), 0u);
    BSTR name = nullptr, help = nullptr;
    ASSERT_HRESULT_SUCCEEDED(library->GetDocumentation(-1, &name, &help, nullptr, nullptr));
    EXPECT_STREQ(name, L"zindle");
    EXPECT_STREQ(help, L"zindle Library");
    SysFreeString(name);
    SysFreeString(help);
    library->Release();
}

INSTANTIATE_TEST_SUITE_P(BothLibraries, ResourcesTest, ::testing::ValuesIn(Libraries()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             return info.index == 0 ? std::string("x86_64") : std::string("i686");
                         });

} // namespace
} // namespace vok
