// The firmware overview: the headers of the images the program can install, newest built-in first, the
// file image before them when one is selected.
#pragma once

#include <QDialog>
#include <vector>

#include "app/job_rules.h"

class QPushButton;
class QTreeWidget;

namespace vantrel::ui::qt {

class OperatorDialogs;

class TfrmInfo final : public QDialog {
    Q_OBJECT
public:
    TfrmInfo(QWidget* mainWindow, OperatorDialogs& dialogs);

    // Refills the list, places the window at ALeft, ATop with the outer height AHeight, sizes it to its
    // columns and shows it modally. Returns the modal result.
    int Execute(const std::vector<app::OverviewRow>& rows, int ALeft, int ATop, int AHeight);

    QTreeWidget* List() const { return ListView1; }

private:
    void AddOverviewRow(const app::OverviewRow& row);

    OperatorDialogs& dialogs_;
    QTreeWidget* ListView1;
    QPushButton* Button1;
};

// Sizes every column to the wider of "header and content" and "content only", plus 5 pixels; returns the
// sum of the widths.
int AutoSizeColumns(QTreeWidget& list);

}  // namespace vantrel::ui::qt
