#include "app/ProgramQt.h"

#include <QApplication>
#include <QFileInfo>
#include <QStandardPaths>

#include "app/LibraryQt.h"
#include "app/dialogs/about.h"
#include "app/dialogs/batch.h"
#include "app/dialogs/progress.h"
#include "app/dialogs/settings.h"

namespace vorn {

void UseRememberedBrushes(TFOrlu& window, TFVornS& settings) {
    const QString path = settings.BrushesPath;
    if (path.isEmpty()) return;
    if (QFileInfo(path).isFile()) {
        window.UseBrushes(path);
        return;
    }
    settings.ForgetBrushes();
    // Once the window is up, as the other start-up notes.
    QMetaObject::invokeMethod(
        &window,
        [&window, path] {
            ShowMessageBox(window.Messages(),
                           QStringLiteral("The brush archive %1 chosen in Settings is gone; the default "
                                          "brushes are used.  ")
                               .arg(path),
                           QStringLiteral("Alert!"), TMsgButtons::Ok, TMsgIcon::Warning, &window);
        },
        Qt::QueuedConnection);
}

int RunProgram(TArchiveLocator locateArchive, TMessagePresenter& messages) {
    TFOrlu FOrlu(std::move(locateArchive), nullptr, {}, messages); // FormCreate runs here
    TFVornBE FVornBE(&FOrlu, nullptr, messages);
    TFVornBP FVornBP(&FOrlu);
    TFVornS FVornS(&FOrlu, messages); // loads the JPEG quality
    TFVornA FVornA(&FOrlu);
    FOrlu.FVornBE = &FVornBE;
    FOrlu.FVornBP = &FVornBP;
    FOrlu.FVornS = &FVornS;
    FVornS.OnBrushes = [&FOrlu](const QString& path) { return FOrlu.UseBrushes(path); };
    // The brush set chosen in an earlier run draws the first texture already.
    if (!FOrlu.Generator().StartupIncomplete) UseRememberedBrushes(FOrlu, FVornS);
    FOrlu.FVornA = &FVornA;
    FOrlu.Library->SetDataFolder(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
    CenterOnScreen(&FOrlu);
    FOrlu.show();
    // The dialogs go first (the settings are written then), the main window last.
    return QApplication::exec();
}

} // namespace vorn
