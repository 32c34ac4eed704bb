#include "HardenRun.h"

#include "Common/Unique.h"
#include "Work/ExtensionState.h"
#include "Work/Menu/MenuHandler.h"

#include <cstdio>

namespace vok::harden {

void Figure(const char* name, unsigned long long value)
{
    std::printf("%s: %llu\n", name, value);
}

bool StillThere(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

Installation::Installation(const char* name) : dir(name), favorites(dir / "inst\\Favorites\\")
{
    test::MakeFolder(dir / "Data");
    test::WriteBytes(dir / "report.txt", "x");
    test::MakeFolder(dir / "inst");
    test::MakeFolder(favorites);
    test::SetInstallFolder(dir / "inst");
}

std::vector<std::string> Installation::MakeLiveFavorites(const std::string& prefix) const
{
    const std::vector<std::string> live = {favorites + prefix + "folder.lnk", favorites + prefix + "file.lnk",
                                           favorites + prefix + "web.url"};
    test::MakeLink(live[0], dir / "Data");
    test::MakeLink(live[1], dir / "report.txt");
    test::WriteBytes(live[2], kUrlText);
    return live;
}

int BuildMenu(const std::string& targetPath)
{
    {
        MenuStateAccess state;
        state->ContextKind = ckWindowBackground;
        state->TargetPath = WideOf(targetPath);
    }
    UniqueMenu host(CreatePopupMenu());
    AppendMenuA(host.get(), MF_STRING, 1, "Open");
    const int items = static_cast<int>(HRESULT_CODE(QueryContextMenu(host.get(), 0, 100, 0x7FFF, CMF_NORMAL)));
    test::LibraryThreadsBack(); // the dead links' pruning
    return items;
}

} // namespace vok::harden
