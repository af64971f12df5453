// The settings dialog: holds the JPEG export quality (1..100, 95 by default), read from the
// per-user settings store when the dialog is created and written back when its Save button is
// pressed and when it is destroyed; and whether exported PNG and JPEG files carry their recipe
// (off by default), written back likewise but only once the user has set it.
// Store: organisation "Quorvane", application "Vorn", keys "Settings/Quality" (an integer) and
// "Settings/EmbedRecipe" (a boolean).
#pragma once

#include <QDialog>

#include "app/widgets/FormKitQt.h"
#include "gen/BatchLoop.h"

class QCheckBox;
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
    QPushButton* ButtonSave;

protected:
    void showEvent(QShowEvent* event) override;

private:
    TMessagePresenter& m_messages;
    bool m_embedRecipeSet = false; // stored before, or set by the user: written back
};

} // namespace vorn
