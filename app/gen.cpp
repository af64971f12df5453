#include "app/gen.h"

#include <QApplication>
#include <QCloseEvent>
#include <QColorDialog>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <chrono>
#include <cstdint>

#include "PallimorVersion.h"
#include "app/ClosingQt.h"
#include "app/ExportQt.h"
#include "app/FrameLoopQt.h"
#include "app/HistoryQt.h"
#include "app/KeyboardQt.h"
#include "app/LibraryQt.h"
#include "app/LiveQt.h"
#include "app/MenuBarQt.h"
#include "app/PanelSurfaceQt.h"
#include "app/RandomizeQt.h"
#include "app/StatusQt.h"
#include "app/WindowCommandsQt.h"
#include "app/dialogs/about.h"
#include "app/dialogs/batch.h"
#include "app/dialogs/progress.h"
#include "app/dialogs/settings.h"
#include "app/widgets/FormKitQt.h"
#include "engine/VornCanvas.h"
#include "engine/VornDef.h"
#include "engine/VornTimers.h"
#include "gen/Producer.h"

namespace vorn {

namespace {

constexpr int GroupWidth = 80;
constexpr int GroupHeight = 44;
constexpr int GroupColumns[2] = {8, 92};
constexpr int GroupRowTop = 4;
constexpr int GroupRowStep = 44;
const QRect GroupControlRect(4, 16, 72, 22); // a list, swatch or slider inside its group box
const QSize ClientSize(708, 544);

// While a tile is synthesised the surface shows it as drawn so far, about 30 times a second.
constexpr int GrowthInterval = 33;
// The status bar's first panel, the progress bar's; the second holds Status.
constexpr int StatusProgressWidth = 240;

const QString PreviewShowCaption = QStringLiteral("Show Preview Pane");
const QString PreviewHideCaption = QStringLiteral("Hide Preview Pane");

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
      m_messages(messages) {
    CreateControls();
    FormCreate();
    Commands = new TWindowCommandsQt(*this);
    History = new THistoryQt(*this);
    Live = new TLiveQt(*this);
    Randomizer = new TRandomizeQt(*this);
    Library = new TLibraryQt(*this);
    m_export = std::make_unique<TExportQt>(*this);
    AddKeyboardAccess(*this);
    AddMenuBar();
    AddHints(*this);
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
    auto* combo = new QComboBox(group ? static_cast<QWidget*>(group) : this);
    if (!group) combo->hide();
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
        QGroupBox* group = param.id < PanelParamCount
                               ? AddGroup(QString::fromLatin1(param.caption), param.id % 2, param.id / 2)
                               : nullptr; // a menu's row (TTilingMenuQt): a hidden list holds it
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
    Status = new TStatusQt(StatusBar, ProgressBar);

    ColorDialog = new QColorDialog(this);

    m_frames = new TFrameLoopQt(
        this, [this] { return m_gen->FrameTimer->Enabled(); },
        [this] {
            Commands->SyncTexture(); // also follows the textures a batch makes
            const int presented = PanelSurface->PresentCount();
            m_gen->FrameTimer->Idle();
            return PanelSurface->PresentCount() != presented;
        });
}

void TFOrlu::AddMenuBar() {
    MenuBar = new TMenuBarQt(*this);
    const int height = MenuBar->sizeHint().height();
    MenuBar->setGeometry(0, 0, ClientSize.width(), height);
    Client->move(0, height);
    setFixedSize(ClientSize.width(), ClientSize.height() + height);
}

// ---- start-up and shutdown ----

void TFOrlu::FormCreate() {
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive)
            FormActivate();
        else
            FormDeactivate();
    });

    // The progress bar lives in the status bar's first panel, the brush set and notes in the
    // second (StatusBarDrawPanel places them).
    ProgressBar->setParent(StatusBar);
    StatusBar->SetPanelWidths({StatusProgressWidth, ClientSize.width() + 4 - StatusProgressWidth});
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
    Status->ShowBrushes(QFile::decodeName(QByteArray::fromStdString(result.archive.path)),
                        m_gen->BrushSetHash);
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
    DrawTexture(*m_gen, RequestOf(*this, true));
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
    m_frames->Wake();
}

bool TFOrlu::FramesRunning() const {
    return m_frames->Running();
}

void TFOrlu::StopFrames() {
    m_frames->Stop();
    if (m_gen && m_gen->FrameTimer) m_gen->FrameTimer->SetEnabled(false);
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
    const bool outer = m_frames->pumping;
    m_frames->pumping = true;
    QCoreApplication::processEvents();
    m_frames->pumping = outer;
}

void TFOrlu::SetProgressMaximum(int max) {
    Status->SetProgressMaximum(max);
}

void TFOrlu::SetProgressPosition(int position) {
    Status->SetProgressPosition(position);
}

double TFOrlu::ProgressDone() const {
    return Status->ProgressDone();
}

bool TFOrlu::StopRequested() {
    return m_stopAsked || (Live && Live->StopRequested());
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
    if (History) History->SyncActions();
}

void TFOrlu::ButtonGenerateClick() {
    // A click on the surface while a texture or a batch is being made is refused (MakeTexture).
    const bool made = MakeTexture([this] {
        const std::uint32_t seed = random::Seed();
        {
            const TFlagScope stoppable(m_stoppable);
            DrawTexture(*m_gen, RequestOf(*this, false));
        }
        if (m_stopAsked && !m_gen->TextureFinished()) {
            // Stopped by Escape: the texture shown before comes back, and the random source stands
            // where it stood, as if the generation had not begun.
            m_stopAsked = false;
            History->ShowCurrent();
            random::SetSeed(seed);
        }
        m_stopAsked = false;
    });
    if (made) History->Record();
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
    const std::uint64_t failedBefore = m_gen->Canvas->FailedDraws();
    make();
    SayDrawingFaults(failedBefore);
    SetPanelsEnabled(true);
    WakeFrames();
    return true;
}

void TFOrlu::SayDrawingFaults(std::uint64_t failedBefore) {
    if (m_gen->Canvas->FailedDraws() != failedBefore)
        ShowMessageBox(Messages(), QString::fromLatin1(DrawFailedText) + QStringLiteral("!  "),
                       QStringLiteral("Error"), TMsgButtons::Ok, TMsgIcon::Critical, this);
    for (const TBadTwin& twin : m_gen->BadTwins())
        Status->NoteOnce(QString::fromStdString(BadTwinText(twin)));
}

void TFOrlu::TextureShown() {
    WakeFrames();
}

TGenSettings TFOrlu::Controls() const {
    return SettingsOf(*this);
}

void TFOrlu::SetControls(const TGenSettingsSource& values) {
    for (const TGenParam& param : GenParams) {
        const int value = ClampedValue(values, param.id);
        if (m_lists[param.id]) m_lists[param.id]->setCurrentIndex(value);
        if (m_tracks[param.id]) m_tracks[param.id]->setValue(value);
    }
    SetPalette(values.Palette());
    SetLayers(values.Layers());
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
    if (Ready()) m_export->Run(); // the button stays enabled while Live re-makes a texture
}

int TFOrlu::JpegQuality() const {
    return FVornS ? FVornS->Quality : DefaultJpegQuality;
}

bool TFOrlu::UseBrushes(const QString& archivePath, bool quiet) {
    if (!Ready()) return false;
    const TArchiveChoice choice = m_gen->LoadBrushes(QFile::encodeName(archivePath).toStdString());
    if (choice.Complete()) {
        Status->ShowBrushes(archivePath, m_gen->BrushSetHash);
        if (FVornS) FVornS->FollowBrushes(archivePath);
        return true;
    }
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
    // While a texture is drawn Escape never closes the window: a new texture stops between two
    // steps, other drawing ends first.
    if (m_gen->Generating() || !PanelControls->isEnabled()) {
        if (m_stoppable) m_stopAsked = true;
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

void TFOrlu::dragEnterEvent(QDragEnterEvent* event) {
    if (!THistoryQt::DroppedFile(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void TFOrlu::dropEvent(QDropEvent* event) {
    const QString file = THistoryQt::DroppedFile(event->mimeData());
    if (file.isEmpty()) return;
    event->acceptProposedAction();
    History->OpenRecipeFile(file);
}

void TFOrlu::closeEvent(QCloseEvent* event) {
    // Not while a texture is drawn outside a batch (a batch ends quietly when its window closes),
    // and not before the user agreed to lose what only this session holds.
    const bool drawing = !m_batchActive && m_gen && m_gen->Generating();
    if (drawing || !ConfirmClose(*this)) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
    // Closing the main window ends the program, whatever other windows are open.
    if (event->isAccepted()) QCoreApplication::quit();
}

void TFOrlu::StatusBarDrawPanel(TStatusBarQt*, int panel, const QRect& rect) {
    const QRect inside = rect.adjusted(2, 2, -2, -2);
    if (panel == 0) ProgressBar->setGeometry(inside);
    if (panel == 1) Status->Text->setGeometry(inside.adjusted(4, 0, -4, 0));
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

} // namespace vorn
