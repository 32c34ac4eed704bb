// vokmark.exe: the program the package for Windows 11's Explorer menu names
// as its application (a package needs one). It shows the library's About
// window, which carries the one setting, and nothing else. The library is
// the vok.dll beside this program, loaded by its full path: a library found
// on the search path could be anyone's.
#include "Common/Unique.h"

#include <windows.h>

namespace {

// What the process ends with; the package's shell never reads it, a test does.
enum ExitCode : int { kShown = 0, kNoLibrary = 1, kNoExport = 2 };

using ShowAboutBoxFn = void(CALLBACK*)(HWND, HINSTANCE, LPSTR, int);

// Long paths fit: an installation folder may lie deep below the profile.
constexpr DWORD kPathCapacity = 32768;
wchar_t libraryPath[kPathCapacity];

// The full path of vok.dll in this program's folder, or null when this
// program's own path did not fit.
const wchar_t* LibraryBesideThisProgram()
{
    static const wchar_t kLibraryName[] = L"vok.dll";
    const DWORD length = GetModuleFileNameW(nullptr, libraryPath, kPathCapacity);
    if (length == 0 || length >= kPathCapacity) return nullptr;
    DWORD folderEnd = length;
    while (folderEnd > 0 && libraryPath[folderEnd - 1] != L'\\') --folderEnd;
    if (folderEnd + sizeof kLibraryName / sizeof *kLibraryName > kPathCapacity) return nullptr;
    lstrcpyW(libraryPath + folderEnd, kLibraryName);
    return libraryPath;
}

} // namespace

// WinMain, not wWinMain: the ARM64 toolchain's start-up calls the ANSI one only.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int show)
{
    const wchar_t* path = LibraryBesideThisProgram();
    if (!path) return kNoLibrary;
    // The library imports system libraries only: from the system folder alone.
    const vok::UniqueLibrary library(LoadLibraryExW(path, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
    if (!library) return kNoLibrary;
    auto showAboutBox = reinterpret_cast<ShowAboutBoxFn>(
        reinterpret_cast<void*>(GetProcAddress(library.get(), "ShowAboutBox")));
    if (!showAboutBox) return kNoExport;
    showAboutBox(nullptr, instance, commandLine, show);
    return kShown;
}
