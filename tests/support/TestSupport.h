// Real platform objects for tests: folders, shortcut files, registry keys,
// windows and threads, each reset or cleaned up by its owner.
#pragma once

#include "Work/ExtensionState.h"
#include "Work/Menu/MenuState.h"
#include "Work/Navigation/ShellLaunch.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <objidl.h>

#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace vok {
// Readable failure output for recorded launches and wide strings (as UTF-8).
void PrintTo(const ShellLaunchCall& call, std::ostream* os);
void PrintTo(const WString& text, std::ostream* os);
} // namespace vok

namespace vok::test {

// The tests' own folder below the temporary folder, ending in a backslash.
std::string TestsRoot();

// A fresh, empty folder below TestsRoot(), removed afterwards.
// path() ends in a backslash.
class ScratchDir {
public:
    explicit ScratchDir(const std::string& name);
    ~ScratchDir();
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& child) const { return path_ + child; }

private:
    std::string path_;
};

// The library's strings from the tests' ANSI paths, and from UTF-8 (the
// encoding of this source), for names outside the ANSI code page.
inline WString W(const std::string& ansi)
{
    return WideOf(ansi);
}
WString FromUtf8(const std::string& utf8);
std::string Utf8(const WString& text);

void RemoveTree(const std::string& path);
void MakeFolder(const std::string& path);
void MakeFolder(const WString& path);
void WriteBytes(const std::string& path, const std::string& bytes);
std::string ReadBytes(const std::string& path); // empty when it cannot be read
void WriteBytes(const WString& path, const std::string& bytes);
bool PathPresent(const std::string& path);
bool PathPresent(const WString& path);

// Folders and favourites named outside the ANSI code page (1252 in the test
// prefix): a Cyrillic folder behind a plain name, as a user names a link,
// and Cyrillic and CJK names for the links themselves.
struct ScriptFixture {
    const char* Label;
    const wchar_t* Folder; // below the test's scratch folder
    const wchar_t* Name;   // the favourite's name: its ".lnk" without the extension
};
inline constexpr ScriptFixture kScriptFixtures[] = {
    {"Cyrillic folder", L"Отчёт", L"Report"},
    {"CJK folder and name", L"写真", L"写真"},
    {"Cyrillic name", L"Docs", L"Документы"},
};

// A shell link to `target`, written through IShellLinkA and IPersistFile.
void MakeLink(const std::string& linkPath, const std::string& target);
// A link to a special folder (CSIDL_DRIVES, CSIDL_CONTROLS) by its item list
// alone, with no path: as one dragged from "This PC" or Control Panel.
void MakeItemListLink(const std::string& linkPath, int folder);
// The same through IShellLinkW, for names and targets in any script.
void MakeLink(const WString& linkPath, const WString& target);

// A shell link whose stored target is `path` exactly as given, environment
// references included, as the Create Shortcut wizard saves what was typed
// (IShellLinkA::SetPath would take such a text for a relative path). Written
// in the link format's binary form: header, link info with the local path,
// the environment-path block.
void WriteLinkWithStoredPath(const std::string& linkPath, const std::string& path);

// HKEY_CURRENT_USER\Software\VOK, deleted when the fixture starts and ends.
class VokKeyReset {
public:
    VokKeyReset();
    ~VokKeyReset();
};
void SetInstallFolder(const std::string& folder);
void SetVokValue(const char* name, DWORD type, const void* data, DWORD size);
bool ReadStatusValue(DWORD& value);

// Starts the process-wide state afresh, as a new load of the library would,
// with the installation folder registered as `installFolder`.
void RestartStateWithInstallFolder(const std::string& installFolder);

// A registered installation in a scratch folder, with the state started
// afresh: `dir`\inst is the installation folder with an empty Favorites
// folder (`favorites`), `dir`\Data a folder and `dir`\report.txt a file for
// links to point at.
class InstalledTest : public ::testing::Test {
protected:
    explicit InstalledTest(const std::string& scratchName);
    void SetUp() override;
    void TearDown() override;

    VokKeyReset registry;
    ScratchDir dir;
    const std::string favorites;
};

// One field of the process's state, or of this thread's menu, read under
// its guard.
template <class T>
T ReadState(T ExtensionState::*field)
{
    T value{};
    WithState([&](ExtensionState& s) { value = s.*field; });
    return value;
}
template <class T>
T ReadState(T MenuState::*field)
{
    MenuStateAccess state;
    return (*state).*field;
}

// Stops both: this thread's menu and the process's state.
void StopState();

// What the rows of this thread's last menu hold, by kind: the offsets of
// its items (-1 for an item it does not have), the favourites' names, and
// which list-editing item it showed.
struct CommandOffsets {
    int FirstFavorite = 0;
    int LastFavorite = -1;
    int ListActionCmd = -1;
    int CreateCmd = -1;
    int MaintenanceCmd = -1;
};
CommandOffsets GetCommandOffsets();
std::vector<WString> LastMenuFavorites();
ListAction LastListAction();

// Runs `work` on a new thread that never initialises COM; waits at most
// `timeoutMs` and returns false if it did not finish by then.
bool RunOnThreadWithoutCom(const std::function<void()>& work, DWORD timeoutMs = 10000);

// A top-level window of a class registered under `className`, shown and
// made the active window of the calling thread; or, given a parent, a shown
// child window of that class.
class TestWindow {
public:
    explicit TestWindow(const std::string& className, const std::string& title = "", HWND parent = nullptr);
    ~TestWindow();
    HWND hwnd() const { return hwnd_; }

private:
    std::string className_;
    HWND hwnd_ = nullptr;
};

// Only one window can be locked at a time: while the screen is locked, a
// lock on any other window is refused (Wine keeps the one lock per process).
class LockProbe {
public:
    LockProbe() { hwnd_ = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr); }
    ~LockProbe() { DestroyWindow(hwnd_); }
    LockProbe(const LockProbe&) = delete;
    LockProbe& operator=(const LockProbe&) = delete;
    bool ScreenLocked() const
    {
        if (!LockWindowUpdate(hwnd_)) return true;
        LockWindowUpdate(nullptr);
        return false;
    }

private:
    HWND hwnd_ = nullptr;
};

// Dispatches the calling thread's messages until `done` holds or `timeoutMs`
// passes; returns `done()`.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs);

// Pumps until the library's own threads (the pruning of a menu among them)
// are back; false after 10 s.
bool LibraryThreadsBack();

// ---- Recording what the commands do to windows and to the shell ----

// Records every ShellLaunch while it lives instead of launching anything.
// `onLaunch` runs after each record, on the launching thread: a test can
// stand in there for the program that would have started.
class ShellLaunchLog {
public:
    explicit ShellLaunchLog(std::function<void(const ShellLaunchCall&)> onLaunch = nullptr);
    ~ShellLaunchLog();
    ShellLaunchLog(const ShellLaunchLog&) = delete;
    ShellLaunchLog& operator=(const ShellLaunchLog&) = delete;
    const std::vector<ShellLaunchCall>& calls() const { return calls_; }

private:
    std::vector<ShellLaunchCall> calls_;
    std::function<void(const ShellLaunchCall&)> onLaunch_;
    ShellLaunchRecorder previous_;
};

// One message as a control received it; Text is the string of WM_SETTEXT
// (UTF-8 in a Unicode control).
struct SeenMessage {
    UINT Message = 0;
    WPARAM WParam = 0;
    LPARAM LParam = 0;
    std::string Text;
};
void PrintTo(const SeenMessage& seen, std::ostream* os);

// One line for a whole sequence, with runs of typed printable characters
// (wParam == lParam == the byte) shown as one quoted string; compare these
// to see where two sequences part.
std::string Describe(const std::vector<SeenMessage>& messages);

// A child control that records the input-like messages it receives (text
// selection, clearing, clicks, characters, keys, WM_SETTEXT), in order,
// before passing each on. `onMessage` runs after the control has handled
// one; it may even destroy the control.
class RecordedControl {
public:
    // `unicode`: made with CreateWindowExW, so that it reads characters as
    // UTF-16 (text given in UTF-8); otherwise an ANSI window.
    RecordedControl(HWND parent, const char* className, const std::string& text, bool visible = true,
                    bool unicode = false);
    ~RecordedControl();
    RecordedControl(const RecordedControl&) = delete;
    RecordedControl& operator=(const RecordedControl&) = delete;

    HWND hwnd() const { return hwnd_; }
    std::string text() const;
    std::vector<SeenMessage> log;
    std::function<void(const SeenMessage&)> onMessage;

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    HWND hwnd_ = nullptr;
    WNDPROC original_ = nullptr;
    bool unicode_ = false;
};

// A real modeless dialog (class "#32770") with the given caption, shown and
// made the active window of the calling thread.
class TestDialog {
public:
    explicit TestDialog(const std::string& caption);
    ~TestDialog();
    TestDialog(const TestDialog&) = delete;
    TestDialog& operator=(const TestDialog&) = delete;
    HWND hwnd() const { return hwnd_; }

private:
    HWND hwnd_ = nullptr;
};

// An in-memory dialog template with no controls, for CreateDialogIndirect
// and DialogBoxIndirect.
std::vector<WORD> EmptyDialogTemplate();

// Makes `window` the foreground window; Wine carries this out only once the
// thread's messages are dispatched, so this pumps until it holds.
bool BringToForeground(HWND window, DWORD timeoutMs = 2000);

// The base of the tests' own selections: the handler calls GetData alone,
// so every other method of IDataObject declines. Lives on the stack, so it
// counts no references; a selection adds GetData and QueryInterface.
class SelectionBase : public IDataObject {
public:
    virtual ~SelectionBase() = default;
    STDMETHODIMP_(ULONG) AddRef() override { return 1; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryGetData(FORMATETC*) override { return E_NOTIMPL; }
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
    STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP DUnadvise(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }
};

// ---- The system's records of the folders the user was just in ----

// Emptied when the fixture starts and ends: the file dialogs' records
// (LastVisitedPidlMRU), the links of Recent Items and the privacy switches.
class RecentRecords {
public:
    RecentRecords() { Clear(); }
    ~RecentRecords() { Clear(); }
    static void Clear();
    static constexpr char kAdvancedKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced";
    static constexpr char kPoliciesKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";

    // As Windows writes one: the program's name in UTF-16 ending in NUL,
    // then the folder's absolute item list.
    static std::string DialogRecord(const std::string& folder);
    // Values "0", "1", ... and, unless `order` is empty, "MRUListEx": its
    // numbers, then 0xFFFFFFFF.
    void WriteDialogRecords(const std::vector<std::string>& values, const std::vector<DWORD>& order);
    // A link in Recent Items to `target`, written `minutes` from now.
    void AddLink(const std::string& name, const std::string& target, int minutes);
};

// While it lives, this program's calls of `dll`'s `function` go to
// `replacement`: for what Wine cannot be made to answer.
class ImportPatch {
public:
    ImportPatch(const char* dll, const char* function, const void* replacement);
    ~ImportPatch();
    ImportPatch(const ImportPatch&) = delete;
    ImportPatch& operator=(const ImportPatch&) = delete;
    explicit operator bool() const { return slot_ != nullptr; }

private:
    ULONG_PTR Write(ULONG_PTR value);
    ULONG_PTR* slot_ = nullptr;
    ULONG_PTR original_ = 0;
};

// ---- The library as the shell's host sees it ----

// The handler's registration as the shell reads it.
constexpr CLSID kHandlerClsid = {0x2F793154, 0xC4B7, 0x4AA8, {0xAA, 0x0E, 0xAF, 0x97, 0xB4, 0x7A, 0x25, 0x5D}};
constexpr char kHandlerClsidText[] = "{2F793154-C4B7-4AA8-AA0E-AF97B47A255D}";
constexpr const char* kHandlerClassKeys[] = {"*", "Directory", "Directory\\Background", "Folder", "Drive", "Network"};
constexpr char kApprovedKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";

// The library of this build, beside the test program.
std::string LibraryPath();

// The prefix's own registration tool on `dll` (silent); its exit code, or
// nothing when it had to be ended after 30 seconds.
std::optional<DWORD> RunRegsvr32(const std::string& dll, bool unregister);

// Any command line of the prefix's programs, in UTF-8; its exit code, or
// nothing when it could not start or had to be ended after 30 seconds.
std::optional<DWORD> RunProgram(std::string command);

// The string value `value` (null: the default value) of `key`, or nothing.
std::optional<std::string> ReadRegistryString(HKEY root, const std::string& key, const char* value);

// Removes every entry of the handler's registration that unregistration
// would remove, the class key of the 32-bit view, and the approval value.
void ResetHandlerRegistration();

// For programs that host the real library: an installation in a fixed
// scratch folder, registered before the library first starts, and the
// library kept loaded for the whole program, as a shell keeps it once COM
// has loaded it. Tests empty Favorites() themselves.
class HostEnvironment : public ::testing::Environment {
public:
    void SetUp() override;
    void TearDown() override;
    static std::string Root();      // ends in "\"
    static std::string Favorites(); // Root() + "inst\\Favorites\\"
    static HMODULE Library();
    static HRESULT CanUnloadNow();
    static HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** out);
};

// Runs `call` on a thread of its own and answers every message box that
// thread shows with OK, recording its caption and text. Bounded: gives up
// after 15 seconds.
struct WatchedCall {
    bool finished = false;
    std::vector<std::string> messages;
    std::string caption;
};
WatchedCall CallAnsweringMessageBoxes(void (*call)(void*), void* context);

// The committed private memory of the process, region by region, by
// VirtualQuery (this Wine reports no PrivateUsage).
SIZE_T CommittedPrivateBytes();

// The prefix's slow volume (tools/slow-volume.sh mounts it as the network
// drive S: and the share \\slowhost\share): a path below its own folder,
// through drive Z:, and the wait of every lookup on it, in seconds. Lowering
// the wait releases the lookups already waiting.
std::string SlowVolumePath(const std::string& name);
// A path below the prefix's own folder, through drive Z:; "swap-volume\" is
// the drive V: (tools/wine-prefix.sh).
std::string PrefixPath(const std::string& name);
void SetSlowVolumeWait(const char* seconds);

} // namespace vok::test
