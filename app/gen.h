// The main window TFOrlu (preview surface, generation settings, commands, status bar). The window
// is the generator's settings source and hooks; the generator owns the engine objects and the
// program-wide values (TextureSize, ...). Escape stops a new texture being drawn, and closing asks
// first when the session's history would be lost (app/ClosingQt.h).
#pragma once

#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/widgets/ControlsQt.h"
#include "app/widgets/FormKitQt.h"
#include "gen/GenSettings.h"
#include "gen/Generator.h"

class QColorDialog;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSlider;

namespace vorn {

class TFVornA;
class TFVornBE;
class TFVornBP;
class TFVornS;
class TPanelSurfaceQt;
class TWindowCommandsQt;
class THistoryQt;
class TMenuBarQt;
class TLiveQt;
class TRandomizeQt;
class TLibraryQt;
class TExportQt;
class TStatusQt;
class TFrameLoopQt;

// The one archive FormCreate reads; empty = the first good one of ArchiveCandidates.
using TArchiveLocator = std::function<std::string()>;

class TFOrlu : public QWidget, public TGenSettingsSource, public TGenHooks {
    Q_OBJECT

public:
    // createDirect3D reaches the device (empty = the software layer's own; tests inject faults);
    // messages shows what the window reports.
    explicit TFOrlu(TArchiveLocator locateArchive = {}, QWidget* parent = nullptr,
                    sd::Direct3DFactory createDirect3D = {},
                    TMessagePresenter& messages = MessageBoxPresenter()); // FormCreate
    ~TFOrlu() override;                                                   // FormDestroy

    TGenerator& Generator() { return *m_gen; }
    // Where the window's message boxes go (the real ones unless a test passes its own).
    TMessagePresenter& Messages() { return m_messages; }

    // Start-up and shutdown.
    void FormCreate();
    void ComponentsInit();
    void FormShow();
    void FormActivate();
    void FormDeactivate();
    void TimerTimer();
    void TimerProcess();
    void FormDestroy();

    // Commands and settings.
    void ButtonGenerateClick();
    void PanelColorClick();
    void ComboImageChange();
    void ButtonPreviewClick();
    void ButtonExportClick();
    void ButtonBatchClick();
    void ButtonSettingsClick();
    void ButtonAboutClick();
    void ButtonExitClick();
    void FormKeyDown(int key, Qt::KeyboardModifiers shift);
    void StatusBarDrawPanel(TStatusBarQt* statusBar, int panel, const QRect& rect);
    void UpDownSizeClick(TUDBtnType button);

    // A click (gesture rgClick) or double click on a group box: runs the group's reset handler
    // below when that is its gesture.
    void GroupReset(QObject* group, TResetGesture gesture);

    // A track bar's change: its hint shows the position.
    void TrackChange(TGenParamId id);
    // The group gesture: the track bar back to its default.
    void ResetTrack(TGenParamId id);

    // No texture is being made and no batch runs: a texture may be made or shown.
    bool Ready() const;
    // Runs make (which makes or shows a texture) as a generation runs: panels disabled, the tile
    // shown as it grows, frames woken afterwards. False, without running it, when not Ready.
    bool MakeTexture(const std::function<void()>& make);
    // A texture was drawn outside MakeTexture (Live): the frames and the commands follow it.
    void TextureShown();
    // The JPEG quality of the settings dialog, or the default without one.
    int JpegQuality() const;
    // The controls', size's and colour's values, and setting them all (the swatch and
    // BackgroundColor take the colour, TextureSize the size; nothing is drawn).
    TGenSettings Controls() const;
    void SetControls(const TGenSettingsSource& values);

    // TGenSettingsSource: the controls' current values, the palette the Texture menu chose and
    // the layers of the Material menu's layer list.
    int Value(TGenParamId id) const override;
    TPalette Palette() const override { return m_palette; }
    TLayerStack Layers() const override { return m_layers; }
    // The palette of the next textures (empty: Walk; unusable ones are Walk too). A change is
    // signalled and Live follows it, as it follows the controls.
    void SetPalette(const TPalette& palette) {
        TPalette usable = UsablePalette(palette);
        if (usable == m_palette) return;
        m_palette = std::move(usable);
        emit PaletteChanged();
        ControlChanged();
    }

    // The layers of the next textures (empty: the tile alone). A change is signalled and Live
    // follows it, as it follows the controls.
    void SetLayers(const TLayerStack& layers) {
        if (layers == m_layers) return;
        m_layers = layers;
        emit LayersChanged();
        ControlChanged();
    }

signals:
    void PaletteChanged();
    void LayersChanged();

public:
    // TGenHooks: called by the synthesis once per step.
    void PumpMessages() override;
    void SetProgressMaximum(int max) override;
    void SetProgressPosition(int position) override;
    bool StopRequested() override; // a Live change stops the texture in flight
    // How far the synthesis in progress has come, 0 to 1 (0 when none runs).
    double ProgressDone() const;

    // The swatch's colour (what the user sees as the background colour).
    QColor SwatchColor() const;
    // The idle driver of the frame timer runs (frames are being drawn while nothing else happens).
    bool FramesRunning() const;

    // The dialogs, created by the program entry after the main window and kept for the run.
    QPointer<TFVornBE> FVornBE;
    QPointer<TFVornBP> FVornBP;
    QPointer<TFVornS> FVornS;
    QPointer<TFVornA> FVornA;

    // The menu bar, and below it the client area that holds every control at the layout's places
    // (the window is the client area plus the menu bar's height).
    TMenuBarQt* MenuBar = nullptr;
    QWidget* Client;

    // Controls, named as the window's layout names them.
    QFrame* PanelPreview;
    TPanelSurfaceQt* PanelSurface;
    QFrame* PanelSettings;
    QFrame* PanelControls;
    TStatusBarQt* StatusBar;
    QProgressBar* ProgressBar;
    TStatusQt* Status; // beside the progress bar: the brush set in use, or a note

    // Each parameter's group box, and its list or track bar (nullptr where it has none).
    QGroupBox* Group(TGenParamId id) const { return m_groups[id]; }
    QComboBox* List(TGenParamId id) const { return m_lists[id]; }
    QSlider* Track(TGenParamId id) const { return m_tracks[id]; }
    QLabel* LabelSize;
    TUpDownQt* UpDownSize;
    QFrame* PanelColor;

    QPushButton* ButtonGenerate;
    QPushButton* ButtonExport;
    QPushButton* ButtonBatch;
    QPushButton* ButtonPreview;
    QPushButton* ButtonSettings;
    QPushButton* ButtonAbout;
    QPushButton* ButtonExit;

    QColorDialog* ColorDialog;

    // Window-wide shortcuts, the surface's context menu and what follows a new texture.
    TWindowCommandsQt* Commands = nullptr;
    // The session's textures and their recipes.
    THistoryQt* History = nullptr;
    // Re-making the texture while the controls move.
    TLiveQt* Live = nullptr;
    // Random values for the unlocked parameters, and the locks.
    TRandomizeQt* Randomizer = nullptr;
    // The history and the favourites as thumbnails, and the favourites' store.
    TLibraryQt* Library = nullptr;

    // The save dialog's filters, in the order shown; JPEG is chosen at start.
    static const QStringList SaveFilters;
    // The Export command (a large texture's save may still be running).
    TExportQt& Export() { return *m_export; }

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // An image file dropped on the window: the texture of the recipe it carries.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateControls();
    QGroupBox* AddGroup(const QString& caption, int column, int row);
    QComboBox* AddCombo(QGroupBox* group, const TGenParam& param);
    QSlider* AddTrack(QGroupBox* group, const TGenParam& param);
    void AddSizeControls(QGroupBox* group, const TGenParam& param);
    void SetPanelsEnabled(bool enabled);
    void ControlChanged(); // a generation control, the size or the colour: Live follows
    void AddMenuBar();     // above the client area, once the commands exist
    void ShowSize();       // the size label and the arrows' position, from the generator's size
    void ShowPosition(QSlider* track);
    void SetSwatch(const QColor& color);
    // Whether exported files carry their recipe (the settings dialog's choice; off without one).
    bool EmbedRecipe() const;
    // One message when the device refused a draw since the canvas counted failedBefore; a note
    // for each brush twin of the set that large textures leave unused.
    void SayDrawingFaults(std::uint64_t failedBefore);

public:
    // The brush set of archivePath for the next textures; refused with one message naming why
    // (an archive without the ten images), and the set in use stays, when it cannot be loaded;
    // quietly refused while a texture or a batch is made.
    bool UseBrushes(const QString& archivePath, bool quiet = false);

private:
    void StartFrames();
    void WakeFrames(); // something may have changed: draw frames at full rate again
    void StopFrames();

    // Each parameter's group box and list or track bar, by TGenParamId.
    std::array<QGroupBox*, GenParamCount> m_groups{};
    std::array<QComboBox*, GenParamCount> m_lists{};
    std::array<QSlider*, GenParamCount> m_tracks{};
    TArchiveLocator m_locateArchive;
    sd::Direct3DFactory m_createDirect3D;
    TMessagePresenter& m_messages;
    std::unique_ptr<TGenerator> m_gen;
    bool m_batchActive = false;                       // RunBatchExport is on the stack
    QPointer<QWidget> m_focusBeforeDrawing;           // the control to give the focus back to
    TFrameLoopQt* m_frames = nullptr;                 // runs the frame timer whenever the event loop is idle
    std::chrono::steady_clock::time_point m_lastPump; // events are handled once a millisecond at most
    bool m_shown = false;                             // FormShow runs on the first showing only
    std::unique_ptr<TExportQt> m_export; // the Export command with its dialog's filter and folder
    bool m_stoppable = false;            // a new texture is drawn that Escape may stop
    bool m_stopAsked = false;            // Escape asked it to stop
    TPalette m_palette;                  // the strokes' palette; empty: Walk
    TLayerStack m_layers;                // the texture's layers; empty: the tile alone
};

} // namespace vorn
