// The settings dialog: holds the JPEG export quality (1..100, 95 by default), read from the
// per-user settings store when the dialog is created and written back when its Save button is
// pressed and when it is destroyed.
// Store: organisation "Quorvane", application "Vorn", key "Settings/Quality" (an integer).
#pragma once

#include <QDialog>

#include "app/widgets/FormKitQt.h"
#include "gen/BatchLoop.h"

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

    void FormCreate();
    void Load();
    void Save();
    void FormShow();
    void TrackQualityChange();
    void ButtonSaveClick();
    void FormDestroy();

    QGroupBox* GroupQuality;
    QSlider* TrackQuality;
    QPushButton* ButtonSave;

protected:
    void showEvent(QShowEvent* event) override;

private:
    TMessagePresenter& m_messages;
};

} // namespace vorn
