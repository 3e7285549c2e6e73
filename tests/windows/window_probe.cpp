// Reads the updater's windows from another process, as the end-to-end script needs them: every visible
// top-level window of the program (its main, report, message and overview windows, and the system's
// boxes it shows), with each child control's class, identifier, text, state and place on the screen, the
// role and name a screen reader gives it (by the system's default rules: a control with a text of its own
// is named by that text without its underline mark, a box, a bar or an edit control by the static label
// before it), and the texts of every part of a status bar.
//   window_probe list    one line per window and per control (UTF-8)
//   window_probe close   asks the main window to close, as its title bar's close button does
//   window_probe marker  exit status 0 while a process holds the job marker the installer waits on
//   window_probe press CLASS ID        clicks button ID of the visible top-level window of class CLASS, as a
//                                      click would (for scripts without a window manager to place windows)
//   window_probe settext CLASS ID TEXT sets the text of control ID there, as typing would
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <string>

#include "app/job_marker.h"

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

std::string WithoutMark(std::string text) {
    const std::size_t mark = text.find('&');
    if (mark != std::string::npos) text.erase(mark, 1);
    return text;
}

std::string Role(HWND window) {
    const std::string kind = ClassName(window);
    if (kind == "Button") {
        const LONG type = GetWindowLongW(window, GWL_STYLE) & BS_TYPEMASK;
        if (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_3STATE || type == BS_AUTO3STATE)
            return "check-box";
        return type == BS_GROUPBOX ? "grouping" : "push-button";
    }
    if (kind == "ComboBox") return "combo-box";
    if (kind == "Edit") return "editable-text";
    if (kind == "Static") return "text";
    if (kind == "msctls_progress32") return "progress-bar";
    if (kind == "msctls_statusbar32") return "status-bar";
    if (kind == "SysListView32") return "list";
    return "window";
}

std::string AccessibleName(HWND window) {
    const std::string kind = ClassName(window);
    if (kind != "ComboBox" && kind != "Edit" && kind != "msctls_progress32" && kind != "SysListView32")
        return WithoutMark(Text(window));
    const HWND before = GetWindow(window, GW_HWNDPREV);
    return before != nullptr && ClassName(before) == "Static" ? WithoutMark(Text(before)) : std::string();
}

// A status bar's parts, read through a buffer in its own process: the bar's messages carry no text across.
std::string StatusParts(HWND bar) {
    DWORD_PTR count = 0;
    if (!SendMessageTimeoutW(bar, SB_GETPARTS, 0, 0, SMTO_ABORTIFHUNG, 2000, &count)) return {};
    // One part is the bar's own text, which travels as any window's does.
    if (count <= 1) return Text(bar);
    DWORD process = 0;
    GetWindowThreadProcessId(bar, &process);
    const HANDLE owner = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, process);
    if (owner == nullptr) return {};
    constexpr SIZE_T kRoom = 1024 * sizeof(wchar_t);
    void* remote = VirtualAllocEx(owner, nullptr, kRoom, MEM_COMMIT, PAGE_READWRITE);
    std::string parts;
    for (DWORD_PTR part = 0; remote != nullptr && part < count; ++part) {
        wchar_t text[1024] = {};
        DWORD_PTR ignored = 0;
        WriteProcessMemory(owner, remote, text, kRoom, nullptr);
        SendMessageTimeoutW(bar, SB_GETTEXTW, part, reinterpret_cast<LPARAM>(remote), SMTO_ABORTIFHUNG, 2000, &ignored);
        ReadProcessMemory(owner, remote, text, kRoom - sizeof(wchar_t), nullptr);
        if (part > 0) parts += '|';
        parts += Utf8(text);
    }
    if (remote != nullptr) VirtualFreeEx(owner, remote, 0, MEM_RELEASE);
    CloseHandle(owner);
    return parts;
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
    if (ClassName(window) == "msctls_statusbar32") edit += " parts=\"" + StatusParts(window) + "\"";
    std::printf("%s %s id=%ld visible=%d enabled=%d focus=%d%s rect=%ld,%ld,%ld,%ld role=%s name=\"%s\" text=%s\n",
                what, ClassName(window).c_str(), static_cast<long>(GetDlgCtrlID(window)),
                IsWindowVisible(window) ? 1 : 0, IsWindowEnabled(window) ? 1 : 0, Focused(window) ? 1 : 0, edit.c_str(),
                r.left, r.top, r.right, r.bottom, Role(window).c_str(), AccessibleName(window).c_str(),
                Text(window).c_str());
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
    if (command == L"marker") {
        for (const wchar_t* name : {vantrel::app::kJobMarkerName, vantrel::app::kJobMarkerName + 7}) {
            const HANDLE marker = OpenMutexW(SYNCHRONIZE, FALSE, name);
            if (marker == nullptr) continue;
            CloseHandle(marker);
            return 0;
        }
        return 1;
    }
    if ((command == L"press" && argc == 4) || (command == L"settext" && argc == 5)) {
        const HWND top = FindWindowW(argv[2], nullptr);
        const HWND control = top == nullptr ? nullptr : GetDlgItem(top, _wtoi(argv[3]));
        if (control == nullptr) return 1;
        if (command == L"press") {
            PostMessageW(control, BM_CLICK, 0, 0);
            return 0;
        }
        // The box's own edit control, so that the window hears of the change as from the keyboard.
        const HWND edit = FindWindowExW(control, nullptr, L"Edit", nullptr);
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(edit != nullptr ? edit : control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[4]),
                            SMTO_ABORTIFHUNG, 2000, &ignored);
        return 0;
    }
    std::fprintf(stderr, "usage: window_probe list|close|marker|press CLASS ID|settext CLASS ID TEXT\n");
    return 2;
}
