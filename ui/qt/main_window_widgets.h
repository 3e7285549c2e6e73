// The main window's controls, created and placed as designed; nothing here reacts to anything.
#pragma once

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QMainWindow;
class QMenu;
class QProgressBar;
class QPushButton;
class QStatusBar;
class QWidget;

namespace vantrel::ui::qt {

class TElidedLabel;

struct MainWindowWidgets {
    QFrame* Panel1 = nullptr;
    QFrame* Bevel1 = nullptr;
    QLabel* Label1 = nullptr;
    QComboBox* cbxPort = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QPushButton* btnProg = nullptr;
    QPushButton* btnFile = nullptr;
    QPushButton* btnCancel = nullptr;
    QPushButton* btnClose = nullptr;
    QCheckBox* chkReadInfoOnly = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    TElidedLabel* StatusText1 = nullptr;
    // The status bar's own part at the right, for the time a job still needs; hidden while empty.
    QLabel* TimeLeft1 = nullptr;
    QMenu* menInfo = nullptr;
    QAction* menInfoFirmware = nullptr;
    QAction* menInfoFile = nullptr;
    QAction* menFileExit = nullptr;
};

// Creates the controls in window at their design places (120 pixels per inch, scaled to the screen).
MainWindowWidgets CreateMainWindowWidgets(QMainWindow& window);

// With the File button, Update and File share Close's width (ArrangeUpdateButtons); otherwise Update
// takes it alone.
void LayOutUpdateButtons(const MainWindowWidgets& w, bool fileButton);

}  // namespace vantrel::ui::qt
