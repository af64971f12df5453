#include "app/MaterialMenuQt.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFrame>
#include <QImage>
#include <QMenu>
#include <QPixmap>
#include <QProxyStyle>
#include <string_view>

#include "app/CliJobQt.h"
#include "app/HistoryQt.h"
#include "app/KeyboardQt.h"
#include "app/LayerListQt.h"
#include "app/LiveQt.h"
#include "app/WindowCommandsQt.h"
#include "app/gen.h"
#include "app/widgets/FormKitQt.h"
#include "gen/Recipe.h"
#include "gen/Shortcuts.h"

namespace vorn {

namespace {

std::string ExeDir() {
    return QCoreApplication::applicationDirPath().toStdString();
}

// The menu's icons at PresetIconSize: a thumbnail shows more than a 16 pixel icon would.
class TThumbnailMenuStyle final : public QProxyStyle {
public:
    // A style of its own of the application's kind (a proxy would own the one it is given).
    TThumbnailMenuStyle() : QProxyStyle(QApplication::style()->name()) {}
    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override {
        if (metric == PM_SmallIconSize) return PresetIconSize;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};

} // namespace

TMaterialMenuQt::TMaterialMenuQt(TFOrlu& window, QMenu* menu)
    : QObject(&window), MenuMaterial(menu), m_window(window),
      m_cliPath(QCoreApplication::applicationDirPath() + QStringLiteral("/pallimor-cli")),
      m_thumbnailJob(new TCliJobQt(this)) {
    auto* style = new TThumbnailMenuStyle;
    style->setParent(menu);
    menu->setStyle(style);

    const TPresetFileResult shipped = LoadShippedPresets(ExeDir());
    m_presets = shipped.presets;
    for (std::size_t i = 0; i < m_presets.size(); ++i) {
        const TPreset& preset = m_presets[i];
        QString text = QString::fromStdString(preset.name);
        text.replace(QLatin1Char('-'), QLatin1Char(' '));
        if (!text.isEmpty()) text[0] = text[0].toUpper();
        QAction* action = menu->addAction(text);
        action->setToolTip(QString::fromStdString(preset.description));
        action->setStatusTip(action->toolTip());
        connect(action, &QAction::triggered, this, [this, i] { Choose(i); });
        ActionPresets.push_back(action);
    }
    menu->setToolTipsVisible(true);
    if (!shipped.ok()) menu->addAction(QString::fromStdString(shipped.error))->setEnabled(false);
    menu->addSeparator();

    LayerList = new TLayerListQt(window);
    const auto add = [&](const QString& text, const char* command, auto run) {
        auto* action = new QAction(text, this);
        action->setShortcuts(ShortcutKeys(command));
        action->setShortcutContext(Qt::WindowShortcut);
        window.addAction(action);
        LayerList->addAction(action); // they act from the layer list too
        menu->addAction(action);
        connect(action, &QAction::triggered, this, run);
        return action;
    };
    ActionLayers = add(QStringLiteral("&Layers\u2026"), "Layers", [this] { ShowLayers(); });
    ActionClearLayers = add(QStringLiteral("&Clear Layers"), "Clear Layers", [this] {
        if (m_window.PanelSettings->isEnabled()) m_window.SetLayers({});
    });
    // A change in the list is drawn with Generate, or at once with Live: both act from there.
    LayerList->addActions({window.Commands->ActionGenerate, window.Live->ActionLive});

    connect(menu, &QMenu::aboutToShow, this, [this] { RequestThumbnails(); });
    connect(m_thumbnailJob, &TCliJobQt::Done, this, &TMaterialMenuQt::ThumbnailsDrawn);
    connect(&window, &TFOrlu::LayersChanged, this, [this] { SyncActions(); });
    SyncActions();
}

TMaterialMenuQt::~TMaterialMenuQt() {
    m_thumbnailJob->Stop(); // the thumbnails end with the window
}

bool TMaterialMenuQt::Choose(std::size_t index) {
    if (index >= m_presets.size() || !m_window.Ready()) return false;
    const TPresetSettings chosen =
        PresetSettings(m_presets[index], m_window.Generator().TextureSize, ExeDir());
    if (!chosen.ok()) {
        ShowMessageBox(m_window.Messages(), QString::fromStdString(chosen.error) + QStringLiteral(".  "),
                       QStringLiteral("Error"), TMsgButtons::Ok, TMsgIcon::Critical, &m_window);
        return false;
    }
    // As Randomize: the program's random source goes on from where it stands.
    m_window.MakeTexture([&] {
        m_window.SetControls(chosen.settings);
        m_window.Generator().Generate();
    });
    m_window.History->Record();
    return true;
}

void TMaterialMenuQt::ShowLayers() {
    LayerList->ShowBeside();
}

void TMaterialMenuQt::SyncActions() {
    ActionClearLayers->setEnabled(!m_window.Layers().Empty());
}

bool TMaterialMenuQt::DrawingThumbnails() const {
    return m_thumbnailJob->Running();
}

void TMaterialMenuQt::RequestThumbnails() {
    if (m_thumbnailsAsked || m_presets.empty()) return;
    m_thumbnailsAsked = true;
    if (!m_thumbnailFolder.isValid()) {
        m_thumbnailsDone = true;
        return;
    }
    // One recipe a line, each preset's texture at the thumbnail's size from a fixed seed, with
    // the shipped brushes; a preset that cannot be applied keeps no icon and says why as its hint.
    QByteArray lines;
    for (std::size_t i = 0; i < m_presets.size(); ++i) {
        const TPresetSettings chosen = PresetSettings(m_presets[i], PresetThumbnailSize, ExeDir());
        if (!chosen.ok()) {
            ActionPresets[i]->setToolTip(QString::fromStdString(chosen.error));
            continue;
        }
        const TRecipe recipe = NextRecipe(nullptr, chosen.settings, PresetThumbnailSeed, PresetThumbnailSize,
                                          CanvasColorOfRgb(std::uint32_t(chosen.settings.bgColor)));
        const std::string code = EncodeRecipe(recipe);
        if (code.empty()) continue;
        lines += QByteArray::fromStdString(code) + '\n';
        m_drawnPresets.push_back(int(i));
    }
    m_thumbnailJob->SetProgram(m_cliPath);
    m_thumbnailJob->Start({QStringLiteral("generate"), QStringLiteral("--recipes"), QStringLiteral("-"),
                           QStringLiteral("--folder"), m_thumbnailFolder.path(), QStringLiteral("--name"),
                           QStringLiteral("t{n}"), QStringLiteral("--type"), QStringLiteral("png"),
                           QStringLiteral("--json")},
                          lines);
}

void TMaterialMenuQt::ThumbnailsDrawn(const TCliJobReport& report) {
    m_thumbnailsDone = true;
    // Without the tool the entries stay as they are: a preset is chosen by its name alone.
    if (!report.started) return;
    for (const TCliTexture& texture : ParseGenerateJson(report.output).textures) {
        if (texture.index < 0 || std::size_t(texture.index) >= m_drawnPresets.size() ||
            texture.file.isEmpty())
            continue;
        QImage image;
        if (!image.load(texture.file)) continue;
        const QPixmap pixmap = QPixmap::fromImage(image);
        ActionPresets[std::size_t(m_drawnPresets[std::size_t(texture.index)])]->setIcon(QIcon(pixmap));
    }
    QDir(m_thumbnailFolder.path()).removeRecursively();
}

} // namespace vorn
