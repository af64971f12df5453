// The settings dialog: holds the JPEG export quality (1..100, 95 by default), read from the
// per-user settings store when the dialog is created and written back when its Save button is
// pressed and when it is destroyed; whether exported PNG and JPEG files carry their recipe (its
// check box, off by default); and the choice the Export and Batch Export dialogs offer, "Also
// write height and normal maps" (off by default); and the brush set (the shipped default until
// another is chosen). These choices are stored only once the user has made them. Store:
// organisation "Quorvane", application "Vorn", keys "Settings/Quality" (an integer),
// "Settings/EmbedRecipe" and "Settings/Maps" (booleans), "Settings/Brushes" (an archive's path).
#pragma once

#include <QDialog>
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
    // Whether exports also write the height and normal maps.
    bool WriteMaps = false;

    // The user's choice of WriteMaps: kept, and stored from now on.
    void ChooseWriteMaps(bool on);
    // The maps an export writes: both or none, with the default settings.
    TMapOptions MapOptions() const;
    // Adds the check box "Also write height and normal maps", bound to WriteMaps, below a save
    // dialog's controls; the dialog becomes Qt's own, which has room for it.
    QCheckBox* OfferMaps(QFileDialog& dialog);

    // The brush archive chosen here (empty: the default set), and who applies a choice: false
    // refuses it (and has said why), and the set in use stays.
    QString BrushesPath;
    std::function<bool(const QString& path)> OnBrushes;
    void ComboBrushesChoose(int index);

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
    TMessagePresenter& m_messages;
    bool m_embedRecipeSet = false; // stored before, or set by the user: written back
    bool m_brushesChosen = false;  // BrushesPath is the user's choice, to be stored
    void ShowBrushes();
    bool m_mapsChosen = false; // WriteMaps is the user's choice, to be stored
};

// The caption of the maps' check box in the export dialogs.
inline constexpr const char* WriteMapsCaption = "Also write height and normal maps";

} // namespace vorn
