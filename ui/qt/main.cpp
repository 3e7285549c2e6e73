#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <iostream>

#include "ui/program_info.h"
#include "ui/qt/startup.h"

namespace {

// The window's name on the desktop: the desktop entry it belongs to (the Wayland app id; on X11 the task
// switcher pairs WM_CLASS with the entry's StartupWMClass) and its icon, which becomes _NET_WM_ICON. The
// icon files are read where the package puts them, beside the program's own folder, so that the icon is
// there without an icon theme installed; a program run from elsewhere asks the theme.
void NameTheWindow() {
    const QString id = QStringLiteral("com.velmora.VantrelUpdate");
    QGuiApplication::setDesktopFileName(id);
    const QString icons = QCoreApplication::applicationDirPath() + QStringLiteral("/../share/icons/hicolor/");
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
        const QString file = icons + QStringLiteral("%1x%1/apps/").arg(size) + id + QStringLiteral(".png");
        if (QFileInfo::exists(file)) icon.addFile(file, QSize(size, size));
    }
    if (icon.isNull()) icon = QIcon::fromTheme(id);
    QGuiApplication::setWindowIcon(icon);
}

}  // namespace

// Right after the toolkit's application object is made, before any window.
Q_COREAPP_STARTUP_FUNCTION(NameTheWindow)

int main(int argc, char** argv) {
    // Answered before the toolkit starts, so that they work without a display.
    if (const auto text = vantrel::ui::WindowInfoText({argv, argv + argc})) {
        std::cout << *text << std::flush;
        return std::cout ? 0 : 1;
    }
    return vantrel::ui::qt::RunProgram(argc, argv);
}
