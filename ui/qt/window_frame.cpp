#include "ui/qt/window_frame.h"

#include <QWidget>
#include <QWindow>

namespace vantrel::ui::qt {

namespace {

QMargins OwnFrame(const QWidget& window) {
    const QRect frame = window.frameGeometry();
    const QRect client = window.geometry();
    return {client.left() - frame.left(), client.top() - frame.top(), frame.right() - client.right(),
            frame.bottom() - client.bottom()};
}

}  // namespace

QMargins FrameMargins(const QWidget& window, const QWidget* standIn) {
    const QMargins own = OwnFrame(window);
    if (!own.isNull() || standIn == nullptr) return own;
    return OwnFrame(*standIn);
}

void MoveFrameTo(QWidget& window, QPoint framePos) {
    // Before the window exists, the toolkit keeps a move as a frame position. Once it exists, a move
    // means the client area whenever the frame is not yet known; the window's own frame position is
    // handed to the window manager as such and holds whatever frame arrives.
    QWindow* handle = window.windowHandle();
    if (handle != nullptr && window.testAttribute(Qt::WA_WState_Created)) {
        handle->setFramePosition(framePos);
    } else {
        window.move(framePos);
    }
}

}  // namespace vantrel::ui::qt
