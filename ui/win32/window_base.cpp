#include "ui/win32/window_base.h"

#include <set>
#include <string>

namespace vantrel::ui::win32 {

WindowBase::~WindowBase() {
    if (hwnd_ != nullptr && IsWindow(hwnd_)) {
        // The object goes first: messages sent while the window is destroyed find nobody to call.
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
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
