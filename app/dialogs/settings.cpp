#include "app/dialogs/settings.h"

#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
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
const char* const MapsKey = "Settings/Maps";

// The per-user settings store of the program.
QSettings Store() {
    return QSettings(QString::fromLatin1(Organisation), QString::fromLatin1(Application));
}

// Writes the quality, and the recipe and maps choices when there are; answers the store's status
// afterwards.
QSettings::Status WriteSettings(int quality, std::optional<bool> embedRecipe, std::optional<bool> writeMaps) {
    QSettings store = Store();
    store.setValue(QString::fromLatin1(QualityKey), quality);
    if (embedRecipe) store.setValue(QString::fromLatin1(EmbedRecipeKey), *embedRecipe);
    if (writeMaps) store.setValue(QString::fromLatin1(MapsKey), *writeMaps);
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
    bool ok = false;
    const int stored = value.isValid() ? value.toInt(&ok) : 0;
    // A value that is not a number is ignored; one out of range is brought into it.
    if (ok) Quality = std::clamp(stored, MinJpegQuality, MaxJpegQuality);
    // A stored choice that is no boolean is ignored.
    const auto choice = [&store](const char* key) -> std::optional<bool> {
        const QVariant stored = store.value(QString::fromLatin1(key));
        if (!stored.isValid() || (stored.toString() != "true" && stored.toString() != "false"))
            return std::nullopt;
        return stored.toBool();
    };
    if (const std::optional<bool> maps = choice(MapsKey)) WriteMaps = *maps;
    if (const std::optional<bool> embed = choice(EmbedRecipeKey)) {
        EmbedRecipe = *embed;
        m_embedRecipeSet = true;
    }
}

void TFVornS::Save() {
    const std::optional<bool> embed = m_embedRecipeSet ? std::optional(EmbedRecipe) : std::nullopt;
    const std::optional<bool> maps = m_mapsChosen ? std::optional(WriteMaps) : std::nullopt;
    QSettings::Status status = WriteSettings(Quality, embed, maps);
    if (status == QSettings::FormatError) {
        // The file held no settings (garbage, binary): the value was merged into that content
        // and the status tells of the old content, not of the write. Start a clean file.
        QFile::remove(Store().fileName());
        status = WriteSettings(Quality, embed, maps);
    }
    if (status != QSettings::NoError)
        ShowMessageBox(m_messages, QStringLiteral("Failed to save settings!"), QStringLiteral("Error!"));
}

void TFVornS::ChooseWriteMaps(bool on) {
    WriteMaps = on;
    m_mapsChosen = true;
}

TMapOptions TFVornS::MapOptions() const {
    TMapOptions maps;
    maps.height = maps.normal = WriteMaps;
    return maps;
}

QCheckBox* TFVornS::OfferMaps(QFileDialog& dialog) {
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    auto* box = new QCheckBox(QString::fromLatin1(WriteMapsCaption), &dialog);
    box->setObjectName("CheckMaps");
    box->setChecked(WriteMaps);
    connect(box, &QCheckBox::clicked, this, [this](bool on) { ChooseWriteMaps(on); });
    auto* grid = qobject_cast<QGridLayout*>(dialog.layout());
    if (!grid) { // not the dialog this was made for: no place for the box
        delete box;
        return nullptr;
    }
    grid->addWidget(box, grid->rowCount(), 0, 1, -1);
    return box;
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
