#include "ui/qt/elided_label.h"

#include <QEvent>
#include <QFontMetrics>
#include <QResizeEvent>

namespace vantrel::ui::qt {

TElidedLabel::TElidedLabel(QWidget* parent) : QLabel(parent) {
    // Port names are typed by the operator: whatever they hold is shown as typed, never as markup.
    setTextFormat(Qt::PlainText);
    setWordWrap(false);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

void TElidedLabel::SetFullText(const QString& text) {
    full_ = text;
    Elide();
}

// The height of one line of text, whatever the text: an empty status line keeps the bar's height.
QSize TElidedLabel::sizeHint() const {
    const QMargins margins = contentsMargins();
    return {0, fontMetrics().height() + margins.top() + margins.bottom() + 2 * margin()};
}

QSize TElidedLabel::minimumSizeHint() const { return sizeHint(); }

void TElidedLabel::resizeEvent(QResizeEvent* e) {
    QLabel::resizeEvent(e);
    Elide();
}

void TElidedLabel::changeEvent(QEvent* e) {
    QLabel::changeEvent(e);
    if (e->type() == QEvent::FontChange || e->type() == QEvent::StyleChange) Elide();
}

void TElidedLabel::Elide() {
    // A verdict names the port in the middle and says what happened at the end; both ends stay readable.
    const QString shown = fontMetrics().elidedText(full_, Qt::ElideMiddle, contentsRect().width() - 2 * margin());
    if (shown != text()) setText(shown);
}

}  // namespace vantrel::ui::qt
