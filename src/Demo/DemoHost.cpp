// The demo host: does in a real Win32 program what a user does all day with
// Vokmark, through COM and the registry exactly as the shell does, and says
// what it sees.
//
//   vok_demo.exe install ROOT          lays out the installation below ROOT
//   vok_demo.exe show ROOT [SHOT_DIR]  the Open dialog, the menu, an Explorer
//                                      window, the About window
//   vok_demo.exe scaled ROOT SHOT_DIR  the Open dialog's menu only, for a
//                                      picture at the scaling of the prefix
//
// An Explorer-style window stays open on a folder behind the dialog, listed
// by a stand-in for the shell's window list: the dialog's menu offers that
// folder, and the dialog goes there when it is chosen.
//
// "show" runs on one thread, as the shell does: the common Open dialog's
// modal loop (and, inside it, the menu's and the About window's; for the
// Explorer window, a loop of the demo's own) dispatches a thread timer that
// moves the demo on one stage per tick. Every stage has a
// deadline, and a watchdog ends the process if a modal call ever stops
// dispatching. A failing stage names itself and the process exits 1.
//
// With SHOT_DIR, at each picture the host prints
// "@@shot NAME LEFT TOP RIGHT BOTTOM" (screen coordinates) and waits, still
// bounded, until SHOT_DIR\NAME.done exists: the script that runs it takes the
// picture in between.
#include "Common/Unique.h"
#include "Demo/CommandTree.h"
#include "Demo/DemoInstall.h"
#include "Demo/ExplorerWindow.h"
#include "Demo/MenuTranscript.h"
#include "Demo/WindowList.h"

#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <atomic>
#include <cstdarg>
#include <optional>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace vok::demo {
namespace {

const CLSID kHandlerClsid = {0x2F793154, 0xC4B7, 0x4AA8, {0xAA, 0x0E, 0xAF, 0x97, 0xB4, 0x7A, 0x25, 0x5D}};
constexpr char kHandlerClsidText[] = "{2F793154-C4B7-4AA8-AA0E-AF97B47A255D}";
constexpr char kTypedFileName[] = "invoice.pdf";
constexpr UINT kFirstCommand = 1; // as the shell: the handler's items from here
constexpr UINT kTickMs = 50;
constexpr DWORD kWatchdogMs = 60000;
// Nothing in Win32 tells when the X server holds a window's new pixels; Wine
// hands them over from the message loop within a few ticks of painting.
constexpr int kSettleTicks = 6;
constexpr int kFileNameBoxId = 1148;
// The common dialog's answer with its IShellBrowser, not AddRef'd: the one
// the folder view hands its menus as their site's browser.
constexpr UINT kGetShellBrowser = WM_USER + 7;
// The class of Explorer's folder windows since Windows XP; Wine's own
// Explorer has another, so the demo makes its window of this one.
constexpr char kExplorerFrameClass[] = "CabinetWClass";
// The folder the window behind the dialog shows.
constexpr char kOpenFolderName[] = "Projects";

void Say(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

enum class Stage {
    OpenDialog,
    TypeFileName,
    BuildMenu,
    ShowMenu,
    OpenSubmenu,
    AwaitSubmenu,
    ShootMenu,
    ChooseFavorite,
    AwaitCommand,
    AwaitFolder,
    ShootDialog,
    CloseDialog,
    AwaitExplorerFolder,
    ShootExplorer,
    CloseExplorer,
    ShowAbout,
    ShootAbout,
    CloseAbout,
    Done,
};

const char* NameOf(Stage stage)
{
    switch (stage) {
    case Stage::OpenDialog: return "open the Open dialog";
    case Stage::TypeFileName: return "type the file name";
    case Stage::BuildMenu: return "build the folder background menu";
    case Stage::ShowMenu: return "show the menu";
    case Stage::OpenSubmenu: return "open the Vokmark submenu";
    case Stage::AwaitSubmenu: return "wait for the Vokmark submenu";
    case Stage::ShootMenu: return "screenshot of the menu";
    case Stage::ChooseFavorite: return "choose the favourite";
    case Stage::AwaitCommand: return "close the menu with the choice";
    case Stage::AwaitFolder: return "wait for the dialog to go to the favourite";
    case Stage::ShootDialog: return "screenshot of the dialog";
    case Stage::CloseDialog: return "close the Open dialog";
    case Stage::AwaitExplorerFolder: return "wait for the Explorer window to go to the favourite";
    case Stage::ShootExplorer: return "screenshot of the Explorer window";
    case Stage::CloseExplorer: return "close the Explorer window";
    case Stage::ShowAbout: return "show the About window";
    case Stage::ShootAbout: return "screenshot of the About window";
    case Stage::CloseAbout: return "close the About window";
    case Stage::Done: return "finish";
    }
    return "?";
}

std::string ClassOf(HWND window)
{
    char name[64] = {};
    GetClassNameA(window, name, sizeof(name));
    return name;
}

std::string TextOf(HWND window)
{
    char text[512] = {};
    GetWindowTextA(window, text, sizeof(text));
    return text;
}

struct WindowSearch {
    const char* ClassName;
    int Id; // -1: any
    std::vector<HWND> Found;
    bool FirstOnly;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM param)
{
    auto* search = reinterpret_cast<WindowSearch*>(param);
    char name[64] = {};
    GetClassNameA(window, name, sizeof(name));
    if (!IsWindowVisible(window) || std::strcmp(name, search->ClassName) != 0) return TRUE;
    if (search->Id >= 0 && GetDlgCtrlID(window) != search->Id) return TRUE;
    // Nothing may be thrown through the enumeration.
    try {
        search->Found.push_back(window);
    } catch (...) {
        return FALSE;
    }
    return search->FirstOnly ? FALSE : TRUE;
}

std::vector<HWND> VisibleThreadWindows(const char* className)
{
    WindowSearch search{className, -1, {}, false};
    EnumThreadWindows(GetCurrentThreadId(), CollectWindow, reinterpret_cast<LPARAM>(&search));
    return search.Found;
}

HWND FindDescendant(HWND parent, const char* className, int id)
{
    WindowSearch search{className, id, {}, true};
    EnumChildWindows(parent, CollectWindow, reinterpret_cast<LPARAM>(&search));
    return search.Found.empty() ? nullptr : search.Found.front();
}

HWND FindButton(HWND parent, const char* caption)
{
    for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (ClassOf(child) == "Button" && TextOf(child) == caption) return child;
    return nullptr;
}

int HilitedPosition(HMENU menu)
{
    const int count = GetMenuItemCount(menu);
    for (int position = 0; position < count; ++position)
        if (GetMenuState(menu, static_cast<UINT>(position), MF_BYPOSITION) & MF_HILITE) return position;
    return -1;
}

void PostKey(HWND window, WPARAM key)
{
    PostMessageA(window, WM_KEYDOWN, key, 0);
    PostMessageA(window, WM_KEYUP, key, 0);
}

std::string FolderShown(HWND dialog)
{
    char path[MAX_PATH] = {};
    if (SendMessageA(dialog, CDM_GETFOLDERPATH, MAX_PATH, reinterpret_cast<LPARAM>(path)) <= 0) return std::string();
    return path;
}

std::string ReadRegistryString(HKEY root, const std::string& key, const char* value)
{
    char data[MAX_PATH * 2] = {};
    DWORD size = sizeof(data) - 1;
    if (RegGetValueA(root, key.c_str(), value, RRF_RT_REG_SZ, nullptr, data, &size) != ERROR_SUCCESS) return "";
    return data;
}

bool FileThere(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

struct PidlTraits {
    using Type = LPITEMIDLIST;
    static Type Invalid() { return nullptr; }
    static void Close(Type pidl) { ILFree(pidl); }
};
using UniquePidl = Unique<PidlTraits>;

using ShowAboutBoxFn = void(WINAPI*)(HWND, HINSTANCE, LPSTR, int);

// Everything the stages share. One thread reads and writes it, but for the
// stage, which the watchdog reads.
class Demo {
public:
    Demo(DemoLayout layout, std::string shotDir, bool scaledOnly)
        : layout_(std::move(layout)), shotDir_(std::move(shotDir)), scaledOnly_(scaledOnly)
    {
    }
    int Run();
    void Tick();
    Stage CurrentStage() const { return stage_.load(); }

private:
    void Enter(Stage stage, DWORD timeoutMs);
    void Fail(const std::string& why);
    bool Shot(const char* name, HWND first, const std::vector<HWND>& more = {});
    bool Settled() { return ++settleTicks_ >= kSettleTicks; }
    const char* MenuShotName() const
    {
        if (scaledOnly_) return "menu150";
        return openFolderRound_ ? "openmenu" : "menu";
    }

    void FindDialog();
    void TypeFileName();
    void BuildMenu();
    void ShowMenu();
    void OpenSubmenu();
    void AwaitSubmenu();
    void ChooseFavorite();
    void AwaitFolder();
    void RunExplorerWindow();
    void AwaitExplorerFolder();
    void ReadAboutWindow();
    void CloseAboutWindow();

    DemoLayout layout_;
    std::string shotDir_;
    bool scaledOnly_;
    // The dialog's first menu chooses the favourite, its second the folder
    // open in the window behind it.
    bool openFolderRound_ = false;
    std::string chosenCaption_ = kChosenFavorite;
    std::string chosenFolder_ = layout_.ChosenFolder;
    std::atomic<Stage> stage_{Stage::OpenDialog};
    ULONGLONG deadline_ = 0;
    DWORD stageTimeoutMs_ = 0;
    std::string failure_;
    bool shotRequested_ = false;
    int settleTicks_ = 0;

    HWND dialog_ = nullptr;
    HWND fileNameBox_ = nullptr;
    HWND fileView_ = nullptr;
    ComPtr<IContextMenu> handler_;
    UniqueMenu hostMenu_;
    HMENU submenu_ = nullptr; // owned by hostMenu_
    int vokmarkPosition_ = -1;
    int chosenPosition_ = -1;
    bool inMenu_ = false;
    HWND about_ = nullptr;
    ExplorerWindow* explorer_ = nullptr; // while the Explorer window is open
    std::optional<BrowserSite> dialogSite_;
    BrowserSite* site_ = nullptr; // the dialog's or the window's browser, for the handler
};

Demo* g_demo = nullptr;

void CALLBACK TickProc(HWND, UINT, UINT_PTR, DWORD)
{
    // Called from the dialog's, the menu's and the About window's message
    // loops: nothing may be thrown through them.
    try {
        if (g_demo) g_demo->Tick();
    } catch (const std::exception& e) {
        Say("demo: unexpected error: %s", e.what());
        ExitProcess(1);
    } catch (...) {
        Say("demo: unexpected error");
        ExitProcess(1);
    }
}

void Demo::Enter(Stage stage, DWORD timeoutMs)
{
    stage_ = stage;
    stageTimeoutMs_ = timeoutMs;
    deadline_ = GetTickCount64() + timeoutMs;
    settleTicks_ = 0;
}

void Demo::Fail(const std::string& why)
{
    if (!failure_.empty()) return;
    failure_ = std::string("step '") + NameOf(stage_) + "' failed: " + why;
    const Stage at = stage_;
    stage_ = Stage::Done;
    // Unwind whatever modal loop is running; each returns to Run.
    if (inMenu_) EndMenu();
    if (about_ && IsWindow(about_)) PostMessageA(about_, WM_CLOSE, 0, 0);
    if (at <= Stage::CloseDialog && dialog_ && IsWindow(dialog_)) PostMessageA(dialog_, WM_COMMAND, IDCANCEL, 0);
}

bool Demo::Shot(const char* name, HWND first, const std::vector<HWND>& more)
{
    if (shotDir_.empty()) return true;
    if (!shotRequested_) {
        RECT all{};
        GetWindowRect(first, &all);
        for (HWND window : more) {
            RECT r{};
            GetWindowRect(window, &r);
            UnionRect(&all, &all, &r);
        }
        std::printf("@@shot %s %ld %ld %ld %ld\n", name, all.left, all.top, all.right, all.bottom);
        std::fflush(stdout);
        shotRequested_ = true;
    }
    if (!FileThere(shotDir_ + "\\" + name + ".done")) return false;
    shotRequested_ = false;
    return true;
}

void Demo::Tick()
{
    if (stage_ == Stage::Done) return;
    if (GetTickCount64() > deadline_) {
        Fail("nothing happened within " + std::to_string(stageTimeoutMs_) + " ms");
        return;
    }
    switch (stage_.load()) {
    case Stage::OpenDialog: FindDialog(); break;
    case Stage::TypeFileName: TypeFileName(); break;
    case Stage::BuildMenu: BuildMenu(); break;
    case Stage::ShowMenu: ShowMenu(); break;
    case Stage::OpenSubmenu: OpenSubmenu(); break;
    case Stage::AwaitSubmenu: AwaitSubmenu(); break;
    case Stage::ShootMenu:
        // One picture of the menu: the Explorer window's is the same menu.
        if (explorer_ || Shot(MenuShotName(), dialog_, VisibleThreadWindows("#32768"))) {
            if (scaledOnly_) EndMenu();
            Enter(scaledOnly_ ? Stage::AwaitCommand : Stage::ChooseFavorite, 5000);
        }
        break;
    case Stage::ChooseFavorite: ChooseFavorite(); break;
    case Stage::AwaitCommand: break; // TrackPopupMenu returns with the choice
    case Stage::AwaitFolder: AwaitFolder(); break;
    case Stage::ShootDialog:
        if (!Shot(openFolderRound_ ? "opendialog" : "dialog", dialog_)) break;
        if (!openFolderRound_) {
            // Once more, now for the folder open in the window behind.
            openFolderRound_ = true;
            chosenCaption_ = kOpenFolderName;
            chosenFolder_ = layout_.Root + kOpenFolderName;
            Enter(Stage::BuildMenu, 5000);
            break;
        }
        Enter(Stage::CloseDialog, 5000);
        PostMessageA(dialog_, WM_COMMAND, IDCANCEL, 0);
        break;
    case Stage::CloseDialog: break; // GetOpenFileNameA returns
    case Stage::AwaitExplorerFolder: AwaitExplorerFolder(); break;
    case Stage::ShootExplorer:
        if (Shot("explorer", explorer_->Frame())) Enter(Stage::CloseExplorer, 5000);
        break;
    case Stage::CloseExplorer: break; // the Explorer window's loop ends
    case Stage::ShowAbout: ReadAboutWindow(); break;
    case Stage::ShootAbout:
        if (Shot("about", about_)) CloseAboutWindow();
        break;
    case Stage::CloseAbout: // ShowAboutBox returns
    case Stage::Done: break;
    }
}

void Demo::FindDialog()
{
    for (HWND window : VisibleThreadWindows("#32770"))
        if (TextOf(window) == "Open") dialog_ = window;
    if (!dialog_) return;
    fileNameBox_ = FindDescendant(dialog_, "Edit", kFileNameBoxId);
    if (!fileNameBox_) fileNameBox_ = FindDescendant(dialog_, "Edit", -1);
    fileView_ = FindDescendant(dialog_, "SysListView32", -1);
    if (!fileNameBox_ || !fileView_ || FolderShown(dialog_).empty()) return;
    Say("The common Open dialog (GetOpenFileNameA, explorer style) is open in %s", FolderShown(dialog_).c_str());
    if (auto* browser = reinterpret_cast<IShellBrowser*>(SendMessageA(dialog_, kGetShellBrowser, 0, 0))) {
        site_ = &dialogSite_.emplace(browser);
        Say("Its folder view's browser (WM_USER + 7) is the site its menus get, as Windows' view hands it on.");
    }
    Enter(Stage::TypeFileName, 5000);
}

void Demo::TypeFileName()
{
    SetFocus(fileNameBox_);
    SendMessageA(fileNameBox_, EM_SETSEL, 0, -1);
    SendMessageA(fileNameBox_, WM_CLEAR, 0, 0);
    for (const char* c = kTypedFileName; *c; ++c)
        SendMessageA(fileNameBox_, WM_CHAR, static_cast<WPARAM>(static_cast<unsigned char>(*c)), 1);
    if (TextOf(fileNameBox_) != kTypedFileName) return Fail("the file-name box holds \"" + TextOf(fileNameBox_) + "\"");
    Say("Typed into its file-name box: %s", kTypedFileName);
    // A right-click on the background clears the view's selection; with an
    // item selected, Enter would open that item instead of the typed path.
    LVITEMA none{};
    none.stateMask = LVIS_SELECTED;
    SendMessageA(fileView_, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&none));
    Enter(Stage::BuildMenu, 5000);
}

void Demo::BuildMenu()
{
    const std::string folder = explorer_ ? explorer_->FolderShown() : FolderShown(dialog_);
    UniquePidl pidl(ILCreateFromPathA(folder.c_str()));
    if (!pidl) return Fail("no item identifier list for " + folder);

    ComPtr<IShellExtInit> init;
    HRESULT hr = CoCreateInstance(kHandlerClsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&init));
    if (FAILED(hr)) return Fail("CoCreateInstance of " + std::string(kHandlerClsidText) + ": " + std::to_string(hr));
    hr = init->Initialize(pidl.get(), nullptr, nullptr);
    if (FAILED(hr)) return Fail("IShellExtInit::Initialize: " + std::to_string(hr));
    hr = init.As(&handler_);
    if (FAILED(hr)) return Fail("the handler has no IContextMenu: " + std::to_string(hr));
    if (site_) {
        // As Explorer and the file dialogs do before they ask for the items:
        // the window's browser is how the handler reaches the window.
        ComPtr<IObjectWithSite> withSite;
        hr = init.As(&withSite);
        if (FAILED(hr)) return Fail("the handler has no IObjectWithSite: " + std::to_string(hr));
        hr = withSite->SetSite(site_);
        if (FAILED(hr)) return Fail("IObjectWithSite::SetSite: " + std::to_string(hr));
    }

    // A folder background menu's own items, as a shell puts them there.
    hostMenu_.reset(CreatePopupMenu());
    HMENU view = CreatePopupMenu();
    AppendMenuA(view, MF_STRING, 0x7001, "Large icons");
    AppendMenuA(view, MF_STRING | MF_CHECKED, 0x7002, "Details");
    AppendMenuA(hostMenu_.get(), MF_POPUP, reinterpret_cast<UINT_PTR>(view), "View");
    AppendMenuA(hostMenu_.get(), MF_STRING, 0x7010, "Refresh");
    AppendMenuA(hostMenu_.get(), MF_SEPARATOR, 0, nullptr);
    AppendMenuA(hostMenu_.get(), MF_STRING | MF_GRAYED, 0x7011, "Paste");
    AppendMenuA(hostMenu_.get(), MF_SEPARATOR, 0, nullptr);
    AppendMenuA(hostMenu_.get(), MF_STRING, 0x7012, "New folder");
    AppendMenuA(hostMenu_.get(), MF_SEPARATOR, 0, nullptr);
    AppendMenuA(hostMenu_.get(), MF_STRING, 0x7013, "Properties");

    const UINT indexMenu = static_cast<UINT>(GetMenuItemCount(hostMenu_.get()) - 1);
    hr = handler_->QueryContextMenu(hostMenu_.get(), indexMenu, kFirstCommand, 0x6FFF, CMF_NORMAL);
    if (FAILED(hr)) return Fail("QueryContextMenu: " + std::to_string(hr));

    HMODULE library = GetModuleHandleA("vok.dll");
    std::vector<UniqueBitmap> owned;
    NamedBitmaps known;
    // Each picture in every size the library carries, known by one name.
    for (const char* name : {"CF", "A", "R", "M", "S"}) {
        for (const char* size : {"", "_20", "_24", "_32", "_40"}) {
            const std::string resource = std::string(name) + size;
            owned.emplace_back(
                static_cast<HBITMAP>(LoadImageA(library, resource.c_str(), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
            known.emplace_back(name, owned.back().get());
        }
    }
    const std::vector<MenuLine> menu = ReadMenu(hostMenu_.get(), known);
    Say("");
    if (explorer_) Say("The Explorer window's background menu, the handler given the window's browser as its site:");
    Say("The folder background menu (CoCreateInstance %s, Initialize with the", kHandlerClsidText);
    Say("folder's pidl, QueryContextMenu: %u command offsets); [x] = the item's bitmap:", HRESULT_CODE(hr));
    for (const std::string& line : FormatMenu(menu, 2)) Say("%s", line.c_str());

    vokmarkPosition_ = FindCaption(menu, "Vokmark");
    if (vokmarkPosition_ < 0) return Fail("the menu has no Vokmark entry");
    submenu_ = GetSubMenu(hostMenu_.get(), vokmarkPosition_);
    const std::vector<MenuLine>& items = menu[static_cast<size_t>(vokmarkPosition_)].Submenu;
    // The open folder follows "Maintenance" and a separator; a favourite may
    // bear its name.
    chosenPosition_ = openFolderRound_ ? FindCaption(items, "Maintenance") + 2 : FindCaption(items, chosenCaption_);
    if (!submenu_ || chosenPosition_ < 0 || static_cast<size_t>(chosenPosition_) >= items.size() ||
        items[static_cast<size_t>(chosenPosition_)].Caption != chosenCaption_)
        return Fail("the Vokmark submenu lists no " + chosenCaption_);
    if (FindCaption(items, kVisitedFolder) <= chosenPosition_)
        return Fail(std::string("the Vokmark submenu lists no recent folder ") + kVisitedFolder + " last");
    if (openFolderRound_) return Enter(Stage::ShowMenu, 1000);
    if (explorer_) {
        Say("");
        Say("Windows 11's own menu for the same folder: the Explorer command that the package");
        Say("declares, created by its class through the library's class factory, given the");
        Say("window's browser as its site, asked GetState, then EnumSubCommands:");
        for (const std::string& line : DescribeCommandTree(library, folder, site_)) Say("  %s", line.c_str());
        return Enter(Stage::ShowMenu, 1000);
    }

    const std::string dead = layout_.Favorites + kDeadFavorite + ".lnk";
    const std::string url = layout_.Favorites + kUrlFavorite + ".url";
    if (FileThere(dead)) return Fail(dead + " is still there");
    if (!FileThere(url)) return Fail(url + " was deleted");
    Say("Pruned: \"%s.lnk\" (its folder is gone) went to the Recycle Bin; \"%s.url\" stayed.", kDeadFavorite,
        kUrlFavorite);
    Enter(Stage::ShowMenu, 1000);
}

void Demo::ShowMenu()
{
    const HWND owner = explorer_ ? explorer_->Frame() : dialog_;
    RECT view{};
    GetWindowRect(explorer_ ? owner : fileView_, &view);
    const int x = view.left + (view.right - view.left) / 3, y = view.top + (view.bottom - view.top) / 4;
    Enter(Stage::OpenSubmenu, 5000);
    inMenu_ = true;
    // The modal menu loop runs here; the ticks it dispatches open the
    // submenu, take the picture and choose the favourite.
    const UINT command = static_cast<UINT>(
        TrackPopupMenu(hostMenu_.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_LEFTALIGN, x, y, 0, owner, nullptr));
    inMenu_ = false;
    if (stage_ == Stage::Done) return;
    if (scaledOnly_) {
        Enter(Stage::CloseDialog, 5000);
        PostMessageA(dialog_, WM_COMMAND, IDCANCEL, 0);
        return;
    }
    if (command == 0) return Fail("the menu closed without a choice");
    const UINT offset = command - kFirstCommand;
    if (offset != static_cast<UINT>(chosenPosition_))
        return Fail("the menu returned command offset " + std::to_string(offset));
    Say("");
    Say("Chose \"%s\"%s in the Vokmark submenu: InvokeCommand with command offset %u.", chosenCaption_.c_str(),
        openFolderRound_ ? ", the folder open in the Explorer-style window," : "", offset);
    CMINVOKECOMMANDINFO invoke{};
    invoke.cbSize = sizeof(invoke);
    invoke.hwnd = owner;
    invoke.lpVerb = MAKEINTRESOURCEA(offset);
    invoke.nShow = SW_SHOWNORMAL;
    const HRESULT hr = handler_->InvokeCommand(&invoke);
    if (FAILED(hr)) return Fail("InvokeCommand: " + std::to_string(hr));
    Enter(explorer_ ? Stage::AwaitExplorerFolder : Stage::AwaitFolder, 10000);
}

void Demo::OpenSubmenu()
{
    const std::vector<HWND> popups = VisibleThreadWindows("#32768");
    if (popups.empty()) return;
    if (HilitedPosition(hostMenu_.get()) == vokmarkPosition_) {
        PostKey(popups.back(), VK_RIGHT);
        Enter(Stage::AwaitSubmenu, 5000);
        return;
    }
    // A posted key is handled before the next tick: timer messages come only
    // when the queue is empty.
    PostKey(popups.back(), VK_DOWN);
}

void Demo::AwaitSubmenu()
{
    const std::vector<HWND> popups = VisibleThreadWindows("#32768");
    if (popups.size() < 2 || HilitedPosition(submenu_) < 0) return;
    for (HWND popup : popups) UpdateWindow(popup);
    if (Settled()) Enter(Stage::ShootMenu, 20000);
}

void Demo::ChooseFavorite()
{
    const std::vector<HWND> popups = VisibleThreadWindows("#32768");
    if (popups.empty()) return Fail("the menu closed");
    if (HilitedPosition(submenu_) == chosenPosition_) {
        Enter(Stage::AwaitCommand, 5000);
        PostKey(popups.back(), VK_RETURN);
        return;
    }
    PostKey(popups.back(), VK_DOWN);
}

void Demo::AwaitFolder()
{
    if (FolderShown(dialog_) != chosenFolder_ || TextOf(fileNameBox_) != kTypedFileName) return;
    if (settleTicks_ == 0) {
        Say("The dialog went to: %s", FolderShown(dialog_).c_str());
        if (site_ && site_->BrowseFlags() == (SBSP_SAMEBROWSER | SBSP_ABSOLUTE))
            Say("(through its browser, BrowseObject(SBSP_SAMEBROWSER | SBSP_ABSOLUTE): nothing typed, no lock)");
        Say("Its file-name box holds: %s", TextOf(fileNameBox_).c_str());
        RedrawWindow(dialog_, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    }
    if (Settled()) Enter(Stage::ShootDialog, 20000);
}

void Demo::RunExplorerWindow()
{
    ExplorerWindow window;
    const std::string error = window.Open(kExplorerFrameClass, layout_.StartFolder, {120, 90, 760, 490});
    if (!error.empty()) return Fail(error);
    BrowserSite site(window.ShellBrowser());
    openFolderRound_ = false; // the window chooses the favourite
    chosenCaption_ = kChosenFavorite;
    explorer_ = &window;
    site_ = &site;
    Say("");
    Say("An Explorer-style window of the demo's own: Wine's Explorer Browser in a \"%s\"", kExplorerFrameClass);
    Say("frame with no address box, as Explorer shows its breadcrumb bar; it shows %s", window.FolderShown().c_str());
    Enter(Stage::BuildMenu, 5000);
    // The window's own loop: the ticks move the demo on, as in the dialog.
    MSG message;
    while (failure_.empty() && stage_ != Stage::CloseExplorer && GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    handler_.Reset(); // gives the site back before it goes
    hostMenu_.reset();
    explorer_ = nullptr;
    site_ = nullptr;
}

void Demo::AwaitExplorerFolder()
{
    if (explorer_->FolderShown() != layout_.ChosenFolder) return;
    if (settleTicks_ == 0) {
        // The frame names the folder it shows, as Explorer's title bar does.
        SetWindowTextA(explorer_->Frame(), explorer_->FolderShown().c_str());
        Say("The Explorer window went to: %s", explorer_->FolderShown().c_str());
        Say("(through its browser, IShellBrowser::BrowseObject: nothing typed, the screen never locked)");
        RedrawWindow(explorer_->Frame(), nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    }
    if (Settled()) Enter(Stage::ShootExplorer, 20000);
}

void Demo::ReadAboutWindow()
{
    HWND found = FindWindowA(nullptr, "About VOK");
    if (!found || !IsWindowVisible(found)) return;
    about_ = found;
    HWND active = FindButton(about_, "Active"), inactive = FindButton(about_, "Inactive");
    if (!active || !inactive) return Fail("the About window has no Active/Inactive buttons");
    if (settleTicks_ == 0) {
        auto pressed = [](HWND button) {
            return SendMessageA(button, BM_GETCHECK, 0, 0) == BST_CHECKED ? "pressed" : "released";
        };
        DWORD status = 0, size = sizeof(status);
        const bool stored = RegGetValueA(HKEY_CURRENT_USER, "Software\\VOK", "Status", RRF_RT_REG_DWORD, nullptr,
                                         &status, &size) == ERROR_SUCCESS;
        Say("");
        Say("The About window (ShowAboutBox): \"%s\", Active %s, Inactive %s;", TextOf(about_).c_str(), pressed(active),
            pressed(inactive));
        Say("  \"Status\" in HKEY_CURRENT_USER\\Software\\VOK: %s",
            stored ? (status ? "1 (active)" : "0 (inactive)") : "not set (reads as active)");
    }
    if (Settled()) Enter(Stage::ShootAbout, 20000);
}

void Demo::CloseAboutWindow()
{
    HWND ok = FindButton(about_, "OK");
    if (!ok) return Fail("the About window has no OK button");
    Enter(Stage::CloseAbout, 5000);
    PostMessageA(about_, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(ok), BN_CLICKED), reinterpret_cast<LPARAM>(ok));
}

int Demo::Run()
{
    const std::string serverKey = std::string("CLSID\\") + kHandlerClsidText + "\\InprocServer32";
    const std::string server = ReadRegistryString(HKEY_CLASSES_ROOT, serverKey, nullptr);
    if (server.empty()) {
        Say("demo: step 'find the registration' failed: HKEY_CLASSES_ROOT\\%s is not there", serverKey.c_str());
        return 1;
    }
    Say("Registered: %s, threading model %s", server.c_str(),
        ReadRegistryString(HKEY_CLASSES_ROOT, serverKey, "ThreadingModel").c_str());
    Say("");

    char file[MAX_PATH] = {};
    OPENFILENAMEA dialog{};
    dialog.lStructSize = sizeof(dialog);
    dialog.lpstrFilter = "All files\0*.*\0";
    dialog.lpstrFile = file;
    dialog.nMaxFile = MAX_PATH;
    dialog.lpstrInitialDir = layout_.StartFolder.c_str();
    dialog.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    const UINT_PTR timer = SetTimer(nullptr, 0, kTickMs, TickProc);
    if (!timer) {
        Say("demo: step 'start the timer' failed: SetTimer");
        return 1;
    }
    // The Explorer-style window behind the dialog, in the window list.
    WindowList windows;
    ExplorerWindow behind;
    const std::string error = behind.Open(kExplorerFrameClass, layout_.Root + kOpenFolderName, {520, 330, 1010, 700});
    if (!error.empty() || !windows.Registered()) {
        Say("demo: step 'open the Explorer-style window behind' failed: %s", error.empty() ? "no list" : error.c_str());
        return 1;
    }
    BrowserSite behindSite(behind.ShellBrowser());
    windows.Add(&behindSite);
    Say("An Explorer-style window is open on %s, listed in a stand-in for the shell's window list.",
        behind.FolderShown().c_str());
    Say("");

    Enter(Stage::OpenDialog, 15000);
    const BOOL opened = GetOpenFileNameA(&dialog);
    if (failure_.empty() && stage_ != Stage::CloseDialog)
        Fail(opened ? std::string("the dialog closed with ") + file : "the dialog closed early");
    if (failure_.empty() && CommDlgExtendedError() != 0)
        Fail("GetOpenFileNameA: error " + std::to_string(CommDlgExtendedError()));
    handler_.Reset();
    hostMenu_.reset();
    site_ = nullptr;
    dialogSite_.reset();
    if (failure_.empty() && !scaledOnly_) RunExplorerWindow();

    if (failure_.empty() && !scaledOnly_) {
        Enter(Stage::ShowAbout, 10000);
        auto show = reinterpret_cast<ShowAboutBoxFn>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("vok.dll"), "ShowAboutBox")));
        if (!show) {
            Fail("vok.dll exports no ShowAboutBox");
        } else {
            char none[] = "";
            show(nullptr, nullptr, none, SW_SHOWNORMAL);
            if (failure_.empty() && stage_ != Stage::CloseAbout) Fail("ShowAboutBox returned early");
            if (failure_.empty()) Say("The About window closed with OK.");
        }
    }
    KillTimer(nullptr, timer);
    if (!failure_.empty()) {
        Say("demo: %s", failure_.c_str());
        return 1;
    }
    stage_ = Stage::Done;
    return 0;
}

struct Watchdog {
    Demo* demo;
    HANDLE done;
};

DWORD WINAPI WatchdogThread(LPVOID param)
{
    auto* watch = static_cast<Watchdog*>(param);
    if (WaitForSingleObject(watch->done, kWatchdogMs) == WAIT_TIMEOUT) {
        Say("demo: step '%s' failed: no progress within %lu s", NameOf(watch->demo->CurrentStage()),
            kWatchdogMs / 1000);
        ExitProcess(1);
    }
    return 0;
}

int Show(const DemoLayout& layout, const std::string& shotDir, bool scaledOnly)
{
    Demo demo(layout, shotDir, scaledOnly);
    g_demo = &demo;
    UniqueHandle done(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    Watchdog watch{&demo, done.get()};
    UniqueHandle watchdog(CreateThread(nullptr, 0, WatchdogThread, &watch, 0, nullptr));
    const int result = demo.Run();
    SetEvent(done.get());
    WaitForSingleObject(watchdog.get(), INFINITE);
    g_demo = nullptr;
    return result;
}

int Install(const DemoLayout& layout)
{
    try {
        Say("Installation in %s, as an installer leaves it:", layout.InstallFolder.c_str());
        const std::vector<std::string> favorites = InstallDemo(layout);
        Say("  HKEY_CURRENT_USER\\Software\\VOK  \"Install Folder\" = %s", layout.InstallFolder.c_str());
        Say("  %s", layout.Favorites.c_str());
        for (const std::string& line : favorites) Say("    %s", line.c_str());
        // As a program does when the user opens a document: its link goes
        // into Recent Items, whose folders the menu lists.
        const std::string visited = layout.Root + kVisitedFolder + "\\" + kVisitedDocument;
        SHAddToRecentDocs(SHARD_PATHA, visited.c_str());
        Say("Opened before, as a program records it (SHAddToRecentDocs): %s", visited.c_str());
        return 0;
    } catch (const std::exception& e) {
        Say("demo: step 'install' failed: %s", e.what());
        return 1;
    }
}

} // namespace
} // namespace vok::demo

int main(int argc, char** argv)
{
    using namespace vok::demo;
    const std::string mode = argc > 1 ? argv[1] : "";
    if (argc < 3 || (mode != "install" && mode != "show" && mode != "scaled")) {
        std::fprintf(stderr, "usage: vok_demo install ROOT | vok_demo show|scaled ROOT [SHOT_DIR]\n");
        return 2;
    }
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    const DemoLayout layout = LayoutAt(argv[2]);
    const int result = mode == "install" ? Install(layout) : Show(layout, argc > 3 ? argv[3] : "", mode == "scaled");
    CoUninitialize();
    return result;
}
