#include "ui/win32/operator_dialogs.h"

#include "ui/win32/win32.h"

#include <commdlg.h>

#include <algorithm>
#include <array>
#include <climits>
#include <vector>

#include "ui/win32/window_base.h"

namespace vantrel::ui::win32 {

namespace {

constexpr const wchar_t* kModalResultProperty = L"Vantrel.ModalResult";

std::array<std::wstring, 3>& DialogTexts() {
    static std::array<std::wstring, 3> texts;
    return texts;
}

// MessageBoxW names its buttons in the system's language. The box is renamed the moment it is about to
// be shown, through a hook on the calling thread that lives exactly as long as the box.
thread_local HHOOK confirmationHook = nullptr;
thread_local WNDPROC confirmationProcedure = nullptr;

// What the operator's pointer and keys were on when the question was asked: the control that asked it
// (the owner's focused button) and the pointer's double-click rectangle. A box centred on its owner can
// have Yes right there, so that the second click of a double click on Update would answer it unread.
thread_local std::vector<RECT> keepClear;

RECT ButtonsOf(HWND box) {
    RECT buttons{};
    for (const int id : {IDYES, IDNO}) {
        RECT button{};
        if (const HWND control = GetDlgItem(box, id); control != nullptr && GetWindowRect(control, &button)) {
            UnionRect(&buttons, &buttons, &button);
        }
    }
    return buttons;
}

// Moves the box up (or, where the screen has no room above, down) until its buttons are clear of what
// the operator was on; its size and texts stay as the system made them.
void MoveButtonsClear(HWND box) {
    const RECT buttons = ButtonsOf(box);
    if (IsRectEmpty(&buttons)) return;
    // Only what lies in the buttons' columns can come under them as the box goes up or down.
    LONG top = LONG_MAX, bottom = LONG_MIN;
    bool covered = false;
    for (const RECT& area : keepClear) {
        if (area.right <= buttons.left || area.left >= buttons.right) continue;
        top = std::min(top, area.top);
        bottom = std::max(bottom, area.bottom);
        RECT overlap{};
        covered = covered || IntersectRect(&overlap, &buttons, &area) != 0;
    }
    if (!covered) return;
    RECT outline{};
    GetWindowRect(box, &outline);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(box, MONITOR_DEFAULTTONEAREST), &monitor);
    const LONG gap = GetSystemMetrics(SM_CYDOUBLECLK);
    const LONG up = buttons.bottom - top + gap;
    const LONG down = bottom - buttons.top + gap;
    const LONG shift = outline.top - up >= monitor.rcWork.top ? -up : down;
    SetWindowPos(box, nullptr, outline.left, outline.top + shift, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// A Yes/No box offers no Cancel, so the system ignores Escape in it; the operator's Escape means No. Some
// systems lay the box out only after activating it: its buttons are kept clear once it is laid out too.
LRESULT CALLBACK EscapeAnswersNo(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
        EndDialog(box, IDNO);
        return 0;
    }
    const LRESULT result = CallWindowProcW(confirmationProcedure, box, message, wParam, lParam);
    if (message == WM_INITDIALOG || (message == WM_SHOWWINDOW && wParam)) MoveButtonsClear(box);
    return result;
}

LRESULT CALLBACK RenameConfirmationButtons(int code, WPARAM wParam, LPARAM lParam) {
    wchar_t kind[16] = {};
    // Only the box itself: a window of ours activated while it is open keeps its own procedure.
    if (code == HCBT_ACTIVATE && GetClassNameW(reinterpret_cast<HWND>(wParam), kind, 16) > 0 &&
        lstrcmpW(kind, L"#32770") == 0) {
        const HWND box = reinterpret_cast<HWND>(wParam);
        if (const std::wstring yes = ReplacedDialogText(DialogText::YesButton); !yes.empty()) {
            SetDlgItemTextW(box, IDYES, yes.c_str());
        }
        if (const std::wstring no = ReplacedDialogText(DialogText::NoButton); !no.empty()) {
            SetDlgItemTextW(box, IDNO, no.c_str());
        }
        MoveButtonsClear(box);
        if (confirmationProcedure == nullptr) {
            confirmationProcedure = reinterpret_cast<WNDPROC>(
                SetWindowLongPtrW(box, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&EscapeAnswersNo)));
        }
    }
    return CallNextHookEx(confirmationHook, code, wParam, lParam);
}

}  // namespace

void ReplaceDialogText(DialogText which, const std::wstring& text) {
    DialogTexts()[static_cast<std::size_t>(which)] = text;
}

std::wstring ReplacedDialogText(DialogText which) { return DialogTexts()[static_cast<std::size_t>(which)]; }

bool StandardDialogs::Confirm(HWND owner, const std::wstring& question) {
    const std::wstring caption = ReplacedDialogText(DialogText::ConfirmCaption);
    keepClear.clear();
    if (const HWND focus = GetFocus(); focus != nullptr && owner != nullptr && IsChild(owner, focus)) {
        RECT control{};
        GetWindowRect(focus, &control);
        keepClear.push_back(control);
    }
    if (POINT pointer{}; GetCursorPos(&pointer)) {
        const int width = GetSystemMetrics(SM_CXDOUBLECLK), height = GetSystemMetrics(SM_CYDOUBLECLK);
        keepClear.push_back(
            {pointer.x - width / 2, pointer.y - height / 2, pointer.x + (width + 1) / 2, pointer.y + (height + 1) / 2});
    }
    confirmationHook = SetWindowsHookExW(WH_CBT, RenameConfirmationButtons, nullptr, GetCurrentThreadId());
    // Anything but Yes is No: Escape included.
    const int answer = MessageBoxW(owner, question.c_str(), caption.empty() ? nullptr : caption.c_str(),
                                   MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON1);
    if (confirmationHook != nullptr) UnhookWindowsHookEx(confirmationHook);
    confirmationHook = nullptr;
    confirmationProcedure = nullptr;
    return answer == IDYES;
}

std::wstring StandardDialogs::PickFile(HWND owner, const std::wstring& initialPath) {
    std::vector<wchar_t> file(32768, L'\0');
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = static_cast<DWORD>(file.size());
    // The program's own path: the dialog opens in the folder the program file is in.
    dialog.lpstrInitialDir = initialPath.empty() ? nullptr : initialPath.c_str();
    dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (!GetOpenFileNameW(&dialog)) return {};
    return file.data();
}

int StandardDialogs::RunModal(HWND window, HWND owner) {
    RemovePropW(window, kModalResultProperty);
    const bool ownerWasEnabled = owner != nullptr && IsWindowEnabled(owner);
    if (ownerWasEnabled) EnableWindow(owner, FALSE);
    ShowWindow(window, SW_SHOW);
    SetForegroundWindow(window);
    // The loop dispatches everything the thread receives, so the worker's notifications keep reaching the
    // main window while the box is open.
    MSG message;
    bool quit = false;
    while (GetPropW(window, kModalResultProperty) == nullptr && IsWindow(window)) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got <= 0) {
            quit = true;
            break;
        }
        if (DialogKeys(window, message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    const int result = static_cast<int>(reinterpret_cast<INT_PTR>(GetPropW(window, kModalResultProperty))) - 1;
    if (ownerWasEnabled) EnableWindow(owner, TRUE);
    if (IsWindow(window)) {
        ShowWindow(window, SW_HIDE);
        RemovePropW(window, kModalResultProperty);
    }
    if (owner != nullptr && IsWindow(owner)) SetActiveWindow(owner);
    // The end of the program came while the box was open: the outer loop must see it too.
    if (quit) PostQuitMessage(static_cast<int>(message.wParam));
    return result < 0 ? 0 : result;
}

void EndModal(HWND window, int result) {
    SetPropW(window, kModalResultProperty, reinterpret_cast<HANDLE>(static_cast<INT_PTR>(result) + 1));
}

}  // namespace vantrel::ui::win32
