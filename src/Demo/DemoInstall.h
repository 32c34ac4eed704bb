// The demo's installation, laid out as an installer would leave it: the
// "Install Folder" value, a Favorites folder holding folder favourites (one
// with a space in its name, one named in Cyrillic), a file shortcut, an
// Internet shortcut and a dead link whose folder has been removed, and the
// folders they point to. Paths and names here are UTF-8.
#pragma once

#include <string>
#include <vector>

namespace vok::demo {

struct DemoLayout {
    std::string Root;          // everything of the demo below here
    std::string InstallFolder; // as stored in the registry: no trailing backslash
    std::string Favorites;     // ends in a backslash
    std::string StartFolder;   // where the Open dialog starts
    std::string ChosenFolder;  // the favourite's folder, with a space in its name
};

// Favourite names, as the menu lists them.
constexpr char kChosenFavorite[] = "Tax Returns";
constexpr char kDeadFavorite[] = "Old Stuff";
constexpr char kUrlFavorite[] = "Vokmark Home";
constexpr char kFileFavorite[] = "Plan";
constexpr char kCyrillicFavorite[] = "Отчёты"; // "Reports", to a folder of that name
// A folder that is no favourite, holding the document the demo opened before
// (DemoHost records it in Recent Items).
constexpr char kVisitedFolder[] = "Invoices";
constexpr char kVisitedDocument[] = "march.txt";

DemoLayout LayoutAt(const std::string& root);

// Creates the folders and favourites below layout.Root and registers
// layout.InstallFolder under HKEY_CURRENT_USER\Software\VOK. Needs COM on the
// calling thread (links are written through the shell link object). Returns
// one line per favourite; throws std::runtime_error naming what failed.
std::vector<std::string> InstallDemo(const DemoLayout& layout);

} // namespace vok::demo
