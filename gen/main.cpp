// Program entry of the window application: the application object, its name and icon, then
// the windows and the event loop (RunProgram). No command-line arguments are read.
#include <QApplication>
#include <QIcon>

#include "gen/gen.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pallimor"));
    QGuiApplication::setDesktopFileName(QStringLiteral("pallimor"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("pallimor")));
    return vorn::RunProgram();
}
