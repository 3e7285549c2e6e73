// Reads the updater's windows from another process, as the end-to-end script needs them: every visible
// top-level window of the program (its main, report, message and overview windows, and the system's
// boxes it shows), with each child control's class, identifier, text, state and place on the screen.
//   window_probe list    one line per window and per control (UTF-8)
//   window_probe close   asks the main window to close, as its title bar's close button does
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                         nullptr);
    std::string narrow(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(), size, nullptr, nullptr);
    return narrow;
}

std::string Text(HWND window) {
    wchar_t text[4096] = {};
    // WM_GETTEXT is carried across processes; a hung window does not hold the probe.
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 2000, &ignored);
    std::string shown = Utf8(text);
    for (char& c : shown) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    return shown;
}

std::string ClassName(HWND window) {
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return Utf8(name);
}

bool Ours(const std::string& kind) { return kind.rfind("Vantrel", 0) == 0 || kind == "#32770"; }

// The control with the keyboard focus in the window's thread, whichever process it belongs to.
bool Focused(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) && info.hwndFocus == window;
}

void Describe(const char* what, HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    // An edit control's lines as it wraps them, and whether it has a vertical scroll bar.
    std::string edit;
    if (ClassName(window) == "Edit") {
        const auto lines = static_cast<long>(SendMessageW(window, EM_GETLINECOUNT, 0, 0));
        const bool scroll = (GetWindowLongW(window, GWL_STYLE) & WS_VSCROLL) != 0;
        edit = " lines=" + std::to_string(lines) + " vscroll=" + (scroll ? "1" : "0");
    }
    std::printf("%s %s id=%ld visible=%d enabled=%d focus=%d%s rect=%ld,%ld,%ld,%ld text=%s\n", what,
                ClassName(window).c_str(), static_cast<long>(GetDlgCtrlID(window)), IsWindowVisible(window) ? 1 : 0,
                IsWindowEnabled(window) ? 1 : 0, Focused(window) ? 1 : 0, edit.c_str(), r.left, r.top, r.right,
                r.bottom, Text(window).c_str());
}

BOOL CALLBACK ListChild(HWND child, LPARAM) {
    Describe("  control", child);
    return TRUE;
}

BOOL CALLBACK ListTopLevel(HWND window, LPARAM) {
    if (!IsWindowVisible(window) || !Ours(ClassName(window))) return TRUE;
    Describe("window", window);
    EnumChildWindows(window, ListChild, 0);
    return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring command = argc > 1 ? argv[1] : L"list";
    if (command == L"list") {
        EnumWindows(ListTopLevel, 0);
        return 0;
    }
    if (command == L"close") {
        const HWND main = FindWindowW(L"VantrelMain", nullptr);
        if (main == nullptr) return 1;
        PostMessageW(main, WM_SYSCOMMAND, SC_CLOSE, 0);
        return 0;
    }
    std::fprintf(stderr, "usage: window_probe list|close\n");
    return 2;
}
