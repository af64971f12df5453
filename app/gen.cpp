#include "app/gen.h"

#include <QApplication>
#include <QCloseEvent>
#include <QColorDialog>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QStandardPaths>
#include <QUrl>
#include <algorithm>
#include <chrono>
#include <cstdint>

#include "PallimorVersion.h"
#include "app/HistoryQt.h"
#include "app/KeyboardQt.h"
#include "app/LibraryQt.h"
#include "app/LiveQt.h"
#include "app/MenuBarQt.h"
#include "app/PanelSurfaceQt.h"
#include "app/RandomizeQt.h"
#include "app/WindowCommandsQt.h"
#include "app/dialogs/about.h"
#include "app/dialogs/batch.h"
#include "app/dialogs/progress.h"
#include "app/dialogs/settings.h"
#include "app/widgets/FormKitQt.h"
#include "engine/VornDef.h"
#include "engine/VornTimers.h"
#include "export/ExportFormats.h"
#include "gen/OutputTexture.h"

namespace vorn {

namespace {

constexpr int GroupWidth = 80;
constexpr int GroupHeight = 44;
constexpr int GroupColumns[2] = {8, 92};
constexpr int GroupRowTop = 4;
constexpr int GroupRowStep = 44;
const QRect GroupControlRect(4, 16, 72, 22); // a list, swatch or slider inside its group box
const QSize ClientSize(708, 544);

// What each command button does, as its hint.
struct TButtonHint {
    QPushButton* TFOrlu::*button;
    const char* hint;
};
constexpr TButtonHint ButtonHints[] = {
    {&TFOrlu::ButtonGenerate, "Make a new texture with these settings (F5)"},
    {&TFOrlu::ButtonExport, "Save the texture at the selected size as a BMP, PNG or JPEG file (Ctrl+S)"},
    {&TFOrlu::ButtonBatch, "Make and save a numbered batch of new textures (Ctrl+B)"},
    {&TFOrlu::ButtonPreview, "Show or hide the 3 x 3 tiling pane on the preview (Ctrl+P)"},
    {&TFOrlu::ButtonSettings, "JPEG quality, recipes in files, brushes and maps (Ctrl+,)"},
    {&TFOrlu::ButtonAbout, "The program's version and licence"},
    {&TFOrlu::ButtonExit, "Close the window (Ctrl+Q)"},
};

// The frame loop runs from a zero timer while frames change; after FramesBeforeRest idle steps
// without a new frame it looks only every RestInterval ms, so an idle window costs almost nothing.
constexpr int FramesBeforeRest = 50;
constexpr int RestInterval = 40;
// While a tile is synthesised the surface shows it as drawn so far, about 30 times a second.
constexpr int GrowthInterval = 33;
// The progress bar moves at most this often during a synthesis.
constexpr std::chrono::milliseconds ProgressFrame(16);

const QString PreviewShowCaption = QStringLiteral("Show Preview Pane");
const QString PreviewHideCaption = QStringLiteral("Hide Preview Pane");

// The extension a name typed without one gets: that of the chosen filter, JPEG's for any other.
QString SuffixOfFilter(const QString& filter) {
    const qsizetype index = TFOrlu::SaveFilters.indexOf(filter);
    return QString::fromLatin1(ExportFileTypes[index >= 0 ? index : DefaultExportType].extension);
}

// A canvas colour is 0xAABBGGRR (red in the low byte); QRgb is 0xAARRGGBB.
QColor ColorOfCanvas(TCanvasColor color) {
    return QColor(QRgb(RgbOfCanvasColor(color)));
}

TCanvasColor CanvasOfColor(const QColor& color) {
    return CanvasColorOfRgb(color.rgb() & 0xFFFFFFu);
}

// Said once after start-up when the archive read leaves brushes missing.
QString BrushesMissingText(const TArchiveChoice& archive) {
    return QStringLiteral("Brush archive %1 was read, but its brushes are missing: it holds %2 usable "
                          "images of the %3 needed!  ")
        .arg(QString::fromStdString(archive.path))
        .arg(archive.images)
        .arg(ArchiveImagesNeeded);
}

} // namespace

const QStringList TFOrlu::SaveFilters = ExportFilterList();

TFOrlu::TFOrlu(TArchiveLocator locateArchive, QWidget* parent, sd::Direct3DFactory createDirect3D,
               TMessagePresenter& messages)
    : QWidget(parent), m_locateArchive(std::move(locateArchive)), m_createDirect3D(std::move(createDirect3D)),
      m_messages(messages), m_saveFilter(SaveFilters.value(DefaultExportType)) {
    CreateControls();
    FormCreate();
    Commands = new TWindowCommandsQt(*this);
    History = new THistoryQt(*this);
    Live = new TLiveQt(*this);
    Randomizer = new TRandomizeQt(*this);
    Library = new TLibraryQt(*this);
    AddKeyboardAccess(*this);
    AddMenuBar();
    AddToolTips();
}

TFOrlu::~TFOrlu() {
    FormDestroy();
}

// ---- controls ----

QGroupBox* TFOrlu::AddGroup(const QString& caption, int column, int row) {
    auto* group = new QGroupBox(caption, PanelSettings);
    group->setGeometry(GroupColumns[column], GroupRowTop + row * GroupRowStep, GroupWidth, GroupHeight);
    group->installEventFilter(this);
    return group;
}

QComboBox* TFOrlu::AddCombo(QGroupBox* group, const TGenParam& param) {
    auto* combo = new QComboBox(group);
    for (const char* item : param.items) combo->addItem(QString::fromLatin1(item));
    combo->setCurrentIndex(param.defaultValue);
    combo->setMaxVisibleItems(combo->count());
    combo->setGeometry(GroupControlRect);
    return combo;
}

QSlider* TFOrlu::AddTrack(QGroupBox* group, const TGenParam& param) {
    auto* track = new QSlider(Qt::Horizontal, group);
    track->setRange(param.min, param.max);
    track->setSingleStep(param.lineStep);
    track->setPageStep(param.pageStep);
    track->setTickInterval(param.tickInterval);
    track->setTickPosition(QSlider::TicksBelow);
    track->setValue(param.defaultValue);
    track->setToolTip(QString::number(param.defaultValue));
    track->setGeometry(GroupControlRect.x(), GroupControlRect.y() - 1, GroupControlRect.width(), 26);
    connect(track, &QSlider::valueChanged, this, [this, id = param.id] { TrackChange(id); });
    return track;
}

void TFOrlu::AddSizeControls(QGroupBox* group, const TGenParam& param) {
    LabelSize = new QLabel(QString::number(param.defaultValue), group);
    LabelSize->setGeometry(GroupControlRect.x(), GroupControlRect.y(), 52, GroupControlRect.height());
    LabelSize->setAlignment(Qt::AlignCenter);
    LabelSize->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    LabelSize->setAutoFillBackground(true);
    QPalette palette = LabelSize->palette();
    palette.setColor(QPalette::Window, Qt::white);
    palette.setColor(QPalette::WindowText, Qt::black);
    LabelSize->setPalette(palette);
    // The arrows keep a position of their own (64..512), independent of the size.
    UpDownSize = new TUpDownQt(group);
    UpDownSize->SetRange(64, 512);
    UpDownSize->SetPosition(param.defaultValue);
    UpDownSize->setGeometry(GroupControlRect.x() + 54, GroupControlRect.y(), GroupControlRect.width() - 54,
                            GroupControlRect.height());
    UpDownSize->OnClick = [this](TUpDownQt*, TUDBtnType button) { UpDownSizeClick(button); };
}

void TFOrlu::CreateControls() {
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setWindowTitle(QStringLiteral("Pallimor v%1").arg(QLatin1String(PallimorVersion)));
    setFont(FormFont());
    setFixedSize(ClientSize);
    setAcceptDrops(true);
    Client = new QWidget(this);
    Client->setGeometry(QRect(QPoint(0, 0), ClientSize));

    PanelPreview = MakeLoweredPanel(Client, QRect(4, 4, 516, 516));
    PanelPreview->setLineWidth(2);
    PanelSurface = new TPanelSurfaceQt(PanelPreview);
    PanelSurface->setGeometry(2, 2, 512, 512);
    PanelSurface->OnClick = [this] { ButtonGenerateClick(); };

    PanelSettings = MakeLoweredPanel(Client, QRect(524, 4, 180, 362));

    // Row by row, left column first: this is also the tab order.
    for (const TGenParam& param : GenParams) {
        QGroupBox* group = AddGroup(QString::fromLatin1(param.caption), param.id % 2, param.id / 2);
        m_groups[param.id] = group;
        switch (param.kind) {
        case pkSize:
            AddSizeControls(group, param);
            break;
        case pkColor:
            PanelColor = MakeLoweredPanel(group, GroupControlRect);
            PanelColor->setAutoFillBackground(true);
            PanelColor->setCursor(Qt::PointingHandCursor);
            PanelColor->installEventFilter(this);
            break;
        case pkList:
            m_lists[param.id] = AddCombo(group, param);
            break;
        case pkTrack:
            m_tracks[param.id] = AddTrack(group, param);
            break;
        }
    }
    connect(List(gpImage), &QComboBox::currentIndexChanged, this, [this] { ComboImageChange(); });
    for (QComboBox* list : m_lists) {
        if (list) connect(list, &QComboBox::currentIndexChanged, this, [this] { ControlChanged(); });
    }

    PanelControls = MakeLoweredPanel(Client, QRect(524, 370, 180, 150));
    const auto addButton = [this](const QString& caption, const QRect& place, void (TFOrlu::*click)()) {
        auto* button = new QPushButton(caption, PanelControls);
        button->setGeometry(place);
        connect(button, &QPushButton::clicked, this, [this, click] { (this->*click)(); });
        return button;
    };
    ButtonGenerate =
        addButton(QStringLiteral("Generate"), QRect(8, 8, 164, 24), &TFOrlu::ButtonGenerateClick);
    ButtonExport = addButton(QStringLiteral("Export"), QRect(8, 36, 80, 24), &TFOrlu::ButtonExportClick);
    ButtonBatch = addButton(QStringLiteral("Batch Export"), QRect(92, 36, 80, 24), &TFOrlu::ButtonBatchClick);
    ButtonPreview = addButton(PreviewShowCaption, QRect(8, 64, 164, 24), &TFOrlu::ButtonPreviewClick);
    ButtonSettings =
        addButton(QStringLiteral("Settings"), QRect(8, 92, 164, 24), &TFOrlu::ButtonSettingsClick);
    ButtonAbout = addButton(QStringLiteral("About"), QRect(8, 120, 80, 24), &TFOrlu::ButtonAboutClick);
    ButtonExit = addButton(QStringLiteral("Exit"), QRect(92, 120, 80, 24), &TFOrlu::ButtonExitClick);

    StatusBar = new TStatusBarQt(Client);
    StatusBar->setGeometry(0, 524, 708, 20);
    StatusBar->OnDrawPanel = [this](TStatusBarQt* sender, int panel, const QRect& rect) {
        StatusBarDrawPanel(sender, panel, rect);
    };
    ProgressBar = new QProgressBar(Client);
    ProgressBar->setRange(1, 10);
    ProgressBar->setValue(1);
    ProgressBar->setTextVisible(false);

    ColorDialog = new QColorDialog(this);

    m_idle.setInterval(0);
    connect(&m_idle, &QTimer::timeout, this, [this] { OnIdle(); });
}

void TFOrlu::AddMenuBar() {
    MenuBar = new TMenuBarQt(*this);
    const int height = MenuBar->sizeHint().height();
    MenuBar->setGeometry(0, 0, ClientSize.width(), height);
    Client->move(0, height);
    setFixedSize(ClientSize.width(), ClientSize.height() + height);
}

void TFOrlu::AddToolTips() {
    for (const TButtonHint& hint : ButtonHints)
        (this->*hint.button)->setToolTip(QString::fromLatin1(hint.hint));
    // A list says what its parameter does (the table's help line); the sliders show their value.
    for (const TGenParam& param : GenParams) {
        const QString help = QString::fromLatin1(param.help);
        const QString what = help.left(1).toUpper() + help.mid(1);
        if (m_lists[param.id]) m_lists[param.id]->setToolTip(what);
        if (m_groups[param.id]) m_groups[param.id]->setToolTip(what);
    }
    PanelColor->setToolTip(QStringLiteral("Pick the background colour"));
}

// ---- start-up and shutdown ----

void TFOrlu::FormCreate() {
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive)
            FormActivate();
        else
            FormDeactivate();
    });

    // The progress bar lives in the status bar's panel (StatusBarDrawPanel places it).
    ProgressBar->setParent(StatusBar);
    StatusBar->SetPanelWidths({712});
    ProgressBar->show();

    random::Reseed();
    ComponentsInit();
    SetSwatch(ColorOfCanvas(m_gen->BackgroundColor));

    const TStartupResult result =
        m_locateArchive
            ? m_gen->Startup(PanelSurface, m_locateArchive())
            : m_gen->Startup(PanelSurface,
                             ArchiveCandidates(QCoreApplication::applicationDirPath().toStdString()));
    if (result.failure != TStartupFailure::None) {
        ShowMessageBox(m_messages, QString::fromStdString(StartupFailureText(result)),
                       QString::fromStdString(StartupFailureCaption(result)));
        // Ask the event loop to end once it runs; the windows are still created and shown.
        QMetaObject::invokeMethod(
            qApp, [] { QCoreApplication::exit(1); }, Qt::QueuedConnection);
        return;
    }
    if (!result.archive.Complete()) {
        // Not a start-up failure: the window runs and draws what it has, but says why once it is up.
        QMetaObject::invokeMethod(
            this,
            [this, text = BrushesMissingText(result.archive)] {
                ShowMessageBox(m_messages, text, QStringLiteral("Alert!"));
            },
            Qt::QueuedConnection);
    }
    StartFrames();
}

void TFOrlu::ComponentsInit() {
    m_gen = std::make_unique<TGenerator>(*this, this, m_createDirect3D);
    m_gen->RecordCalls = true; // a size raised past 1024 draws the texture shown at that size
    m_gen->ComponentsInit();
    m_gen->FrameTimer->OnTimer = [this](TVornTimer*) { TimerTimer(); };
    m_gen->FrameTimer->OnProcess = [this](TVornTimer*) { TimerProcess(); };
}

void TFOrlu::FormShow() {
    if (m_gen->StartupIncomplete) return;
    // The first texture is made like a generation, so the commands wait for it.
    SetPanelsEnabled(false);
    m_gen->SetGrowthFrames(GrowthInterval, PanelSurface->FrameScale());
    m_gen->FirstRender();
    SetPanelsEnabled(true);
    History->Record();
    WakeFrames();
}

void TFOrlu::FormActivate() {
    // Nothing is drawn after a failed start-up.
    if (!m_gen || m_gen->StartupIncomplete) return;
    StartFrames();
}

void TFOrlu::FormDeactivate() {
    StopFrames();
}

void TFOrlu::TimerTimer() {
    const int presented = PanelSurface->PresentCount();
    m_gen->TimerTimer();
    // On a high-density screen the device's 512 frame is followed by the tile texel for pixel.
    if (PanelSurface->FrameScale() > 1 && PanelSurface->PresentCount() != presented) m_gen->PresentPreview(2);
}

void TFOrlu::TimerProcess() {}

void TFOrlu::FormDestroy() {
    StopFrames();
    // Disables the frame timer, finalises the device and frees the engine objects while the
    // surface they present to still exists.
    m_gen.reset();
}

void TFOrlu::StartFrames() {
    m_gen->FrameTimer->SetEnabled(true);
    WakeFrames();
}

void TFOrlu::WakeFrames() {
    if (Commands) Commands->SyncTexture();
    m_unchangedFrames = 0;
    m_idle.start(0);
}

void TFOrlu::StopFrames() {
    m_idle.stop();
    if (m_gen && m_gen->FrameTimer) m_gen->FrameTimer->SetEnabled(false);
}

void TFOrlu::OnIdle() {
    // The synthesis pumps messages once per step; a frame step there would sleep inside it.
    if (m_pumping) return;
    if (!m_gen->FrameTimer->Enabled()) {
        m_idle.stop();
        return;
    }
    Commands->SyncTexture(); // also follows the textures a batch makes
    const int presented = PanelSurface->PresentCount();
    m_gen->FrameTimer->Idle();
    if (PanelSurface->PresentCount() != presented) {
        m_unchangedFrames = 0;
        if (m_idle.interval() != 0) m_idle.start(0);
    } else if (++m_unchangedFrames == FramesBeforeRest) {
        // Nothing to show for a while: look less often until something changes again.
        m_idle.start(RestInterval);
    }
}

void TFOrlu::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (m_shown) return;
    m_shown = true;
    // After the window has appeared, so that the first texture's progress can be seen.
    QTimer::singleShot(0, this, [this] { FormShow(); });
}

// ---- hooks of the synthesis ----

void TFOrlu::PumpMessages() {
    // While Live re-makes a texture and the controls move, once a millisecond at most: a step
    // takes tens of microseconds, and handling the window's events (repaints above all) after each
    // one would cost the synthesis several times its own time.
    const auto now = std::chrono::steady_clock::now();
    if (Live && Live->Running() && now - m_lastPump < std::chrono::milliseconds(1)) return;
    m_lastPump = now;
    const bool outer = m_pumping;
    m_pumping = true;
    QCoreApplication::processEvents();
    m_pumping = outer;
}

void TFOrlu::SetProgressMaximum(int max) {
    ProgressBar->setMaximum(std::max(max, ProgressBar->minimum()));
    m_progress = std::min(m_progress, ProgressBar->maximum());
}

void TFOrlu::SetProgressPosition(int position) {
    // A progress bar repaints itself at once whenever its value moves a pixel, which once per step
    // costs as much as the synthesis itself: the bar follows once a frame, and at once when it
    // starts over or reaches its end.
    m_progress = std::clamp(position, ProgressBar->minimum(), ProgressBar->maximum());
    const auto now = std::chrono::steady_clock::now();
    if (m_progress == ProgressBar->minimum() || m_progress == ProgressBar->maximum() ||
        now - m_lastProgressShown >= ProgressFrame) {
        m_lastProgressShown = now;
        ProgressBar->setValue(m_progress);
    }
}

double TFOrlu::ProgressDone() const {
    const int span = ProgressBar->maximum() - ProgressBar->minimum();
    return span > 0 ? double(m_progress - ProgressBar->minimum()) / span : 0.0;
}

bool TFOrlu::StopRequested() {
    return Live && Live->StopRequested();
}

void TFOrlu::ControlChanged() {
    if (Live) Live->Changed();
}

// ---- settings source ----

int TFOrlu::Value(TGenParamId id) const {
    switch (GenParam(id).kind) {
    case pkSize:
        return m_gen->TextureSize;
    case pkColor:
        return static_cast<int>(RgbOfCanvasColor(m_gen->BackgroundColor));
    case pkList:
        return m_lists[id]->currentIndex();
    case pkTrack:
        break;
    }
    return m_tracks[id]->value();
}

// ---- commands ----

void TFOrlu::SetPanelsEnabled(bool enabled) {
    if (!enabled && PanelControls->isEnabled()) {
        // Disabling moves the focus away: it comes back to the same control afterwards.
        QWidget* focus = QApplication::focusWidget();
        const bool inPanels =
            focus && (PanelSettings->isAncestorOf(focus) || PanelControls->isAncestorOf(focus));
        m_focusBeforeDrawing = inPanels ? focus : nullptr;
    }
    PanelSettings->setEnabled(enabled);
    PanelControls->setEnabled(enabled);
    if (enabled && m_focusBeforeDrawing) {
        if (m_focusBeforeDrawing->isEnabled() && m_focusBeforeDrawing->isVisible())
            m_focusBeforeDrawing->setFocus(Qt::OtherFocusReason);
        m_focusBeforeDrawing = nullptr;
    }
}

void TFOrlu::ButtonGenerateClick() {
    // A click on the surface while a texture or a batch is being made is refused.
    if (m_gen->StartupIncomplete || m_gen->Generating() || !PanelControls->isEnabled()) return;
    History->Record(); // a Live texture not yet in the history goes first
    SetPanelsEnabled(false);
    m_gen->SetGrowthFrames(GrowthInterval, PanelSurface->FrameScale());
    m_gen->Generate();
    SetPanelsEnabled(true);
    History->Record();
    WakeFrames();
}

bool TFOrlu::Ready() const {
    return !m_gen->StartupIncomplete && !m_gen->Generating() && !m_gen->BatchRunning && !m_batchActive &&
           PanelControls->isEnabled();
}

bool TFOrlu::MakeTexture(const std::function<void()>& make) {
    if (!Ready()) return false;
    History->Record(); // a Live texture not yet in the history goes first
    SetPanelsEnabled(false);
    m_gen->SetGrowthFrames(GrowthInterval, PanelSurface->FrameScale());
    make();
    SetPanelsEnabled(true);
    WakeFrames();
    return true;
}

void TFOrlu::TextureShown() {
    WakeFrames();
}

TGenSettings TFOrlu::Controls() const {
    TGenSettings values;
    for (const TGenParam& param : GenParams) values.SetValue(param.id, Value(param.id));
    return values;
}

void TFOrlu::SetControls(const TGenSettingsSource& values) {
    for (const TGenParam& param : GenParams) {
        const int value = ClampedValue(values, param.id);
        if (m_lists[param.id]) m_lists[param.id]->setCurrentIndex(value);
        if (m_tracks[param.id]) m_tracks[param.id]->setValue(value);
    }
    m_gen->TextureSize = values.Value(gpSize);
    ShowSize();
    m_gen->BackgroundColor = CanvasColorOfRgb(static_cast<std::uint32_t>(values.Value(gpBGColor)));
    SetSwatch(ColorOfCanvas(m_gen->BackgroundColor));
}

QColor TFOrlu::SwatchColor() const {
    return PanelColor->palette().color(QPalette::Window);
}

void TFOrlu::SetSwatch(const QColor& color) {
    QPalette palette = PanelColor->palette();
    palette.setColor(QPalette::Window, color);
    PanelColor->setPalette(palette);
}

void TFOrlu::PanelColorClick() {
    if (!Ready()) return; // while a texture or a batch is made
    // Opens on the current colour; Cancel keeps it.
    ColorDialog->setCurrentColor(SwatchColor());
    if (ColorDialog->exec() != QDialog::Accepted) return;
    const QColor picked = ColorDialog->selectedColor();
    if (!picked.isValid()) return;
    SetSwatch(picked);
    m_gen->BackgroundColor = CanvasOfColor(picked);
    ControlChanged();
}

void TFOrlu::ComboImageChange() {
    // "Keep" draws over the previous tile, so there is no background to choose.
    const bool clear = List(gpImage)->currentIndex() == 0;
    List(gpBGFill)->setEnabled(clear);
    List(gpBGForm)->setEnabled(clear);
}

void TFOrlu::ButtonPreviewClick() {
    m_gen->PreviewPaneVisible = !m_gen->PreviewPaneVisible;
    ButtonPreview->setText(m_gen->PreviewPaneVisible ? PreviewHideCaption : PreviewShowCaption);
    m_gen->MarkDirty();
    WakeFrames();
}

void TFOrlu::ButtonExportClick() {
    if (!Ready()) return; // the button stays enabled while Live re-makes a texture
    // A fresh dialog each time starts with an empty file name; the filter and folder carry over.
    QFileDialog SaveDialog(this);
    SaveDialog.setAcceptMode(QFileDialog::AcceptSave);
    SaveDialog.setFileMode(QFileDialog::AnyFile);
    SaveDialog.setOption(QFileDialog::DontConfirmOverwrite);
    SaveDialog.setNameFilters(SaveFilters);
    SaveDialog.selectNameFilter(m_saveFilter);
    if (!m_saveDirectory.isEmpty()) SaveDialog.setDirectory(m_saveDirectory);
    if (FVornS) FVornS->OfferMaps(SaveDialog);

    const bool accepted = SaveDialog.exec() == QDialog::Accepted;
    m_saveFilter = SaveDialog.selectedNameFilter();
    m_saveDirectory = SaveDialog.directory().absolutePath();
    QString fileName = accepted ? SaveDialog.selectedFiles().value(0) : QString();
    if (fileName.isEmpty()) return;
    // A name typed without the extension of a type written here ("tex4", "tex4.gif") gets the one
    // of the chosen filter ("jpg" at first), so the name says what the file holds.
    if (!ExportFileTypeOfFile(QFileInfo(fileName).suffix().toStdString()))
        fileName += QLatin1Char('.') + SuffixOfFilter(m_saveFilter);

    const std::string recipe = EmbedRecipe() ? History->RecipeText().toStdString() : std::string();
    const TExportResult result =
        ExportOutputTexture(*m_gen, fileName.toStdString(), JpegQuality(), SystemFileWriter(), smReplace,
                            FVornS ? FVornS->MapOptions() : TMapOptions(), recipe);
    if (!result.ok)
        ShowMessageBox(m_messages, QString::fromStdString(result.error), QStringLiteral("Pallimor"),
                       TMsgButtons::Ok, TMsgIcon::Critical, this);
}

int TFOrlu::JpegQuality() const {
    return FVornS ? FVornS->Quality : DefaultJpegQuality;
}

bool TFOrlu::UseBrushes(const QString& archivePath, bool quiet) {
    if (!Ready()) return false;
    const TArchiveChoice choice = m_gen->LoadBrushes(QFile::encodeName(archivePath).toStdString());
    if (choice.Complete()) return true;
    if (!quiet)
        ShowMessageBox(m_messages,
                       QString::fromStdString(IncompleteArchiveText(choice)) + QStringLiteral(".  "),
                       QStringLiteral("Error"), TMsgButtons::Ok, TMsgIcon::Critical, this);
    return false;
}

bool TFOrlu::EmbedRecipe() const {
    return FVornS && FVornS->EmbedRecipe;
}

void TFOrlu::ButtonBatchClick() {
    if (!FVornBE || !FVornBP || m_batchActive || (Live && Live->Running())) return;
    History->Record(); // a Live texture not yet in the history goes first
    const TFlagScope active(m_batchActive);
    TBatchWindow window;
    window.owner = this;
    window.generator = m_gen.get();
    window.panelSettings = PanelSettings;
    window.panelControls = PanelControls;
    window.progressBar = ProgressBar;
    window.batchDialog = FVornBE;
    window.progressWindow = FVornBP;
    window.jpegQuality = JpegQuality();
    if (EmbedRecipe()) window.recipe = [this] { return History->RecipeText().toStdString(); };
    window.settings = FVornS;
    RunBatchExport(window);
    History->Record(); // the texture the batch ended with
}

// A dialog already open (its own event loop runs) is not opened a second time.
void TFOrlu::ButtonSettingsClick() {
    if (FVornS && !FVornS->isVisible()) FVornS->exec();
}

void TFOrlu::ButtonAboutClick() {
    if (FVornA && !FVornA->isVisible()) FVornA->exec();
}

void TFOrlu::ButtonExitClick() {
    close();
}

void TFOrlu::FormKeyDown(int key, Qt::KeyboardModifiers) {
    if (key != Qt::Key_Escape) return;
    // During a batch Escape only asks it to stop, also when it was asked once already and the
    // batch has not reached its question yet.
    if (m_gen->BatchRunning || m_batchActive) {
        m_gen->BatchRunning = false;
        return;
    }
    close();
}

void TFOrlu::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        FormKeyDown(event->key(), event->modifiers());
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

namespace {

// The first local file among the dropped items; empty when there is none.
QString DroppedFile(const QMimeData* data) {
    if (!data || !data->hasUrls()) return {};
    for (const QUrl& url : data->urls())
        if (url.isLocalFile()) return url.toLocalFile();
    return {};
}

} // namespace

void TFOrlu::dragEnterEvent(QDragEnterEvent* event) {
    if (!DroppedFile(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void TFOrlu::dropEvent(QDropEvent* event) {
    const QString file = DroppedFile(event->mimeData());
    if (file.isEmpty()) return;
    event->acceptProposedAction();
    History->OpenRecipeFile(file);
}

void TFOrlu::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    // Closing the main window ends the program, whatever other windows are open.
    if (event->isAccepted()) QCoreApplication::quit();
}

void TFOrlu::StatusBarDrawPanel(TStatusBarQt*, int panel, const QRect& rect) {
    if (panel != 0) return;
    ProgressBar->setGeometry(rect.left() + 2, rect.top() + 2, rect.width() - 4, rect.height() - 4);
}

void TFOrlu::UpDownSizeClick(TUDBtnType button) {
    // While Live re-makes a texture the arrows wait for it to stop.
    if (m_gen->Generating()) {
        if (Live) Live->DeferSizeClick(button);
        return;
    }
    const auto change = [this, button] {
        if (button == btNext)
            m_gen->SizeUp();
        else
            m_gen->SizeDown();
        // A tile taken back from the history is drawn again from its recipe at a large size.
        History->History().RedrawLarge(*m_gen);
    };
    // A large size takes a moment to draw: the panels wait for it as for a new texture.
    const int next = button == btNext ? m_gen->TextureSize * 2 : m_gen->TextureSize / 2;
    if (IsLargeSize(next) || IsLargeSize(m_gen->TextureSize))
        MakeTexture(change);
    else
        change();
    ShowSize();
    WakeFrames();
    ControlChanged();
}

void TFOrlu::ShowSize() {
    const int size = m_gen->TextureSize;
    LabelSize->setText(QString::number(size));
    // The arrows stop only at the ends of the range of sizes: their position follows the size
    // shown, not the clicks counted since the start.
    const TGenParam& param = GenParam(gpSize);
    const int middle = (UpDownSize->Min() + UpDownSize->Max()) / 2;
    UpDownSize->SetPosition(size <= param.min   ? UpDownSize->Min()
                            : size >= param.max ? UpDownSize->Max()
                                                : middle);
}

// ---- slider groups ----

void TFOrlu::GroupReset(QObject* group, TResetGesture gesture) {
    for (const TGenParam& param : GenParams) {
        if (m_groups[param.id] == group && param.reset == gesture && m_tracks[param.id]) ResetTrack(param.id);
    }
}

void TFOrlu::ShowPosition(QSlider* track) {
    track->setToolTip(QString::number(track->value()));
}

void TFOrlu::ResetTrack(TGenParamId id) {
    m_tracks[id]->setValue(GenParam(id).defaultValue);
}

void TFOrlu::TrackChange(TGenParamId id) {
    ShowPosition(m_tracks[id]);
    ControlChanged();
}

bool TFOrlu::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonRelease && type != QEvent::MouseButtonDblClick) return false;
    const auto* mouse = static_cast<QMouseEvent*>(event);
    const auto* widget = qobject_cast<QWidget*>(watched);
    if (mouse->button() != Qt::LeftButton || !widget || !widget->rect().contains(mouse->position().toPoint()))
        return false;
    // A disabled control (every one while a texture is made) still receives the mouse here: it
    // must not reset a slider or change the colour the synthesis has already read.
    if (!widget->isEnabled()) return false;

    // Ctrl+click on a group locks its parameter for Randomize (and resets nothing).
    if (mouse->modifiers().testFlag(Qt::ControlModifier) && Randomizer) {
        const int id = Randomizer->LockableOfGroup(watched);
        if (id >= 0) {
            if (type == QEvent::MouseButtonRelease)
                Randomizer->SetLocked(TGenParamId(id), !Randomizer->Locked(TGenParamId(id)));
            return true;
        }
    }

    if (type == QEvent::MouseButtonRelease) {
        if (watched == PanelColor) PanelColorClick();
        GroupReset(watched, rgClick);
        return false;
    }
    GroupReset(watched, rgDoubleClick);
    return false;
}

// ---- program entry ----

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
    if (!FVornS.BrushesPath.isEmpty()) FOrlu.UseBrushes(FVornS.BrushesPath);
    FOrlu.FVornA = &FVornA;
    FOrlu.Library->SetDataFolder(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
    CenterOnScreen(&FOrlu);
    FOrlu.show();
    // The dialogs go first (the settings are written then), the main window last.
    return QApplication::exec();
}

} // namespace vorn
