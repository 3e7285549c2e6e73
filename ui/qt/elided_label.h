// A one-line label that never asks for more width than its place gives it: a text too long for the space
// shows its beginning and its end with an ellipsis between, and the whole text stays with the label.
// Without this a status line in a fixed-size window widens the window to fit the longest text it shows.
#pragma once

#include <QLabel>
#include <QString>

namespace vantrel::ui::qt {

class TElidedLabel final : public QLabel {
public:
    explicit TElidedLabel(QWidget* parent = nullptr);

    void SetFullText(const QString& text);
    QString FullText() const { return full_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    void Elide();

    QString full_;
};

}  // namespace vantrel::ui::qt
