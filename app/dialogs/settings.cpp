#include "app/dialogs/settings.h"

#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QPushButton>
#include <QSettings>
#include <QSignalBlocker>
#include <QSlider>
#include <algorithm>
#include <optional>

#include "app/widgets/FormKitQt.h"

namespace vorn {

namespace {

const char* const Organisation = "Quorvane";
const char* const Application = "Vorn";
const char* const QualityKey = "Settings/Quality";
const char* const EmbedRecipeKey = "Settings/EmbedRecipe";

// The per-user settings store of the program.
QSettings Store() {
    return QSettings(QString::fromLatin1(Organisation), QString::fromLatin1(Application));
}

// Writes the quality and, when given, the recipe choice; answers the store's status afterwards.
QSettings::Status WriteSettings(int quality, std::optional<bool> embedRecipe) {
    QSettings store = Store();
    store.setValue(QString::fromLatin1(QualityKey), quality);
    if (embedRecipe) store.setValue(QString::fromLatin1(EmbedRecipeKey), *embedRecipe);
    store.sync();
    return store.status();
}

} // namespace

TFVornS::TFVornS(QWidget* owner, TMessagePresenter& messages) : QDialog(owner), m_messages(messages) {
    setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
    setWindowTitle(QStringLiteral(" Settings"));
    setFont(FormFont());
    setFixedSize(188, 136);

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

    QFrame* panelRecipe = MakeLoweredPanel(this, QRect(4, 68, 180, 24));
    CheckEmbedRecipe = new QCheckBox(QStringLiteral("Recipe in PNG and JPEG files"), panelRecipe);
    CheckEmbedRecipe->setGeometry(8, 3, 164, 18);
    CheckEmbedRecipe->setToolTip(QStringLiteral("Exported PNG and JPEG files carry the recipe that makes "
                                                "them again (Open Recipe from Image, Ctrl+O)"));
    connect(CheckEmbedRecipe, &QCheckBox::toggled, this, [this](bool on) {
        EmbedRecipe = on;
        m_embedRecipeSet = true;
    });

    QFrame* panelButtons = MakeLoweredPanel(this, QRect(4, 96, 180, 36));
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
    if (value.isValid()) {
        bool ok = false;
        const int stored = value.toInt(&ok);
        // A value that is not a number is ignored; one out of range is brought into it.
        if (ok) Quality = std::clamp(stored, MinJpegQuality, MaxJpegQuality);
    }
    const QVariant embed = store.value(QString::fromLatin1(EmbedRecipeKey));
    if (embed.isValid()) {
        EmbedRecipe = embed.toBool();
        m_embedRecipeSet = true;
    }
}

void TFVornS::Save() {
    const std::optional<bool> embed = m_embedRecipeSet ? std::optional(EmbedRecipe) : std::nullopt;
    QSettings::Status status = WriteSettings(Quality, embed);
    if (status == QSettings::FormatError) {
        // The file held no settings (garbage, binary): the value was merged into that content
        // and the status tells of the old content, not of the write. Start a clean file.
        QFile::remove(Store().fileName());
        status = WriteSettings(Quality, embed);
    }
    if (status != QSettings::NoError)
        ShowMessageBox(m_messages, QStringLiteral("Failed to save settings!"), QStringLiteral("Error!"));
}

void TFVornS::FormShow() {
    const QSignalBlocker quiet(CheckEmbedRecipe); // showing is not the user's choice
    CheckEmbedRecipe->setChecked(EmbedRecipe);
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
