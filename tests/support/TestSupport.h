// Real platform objects for tests: folders, shortcut files, registry keys,
// windows and threads, each reset or cleaned up by its owner.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace vok::test {

// A fresh, empty folder below the temporary folder, removed afterwards.
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

void RemoveTree(const std::string& path);
void MakeFolder(const std::string& path);
void WriteBytes(const std::string& path, const std::string& bytes);
bool PathPresent(const std::string& path);

// A shell link to `target`, written through IShellLinkA and IPersistFile.
void MakeLink(const std::string& linkPath, const std::string& target);

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

// Runs `work` on a new thread that never initialises COM; waits at most
// `timeoutMs` and returns false if it did not finish by then.
bool RunOnThreadWithoutCom(const std::function<void()>& work, DWORD timeoutMs = 10000);

// A top-level window of a class registered under `className`, shown and
// made the active window of the calling thread.
class TestWindow {
public:
    explicit TestWindow(const std::string& className, const std::string& title = "");
    ~TestWindow();
    HWND hwnd() const { return hwnd_; }

private:
    std::string className_;
    HWND hwnd_ = nullptr;
};

// Dispatches the calling thread's messages until `done` holds or `timeoutMs`
// passes; returns `done()`.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs);

} // namespace vok::test
