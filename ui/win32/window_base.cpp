#include "ui/win32/window_base.h"

#include <commctrl.h>

#include <algorithm>
#include <set>
#include <string>

#include "ui/win32/design_units.h"

namespace vantrel::ui::win32 {

namespace {
bool hourglass = false;
}  // namespace

void ShowHourglass(bool busy) {
    hourglass = busy;
    // The pointer takes the new shape at once, not only when it next moves.
    SetCursor(LoadCursorW(nullptr, busy ? IDC_WAIT : IDC_ARROW));
}

bool HourglassShown() { return hourglass; }

WindowBase::~WindowBase() {
    if (hwnd_ != nullptr && IsWindow(hwnd_)) {
        // The object goes first: messages sent while the window is destroyed find nobody to call.
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
    if (font_ != nullptr) DeleteObject(font_);
}

bool WindowBase::UseDpi(int dpi) {
    if (dpi == dpi_ && font_ != nullptr) return false;
    dpi_ = dpi;
    HFONT old = font_;
    font_ = CreateDialogFont(dpi);
    SetChildFonts(hwnd_, font_);
    // The controls hold the new font before the old one goes.
    if (old != nullptr) DeleteObject(old);
    return true;
}

bool DialogKeys(HWND dialog, MSG& message) {
    // Control characters (Tab, Enter, Escape) stay the dialog manager's; Alt and a letter is WM_SYSCHAR.
    if (message.message == WM_CHAR && message.wParam >= L' ' &&
        (message.hwnd == dialog || IsChild(dialog, message.hwnd))) {
        // Straight to the focused control: an edit control types it, a button ignores it.
        DispatchMessageW(&message);
        return true;
    }
    return IsDialogMessageW(dialog, &message) != 0;
}

HWND CreateUnseenLabel(HWND parent, const wchar_t* name) {
    return CreateWindowExW(0, L"STATIC", name, WS_CHILD | SS_LEFT | SS_NOPREFIX, 0, 0, 0, 0, parent, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

std::wstring WindowText(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

std::wstring ComboItemText(HWND box, int index) {
    const LRESULT length = SendMessageW(box, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length <= 0) return {};  // CB_ERR for an index outside the list
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const LRESULT copied = SendMessageW(box, CB_GETLBTEXT, static_cast<WPARAM>(index),
                                        reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(std::max<LRESULT>(0, copied)));
    return text;
}

int TextWidth(HWND control, const std::wstring& text) {
    const HDC dc = GetDC(control);
    const HGDIOBJ previous = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, previous);
    ReleaseDC(control, dc);
    return static_cast<int>(size.cx);
}

HICON ApplicationIcon(int size) {
    const HINSTANCE module = GetModuleHandleW(nullptr);
    if (auto* icon = static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(1), IMAGE_ICON, size, size, 0)))
        return icon;
    return LoadIconW(nullptr, IDI_APPLICATION);
}

bool WindowBase::CreateNative(const wchar_t* className, DWORD exStyle, DWORD style, const wchar_t* title, HWND owner,
                              HMENU menu, int width, int height) {
    static std::set<std::wstring> registered;
    const HINSTANCE module = GetModuleHandleW(nullptr);
    if (registered.insert(className).second) {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = &WindowBase::Procedure;
        windowClass.hInstance = module;
        windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        windowClass.lpszClassName = className;
        windowClass.hIcon = ApplicationIcon(GetSystemMetrics(SM_CXICON));
        windowClass.hIconSm = ApplicationIcon(GetSystemMetrics(SM_CXSMICON));
        RegisterClassExW(&windowClass);
    }
    CreateWindowExW(exStyle, className, title, style, CW_USEDEFAULT, CW_USEDEFAULT, width, height, owner, menu, module,
                    this);
    return hwnd_ != nullptr;
}

LRESULT WindowBase::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(hwnd_, message, wParam, lParam);
}

LRESULT CALLBACK WindowBase::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<WindowBase*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->hwnd_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<WindowBase*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr) return DefWindowProcW(window, message, wParam, lParam);
    // Controls ask their window for the pointer's shape, so this covers them too.
    if (message == WM_SETCURSOR && hourglass) {
        SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        return TRUE;
    }
    if (message == WM_NCDESTROY) {
        const LRESULT result = self->HandleMessage(message, wParam, lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
        self->Destroyed();
        return result;
    }
    return self->HandleMessage(message, wParam, lParam);
}

}  // namespace vantrel::ui::win32
