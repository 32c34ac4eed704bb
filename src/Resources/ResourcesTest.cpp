// Every resource the library carries, read back from both built files: the
// 64-bit one and the shipped 32-bit one, which this machine can only read.
#include "Common/Unique.h"
#include "Resources/AboutBoxLayout.h"
#include "vok_TLB.h"

#include <gtest/gtest.h>
#include <oleauto.h>
#include <windows.h>

#include <sstream>
#include <string>
#include <vector>

namespace vok {
namespace {

#pragma pack(push, 2)
struct GroupIcon {
    WORD Reserved, Type, Count;
    BYTE Width, Height, Colours, Zero;
    WORD Planes, Bits;
    DWORD Bytes;
    WORD Id;
};
struct DialogTemplateEx {
    WORD Version, Signature;
    DWORD HelpId, ExStyle, Style;
    WORD Items;
    short X, Y, Width, Height;
};
#pragma pack(pop)

struct ModuleTraits {
    using Type = HMODULE;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { FreeLibrary(h); }
};

std::vector<std::string> Libraries()
{
    char path[MAX_PATH] = {};
    const std::string self(path, GetModuleFileNameA(nullptr, path, MAX_PATH));
    std::vector<std::string> libraries{self.substr(0, self.rfind('\\') + 1) + VOK_DLL_NAME};
    if (VOK_I686_DLL[0]) libraries.push_back(std::string("Z:") + VOK_I686_DLL);
    return libraries;
}

// The bytes of one resource in U.S. English, or null.
const void* Find(HMODULE module, LPCSTR type, LPCSTR name)
{
    const HRSRC found = FindResourceExA(module, type, name, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    return found ? LockResource(LoadResource(module, found)) : nullptr;
}

// Its header; a zeroed stand-in when there is none.
template <class T>
T Resource(HMODULE module, LPCSTR type, LPCSTR name)
{
    const void* data = Find(module, type, name);
    return data ? *static_cast<const T*>(data) : T{};
}

// What the file holds, one line per resource.
std::string Describe(const std::string& path)
{
    std::ostringstream out;
    const Unique<ModuleTraits> module(LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    const HMODULE m = module.get();
    // Each item picture in each of its sizes, the 16-pixel one by the plain name.
    std::vector<std::string> bitmaps;
    for (const char* picture : {"CF", "A", "R", "M", "S"})
        for (const char* size : {"", "_20", "_24", "_32", "_40"}) bitmaps.push_back(std::string(picture) + size);
    bitmaps.push_back("BANNER");
    for (const std::string& name : bitmaps) {
        const auto b = Resource<BITMAPINFOHEADER>(m, RT_BITMAP, name.c_str());
        out << "bitmap " << name << " " << b.biWidth << "x" << b.biHeight << "x" << b.biBitCount << " colours "
            << b.biClrUsed << " compression " << b.biCompression << "\n";
    }
    for (const char* name : {"MAINICON", IDI_ABOUTBOX}) {
        const auto g = Resource<GroupIcon>(m, RT_GROUP_ICON, name);
        const auto i = Resource<BITMAPINFOHEADER>(m, RT_ICON, MAKEINTRESOURCEA(g.Id));
        out << "icon " << name << " images " << g.Count << " " << +g.Width << "x" << +g.Height << "x" << g.Bits
            << " colours " << +g.Colours << ", image " << i.biWidth << "x" << i.biHeight << "x" << i.biBitCount << "\n";
    }
    const auto d = Resource<DialogTemplateEx>(m, RT_DIALOG, "TABOUTBOXFORM");
    out << "dialog " << std::hex << d.Signature << std::dec << " " << d.Width << "x" << d.Height << " items " << d.Items
        << " topmost " << !!(d.ExStyle & WS_EX_TOPMOST) << "\n";
    char text[512] = {};
    const int length = LoadStringA(m, IDS_WARNING, text, sizeof text);
    const std::string warning(text);
    out << "string " << IDS_WARNING << " length " << length << " names product "
        << (warning.find("Vokmark") != std::string::npos) << " by-two-spaces "
        << (warning.find(" by  copyright ") != std::string::npos) << " ends \"" << warning.substr(warning.size() - 10)
        << "\" in English " << !!Find(m, RT_STRING, MAKEINTRESOURCEA(IDS_WARNING / 16 + 1)) << "\n";

    std::vector<BYTE> block(GetFileVersionInfoSizeA(path.c_str(), nullptr));
    GetFileVersionInfoA(path.c_str(), 0, static_cast<DWORD>(block.size()), block.data());
    const auto query = [&](const std::string& what, UINT& length) {
        void* value = nullptr;
        return VerQueryValueA(block.data(), what.c_str(), &value, &length) ? value : nullptr;
    };
    UINT size = 0;
    const auto* f = static_cast<const VS_FIXEDFILEINFO*>(query("\\", size));
    const auto* t = static_cast<const WORD*>(query("\\VarFileInfo\\Translation", size));
    if (!f || !t) return out.str() + "no version\n";
    out << std::hex << "version " << f->dwFileVersionMS << "." << f->dwFileVersionLS << " product "
        << f->dwProductVersionMS << "." << f->dwProductVersionLS << " mask " << f->dwFileFlagsMask << " flags "
        << f->dwFileFlags << " os " << f->dwFileOS << " type " << f->dwFileType << "/" << f->dwFileSubtype
        << " translation " << t[0] << " " << t[1] << " in English " << !!Find(m, RT_VERSION, MAKEINTRESOURCEA(1))
        << std::dec << "\n";
    for (const char* field : {"CompanyName", "ProductName", "FileVersion", "ProductVersion", "FileDescription",
                              "InternalName", "LegalCopyright", "LegalTrademarks", "OriginalFilename", "Comments"}) {
        const auto* value = static_cast<const char*>(query(std::string("\\StringFileInfo\\040904E4\\") + field, size));
        out << field << (value ? "=\"" + std::string(value, strnlen(value, size)) + "\"" : std::string(" missing"))
            << "\n";
    }

    out << "typelib resource " << !!Find(m, "TYPELIB", MAKEINTRESOURCEA(kTypeLibraryResourceId));
    wchar_t wide[MAX_PATH] = {};
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
    ITypeLib* library = nullptr;
    TLIBATTR* a = nullptr;
    BSTR name = nullptr, help = nullptr;
    if (SUCCEEDED(LoadTypeLibEx(wide, REGKIND_NONE, &library)) && SUCCEEDED(library->GetLibAttr(&a)) &&
        SUCCEEDED(library->GetDocumentation(-1, &name, &help, nullptr, nullptr))) {
        out << " " << std::string(name, name + SysStringLen(name)) << " \""
            << std::string(help, help + SysStringLen(help)) << "\" ours " << !!IsEqualGUID(a->guid, LIBID_zindle) << " "
            << a->wMajorVerNum << "." << a->wMinorVerNum << " locale " << std::hex << a->lcid << std::dec << " kind "
            << a->syskind << " types " << library->GetTypeInfoCount();
    }
    SysFreeString(name);
    SysFreeString(help);
    if (a) library->ReleaseTLibAttr(a);
    if (library) library->Release();
    return out.str() + "\n";
}

// Every item picture in every size: 32-bit, square, no colour table.
std::string PictureLines()
{
    std::string lines;
    for (const char* picture : {"CF", "A", "R", "M", "S"})
        for (const char* size : {"16", "20", "24", "32", "40"})
            lines += std::string("bitmap ") + picture + (size == std::string("16") ? "" : std::string("_") + size) +
                     " " + size + "x" + size + "x32 colours 0 compression 0\n";
    return lines;
}

class ResourcesTest : public ::testing::TestWithParam<std::string> {};

TEST_P(ResourcesTest, LibraryCarriesEveryResourceInUsEnglish)
{
    EXPECT_EQ(Describe(GetParam()),
              PictureLines() +
                  "bitmap BANNER 39x194x24 colours 0 compression 0\n"
                  "icon MAINICON images 1 16x16x4 colours 16, image 16x32x4\n"
                  "icon ABOUTICON images 1 32x32x8 colours 0, image 32x64x8\n"
                  "dialog ffff 294x323 items 12 topmost 1\n"
                  "string 65326 length 288 names product 1 by-two-spaces 1 ends \" treaties.\" in English 1\n"
                  "version 20000.0 product 20000.0 mask 3f flags 0 os 4 type 1/0 translation 409 4e4 in English 1\n"
                  "CompanyName=\"TALLOWAY\"\nProductName=\"Vokmark\"\nFileVersion=\"2.0.0.0\"\nProductVersion=\"2.0\"\n"
                  "FileDescription=\"\"\nInternalName=\"\"\nLegalCopyright=\"\"\nLegalTrademarks=\"\"\n"
                  "OriginalFilename=\"\"\nComments=\"\"\n"
                  "typelib resource 1 zindle \"zindle Library\" ours 1 1.0 locale 409 kind 1 types 0\n");
}

INSTANTIATE_TEST_SUITE_P(BothLibraries, ResourcesTest, ::testing::ValuesIn(Libraries()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             // The first is this build's own library, of either target.
                             return info.index || sizeof(void*) == 4 ? "i686" : "x86_64";
                         });

} // namespace
} // namespace vok
