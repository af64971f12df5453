#include "app/ClosingQt.h"

#include <QSettings>
#include <QString>

#include "app/ExportQt.h"
#include "app/HistoryQt.h"
#include "app/LibraryQt.h"
#include "app/dialogs/settings.h"
#include "app/gen.h"
#include "app/widgets/FormKitQt.h"

namespace vorn {

bool ConfirmClose(TFOrlu& window) {
    window.Export().FinishSaving(); // a large texture's file is written whole before anything else
    if (window.Library && !window.Library->ConfirmStopExport()) return false;
    if (!window.History) return true;
    if (window.Ready()) window.History->Record(); // a Live texture counts as well
    const std::size_t textures = window.History->History().Count();
    if (!window.History->UserTexturesMade()) return true;

    QSettings store = SettingsStore();
    const QString key = QString::fromLatin1(AskBeforeClosingKey);
    if (!store.value(key, true).toBool()) return true;
    bool dontAsk = false;
    TMessageRequest question;
    question.text = QStringLiteral("Close Pallimor? The %1 textures of this session's history are lost "
                                   "(favourites are kept).")
                        .arg(textures);
    question.caption = QStringLiteral("Pallimor");
    question.buttons = TMsgButtons::YesNo;
    question.icon = TMsgIcon::Question;
    question.checkBox = QStringLiteral("Don't ask again");
    question.checked = &dontAsk;
    if (window.Messages().Show(question, &window) != TMsgResult::Yes) return false;
    // Only a Yes is remembered: a user who stays has not decided to lose the history.
    if (dontAsk) {
        store.setValue(key, false);
        store.sync();
    }
    return true;
}

} // namespace vorn
