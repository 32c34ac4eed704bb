// How long one menu's refresh of the favourites list takes: the folder is
// enumerated twice and every live link resolved twice, with nothing cached.
// Usage: refresh_bench.exe [favourites] [rounds]
#include "TestSupport.h"
#include "Work/Favorites.h"

#include <objbase.h>

#include <cstdio>
#include <cstdlib>

using namespace vok;

int main(int argc, char** argv)
{
    const int count = argc > 1 ? atoi(argv[1]) : 50;
    const int rounds = argc > 2 ? atoi(argv[2]) : 20;
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    {
        test::VokKeyReset registry;
        test::ScratchDir dir("bench");
        test::MakeFolder(dir / "Data");
        test::MakeFolder(dir / "inst");
        const std::string favorites = dir / "inst\\Favorites\\";
        test::MakeFolder(favorites);
        test::RestartStateWithInstallFolder(dir / "inst");
        for (int i = 0; i < count; ++i) {
            const std::string name = favorites + "favourite " + std::to_string(i);
            if (i % 5 == 4)
                test::WriteBytes(name + ".url", "[InternetShortcut]\r\nURL=http://example.invalid/\r\n\r\n");
            else
                test::MakeLink(name + ".lnk", dir / "Data");
        }
        LARGE_INTEGER frequency, start, end;
        QueryPerformanceFrequency(&frequency);
        RefreshFavorites(); // warm the file cache
        QueryPerformanceCounter(&start);
        for (int i = 0; i < rounds; ++i) RefreshFavorites();
        QueryPerformanceCounter(&end);
        const double ms = 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) /
                          static_cast<double>(frequency.QuadPart) / rounds;
        std::printf("RefreshFavorites, %d favourites: %.2f ms per menu (%d rounds)\n", count, ms, rounds);
        StopExtensionState();
    }
    CoUninitialize();
    return 0;
}
