#include "app/dialogs/settings.h"

#include <QFile>
#include <QGroupBox>
#include <QPushButton>
#include <QSettings>
#include <QSlider>
#include <algorithm>

#include "app/widgets/FormKitQt.h"

namespace vorn {

namespace {

const char* const Organisation = "Quorvane";
const char* const Application = "Vorn";
const char* const QualityKey = "Settings/Quality";

// The per-user settings store of the program.
QSettings Store() {
    return QSettings(QString::fromLatin1(Organisation), QString::fromLatin1(Application));
}

// Writes the quality; answers the store's status afterwards.
QSettings::Status WriteQuality(int quality) {
    QSettings store = Store();
    store.setValue(QString::fromLatin1(QualityKey), quality);
    store.sync();
    return store.status();
}

} // namespace

TFVornS::TFVornS(QWidget* owner, TMessagePresenter& messages) : QDialog(owner), m_messages(messages) {
    setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
    setWindowTitle(QStringLiteral(" Settings"));
    setFont(FormFont());
    setFixedSize(188, 108);

    QFrame* panelQuality = MakeLoweredPanel(this, QRect(4, 4, 180, 60));
    GroupQuality = new QGroupBox(QStringLiteral("Export JPEG Quality"), panelQuality);
    GroupQuality->setGeometry(7, 8, 166, 44);
    TrackQuality = new QSlider(Qt::Horizontal, GroupQuality);
    TrackQuality->setGeometry(4, 16, 158, 24);
    TrackQuality->setRange(MinJpegQuality, MaxJpegQuality);
    TrackQuality->setSingleStep(1);
    TrackQuality->setPageStep(5);
    TrackQuality->setTickPosition(QSlider::TicksBelow);
    TrackQuality->setTickInterval(10);
    TrackQuality->setValue(DefaultJpegQuality);
    TrackQuality->setToolTip(QString::number(DefaultJpegQuality));
    connect(TrackQuality, &QSlider::valueChanged, this, [this] { TrackQualityChange(); });

    QFrame* panelButtons = MakeLoweredPanel(this, QRect(4, 68, 180, 36));
    ButtonSave = new QPushButton(QStringLiteral("Save"), panelButtons);
    ButtonSave->setGeometry(8, 6, 164, 24);
    connect(ButtonSave, &QPushButton::clicked, this, [this] { ButtonSaveClick(); });

    FormCreate();
}

TFVornS::~TFVornS() {
    FormDestroy();
}

void TFVornS::FormCreate() {
    Quality = DefaultJpegQuality;
    Load();
}

void TFVornS::Load() {
    const QSettings store = Store();
    const QVariant value = store.value(QString::fromLatin1(QualityKey));
    if (!value.isValid()) return;
    bool ok = false;
    const int stored = value.toInt(&ok);
    // A value that is not a number is ignored; one out of range is brought into it.
    if (ok) Quality = std::clamp(stored, MinJpegQuality, MaxJpegQuality);
}

void TFVornS::Save() {
    QSettings::Status status = WriteQuality(Quality);
    if (status == QSettings::FormatError) {
        // The file held no settings (garbage, binary): the value was merged into that content
        // and the status tells of the old content, not of the write. Start a clean file.
        QFile::remove(Store().fileName());
        status = WriteQuality(Quality);
    }
    if (status != QSettings::NoError)
        ShowMessageBox(m_messages, QStringLiteral("Failed to save settings!"), QStringLiteral("Error!"));
}

void TFVornS::FormShow() {
    TrackQuality->setValue(Quality);
    TrackQuality->setToolTip(QString::number(TrackQuality->value()));
}

void TFVornS::TrackQualityChange() {
    TrackQuality->setToolTip(QString::number(TrackQuality->value()));
    Quality = TrackQuality->value();
}

void TFVornS::ButtonSaveClick() {
    Save(); // stored now, so a program that is killed later keeps it
    accept();
}

void TFVornS::FormDestroy() {
    Save();
}

void TFVornS::showEvent(QShowEvent* event) {
    FormShow();
    QDialog::showEvent(event);
}

} // namespace vorn
