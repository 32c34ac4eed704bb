#include "Demo/CommandTree.h"

#include <shlobj.h>
#include <shobjidl.h>
#include <wrl/client.h>

using Microsoft::WRL::ComPtr;

namespace vok::demo {
namespace {

// {BD566B9D-AA72-4068-9809-1473BDA5DBF3}, as the package declares it.
const CLSID kCommandClsid = {0xBD566B9D, 0xAA72, 0x4068, {0x98, 0x09, 0x14, 0x73, 0xBD, 0xA5, 0xDB, 0xF3}};

std::string Utf8Of(const wchar_t* text)
{
    if (!text) return std::string();
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(size > 0 ? size : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &utf8[0], size, nullptr, nullptr);
    utf8.resize(utf8.size() - 1);
    return utf8;
}

// A text the command hands out, freed with the task allocator.
template <class Get>
std::string TextFrom(Get get)
{
    wchar_t* text = nullptr;
    if (FAILED(get(&text))) return std::string();
    const std::string utf8 = Utf8Of(text);
    CoTaskMemFree(text);
    return utf8;
}

ComPtr<IExplorerCommand> CreateCommand(HMODULE library)
{
    using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
    const auto get = reinterpret_cast<GetClassObject>(
        reinterpret_cast<void*>(GetProcAddress(library, "DllGetClassObject")));
    ComPtr<IClassFactory> factory;
    ComPtr<IExplorerCommand> command;
    if (get && SUCCEEDED(get(kCommandClsid, IID_PPV_ARGS(&factory))))
        factory->CreateInstance(nullptr, IID_PPV_ARGS(&command));
    return command;
}

void AddChildren(IExplorerCommand& root, std::vector<std::string>& lines)
{
    ComPtr<IEnumExplorerCommand> children;
    if (FAILED(root.EnumSubCommands(&children))) return lines.push_back("    (no children)");
    for (ComPtr<IExplorerCommand> child; children->Next(1, child.ReleaseAndGetAddressOf(), nullptr) == S_OK;) {
        EXPCMDFLAGS flags = ECF_DEFAULT;
        child->GetFlags(&flags);
        const std::string title = TextFrom([&](wchar_t** text) { return child->GetTitle(nullptr, text); });
        lines.push_back(flags & ECF_ISSEPARATOR ? "    ----------" : "    " + title);
    }
}

} // namespace

std::vector<std::string> DescribeCommandTree(HMODULE library, const std::string& folder, IUnknown* site)
{
    const ComPtr<IExplorerCommand> root = CreateCommand(library);
    if (!root) return {"the library's class factory made no Explorer command"};
    ComPtr<IObjectWithSite> withSite;
    if (site && SUCCEEDED(root.As(&withSite))) withSite->SetSite(site);
    ComPtr<IShellItem> item;
    ComPtr<IShellItemArray> items;
    std::wstring path(folder.size() + 1, L'\0');
    path.resize(static_cast<size_t>(
        MultiByteToWideChar(CP_ACP, 0, folder.c_str(), -1, &path[0], static_cast<int>(path.size())) - 1));
    if (FAILED(SHCreateItemFromParsingName(path.c_str(), nullptr, IID_PPV_ARGS(&item))) ||
        FAILED(SHCreateShellItemArrayFromShellItem(item.Get(), IID_PPV_ARGS(&items))))
        return {"no shell item for " + folder};
    EXPCMDSTATE state = ECS_HIDDEN;
    root->GetState(items.Get(), FALSE, &state);
    const std::string icon = TextFrom([&](wchar_t** text) { return root->GetIcon(items.Get(), text); });
    const std::string title = TextFrom([&](wchar_t** text) { return root->GetTitle(items.Get(), text); });
    const std::string iconName = icon.substr(icon.find_last_of('\\') + 1);
    std::vector<std::string> lines = {"[" + iconName + "] " + title + (state == ECS_HIDDEN ? " (hidden)" : "") + " >"};
    AddChildren(*root.Get(), lines);
    if (withSite) withSite->SetSite(nullptr);
    return lines;
}

} // namespace vok::demo
