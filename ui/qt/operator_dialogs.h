// Every box the operator answers goes through OperatorDialogs, so tests answer them instead of a person
// and no test ever blocks in a modal loop.
#pragma once

#include <QString>
#include <memory>

class QDialog;
class QMessageBox;
class QWidget;

namespace vantrel::ui::qt {

class OperatorDialogs {
public:
    virtual ~OperatorDialogs() = default;
    // A Yes/No question (two lines, CR LF between them); true only for Yes.
    virtual bool Confirm(QWidget* parent, const QString& question) = 0;
    // The open-file dialog without a filter; empty when the operator picked nothing.
    virtual QString PickFile(QWidget* parent, const QString& initialPath) = 0;
    // Shows a window that is ready to be shown (placed and filled) modally; returns its result.
    virtual int RunModal(QDialog& dialog) = 0;
};

// The toolkit's own boxes.
class StandardDialogs final : public OperatorDialogs {
public:
    bool Confirm(QWidget* parent, const QString& question) override;
    QString PickFile(QWidget* parent, const QString& initialPath) override;
    int RunModal(QDialog& dialog) override;
};

// The built-in texts of the confirmation box. Start-up replaces all three, so every question reads in
// English whatever the toolkit's language; until then the toolkit's own texts stand.
enum class DialogText { ConfirmCaption, YesButton, NoButton };
void ReplaceDialogText(DialogText which, const QString& text);
QString ReplacedDialogText(DialogText which);

// The confirmation box as Confirm shows it: question icon, Yes and No, the replaced texts.
std::unique_ptr<QMessageBox> MakeConfirmationBox(QWidget* parent, const QString& question);

}  // namespace vantrel::ui::qt
