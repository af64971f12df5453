#include "app/MenuBarQt.h"

#include <QAction>
#include <QCoreApplication>
#include <QKeySequence>
#include <QMenu>
#include <QPushButton>

#include "app/HistoryQt.h"
#include "app/KeyboardQt.h"
#include "app/LibraryQt.h"
#include "app/LiveQt.h"
#include "app/MaterialMenuQt.h"
#include "app/PaletteMenuQt.h"
#include "app/RandomizeQt.h"
#include "app/TilingMenuQt.h"
#include "app/WindowCommandsQt.h"
#include "app/gen.h"
#include "app/widgets/FormKitQt.h"
#include "gen/Shortcuts.h"

namespace vorn {

TMenuBarQt::TMenuBarQt(TFOrlu& window) : QMenuBar(&window), m_window(window) {
    setFont(window.font());
    TWindowCommandsQt& commands = *window.Commands;
    THistoryQt& history = *window.History;

    MenuFile = addMenu(QStringLiteral("&File"));
    MenuFile->addAction(commands.ActionExport);
    MenuFile->addAction(commands.ActionBatch);
    MenuFile->addSeparator();
    MenuFile->addAction(history.ActionOpenRecipe);
    MenuFile->addSeparator();
    ActionQuit = AddAction(MenuFile, QStringLiteral("&Quit"), nullptr);
    connect(ActionQuit, &QAction::triggered, &window, &QWidget::close);

    MenuEdit = addMenu(QStringLiteral("&Edit"));
    MenuEdit->addAction(commands.ActionCopyImage);
    MenuEdit->addAction(history.ActionCopyRecipe);
    MenuEdit->addAction(history.ActionPasteRecipe);
    MenuEdit->addSeparator();
    ActionSettings = AddAction(MenuEdit, QStringLiteral("&Settings\u2026"), nullptr);
    connect(ActionSettings, &QAction::triggered, &window, [&window] { window.ButtonSettingsClick(); });

    MenuTexture = addMenu(QStringLiteral("&Texture"));
    MenuTexture->addAction(commands.ActionGenerate);
    MenuTexture->addAction(window.Randomizer->ActionRandomize);
    MenuTexture->addSeparator();
    MenuTexture->addAction(history.ActionBack);
    MenuTexture->addAction(history.ActionForward);
    MenuTexture->addAction(window.Library->ActionAddFavourite);
    MenuTexture->addSeparator();
    MenuTexture->addAction(window.Live->ActionLive);

    MenuMaterial = addMenu(QStringLiteral("&Material"));
    Material = new TMaterialMenuQt(window, MenuMaterial);

    MenuView = addMenu(QStringLiteral("&View"));
    MenuView->addAction(commands.ActionTiledView);
    MenuView->addAction(commands.ActionMaterialView);
    ActionPreviewPane = AddAction(MenuView, QStringLiteral("&Preview Pane"), nullptr, true);
    MenuView->addAction(window.Library->ActionLibrary);
    Tiling = new TTilingMenuQt(window, MenuTexture, MenuView);
    const TPaletteFileResult shipped =
        LoadShippedPalettes(QCoreApplication::applicationDirPath().toStdString());
    Palette = new TPaletteMenuQt(window, MenuTexture, this, shipped.palettes,
                                 shipped.ok() ? QString() : QString::fromStdString(shipped.error));
    connect(ActionPreviewPane, &QAction::triggered, this, [this] {
        m_window.ButtonPreviewClick();
        SyncChecks();
    });
    // The button toggles the pane as well; its handler runs first (connected first).
    connect(window.ButtonPreview, &QPushButton::clicked, this, [this] { SyncChecks(); });

    MenuHelp = addMenu(QStringLiteral("&Help"));
    ActionShortcuts = AddAction(MenuHelp, QStringLiteral("&Keyboard Shortcuts"), &TMenuBarQt::ShowShortcuts);
    ActionAbout = AddAction(MenuHelp, QStringLiteral("&About"), nullptr);
    connect(ActionAbout, &QAction::triggered, &window, [&window] { window.ButtonAboutClick(); });
    SyncChecks();
}

TMenuBarQt::~TMenuBarQt() = default;

QAction* TMenuBarQt::AddAction(QMenu* menu, const QString& text, void (TMenuBarQt::*run)(), bool checkable) {
    QString plain = text;
    plain.remove(QLatin1Char('&')).remove(QChar(0x2026));
    QAction* action = AddWindowCommand(m_window, this, text, plain.toLatin1().constData());
    action->setCheckable(checkable);
    if (run) connect(action, &QAction::triggered, this, [this, run] { (this->*run)(); });
    menu->addAction(action);
    return action;
}

QString TMenuBarQt::ShortcutsText() {
    // A table, so that the keys and the commands stand in two aligned columns whatever the font.
    QString text = QStringLiteral("<table cellspacing=\"0\" cellpadding=\"1\">");
    QString group;
    const auto addRow = [&](const QString& title, const char* keysText, const char* command) {
        if (title != group) {
            group = title;
            text += QStringLiteral("<tr><td colspan=\"2\"><b>%1</b></td></tr>").arg(title.toHtmlEscaped());
        }
        QString keys = QString::fromLatin1(keysText);
        keys.replace(QStringLiteral("; "), QStringLiteral(" or "));
        text += QStringLiteral("<tr><td>%1&nbsp;&nbsp;&nbsp;&nbsp;</td><td>%2</td></tr>")
                    .arg(keys.toHtmlEscaped(), QString::fromLatin1(command).toHtmlEscaped());
    };
    for (const TShortcut& shortcut : Shortcuts) {
        if (!*shortcut.keys) continue;
        const QString title = *shortcut.window
                                  ? QStringLiteral("In the %1").arg(QLatin1String(shortcut.window))
                              : *shortcut.menu ? QString::fromLatin1(shortcut.menu)
                                               : QStringLiteral("Elsewhere");
        addRow(title, shortcut.keys, shortcut.command);
    }
    return text + QStringLiteral("</table>");
}

void TMenuBarQt::ShowShortcuts() {
    ShowMessageBox(m_window.Messages(), ShortcutsText(), QStringLiteral("Keyboard Shortcuts"),
                   TMsgButtons::Ok, TMsgIcon::Information, &m_window);
}

void TMenuBarQt::SyncChecks() {
    ActionPreviewPane->setChecked(m_window.Generator().PreviewPaneVisible);
}

} // namespace vorn
