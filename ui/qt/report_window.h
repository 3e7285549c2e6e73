// The report window: one time-stamped line per event of the current job. It sits under the main window,
// which moves it along and decides once whether it is seen at all.
#pragma once

#include <QWidget>
#include <string>

class QPlainTextEdit;

namespace vantrel::ui::qt {

class TfrmProtocol final : public QWidget {
    Q_OBJECT
public:
    // Places itself directly under mainWindow, as wide as it, and starts empty.
    explicit TfrmProtocol(QWidget* mainWindow);

    // Appends "hh-nn-ss -> sLine" in local time and brings it into view.
    void Add(const std::string& sLine);
    void Clear();

    // The lines as shown, oldest first.
    QStringList Lines() const;

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    QPlainTextEdit* Memo1;
};

}  // namespace vantrel::ui::qt
