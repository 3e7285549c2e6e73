// A window object behind an HWND: the system's messages reach the object that created the window, and
// the object destroys its window when it goes.
#pragma once

#include "ui/win32/win32.h"

#include <string>

namespace vantrel::ui::win32 {

class WindowBase {
public:
    WindowBase() = default;
    virtual ~WindowBase();
    WindowBase(const WindowBase&) = delete;
    WindowBase& operator=(const WindowBase&) = delete;

    HWND Handle() const { return hwnd_; }
    // The DPI the window's controls are drawn at (UseDpi); 0 before the first call.
    int Dpi() const { return dpi_; }

protected:
    // Registers className once per process (with the program's icon, when it has one) and creates the
    // window; false when the system refused.
    bool CreateNative(const wchar_t* className, DWORD exStyle, DWORD style, const wchar_t* title, HWND owner,
                      HMENU menu, int width, int height);
    // Whatever a window does not handle goes to the system's default handling.
    virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // The window is gone (WM_NCDESTROY): the handle is no longer valid.
    virtual void Destroyed() {}
    // Gives every child control the dialog font at dpi, made once per DPI and kept as long as the window;
    // false when the window's controls already had it.
    bool UseDpi(int dpi);

    HWND hwnd_ = nullptr;

private:
    HFONT font_ = nullptr;
    int dpi_ = 0;

    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
};

// While a job runs every window of the program shows the hourglass, whichever of them the pointer is over.
void ShowHourglass(bool busy);
bool HourglassShown();

// The dialog manager's keys for the controls of dialog (Tab, the arrows, Enter, Escape, Alt and an
// underlined letter), as IsDialogMessageW; true when the message was handled. A letter typed without Alt
// is never an underlined letter: the system's dialog manager takes it as one whenever the focused control
// takes no text (a button, a check box), so a stray key would press Close or Update.
bool DialogKeys(HWND dialog, MSG& message);

// A label that is never drawn, for the control created next: screen readers name a control that has no
// text of its own (a box, a bar, an edit control, a list) by the static label before it.
HWND CreateUnseenLabel(HWND parent, const wchar_t* name);

// The text of a window or control as it holds it.
std::wstring WindowText(HWND window);
// The string of a combo box's item.
std::wstring ComboItemText(HWND box, int index);
// How wide text is, in pixels, in the control's font.
int TextWidth(HWND control, const std::wstring& text);

// The program's icon: resource 1 of the executable, or the system's application icon (in tests, which
// carry no resources).
HICON ApplicationIcon(int size);

}  // namespace vantrel::ui::win32
