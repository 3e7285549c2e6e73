// The message window: one verdict at a time, modal, laid over the lower part of the main window.
#pragma once

#include <QDialog>
#include <string>

class QPlainTextEdit;
class QPushButton;

namespace vantrel::ui::qt {

class OperatorDialogs;

class TfrmMessage final : public QDialog {
    Q_OBJECT
public:
    TfrmMessage(QWidget* mainWindow, OperatorDialogs& dialogs);

    // Shows sMsg modally inside the outline x, y, w, h (the main window's outer position and size): 10
    // pixels in from its left and right edges, the bottom edge 10 pixels above its bottom edge. The
    // window keeps its own height whatever the text; long lines wrap.
    void showMsg(const std::string& sMsg, int x, int y, int w, int h);

    QString Text() const;

private:
    OperatorDialogs& dialogs_;
    QPlainTextEdit* Memo1;
    QPushButton* Button1;
};

}  // namespace vantrel::ui::qt
