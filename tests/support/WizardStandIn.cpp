// The Create Shortcut wizard of a German Windows, in a process of its own,
// after a hidden dialog of that process: Enter in its box writes the box's
// text (UTF-8) to the file named on the command line. It ends then, or after
// 20 seconds.
#include <windows.h>
#include <shellapi.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    int count = 0;
    wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
    if (count < 2) return 2;
    CreateWindowExW(0, L"#32770", L"", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr, nullptr, nullptr);
    const HWND wizard = CreateWindowExW(0, L"#32770", L"Verknüpfung erstellen", WS_POPUP | WS_CAPTION | WS_VISIBLE, 40,
                                        40, 400, 200, nullptr, nullptr, nullptr, nullptr);
    const HWND box = CreateWindowExW(0, L"Edit", L"", WS_CHILD | WS_VISIBLE, 10, 10, 300, 24, wizard, nullptr, nullptr,
                                     nullptr);
    SetForegroundWindow(wizard);
    SetTimer(nullptr, 0, 20000, nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0 && msg.message != WM_TIMER) {
        if (msg.hwnd == box && msg.message == WM_KEYDOWN && msg.wParam == VK_RETURN) {
            wchar_t text[512] = {};
            char utf8[2048] = {};
            GetWindowTextW(box, text, 512);
            const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr) - 1;
            const HANDLE out = CreateFileW(args[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            DWORD written = 0;
            WriteFile(out, utf8, static_cast<DWORD>(size), &written, nullptr);
            return CloseHandle(out) ? 0 : 1;
        }
        DispatchMessageW(&msg);
    }
    return 1;
}
