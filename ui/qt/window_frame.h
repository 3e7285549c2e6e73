// Placing windows by their frames, as the operator sees them. The window manager tells a window how large
// its frame is only after the window is first shown; until then the toolkit takes the frame for nothing,
// so a window placed before (or while) it is first shown would put its client area where its frame was
// meant to go. These helpers keep the frame where it is asked to be.
#pragma once

#include <QMargins>
#include <QPoint>

class QWidget;

namespace vantrel::ui::qt {

// The frame around window's client area. While window has not been shown yet, the frame of standIn (a
// window the same window manager decorates and that is on screen) is the best guess there is.
QMargins FrameMargins(const QWidget& window, const QWidget* standIn);

// Puts window's frame, not its client area, at framePos, even before the frame is known.
void MoveFrameTo(QWidget& window, QPoint framePos);

}  // namespace vantrel::ui::qt
