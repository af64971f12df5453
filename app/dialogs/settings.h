// The settings dialog: holds the JPEG export quality (1..100, 95 by default), read from the
// per-user settings store when the dialog is created and written back when its Save button is
// pressed and when it is destroyed; whether exported PNG and JPEG files carry their recipe (its
// check box, off by default); and the choice the Export and Batch Export dialogs offer, "Also
// write maps" (off by default) with the maps and their settings (app/dialogs/mapchoice.h); and the brush set
// (the shipped default until another is chosen). The quality slider acts at once; the recipe box and the
// brush set are applied by Save only (Escape and the close box drop them). These choices are stored only once
// the user has made them. Store: organisation "Quorvane", application "Vorn", keys
// "Settings/Quality" (an integer), "Settings/EmbedRecipe" and "Settings/Maps" (booleans), the
// maps' "Settings/MapKinds" ("height,normal,roughness,ao" or a part), "Settings/NormalStrength",
// "Settings/HeightBlur", "Settings/NormalGreen" ("up" or "down"), "Settings/Material" ("none",
// "gltf", "godot", "unity-urp", "unity-hdrp" or "unreal") and "Settings/Metallic" (0 to 1),
// "Settings/Brushes" (an archive's path), "Settings/AskBeforeClosing" (a boolean, the main
// window's).
#pragma once

#include <QDialog>
#include <QSettings>
#include <QString>
#include <functional>

#include "app/widgets/FormKitQt.h"
#include "export/MaterialMaps.h"
#include "gen/BatchLoop.h"

class QCheckBox;
class QComboBox;
class QFileDialog;
class QGroupBox;
class QPushButton;
class QSlider;

namespace vorn {

class TFVornS : public QDialog {
    Q_OBJECT

public:
    // messages shows the save failure.
    explicit TFVornS(QWidget* owner = nullptr,
                     TMessagePresenter& messages = MessageBoxPresenter()); // FormCreate
    ~TFVornS() override;                                                   // FormDestroy

    // Read at every JPEG export; the slider changes it at once.
    int Quality = DefaultJpegQuality;
    // Read at every export; the check box changes it at once.
    bool EmbedRecipe = false;
    // Whether exports also write maps, and which with what settings (height and normal at first).
    bool WriteMaps = false;
    TMapOptions MapChoice = TMapOptions::Both(true);

    // The user's choice of EmbedRecipe: kept, and stored from now on.
    void ChooseEmbedRecipe(bool on);

    // The user's choice of WriteMaps: kept, and stored from now on.
    void ChooseWriteMaps(bool on);
    // The user's choice of maps and settings: kept, and stored from now on.
    void ChooseMapChoice(const TMapOptions& choice);
    // The maps an export writes: MapChoice's while WriteMaps, else none.
    TMapOptions MapOptions() const;
    // Adds the check box "Also write maps", bound to WriteMaps, and below it the maps and their
    // settings, bound to MapChoice, below a save dialog's controls; the dialog becomes Qt's own,
    // which has room for them.
    QCheckBox* OfferMaps(QFileDialog& dialog);

    // The brush archive chosen here (empty: the default set), and who applies a choice: false
    // refuses it (and has said why), and the set in use stays.
    QString BrushesPath;
    std::function<bool(const QString& path)> OnBrushes;
    // The list's choice: shown, and applied when Save is pressed.
    void ComboBrushesChoose(int index);
    // The set in use changed outside the dialog (a recipe's): the list shows it; what is stored
    // stays the user's choice.
    void FollowBrushes(const QString& archivePath);
    // The remembered archive is gone: the default set, and nothing remembered.
    void ForgetBrushes();

    void FormCreate();
    void Load();
    void Save();
    void FormShow();
    void TrackQualityChange();
    void ButtonSaveClick();
    void FormDestroy();

    QGroupBox* GroupQuality;
    QSlider* TrackQuality;
    QCheckBox* CheckEmbedRecipe;
    QComboBox* ComboBrushes; // the installed sets, another archive, "Other archive…"
    QPushButton* ButtonSave;

protected:
    void showEvent(QShowEvent* event) override;

private:
    // The list shows path (empty: the set in use).
    void ShowBrushes(const QString& path = {});

    TMessagePresenter& m_messages;
    bool m_embedRecipeSet = false;  // stored before, or set by the user: written back
    bool m_brushesChosen = false;   // BrushesPath is the user's choice, to be stored
    bool m_mapsChosen = false;      // WriteMaps is the user's choice, to be stored
    bool m_mapChoiceChosen = false; // MapChoice is the user's choice, to be stored
    QString m_brushesInUse;         // the archive drawing now; empty: BrushesPath
    QString m_pendingBrushes;       // chosen in the list, applied by Save; empty: none
    int m_installedSets = 0;        // the list's first entries; then another archive, "Other archive…"
};

// The program's per-user settings store.
QSettings SettingsStore();
// The main window's "Don't ask again" before closing, in that store.
inline constexpr const char* AskBeforeClosingKey = "Settings/AskBeforeClosing";

// The caption of the recipe's check box.
inline constexpr const char* EmbedRecipeCaption = "Recipe in PNG/JPEG files";
// The caption of the maps' check box in the export dialogs.
inline constexpr const char* WriteMapsCaption = "Also write maps";

} // namespace vorn
