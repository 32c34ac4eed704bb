#include "Demo/DemoInstall.h"

#include <windows.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <stdexcept>

using Microsoft::WRL::ComPtr;

namespace vok::demo {
namespace {

[[noreturn]] void Fail(const std::string& what)
{
    throw std::runtime_error(what + " (error " + std::to_string(GetLastError()) + ")");
}

// The system's own strings: names outside the ANSI code page need them.
std::wstring Wide(const std::string& utf8)
{
    std::wstring wide(utf8.size() + 1, L'\0');
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, &wide[0], static_cast<int>(wide.size()));
    wide.resize(length > 0 ? static_cast<size_t>(length) - 1 : 0);
    return wide;
}

void MakeFolder(const std::string& path)
{
    if (!CreateDirectoryW(Wide(path).c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        Fail("cannot create folder " + path);
}

void WriteText(const std::string& path, const std::string& text)
{
    HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) Fail("cannot create " + path);
    DWORD written = 0;
    const BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    if (!ok || written != text.size()) Fail("cannot write " + path);
}

void MakeLink(const std::string& linkPath, const std::string& target)
{
    ComPtr<IShellLinkW> link;
    ComPtr<IPersistFile> file;
    if (FAILED(CoCreateInstance(__uuidof(ShellLink), nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&link))) ||
        FAILED(link->SetPath(Wide(target).c_str())) || FAILED(link.As(&file)))
        Fail("cannot make a shell link to " + target);
    if (FAILED(file->Save(Wide(linkPath).c_str(), TRUE))) Fail("cannot save " + linkPath);
}

void RegisterInstallFolder(const std::string& folder)
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\VOK", 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        Fail("cannot create HKEY_CURRENT_USER\\Software\\VOK");
    const LONG result = RegSetValueExA(key, "Install Folder", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                                       static_cast<DWORD>(folder.size() + 1));
    RegCloseKey(key);
    if (result != ERROR_SUCCESS) Fail("cannot set \"Install Folder\"");
}

} // namespace

DemoLayout LayoutAt(const std::string& root)
{
    DemoLayout layout;
    layout.Root = root.back() == '\\' ? root : root + "\\";
    layout.InstallFolder = layout.Root + "Vokmark";
    layout.Favorites = layout.InstallFolder + "\\Favorites\\";
    layout.StartFolder = layout.Root + "Start";
    layout.ChosenFolder = layout.Root + kChosenFavorite;
    return layout;
}

std::vector<std::string> InstallDemo(const DemoLayout& layout)
{
    const std::string& root = layout.Root;
    for (const std::string& folder :
         {root, layout.InstallFolder, layout.Favorites, layout.StartFolder, root + "Music", root + "Projects",
          layout.ChosenFolder, root + kCyrillicFavorite, root + kVisitedFolder})
        MakeFolder(folder);
    WriteText(root + kVisitedFolder + "\\" + kVisitedDocument, "Invoice 3: paid.\r\n");
    WriteText(layout.StartFolder + "\\letter.txt", "Dear reader,\r\n");
    WriteText(root + "Projects\\plan.txt", "1. Write the plan.\r\n");
    WriteText(layout.ChosenFolder + "\\2024.txt", "Income: enough.\r\n");

    std::vector<std::string> report;
    auto link = [&](const std::string& name, const std::string& target, const char* kind) {
        MakeLink(layout.Favorites + name + ".lnk", target);
        report.push_back(name + ".lnk -> " + target + "  (" + kind + ")");
    };
    link("Music", root + "Music", "folder");
    link("Projects", root + "Projects", "folder");
    link(kChosenFavorite, layout.ChosenFolder, "folder, a space in its name");
    link(kCyrillicFavorite, root + kCyrillicFavorite, "folder, named in Cyrillic");
    link(kFileFavorite, root + "Projects\\plan.txt", "file");

    const std::string url = "https://vokmark.example/";
    WriteText(layout.Favorites + kUrlFavorite + ".url", "[InternetShortcut]\r\nURL=" + url + "\r\n\r\n");
    report.push_back(std::string(kUrlFavorite) + ".url -> " + url + "  (Internet shortcut)");

    // A favourite whose folder went away after it was made: the next menu
    // prunes it.
    const std::string gone = root + kDeadFavorite;
    MakeFolder(gone);
    MakeLink(layout.Favorites + kDeadFavorite + ".lnk", gone);
    if (!RemoveDirectoryW(Wide(gone).c_str())) Fail("cannot remove " + gone);
    report.push_back(std::string(kDeadFavorite) + ".lnk -> " + gone + "  (dead: the folder was removed)");

    RegisterInstallFolder(layout.InstallFolder);
    return report;
}

} // namespace vok::demo
