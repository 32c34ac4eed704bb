// The Create Shortcut wizard as a German Windows shows it, in a process of
// its own: a hidden dialog first, then the visible "Verknüpfung erstellen"
// with its location box. Enter in the box writes the box's text (UTF-8) to
// the file named on the command line and ends the program; it ends by itself
// after 20 seconds.
#include <windows.h>
#include <shellapi.h>

#include <string>

namespace {

void WriteResult(const std::wstring& file, HWND box)
{
    wchar_t text[1024] = {};
    GetWindowTextW(box, text, 1024);
    char utf8[4096] = {};
    const int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr) - 1;
    // Whole or not at all: the test may look at any moment.
    const std::wstring partial = file + L".part";
    const HANDLE out = CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(out, utf8, length > 0 ? static_cast<DWORD>(length) : 0, &written, nullptr);
    CloseHandle(out);
    MoveFileExW(partial.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING);
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    int count = 0;
    wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
    if (count < 2) return 2;
    const std::wstring result = args[1];
    CreateWindowExW(0, L"#32770", L"", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr, nullptr, nullptr);
    const HWND wizard = CreateWindowExW(0, L"#32770", L"Verknüpfung erstellen", WS_POPUP | WS_CAPTION | WS_VISIBLE, 40,
                                        40, 400, 200, nullptr, nullptr, nullptr, nullptr);
    const HWND box = CreateWindowExW(0, L"Edit", L"", WS_CHILD | WS_VISIBLE | WS_BORDER, 10, 10, 300, 24, wizard,
                                     nullptr, nullptr, nullptr);
    SetForegroundWindow(wizard);
    SetTimer(nullptr, 0, 20000, nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0 && msg.message != WM_TIMER) {
        if (msg.hwnd == box && msg.message == WM_KEYDOWN && msg.wParam == VK_RETURN) {
            WriteResult(result, box);
            return 0;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 1;
}
