#include "app/WindowCommandsQt.h"

#include <QAction>
#include <QClipboard>
#include <QFrame>
#include <QGuiApplication>
#include <QImage>
#include <QMenu>
#include <cstring>

#include "app/BitmapImageQt.h"
#include "app/HistoryQt.h"
#include "app/KeyboardQt.h"
#include "app/LiveQt.h"
#include "app/MaterialViewQt.h"
#include "app/PanelSurfaceQt.h"
#include "app/TiledViewQt.h"
#include "app/gen.h"
#include "gen/OutputTexture.h"

namespace vorn {

TWindowCommandsQt::TWindowCommandsQt(TFOrlu& window)
    : QObject(&window), m_window(window), m_menu(new QMenu(&window)) {
    ActionGenerate = AddAction(QStringLiteral("Generate"), &TWindowCommandsQt::Generate);
    ActionGenerate->setShortcuts({QKeySequence(Qt::Key_F5), QKeySequence(Qt::CTRL | Qt::Key_G)});
    ActionCopyImage = AddAction(QStringLiteral("Copy Image"), &TWindowCommandsQt::Copy);
    ActionCopyImage->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    ActionExport = AddAction(QStringLiteral("Export..."), &TWindowCommandsQt::Export);
    ActionExport->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    ActionBatch = AddAction(QStringLiteral("Batch Export..."), &TWindowCommandsQt::Batch);
    ActionBatch->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_B));
    ActionTiledView = AddAction(QStringLiteral("Tiled View"), &TWindowCommandsQt::ShowTiledView);
    ActionTiledView->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    ActionMaterialView = AddAction(QStringLiteral("Material View"), &TWindowCommandsQt::ShowMaterialView);
    ActionMaterialView->setShortcuts(ShortcutKeys("Material View"));
    // The Menu key (and Shift+F10) opens the surface's menu wherever the focus is.
    QAction* menuKey = AddAction(QStringLiteral("Menu"), &TWindowCommandsQt::OpenMenuByKey);
    menuKey->setShortcuts({QKeySequence(Qt::Key_Menu), QKeySequence(Qt::SHIFT | Qt::Key_F10)});

    m_window.PanelSurface->OnContextMenu = [this](const QPoint& globalPos) { PopupSurfaceMenu(globalPos); };
}

TWindowCommandsQt::~TWindowCommandsQt() = default;

QAction* TWindowCommandsQt::AddAction(const QString& text, void (TWindowCommandsQt::*run)()) {
    auto* action = new QAction(text, this);
    // Window-wide: the shortcut acts whichever child of the window has the focus.
    action->setShortcutContext(Qt::WindowShortcut);
    connect(action, &QAction::triggered, this, [this, run] { (this->*run)(); });
    m_window.addAction(action);
    return action;
}

QString TWindowCommandsQt::SeedText(std::uint32_t seed) {
    return QStringLiteral("Seed ") + QStringLiteral("%1").arg(seed, 8, 16, QLatin1Char('0')).toUpper();
}

bool TWindowCommandsQt::Ready() const {
    return m_window.Ready();
}

void TWindowCommandsQt::Generate() {
    m_window.ButtonGenerateClick(); // refuses by itself while a texture or a batch is being made
}

void TWindowCommandsQt::Export() {
    if (Ready()) m_window.ButtonExportClick();
}

void TWindowCommandsQt::Batch() {
    if (Ready()) m_window.ButtonBatchClick();
}

void TWindowCommandsQt::Copy() {
    CopyImage();
}

QImage TWindowCommandsQt::OutputImage() const {
    TGenerator& gen = m_window.Generator();
    if (gen.StartupIncomplete) return {};
    TBitmap32 bitmap;
    if (!ReadOutputTexture(gen, bitmap)) return {};
    return ImageOfBitmap(std::move(bitmap), QImage::Format_ARGB32); // 64 MiB at 4096: not copied
}

bool TWindowCommandsQt::CopyImage() {
    if (!Ready()) return false;
    // Never the output of an earlier texture in place of one Live has yet to draw at its size.
    if (m_window.Live && !m_window.Live->FinishLarge()) return false;
    QImage image = OutputImage();
    if (image.isNull()) return false;
    // The picture every exported file holds: opaque, the tile's alpha left out.
    image.reinterpretAsFormat(QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) row[x] |= 0xFF000000u;
    }
    QGuiApplication::clipboard()->setImage(image);
    return true;
}

TTiledViewQt* TWindowCommandsQt::TiledView() const {
    return m_tiledView;
}

void TWindowCommandsQt::ShowTiledView() {
    if (!m_tiledView) {
        m_tiledView = new TTiledViewQt(&m_window);
        // The commands act from the Tiled View as well.
        m_tiledView->addActions({ActionGenerate, ActionCopyImage, ActionExport, ActionBatch, ActionTiledView,
                                 ActionMaterialView});
        if (THistoryQt* history = m_window.History) {
            m_tiledView->addActions({history->ActionBack, history->ActionForward, history->ActionCopyRecipe,
                                     history->ActionPasteRecipe});
        }
    }
    if (m_window.Live) m_window.Live->FinishLarge();
    if (!m_tiledView->isVisible()) m_tiledView->SetTexture(OutputImage(), m_window.Generator().TileAxes());
    m_tiledView->show();
    m_tiledView->raise();
    m_tiledView->activateWindow();
}

TMaterialViewQt* TWindowCommandsQt::MaterialView() const {
    return m_materialView;
}

void TWindowCommandsQt::ShowMaterialView() {
    if (!m_materialView) {
        m_materialView = new TMaterialViewQt(&m_window);
        // The commands act from the Material View as well.
        m_materialView->addActions({ActionGenerate, ActionCopyImage, ActionExport, ActionBatch,
                                    ActionTiledView, ActionMaterialView});
        if (THistoryQt* history = m_window.History) {
            m_materialView->addActions({history->ActionBack, history->ActionForward,
                                        history->ActionCopyRecipe, history->ActionPasteRecipe});
        }
    }
    if (m_window.Live) m_window.Live->FinishLarge();
    if (!m_materialView->isVisible()) FeedMaterialView();
    m_materialView->show();
    m_materialView->raise();
    m_materialView->activateWindow();
}

void TWindowCommandsQt::FeedMaterialView() {
    TGenerator& gen = m_window.Generator();
    TBitmap32 texture;
    if (gen.StartupIncomplete || !ReadOutputTexture(gen, texture)) return;
    // A texture of layers is lit with its own relief, as its exported maps are made.
    m_materialView->SetTexture(std::move(texture), gen.TileAxes(), gen.Relief());
}

void TWindowCommandsQt::BuildSurfaceMenu() {
    m_menu->clear();
    QAction* seed = m_menu->addAction(SeedText(m_window.Generator().TextureSeed()));
    seed->setEnabled(false);
    m_menu->addSeparator();

    // Entries of their own, so that disabling one while a texture is being made leaves the
    // window's shortcuts alone; each shows the shortcut of its command.
    const bool ready = Ready();
    const auto addEntry = [this](QAction* command, bool enabled) {
        QAction* entry = m_menu->addAction(command->text());
        entry->setShortcut(command->shortcut());
        entry->setShortcutContext(Qt::WidgetShortcut);
        entry->setEnabled(enabled);
        connect(entry, &QAction::triggered, command, &QAction::trigger);
    };
    // The texture history and the recipes, as one section above the commands.
    if (THistoryQt* history = m_window.History) {
        addEntry(history->ActionBack, ready && history->History().At(-1));
        addEntry(history->ActionForward, ready && history->History().At(1));
        addEntry(history->ActionCopyRecipe, ready);
        addEntry(history->ActionPasteRecipe, ready);
        m_menu->addSeparator();
    }
    addEntry(ActionGenerate, ready);
    addEntry(ActionCopyImage, ready);
    m_menu->addSeparator();
    addEntry(ActionExport, ready);
    addEntry(ActionBatch, ready);
    m_menu->addSeparator();
    addEntry(ActionTiledView, true);
}

void TWindowCommandsQt::PopupSurfaceMenu(const QPoint& globalPos) {
    BuildSurfaceMenu();
    m_menu->popup(globalPos);
}

void TWindowCommandsQt::OpenMenuByKey() {
    TPanelSurfaceQt* surface = m_window.PanelSurface;
    PopupSurfaceMenu(surface->mapToGlobal(surface->rect().center()));
}

void TWindowCommandsQt::SyncTexture() {
    TGenerator& gen = m_window.Generator();
    if (gen.StartupIncomplete || gen.OutputSerial() == m_syncedSerial) return;
    m_syncedSerial = gen.OutputSerial();
    m_window.PanelSurface->setToolTip(SeedText(gen.TextureSeed()));
    // A large output Live has yet to draw: the views follow once it is drawn.
    if (gen.LargePending()) return;
    if (m_tiledView && m_tiledView->isVisible())
        m_tiledView->SetTexture(OutputImage(), m_window.Generator().TileAxes());
    if (m_materialView && m_materialView->isVisible()) FeedMaterialView();
}

} // namespace vorn
