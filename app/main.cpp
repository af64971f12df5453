// Program entry of the window application: answers --version and --help without a window,
// otherwise the application object, its name and icon, then the windows and the event loop
// (RunProgram). Any other arguments are left to Qt.
#include <QApplication>
#include <QIcon>

#include <cstdio>
#include <cstring>

#include "PallimorVersion.h"
#include "app/ProgramQt.h"
#include "gen/ProgramHelp.h"

namespace {

void PrintUsage() {
    std::fputs("usage: pallimor [--help | --version]\n"
               "Opens the Pallimor window, which generates seamlessly repeating textures.\n"
               "pallimor-cli makes the same textures without a window (pallimor-cli --help).\n",
               stdout);
    for (const vorn::TCommandHelp& option : vorn::ProgramOptions)
        std::printf("  %-11s%s\n", option.name, option.help);
}

} // namespace

int main(int argc, char** argv) {
    // Answered before the application object exists, so they need no display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("pallimor %s\n", vorn::PallimorVersion);
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            PrintUsage();
            return 0;
        }
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pallimor"));
    QGuiApplication::setDesktopFileName(QStringLiteral("org.pallimor.Pallimor"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("pallimor")));
    return vorn::RunProgram();
}
