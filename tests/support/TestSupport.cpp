#include "TestSupport.h"

#include "Work/ExtensionState.h"
#include "Work/Registry.h"

#include <gtest/gtest.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <algorithm>

using Microsoft::WRL::ComPtr;

namespace vok::test {

ScratchDir::ScratchDir(const std::string& name)
{
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string root = std::string(temp) + "vok-tests\\";
    CreateDirectoryA(root.c_str(), nullptr);
    path_ = root + name + "\\";
    RemoveTree(path_);
    MakeFolder(path_);
}

ScratchDir::~ScratchDir()
{
    RemoveTree(path_);
}

void RemoveTree(const std::string& path)
{
    std::string dir = path;
    if (!dir.empty() && dir.back() == '\\') dir.pop_back();
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((dir + "\\*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = entry.cFileName;
            if (name == "." || name == "..") continue;
            const std::string child = dir + "\\" + name;
            SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(child);
            else
                DeleteFileA(child.c_str());
        } while (FindNextFileA(find, &entry));
        FindClose(find);
    }
    RemoveDirectoryA(dir.c_str());
}

void MakeFolder(const std::string& path)
{
    ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS) << path;
}

void WriteBytes(const std::string& path, const std::string& bytes)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    ASSERT_EQ(written, bytes.size());
}

bool PathPresent(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void MakeLink(const std::string& linkPath, const std::string& target)
{
    ComPtr<IShellLinkA> link;
    ASSERT_HRESULT_SUCCEEDED(
        CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&link)));
    ASSERT_HRESULT_SUCCEEDED(link->SetPath(target.c_str()));
    ComPtr<IPersistFile> file;
    ASSERT_HRESULT_SUCCEEDED(link.As(&file));
    wchar_t wide[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, linkPath.c_str(), -1, wide, MAX_PATH);
    ASSERT_HRESULT_SUCCEEDED(file->Save(wide, TRUE));
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
    return RegGetValueA(HKEY_CURRENT_USER, kVokKey, kStatusValue, RRF_RT_ANY, &type, &value, &size) ==
               ERROR_SUCCESS &&
           type == REG_DWORD;
}

void RestartStateWithInstallFolder(const std::string& installFolder)
{
    SetInstallFolder(installFolder);
    StopExtensionState();
    ASSERT_TRUE(StartExtensionState(GetModuleHandleA(nullptr)));
}

bool RunOnThreadWithoutCom(const std::function<void()>& work, DWORD timeoutMs)
{
    struct Context {
        std::function<void()> work;
    };
    auto* context = new Context{work};
    HANDLE thread = CreateThread(
        nullptr, 0,
        [](LPVOID parameter) -> DWORD {
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

TestWindow::TestWindow(const std::string& className, const std::string& title) : className_(className)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = className_.c_str();
    RegisterClassA(&wc);
    hwnd_ = CreateWindowExA(0, className_.c_str(), title.c_str(), WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300,
                            200, nullptr, nullptr, wc.hInstance, nullptr);
    SetForegroundWindow(hwnd_);
    SetActiveWindow(hwnd_);
}

TestWindow::~TestWindow()
{
    DestroyWindow(hwnd_);
    UnregisterClassA(className_.c_str(), GetModuleHandleA(nullptr));
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

} // namespace vok::test
