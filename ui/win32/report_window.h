// The report window: one time-stamped line per event of the current job. It sits under the main window,
// which moves it along and decides once whether it is seen at all.
#pragma once

#include <string>
#include <vector>

#include "ui/win32/window_base.h"

namespace vantrel::ui::win32 {

class TfrmProtocol final : public WindowBase {
public:
    // Places itself directly under mainWindow, as wide as it, and starts empty; hidden.
    explicit TfrmProtocol(HWND mainWindow);

    // Appends "hh-nn-ss -> sLine" in local time and brings it into view.
    void Add(const std::string& sLine);
    void Clear();

    // The lines as shown, oldest first, in UTF-8.
    std::vector<std::string> Lines() const;
    // The edit control that holds the lines.
    HWND Memo() const { return Memo1; }

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    HWND Memo1 = nullptr;
};

}  // namespace vantrel::ui::win32
