// The firmware overview: the headers of the images the program can install, newest built-in first, the
// file image before them when one is selected.
#pragma once

#include <string>
#include <vector>

#include "app/job_rules.h"
#include "ui/win32/window_base.h"

namespace vantrel::ui::win32 {

class OperatorDialogs;

class TfrmInfo final : public WindowBase {
public:
    TfrmInfo(HWND mainWindow, OperatorDialogs& dialogs);

    // Refills the list, places the window at ALeft, ATop with the outer height AHeight, sizes it to its
    // columns and shows it modally. Returns the modal result (1 for OK).
    int Execute(const std::vector<app::OverviewRow>& rows, int ALeft, int ATop, int AHeight);

    HWND List() const { return ListView1; }
    // The cells of every row, in UTF-8.
    std::vector<app::OverviewRow> Rows() const;

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void AddOverviewRow(const app::OverviewRow& row);
    void Layout();

    OperatorDialogs& dialogs_;
    HWND owner_;
    HWND ListView1 = nullptr;
    HWND Button1 = nullptr;
};

// Sizes every column to the wider of "header and content" and "content only", plus 5 pixels; returns the
// sum of the widths.
int AutoSizeColumns(HWND list);

}  // namespace vantrel::ui::win32
