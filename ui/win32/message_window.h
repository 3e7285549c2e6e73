// The message window: one verdict at a time, modal, laid over the lower part of the main window.
#pragma once

#include <string>

#include "ui/win32/window_base.h"

namespace vantrel::ui::win32 {

class OperatorDialogs;

class TfrmMessage final : public WindowBase {
public:
    TfrmMessage(HWND mainWindow, OperatorDialogs& dialogs);

    // Shows sMsg modally inside the outline x, y, w, h (the main window's outer position and size): 10
    // pixels in from its left and right edges, the bottom edge 10 pixels above its bottom edge. The
    // window keeps its own height whatever the text; long lines wrap, and a text longer than the window
    // scrolls, so no part of a reason is out of the operator's reach.
    void showMsg(const std::string& sMsg, int x, int y, int w, int h);

    // The message shown last, in UTF-8.
    std::string Text() const;
    HWND Memo() const { return Memo1; }

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void Layout();

    OperatorDialogs& dialogs_;
    HWND owner_;
    HWND Memo1 = nullptr;
    HWND Button1 = nullptr;
};

}  // namespace vantrel::ui::win32
