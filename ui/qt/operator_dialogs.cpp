#include "ui/qt/operator_dialogs.h"

#include <QAbstractButton>
#include <QFileDialog>
#include <QMessageBox>
#include <array>

namespace vantrel::ui::qt {

namespace {

std::array<QString, 3>& DialogTexts() {
    static std::array<QString, 3> texts;
    return texts;
}

}  // namespace

void ReplaceDialogText(DialogText which, const QString& text) { DialogTexts()[static_cast<std::size_t>(which)] = text; }

QString ReplacedDialogText(DialogText which) { return DialogTexts()[static_cast<std::size_t>(which)]; }

std::unique_ptr<QMessageBox> MakeConfirmationBox(QWidget* parent, const QString& question) {
    // The questions are written with CR LF between their lines; a label wants LF alone.
    QString text = question;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    auto box = std::make_unique<QMessageBox>(QMessageBox::Question, ReplacedDialogText(DialogText::ConfirmCaption),
                                             text, QMessageBox::Yes | QMessageBox::No, parent);
    box->setTextFormat(Qt::PlainText);
    box->setDefaultButton(QMessageBox::Yes);
    // Escape, like the title bar's close, answers No.
    box->setEscapeButton(QMessageBox::No);
    if (const QString yes = ReplacedDialogText(DialogText::YesButton); !yes.isEmpty()) {
        box->button(QMessageBox::Yes)->setText(yes);
    }
    if (const QString no = ReplacedDialogText(DialogText::NoButton); !no.isEmpty()) {
        box->button(QMessageBox::No)->setText(no);
    }
    return box;
}

bool StandardDialogs::Confirm(QWidget* parent, const QString& question) {
    return MakeConfirmationBox(parent, question)->exec() == QMessageBox::Yes;
}

QString StandardDialogs::PickFile(QWidget* parent, const QString& initialPath) {
    return QFileDialog::getOpenFileName(parent, QString(), initialPath);
}

int StandardDialogs::RunModal(QDialog& dialog) { return dialog.exec(); }

}  // namespace vantrel::ui::qt
