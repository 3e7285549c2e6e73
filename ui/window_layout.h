// The windows' layouts in the units they were designed in, in one place for the Qt and the Win32 windows
// so that the two cannot drift apart. The main and message windows were designed at 120 pixels per inch,
// the report and overview windows at 96; each toolkit scales them to its screen (ui/qt/design_units.h,
// ui/win32/design_units.h). What only one toolkit needs (a control's own minimum size, inner margins of
// its layout engine) stays with that toolkit.
#pragma once

namespace vantrel::ui::layout {

struct DesignRect {
    int left;
    int top;
    int width;
    int height;
};

// The main window, at 120 pixels per inch.
namespace main_window {
inline constexpr int kClientWidth = 441;
inline constexpr int kPanelHeight = 201;
inline constexpr int kBevelHeight = 10;
inline constexpr int kPortLabelLeft = 16;
inline constexpr int kPortLabelTop = 18;
inline constexpr DesignRect kPortBox{96, 14, 329, 25};
inline constexpr DesignRect kProgressBar{16, 57, 409, 33};
inline constexpr DesignRect kUpdateButton{50, 107, 141, 41};
inline constexpr DesignRect kFileButton{126, 107, 65, 41};
// Close, and Cancel in its place while a job runs.
inline constexpr DesignRect kCloseButton{250, 107, 139, 41};
inline constexpr DesignRect kReadInfoOnly{32, 168, 145, 17};
// With image files, Update and File share Close's width with this gap between them, in pixels at 96 per
// inch: a gap the eye sees, not part of the designed layout.
inline constexpr int kFileButtonGap = 8;
}  // namespace main_window

// The message window, at 120 pixels per inch; placed kMargin screen pixels inside the main window's lower
// edge and sides.
namespace message_window {
inline constexpr int kClientWidth = 435;
inline constexpr int kClientHeight = 101;
inline constexpr int kPanelHeight = 45;
inline constexpr int kButtonWidth = 93;
inline constexpr int kMargin = 10;
}  // namespace message_window

// The report window, at 96 pixels per inch.
namespace report_window {
inline constexpr int kClientWidth = 454;
inline constexpr int kClientHeight = 141;
}  // namespace report_window

// The firmware overview, at 96 pixels per inch. Columns fit their widest text plus kColumnSlack; the
// window fits its columns plus kWindowSlack (the list's frame and a scroll bar's room).
namespace overview_window {
inline constexpr int kClientWidth = 318;
inline constexpr int kClientHeight = 209;
inline constexpr int kPanelHeight = 37;
inline constexpr DesignRect kCloseButton{13, 7, 98, 24};
inline constexpr int kColumnSlack = 5;
inline constexpr int kWindowSlack = 30;
}  // namespace overview_window

}  // namespace vantrel::ui::layout
