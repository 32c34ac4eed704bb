// What one process has once, from start-up to shut-down: the installation,
// the switch and the item pictures. Every thread reaches it through WithState,
// under one guard.
#pragma once

#include "Common/Unique.h"
#include "Common/WideString.h"

#include <windows.h>

#include <array>
#include <type_traits>

namespace vok {

// Index into a row of ExtensionState::MenuBitmaps, and the resource each is
// loaded from.
enum MenuBitmap : int {
    mbCurrentFolder = 0, // "CF"
    mbAdd = 1,           // "A"
    mbRemove = 2,        // "R"
    mbMaintenance = 3,   // "M"
    mbFavorite = 4,      // "S"
    mbCount = 5,
};

// The sizes, in pixels, the item pictures come in: the small icon's at 100,
// 125, 150, 200 and 250 % scaling.
constexpr int kPictureSizes[] = {16, 20, 24, 32, 40};
constexpr size_t kPictureSizeCount = sizeof(kPictureSizes) / sizeof(kPictureSizes[0]);
using MenuPictureRow = std::array<UniqueBitmap, mbCount>;
using MenuPictureSizes = std::array<MenuPictureRow, kPictureSizeCount>;

struct ExtensionState {
    bool Enabled = true;
    WString InstallDir;            // ends in "\" once read
    WString FavoritesDir;          // InstallDir + "Favorites\"; empty: no installation
    HINSTANCE Resources = nullptr; // the module the pictures are loaded from
    // One row per size of kPictureSizes, loaded when a menu first wants that
    // size and kept until shut-down: a menu shown may still draw them.
    MenuPictureSizes MenuBitmaps;
};

// Runs `f` on the state under its guard, to copy values in or out; does
// nothing before start-up and after shut-down (a command arriving after
// unload began). Hold it for copies only: never across a link resolution, a
// message box, a wait or a message loop.
void WithStateLocked(void (*run)(ExtensionState&, void*), void* context);
template <class F>
void WithState(F&& f)
{
    using Work = std::remove_reference_t<F>;
    WithStateLocked([](ExtensionState& s, void* work) { (*static_cast<Work*>(work))(s); }, &f);
}

// The favourites folder as the state holds it; empty: no installation.
WString FavoritesFolder();

// Whether the state is there: between start-up and shut-down.
bool ExtensionStateStarted();

// Module start-up of the state: reads the installation folder and notes where
// the item pictures are to be loaded from. Returns false when the
// installation is missing, so that the caller can tell the user once nothing
// is held.
bool StartExtensionState(HINSTANCE resources);

// Module shut-down: the reverse of the start-up.
void StopExtensionState();

} // namespace vok
