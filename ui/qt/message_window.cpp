#include "ui/qt/message_window.h"

#include <QFrame>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/qt/design_units.h"
#include "ui/qt/operator_dialogs.h"
#include "ui/qt/text_codec.h"
#include "ui/qt/window_frame.h"
#include "ui/window_layout.h"

namespace vantrel::ui::qt {

namespace {
using layout::message_window::kMargin;
const int kClientWidth = At120Ppi(layout::message_window::kClientWidth);
const int kClientHeight = At120Ppi(layout::message_window::kClientHeight);
const int kPanelHeight = At120Ppi(layout::message_window::kPanelHeight);
const int kButtonWidth = At120Ppi(layout::message_window::kButtonWidth);
constexpr int kInnerMargin = 4;
}  // namespace

TfrmMessage::TfrmMessage(QWidget* mainWindow, OperatorDialogs& dialogs)
    // A fixed dialog without any title-bar button: OK is the one way out.
    : QDialog(mainWindow, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), dialogs_(dialogs) {
    setObjectName(QStringLiteral("frmMessage"));
    setWindowTitle(QStringLiteral("Information"));
    setModal(true);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setAccessibleName(QStringLiteral("Message"));
    // A reason longer than the window wraps, a path without blanks included, and scrolls once it does not
    // fit: the window keeps its size whatever the text.
    Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Memo1->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);

    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setFixedHeight(kPanelHeight);
    Button1 = new QPushButton(QStringLiteral("OK"), panel);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setFixedWidth(kButtonWidth);
    auto* panelLayout = new QHBoxLayout(panel);
    panelLayout->setContentsMargins(kInnerMargin * 2, kInnerMargin, kInnerMargin, kInnerMargin);
    panelLayout->addWidget(Button1);
    panelLayout->addStretch();
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(kInnerMargin, kInnerMargin, kInnerMargin, 0);
    layout->setSpacing(0);
    layout->addWidget(Memo1);
    layout->addWidget(panel);
    setFixedHeight(kClientHeight);
    resize(kClientWidth, kClientHeight);
}

void TfrmMessage::showMsg(const std::string& sMsg, int x, int y, int w, int h) {
    // The first time, this window's frame is not known yet; the main window's stands in.
    const QMargins frame = FrameMargins(*this, parentWidget());
    setFixedWidth(w - 2 * kMargin - frame.left() - frame.right());
    MoveFrameTo(*this, {x + kMargin, y + h - (height() + frame.top() + frame.bottom()) - kMargin});
    Memo1->setPlainText(FromText(sMsg));
    // A screen reader announces the window by its title and the button that has the focus; the text
    // itself sits in a field it would not read unasked, so the window carries it as its description.
    setAccessibleDescription(Memo1->toPlainText());
    Button1->setFocus();
    dialogs_.RunModal(*this);
    // Read and closed: a screen reader walking the program's windows must not meet the old verdict in a
    // hidden window as if it were news. The window goes from the accessibility tree with its native
    // window; the next message makes one anew.
    Memo1->clear();
    setAccessibleDescription(QString());
    if (isHidden() && windowHandle() != nullptr) destroy();
}

QString TfrmMessage::Text() const { return Memo1->toPlainText(); }

}  // namespace vantrel::ui::qt
