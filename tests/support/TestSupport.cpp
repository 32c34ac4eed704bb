#include "TestSupport.h"

#include "Common/LibraryThread.h"
#include "Work/ExtensionState.h"
#include "Work/Registry.h"

#include <gtest/gtest.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstdio>
#include <ostream>
#include <sstream>
#include <utility>

using Microsoft::WRL::ComPtr;

namespace vok {

void PrintTo(const WString& text, std::ostream* os)
{
    *os << "L\"" << test::Utf8(text) << '"';
}

void PrintTo(const ShellLaunchCall& call, std::ostream* os)
{
    const auto text = [](const std::optional<WString>& s) {
        return s ? '"' + test::Utf8(*s) + '"' : std::string("NULL");
    };
    *os << "{owner " << call.Owner << ", verb " << text(call.Verb) << ", file " << text(call.File) << ", parameters "
        << text(call.Parameters) << ", directory " << text(call.Directory) << ", show " << call.ShowCommand << "}";
}

} // namespace vok

namespace vok::test {

std::string TestsRoot()
{
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    return std::string(temp) + "vok-tests\\";
}

ScratchDir::ScratchDir(const std::string& name)
{
    CreateDirectoryA(TestsRoot().c_str(), nullptr);
    path_ = TestsRoot() + name + "\\";
    RemoveTree(path_);
    MakeFolder(path_);
}

ScratchDir::~ScratchDir()
{
    RemoveTree(path_);
}

namespace {
// Wide, so that names in any script go too.
void RemoveWideTree(WString dir)
{
    if (!dir.empty() && dir.back() == L'\\') dir.pop_back();
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW((dir + L"\\*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const WString name = entry.cFileName;
            if (name == L"." || name == L"..") continue;
            const WString child = dir + L"\\" + name;
            SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveWideTree(child);
            else
                DeleteFileW(child.c_str());
        } while (FindNextFileW(find, &entry));
        FindClose(find);
    }
    RemoveDirectoryW(dir.c_str());
}
} // namespace

void RemoveTree(const std::string& path)
{
    RemoveWideTree(W(path));
}

void MakeFolder(const std::string& path)
{
    MakeFolder(W(path));
}

void MakeFolder(const WString& path)
{
    ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS) << Utf8(path);
}

namespace {
void Put32(std::string& bytes, size_t at, DWORD value)
{
    memcpy(&bytes[at], &value, sizeof(value));
}
} // namespace

void WriteLinkWithStoredPath(const std::string& linkPath, const std::string& path)
{
    std::string header(0x4C, '\0');
    Put32(header, 0, 0x4C);
    memcpy(&header[4], &CLSID_ShellLink, sizeof(CLSID));
    Put32(header, 20, 0x2 | 0x200); // has link info, has environment path
    Put32(header, 60, SW_SHOWNORMAL);
    std::string volume(0x10, '\0');
    Put32(volume, 0, 0x11);
    Put32(volume, 4, DRIVE_FIXED);
    Put32(volume, 12, 0x10); // an empty label right after
    volume += '\0';
    std::string info(0x1C, '\0');
    const size_t localPath = info.size() + volume.size();
    Put32(info, 4, 0x1C);
    Put32(info, 8, 1); // volume and local path
    Put32(info, 12, static_cast<DWORD>(info.size()));
    Put32(info, 16, static_cast<DWORD>(localPath));
    Put32(info, 24, static_cast<DWORD>(localPath + path.size() + 1)); // empty suffix
    info += volume + path + '\0' + '\0';
    Put32(info, 0, static_cast<DWORD>(info.size()));
    std::string block(0x314, '\0');
    Put32(block, 0, 0x314);
    Put32(block, 4, 0xA0000001);
    path.copy(&block[8], std::min<size_t>(path.size(), MAX_PATH - 1));
    for (size_t i = 0; i < path.size() && i < MAX_PATH - 1; ++i) block[8 + MAX_PATH + 2 * i] = path[i];
    WriteBytes(linkPath, header + info + block + std::string(4, '\0'));
}

void WriteBytes(const std::string& path, const std::string& bytes)
{
    WriteBytes(W(path), bytes);
}

void WriteBytes(const WString& path, const std::string& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << Utf8(path);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    ASSERT_EQ(written, bytes.size());
}

bool PathPresent(const std::string& path)
{
    return PathPresent(W(path));
}

bool PathPresent(const WString& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string Utf8(const WString& text)
{
    if (text.empty()) return std::string();
    const int size = static_cast<int>(text.size());
    std::string utf8(
        static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), size, &utf8[0], static_cast<int>(utf8.size()), nullptr, nullptr);
    return utf8;
}

WString FromUtf8(const std::string& utf8)
{
    if (utf8.empty()) return WString();
    const int size = static_cast<int>(utf8.size());
    WString wide(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0)), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, &wide[0], static_cast<int>(wide.size()));
    return wide;
}

void MakeLink(const WString& linkPath, const WString& target)
{
    ComPtr<IShellLinkW> link;
    ASSERT_HRESULT_SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&link)));
    ASSERT_HRESULT_SUCCEEDED(link->SetPath(target.c_str()));
    ComPtr<IPersistFile> file;
    ASSERT_HRESULT_SUCCEEDED(link.As(&file));
    ASSERT_HRESULT_SUCCEEDED(file->Save(linkPath.c_str(), TRUE));
}

void MakeLink(const std::string& linkPath, const std::string& target)
{
    ComPtr<IShellLinkA> link;
    ASSERT_HRESULT_SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&link)));
    ASSERT_HRESULT_SUCCEEDED(link->SetPath(target.c_str()));
    ComPtr<IPersistFile> file;
    ASSERT_HRESULT_SUCCEEDED(link.As(&file));
    wchar_t wide[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, linkPath.c_str(), -1, wide, MAX_PATH);
    ASSERT_HRESULT_SUCCEEDED(file->Save(wide, TRUE));
}

void MakeItemListLink(const std::string& linkPath, int folder)
{
    PIDLIST_ABSOLUTE items = nullptr;
    ASSERT_EQ(SHGetSpecialFolderLocation(nullptr, folder, &items), S_OK);
    ComPtr<IShellLinkW> link;
    ComPtr<IPersistFile> file;
    const HRESULT made = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&link));
    const HRESULT set = SUCCEEDED(made) ? link->SetIDList(items) : made;
    CoTaskMemFree(items);
    ASSERT_EQ(set, S_OK);
    ASSERT_EQ(link.As(&file), S_OK);
    ASSERT_EQ(file->Save(FromUtf8(linkPath).c_str(), TRUE), S_OK);
}

namespace {
constexpr char kDialogRecordsKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ComDlg32\\LastVisitedPidlMRU";

std::string RecentItemsFolder()
{
    char path[MAX_PATH] = {};
    SHGetFolderPathA(nullptr, CSIDL_RECENT | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, path);
    return std::string(path) + "\\";
}

} // namespace

void RecentRecords::Clear()
{
    RegDeleteTreeA(HKEY_CURRENT_USER, kDialogRecordsKey);
    RegDeleteKeyValueA(HKEY_CURRENT_USER, kAdvancedKey, "Start_TrackDocs");
    for (const HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
        RegDeleteKeyValueA(root, kPoliciesKey, "NoRecentDocsHistory");
    WIN32_FIND_DATAA entry;
    UniqueFind find(FindFirstFileA((RecentItemsFolder() + "*.lnk").c_str(), &entry));
    if (find) do
            DeleteFileA((RecentItemsFolder() + entry.cFileName).c_str());
        while (FindNextFileA(find.get(), &entry));
}

std::string RecentRecords::DialogRecord(const std::string& folder)
{
    const wchar_t program[] = L"notepad.exe";
    std::string value(reinterpret_cast<const char*>(program), sizeof(program));
    PIDLIST_ABSOLUTE list = nullptr;
    EXPECT_EQ(SHParseDisplayName(W(folder).c_str(), nullptr, &list, 0, nullptr), S_OK) << folder;
    if (list) value.append(reinterpret_cast<const char*>(list), ILGetSize(list));
    CoTaskMemFree(list);
    return value;
}

void RecentRecords::WriteDialogRecords(const std::vector<std::string>& values, const std::vector<DWORD>& order)
{
    const auto write = [](const std::string& name, const void* data, size_t size) {
        EXPECT_EQ(RegSetKeyValueA(HKEY_CURRENT_USER, kDialogRecordsKey, name.c_str(), REG_BINARY, data,
                                  static_cast<DWORD>(size)),
                  ERROR_SUCCESS);
    };
    for (size_t i = 0; i < values.size(); ++i) write(std::to_string(i), values[i].data(), values[i].size());
    std::vector<DWORD> list = order;
    list.push_back(0xFFFFFFFF);
    if (!order.empty()) write("MRUListEx", list.data(), list.size() * sizeof(DWORD));
}

void RecentRecords::AddLink(const std::string& name, const std::string& target, int minutes)
{
    const std::string link = RecentItemsFolder() + name;
    MakeLink(link, target);
    ULARGE_INTEGER time;
    GetSystemTimeAsFileTime(reinterpret_cast<FILETIME*>(&time));
    time.QuadPart += static_cast<ULONGLONG>(minutes * 600000000LL);
    const FILETIME written{time.LowPart, time.HighPart};
    UniqueFile file(CreateFileA(link.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_TRUE(file && SetFileTime(file.get(), nullptr, nullptr, &written)) << link;
}

VokKeyReset::VokKeyReset()
{
    RegDeleteTreeA(HKEY_CURRENT_USER, kVokKey);
}

VokKeyReset::~VokKeyReset()
{
    RegDeleteTreeA(HKEY_CURRENT_USER, kVokKey);
}

void SetVokValue(const char* name, DWORD type, const void* data, DWORD size)
{
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kVokKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const LONG rc = RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
    ASSERT_EQ(rc, ERROR_SUCCESS);
}

void SetInstallFolder(const std::string& folder)
{
    SetVokValue(kInstallFolderValue, REG_SZ, folder.c_str(), static_cast<DWORD>(folder.size() + 1));
}

bool ReadStatusValue(DWORD& value)
{
    DWORD size = sizeof(value);
    DWORD type = 0;
    return RegGetValueA(HKEY_CURRENT_USER, kVokKey, kStatusValue, RRF_RT_ANY, &type, &value, &size) == ERROR_SUCCESS &&
           type == REG_DWORD;
}

void StopState()
{
    StopExtensionState();
    StopMenuState();
}

CommandOffsets GetCommandOffsets()
{
    CommandOffsets offsets;
    for (const MenuRow& row : ReadState(&MenuState::LastMenu)) {
        if (row.Kind == mkFavorite) offsets.LastFavorite = row.Offset;
        if (row.Kind == mkListAction) offsets.ListActionCmd = row.Offset;
        if (row.Kind == mkCreate) offsets.CreateCmd = row.Offset;
        if (row.Kind == mkMaintenance) offsets.MaintenanceCmd = row.Offset;
    }
    return offsets;
}

std::vector<WString> LastMenuFavorites()
{
    std::vector<WString> names;
    for (const MenuRow& row : ReadState(&MenuState::LastMenu))
        if (row.Kind == mkFavorite) names.push_back(row.Argument);
    return names;
}

ListAction LastListAction()
{
    for (const MenuRow& row : ReadState(&MenuState::LastMenu))
        if (row.Kind == mkListAction) return row.Caption == L"Remove" ? laRemove : laAdd;
    return laNone;
}

void RestartStateWithInstallFolder(const std::string& installFolder)
{
    SetInstallFolder(installFolder);
    StopState();
    ASSERT_TRUE(StartExtensionState(GetModuleHandleA(nullptr)));
}

InstalledTest::InstalledTest(const std::string& scratchName) : dir(scratchName), favorites(dir / "inst\\Favorites\\")
{
}

void InstalledTest::SetUp()
{
    MakeFolder(dir / "Data");
    MakeFolder(dir / "inst");
    MakeFolder(favorites);
    WriteBytes(dir / "report.txt", "x");
    RestartStateWithInstallFolder(dir / "inst");
}

void InstalledTest::TearDown()
{
    StopState();
}

bool RunOnThreadWithoutCom(const std::function<void()>& work, DWORD timeoutMs)
{
    struct Context {
        std::function<void()> work;
    };
    auto* context = new Context{work};
    HANDLE thread = CreateThread(
        nullptr, 0,
        [](LPVOID parameter) WINAPI -> DWORD {
            auto* context = static_cast<Context*>(parameter);
            context->work();
            delete context;
            return 0;
        },
        context, 0, nullptr);
    if (!thread) {
        delete context;
        return false;
    }
    const bool finished = WaitForSingleObject(thread, timeoutMs) == WAIT_OBJECT_0;
    CloseHandle(thread);
    return finished;
}

TestWindow::TestWindow(const std::string& className, const std::string& title, HWND parent) : className_(className)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = className_.c_str();
    RegisterClassA(&wc);
    const DWORD style = (parent ? WS_CHILD : WS_OVERLAPPEDWINDOW) | WS_VISIBLE;
    hwnd_ = CreateWindowExA(0, className_.c_str(), title.c_str(), style, 0, 0, 300, 200, parent, nullptr, wc.hInstance,
                            nullptr);
    if (parent) return;
    SetForegroundWindow(hwnd_);
    SetActiveWindow(hwnd_);
}

TestWindow::~TestWindow()
{
    DestroyWindow(hwnd_);
    UnregisterClassA(className_.c_str(), GetModuleHandleA(nullptr));
}

bool LibraryThreadsBack()
{
    return PumpUntil([] { return LibraryThreadsRunning() == 0; }, 10000);
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (!done()) {
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) return false;
        // Short slices, so that a condition another thread brings about is seen too.
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, 20)),
                                  QS_ALLINPUT);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    return true;
}

// ---- Recording what the commands do to windows and to the shell ----

ShellLaunchLog::ShellLaunchLog(std::function<void(const ShellLaunchCall&)> onLaunch) : onLaunch_(std::move(onLaunch))
{
    previous_ = SetShellLaunchRecorder([this](const ShellLaunchCall& call) {
        calls_.push_back(call);
        if (onLaunch_) onLaunch_(call);
    });
}

ShellLaunchLog::~ShellLaunchLog()
{
    SetShellLaunchRecorder(std::move(previous_));
}

void PrintTo(const SeenMessage& seen, std::ostream* os)
{
    const char* name = nullptr;
    switch (seen.Message) {
    case EM_SETSEL: name = "EM_SETSEL"; break;
    case WM_CLEAR: name = "WM_CLEAR"; break;
    case WM_LBUTTONDOWN: name = "WM_LBUTTONDOWN"; break;
    case WM_LBUTTONUP: name = "WM_LBUTTONUP"; break;
    case WM_CHAR: name = "WM_CHAR"; break;
    case WM_KEYDOWN: name = "WM_KEYDOWN"; break;
    case WM_KEYUP: name = "WM_KEYUP"; break;
    case WM_SETTEXT: name = "WM_SETTEXT"; break;
    }
    if (name)
        *os << name;
    else
        *os << "message 0x" << std::hex << seen.Message << std::dec;
    *os << "(" << static_cast<unsigned long long>(seen.WParam) << ", " << static_cast<long long>(seen.LParam);
    if (seen.Message == WM_SETTEXT) *os << ", \"" << seen.Text << "\"";
    *os << ")";
}

std::string Describe(const std::vector<SeenMessage>& messages)
{
    std::ostringstream out;
    bool inRun = false;
    for (const SeenMessage& seen : messages) {
        const bool typed = seen.Message == WM_CHAR && seen.WParam == static_cast<WPARAM>(seen.LParam) &&
                           seen.WParam >= 0x20 && seen.WParam < 0x7F && seen.WParam != '"';
        if (typed != inRun) out << (inRun ? "\" " : " \"");
        inRun = typed;
        if (typed) {
            out << static_cast<char>(seen.WParam);
            continue;
        }
        out << " ";
        PrintTo(seen, &out);
    }
    if (inRun) out << "\"";
    return out.str();
}

namespace {

const char kRecorderProperty[] = "vok.test.RecordedControl";

bool IsRecordedMessage(UINT message)
{
    switch (message) {
    case EM_SETSEL:
    case WM_CLEAR:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_CHAR:
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_SETTEXT: return true;
    default: return false;
    }
}

INT_PTR CALLBACK PassiveDialogProc(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}

} // namespace

RecordedControl::RecordedControl(HWND parent, const char* className, const std::string& text, bool visible,
                                 bool unicode)
{
    const DWORD style = WS_CHILD | WS_BORDER | ES_AUTOHSCROLL | (visible ? WS_VISIBLE : 0);
    int row = 0;
    for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) ++row;
    if (unicode)
        hwnd_ = CreateWindowExW(0, WideOf(className).c_str(), FromUtf8(text).c_str(), style, 10, 10 + 30 * row, 200, 24,
                                parent, nullptr, GetModuleHandleA(nullptr), nullptr);
    else
        hwnd_ = CreateWindowExA(0, className, text.c_str(), style, 10, 10 + 30 * row, 200, 24, parent, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
    if (!hwnd_) return;
    unicode_ = IsWindowUnicode(hwnd_) != FALSE;
    SetPropA(hwnd_, kRecorderProperty, this);
    const auto proc = reinterpret_cast<LONG_PTR>(&RecordedControl::Proc);
    original_ = reinterpret_cast<WNDPROC>(unicode_ ? SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, proc)
                                                   : SetWindowLongPtrA(hwnd_, GWLP_WNDPROC, proc));
}

RecordedControl::~RecordedControl()
{
    if (hwnd_ && IsWindow(hwnd_) && GetPropA(hwnd_, kRecorderProperty) == this) DestroyWindow(hwnd_);
}

std::string RecordedControl::text() const
{
    char buffer[1024] = {};
    GetWindowTextA(hwnd_, buffer, sizeof buffer);
    return buffer;
}

LRESULT CALLBACK RecordedControl::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = static_cast<RecordedControl*>(GetPropA(hwnd, kRecorderProperty));
    SeenMessage seen{message, wParam, lParam, std::string()};
    if (self && IsRecordedMessage(message)) {
        if (message == WM_SETTEXT && lParam) {
            // The log keeps the text, not the caller's pointer.
            seen.Text = self->unicode_ ? Utf8(reinterpret_cast<const wchar_t*>(lParam))
                                       : std::string(reinterpret_cast<const char*>(lParam));
            seen.LParam = 0;
        }
        self->log.push_back(seen);
    }
    if (!self) return DefWindowProcA(hwnd, message, wParam, lParam);
    const WNDPROC original = self->original_;
    const bool unicode = self->unicode_;
    if (message == WM_NCDESTROY) {
        RemovePropA(hwnd, kRecorderProperty);
        self->hwnd_ = nullptr;
    }
    const LRESULT result = unicode ? CallWindowProcW(original, hwnd, message, wParam, lParam)
                                   : CallWindowProcA(original, hwnd, message, wParam, lParam);
    if (message != WM_NCDESTROY && IsRecordedMessage(message) && self->onMessage) self->onMessage(seen);
    return result;
}

std::vector<WORD> EmptyDialogTemplate()
{
    // DLGTEMPLATE (9 WORDs), then no menu, the default class and an empty title.
    std::vector<WORD> words(12, 0);
    auto* dialog = reinterpret_cast<DLGTEMPLATE*>(words.data());
    dialog->style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    dialog->cx = 240;
    dialog->cy = 120;
    return words;
}

TestDialog::TestDialog(const std::string& caption)
{
    const std::vector<WORD> dialogTemplate = EmptyDialogTemplate();
    hwnd_ = CreateDialogIndirectParamA(GetModuleHandleA(nullptr),
                                       reinterpret_cast<const DLGTEMPLATE*>(dialogTemplate.data()), nullptr,
                                       PassiveDialogProc, 0);
    SetWindowTextA(hwnd_, caption.c_str());
    ShowWindow(hwnd_, SW_SHOW);
    SetActiveWindow(hwnd_);
}

TestDialog::~TestDialog()
{
    if (IsWindow(hwnd_)) DestroyWindow(hwnd_);
}

bool BringToForeground(HWND window, DWORD timeoutMs)
{
    SetForegroundWindow(window);
    return PumpUntil([window] { return GetForegroundWindow() == window; }, timeoutMs);
}

} // namespace vok::test

// ---- The library as the shell's host sees it ----

namespace vok::test {
namespace {

HMODULE g_hostLibrary = nullptr;

std::string ProgramFolder()
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder = path;
    return folder.substr(0, folder.rfind('\\') + 1);
}

template <class Fn>
Fn LibraryExport(const char* name)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(HostEnvironment::Library(), name)));
}

std::string StaticTextOf(HWND box)
{
    std::string text;
    EnumChildWindows(
        box,
        [](HWND child, LPARAM param) CALLBACK -> BOOL {
            char cls[32] = {}, buffer[512] = {};
            GetClassNameA(child, cls, sizeof(cls));
            GetWindowTextA(child, buffer, sizeof(buffer));
            if (lstrcmpiA(cls, "Static") == 0 && buffer[0]) *reinterpret_cast<std::string*>(param) = buffer;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&text));
    return text;
}

HWND VisibleDialogOf(DWORD threadId)
{
    HWND found = nullptr;
    EnumThreadWindows(
        threadId,
        [](HWND hwnd, LPARAM p) CALLBACK -> BOOL {
            char cls[16] = {};
            GetClassNameA(hwnd, cls, sizeof(cls));
            if (strcmp(cls, "#32770") == 0 && IsWindowVisible(hwnd)) *reinterpret_cast<HWND*>(p) = hwnd;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

} // namespace

std::string LibraryPath()
{
    return ProgramFolder() + "vok.dll";
}

std::optional<DWORD> RunRegsvr32(const std::string& dll, bool unregister)
{
    return RunProgram(std::string("regsvr32.exe /s ") + (unregister ? "/u " : "") + '"' + dll + '"');
}

std::optional<DWORD> RunProgram(std::string command)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    WString wide = FromUtf8(command);
    if (!CreateProcessW(nullptr, wide.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return std::nullopt;
    const UniqueHandle processHandle(process.hProcess), threadHandle(process.hThread);
    if (WaitForSingleObject(process.hProcess, 30000) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 1);
        return std::nullopt;
    }
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    return code;
}

std::optional<std::string> ReadRegistryString(HKEY root, const std::string& key, const char* value)
{
    char data[1024] = {};
    DWORD size = sizeof data;
    if (RegGetValueA(root, key.c_str(), value, RRF_RT_REG_SZ, nullptr, data, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return std::string(data);
}

void ResetHandlerRegistration()
{
    RegDeleteTreeA(HKEY_CLASSES_ROOT, (std::string("CLSID\\") + kHandlerClsidText).c_str());
    RegDeleteKeyExA(HKEY_CLASSES_ROOT, (std::string("CLSID\\") + kHandlerClsidText).c_str(), KEY_WOW64_32KEY, 0);
    for (const char* classKey : kHandlerClassKeys)
        RegDeleteKeyA(HKEY_CLASSES_ROOT, (std::string(classKey) + "\\shellex\\ContextMenuHandlers\\VOK").c_str());
    RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kApprovedKey, kHandlerClsidText);
}

std::string HostEnvironment::Root()
{
    return TestsRoot() + "host\\";
}

std::string HostEnvironment::Favorites()
{
    return Root() + "inst\\Favorites\\";
}

HMODULE HostEnvironment::Library()
{
    return g_hostLibrary;
}

HRESULT HostEnvironment::CanUnloadNow()
{
    return LibraryExport<HRESULT(WINAPI*)()>("DllCanUnloadNow")();
}

HRESULT HostEnvironment::GetClassObject(REFCLSID clsid, REFIID iid, void** out)
{
    return LibraryExport<HRESULT(WINAPI*)(REFCLSID, REFIID, void**)>("DllGetClassObject")(clsid, iid, out);
}

void HostEnvironment::SetUp()
{
    RegDeleteTreeA(HKEY_CURRENT_USER, kVokKey);
    RemoveTree(Root());
    MakeFolder(TestsRoot());
    MakeFolder(Root());
    MakeFolder(Root() + "inst");
    MakeFolder(Favorites());
    SetInstallFolder(Root() + "inst");
    g_hostLibrary = LoadLibraryA(LibraryPath().c_str());
    ASSERT_NE(g_hostLibrary, nullptr);
    // The start-up reads the installation now, once for the whole program.
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(GetClassObject(kHandlerClsid, IID_PPV_ARGS(&factory)), S_OK);
}

void HostEnvironment::TearDown()
{
    ResetHandlerRegistration();
    RegDeleteTreeA(HKEY_CURRENT_USER, kVokKey);
    RemoveTree(Root());
}

WatchedCall CallAnsweringMessageBoxes(void (*call)(void*), void* context)
{
    struct Start {
        void (*call)(void*);
        void* context;
    } start{call, context};
    DWORD threadId = 0;
    const UniqueHandle thread(CreateThread(
        nullptr, 0,
        [](LPVOID p) WINAPI -> DWORD {
            auto* s = static_cast<Start*>(p);
            s->call(s->context);
            return 0;
        },
        &start, 0, &threadId));
    WatchedCall watched;
    // A bound on a stuck call, not a time anything takes: on a loaded
    // machine a box may take seconds to come and to go.
    const ULONGLONG deadline = GetTickCount64() + 60000;
    HWND answered = nullptr;
    while (GetTickCount64() < deadline) {
        if (WaitForSingleObject(thread.get(), 20) == WAIT_OBJECT_0) {
            watched.finished = true;
            break;
        }
        const HWND box = VisibleDialogOf(threadId);
        // A box answered once is one message, however long it takes to go.
        if (!box || box == answered) continue;
        char caption[64] = {};
        GetWindowTextA(box, caption, sizeof(caption));
        watched.caption = caption;
        watched.messages.push_back(StaticTextOf(box));
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        answered = box;
    }
    if (!watched.finished) TerminateThread(thread.get(), 1);
    return watched;
}

ImportPatch::ImportPatch(const char* dll, const char* function, const void* replacement)
{
    const auto target = reinterpret_cast<ULONG_PTR>(GetProcAddress(GetModuleHandleA(dll), function));
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
    const auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const DWORD imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
    for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports); d->Name && !slot_; ++d)
        for (auto* slot = reinterpret_cast<ULONG_PTR*>(base + d->FirstThunk); *slot && !slot_; ++slot)
            if (*slot == target) slot_ = slot;
    if (slot_) original_ = Write(reinterpret_cast<ULONG_PTR>(replacement));
}

ImportPatch::~ImportPatch()
{
    if (slot_) Write(original_);
}

ULONG_PTR ImportPatch::Write(ULONG_PTR value)
{
    DWORD protection = 0;
    VirtualProtect(slot_, sizeof *slot_, PAGE_READWRITE, &protection);
    const ULONG_PTR old = std::exchange(*slot_, value);
    VirtualProtect(slot_, sizeof *slot_, protection, &protection);
    return old;
}

SIZE_T CommittedPrivateBytes()
{
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    SIZE_T total = 0;
    auto* at = static_cast<const char*>(system.lpMinimumApplicationAddress);
    MEMORY_BASIC_INFORMATION region;
    while (at < system.lpMaximumApplicationAddress && VirtualQuery(at, &region, sizeof region) == sizeof region) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += region.RegionSize;
        at = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
    }
    return total;
}

std::string ReadBytes(const std::string& path)
{
    std::string bytes;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        char chunk[4096];
        for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;) bytes.append(chunk, n);
        std::fclose(f);
    }
    return bytes;
}

std::string PrefixPath(const std::string& name)
{
    char prefix[MAX_PATH] = {};
    GetEnvironmentVariableA("VOK_WINEPREFIX", prefix, MAX_PATH);
    std::string path = std::string("Z:") + prefix + "/" + name;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::string SlowVolumePath(const std::string& name)
{
    return PrefixPath("slow-volume/" + name);
}

void SetSlowVolumeWait(const char* seconds)
{
    WriteBytes(SlowVolumePath("delay"), seconds);
}

} // namespace vok::test
