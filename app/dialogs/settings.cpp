#include "app/dialogs/settings.h"

#include "app/dialogs/mapchoice.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QSlider>
#include <algorithm>
#include <optional>

#include "app/widgets/FormKitQt.h"
#include "export/MaterialSets.h"
#include "gen/ArchiveChoice.h"

namespace vorn {

namespace {

const char* const Organisation = "Quorvane";
const char* const Application = "Vorn";
const char* const QualityKey = "Settings/Quality";
const char* const EmbedRecipeKey = "Settings/EmbedRecipe";
const char* const MapsKey = "Settings/Maps";
const char* const MapKindsKey = "Settings/MapKinds";
const char* const NormalStrengthKey = "Settings/NormalStrength";
const char* const HeightBlurKey = "Settings/HeightBlur";
const char* const NormalGreenKey = "Settings/NormalGreen";
const char* const MaterialKey = "Settings/Material";
const char* const MetallicKey = "Settings/Metallic";
const char* const BrushesKey = "Settings/Brushes";
const char* const OtherArchive = "Other archive\u2026";

QSettings Store() {
    return SettingsStore();
}

// Writes the quality, and the recipe and maps choices when there are; answers the store's status
// afterwards.
QSettings::Status WriteSettings(int quality, std::optional<bool> embedRecipe, std::optional<bool> writeMaps,
                                const QString& brushes, const std::optional<TMapOptions>& mapChoice) {
    QSettings store = Store();
    if (mapChoice) {
        QStringList kinds;
        for (const TMapKind& kind : MapKindTable)
            if ((*mapChoice).*kind.wanted) kinds << QString::fromLatin1(kind.name);
        store.setValue(QString::fromLatin1(MapKindsKey), kinds.join(QLatin1Char(',')));
        store.setValue(QString::fromLatin1(NormalStrengthKey), mapChoice->normalStrength);
        store.setValue(QString::fromLatin1(HeightBlurKey), mapChoice->heightBlur);
        store.setValue(QString::fromLatin1(NormalGreenKey),
                       mapChoice->normalY == TNormalY::Up ? QStringLiteral("up") : QStringLiteral("down"));
        store.setValue(QString::fromLatin1(MaterialKey), QString::fromLatin1(MaterialSetInfo(mapChoice->material).name));
        store.setValue(QString::fromLatin1(MetallicKey), mapChoice->metallic);
    }
    store.setValue(QString::fromLatin1(QualityKey), quality);
    if (embedRecipe) store.setValue(QString::fromLatin1(EmbedRecipeKey), *embedRecipe);
    if (writeMaps) store.setValue(QString::fromLatin1(MapsKey), *writeMaps);
    if (!brushes.isEmpty()) store.setValue(QString::fromLatin1(BrushesKey), brushes);
    store.sync();
    return store.status();
}

} // namespace

QSettings SettingsStore() {
    return QSettings(QString::fromLatin1(Organisation), QString::fromLatin1(Application));
}

TFVornS::TFVornS(QWidget* owner, TMessagePresenter& messages) : QDialog(owner), m_messages(messages) {
    setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
    setWindowTitle(QStringLiteral(" Settings"));
    setFont(FormFont());
    setFixedSize(188, 164);

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
    CheckEmbedRecipe = new QCheckBox(QString::fromLatin1(EmbedRecipeCaption), panelRecipe);
    CheckEmbedRecipe->setGeometry(4, 3, 172, 18);
    CheckEmbedRecipe->setToolTip(QStringLiteral("Exported PNG and JPEG files carry the recipe that makes "
                                                "them again (Open Recipe from Image, Ctrl+O)"));

    QFrame* panelBrushes = MakeLoweredPanel(this, QRect(4, 96, 180, 24));
    auto* captionBrushes = new QLabel(QStringLiteral("Brushes"), panelBrushes);
    captionBrushes->setGeometry(6, 3, 48, 18);
    ComboBrushes = new QComboBox(panelBrushes);
    ComboBrushes->setGeometry(56, 2, 118, 20);
    ComboBrushes->setToolTip(QStringLiteral("The brush set of the next textures"));
    for (const TBrushSet& set : InstalledBrushSets(QCoreApplication::applicationDirPath().toStdString()))
        ComboBrushes->addItem(QString::fromStdString(set.name), QString::fromStdString(set.path));
    m_installedSets = ComboBrushes->count();
    ComboBrushes->addItem(QString::fromUtf8(OtherArchive));
    connect(ComboBrushes, &QComboBox::activated, this, [this](int index) { ComboBrushesChoose(index); });
    connect(this, &QDialog::rejected, this, [this] { m_pendingBrushes.clear(); });

    QFrame* panelButtons = MakeLoweredPanel(this, QRect(4, 124, 180, 36));
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
    // The maps' choice, each value on its own: one that is missing or out of range keeps its default.
    const QVariant kinds = store.value(QString::fromLatin1(MapKindsKey));
    if (kinds.isValid()) {
        const QStringList names = kinds.toString().split(QLatin1Char(','), Qt::SkipEmptyParts);
        for (const TMapKind& kind : MapKindTable)
            MapChoice.*kind.wanted = names.contains(QString::fromLatin1(kind.name));
        m_mapChoiceChosen = true;
    }
    const double strength = store.value(QString::fromLatin1(NormalStrengthKey)).toDouble(&ok);
    if (ok && strength >= MinNormalStrength && strength <= MaxNormalStrength)
        MapChoice.normalStrength = strength;
    const int blur = store.value(QString::fromLatin1(HeightBlurKey)).toInt(&ok);
    if (ok && blur >= MinHeightBlur && blur <= MaxHeightBlur) MapChoice.heightBlur = blur;
    const QString green = store.value(QString::fromLatin1(NormalGreenKey)).toString();
    if (green == QStringLiteral("up") || green == QStringLiteral("down"))
        MapChoice.normalY = green == QStringLiteral("up") ? TNormalY::Up : TNormalY::Down;
    const QByteArray material = store.value(QString::fromLatin1(MaterialKey)).toString().toLatin1();
    if (const TMaterialSetInfo* set = FindMaterialSet(material.toStdString())) MapChoice.material = set->set;
    const double metallic = store.value(QString::fromLatin1(MetallicKey)).toDouble(&ok);
    if (ok && metallic >= MinMetallic && metallic <= MaxMetallic) MapChoice.metallic = metallic;
    const QVariant brushes = store.value(QString::fromLatin1(BrushesKey));
    if (brushes.isValid() && !brushes.toString().isEmpty()) {
        BrushesPath = brushes.toString();
        m_brushesChosen = true;
    }
    if (const std::optional<bool> embed = choice(EmbedRecipeKey)) {
        EmbedRecipe = *embed;
        m_embedRecipeSet = true;
    }
}

void TFVornS::Save() {
    const std::optional<bool> embed = m_embedRecipeSet ? std::optional(EmbedRecipe) : std::nullopt;
    const std::optional<bool> maps = m_mapsChosen ? std::optional(WriteMaps) : std::nullopt;
    const QString brushes = m_brushesChosen ? BrushesPath : QString();
    const std::optional<TMapOptions> mapChoice = m_mapChoiceChosen ? std::optional(MapChoice) : std::nullopt;
    QSettings::Status status = WriteSettings(Quality, embed, maps, brushes, mapChoice);
    if (status == QSettings::FormatError) {
        // The file held no settings (garbage, binary): the value was merged into that content
        // and the status tells of the old content, not of the write. Start a clean file.
        QFile::remove(Store().fileName());
        status = WriteSettings(Quality, embed, maps, brushes, mapChoice);
    }
    if (status != QSettings::NoError)
        ShowMessageBox(m_messages, QStringLiteral("Failed to save settings!"), QStringLiteral("Error!"));
}

void TFVornS::ChooseEmbedRecipe(bool on) {
    EmbedRecipe = on;
    m_embedRecipeSet = true;
}

void TFVornS::ChooseWriteMaps(bool on) {
    WriteMaps = on;
    m_mapsChosen = true;
}

void TFVornS::ChooseMapChoice(const TMapOptions& choice) {
    MapChoice = choice;
    m_mapChoiceChosen = true;
}

TMapOptions TFVornS::MapOptions() const {
    return WriteMaps ? MapChoice : TMapOptions();
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
    auto* choice = new TMapChoiceQt(&dialog);
    choice->Show(MapChoice);
    choice->setEnabled(WriteMaps);
    connect(box, &QCheckBox::toggled, choice, &QWidget::setEnabled);
    connect(choice, &TMapChoiceQt::Changed, this, [this, choice] { ChooseMapChoice(choice->Choice()); });
    grid->addWidget(choice, grid->rowCount(), 0, 1, -1);
    return box;
}

void TFVornS::FormShow() {
    // What was chosen and not saved before is gone.
    m_pendingBrushes.clear();
    CheckEmbedRecipe->setChecked(EmbedRecipe);
    ShowBrushes();
    TrackQuality->setValue(Quality);
    TrackQuality->setToolTip(QString::number(TrackQuality->value()));
}

void TFVornS::ShowBrushes(const QString& shown) {
    // An installed set by its file, else another archive as an entry of its own.
    const QString path = !shown.isEmpty() ? shown : !m_brushesInUse.isEmpty() ? m_brushesInUse : BrushesPath;
    // Only the archive shown has an entry of its own: one shown before goes.
    while (ComboBrushes->count() > m_installedSets + 1) ComboBrushes->removeItem(m_installedSets);
    int index = path.isEmpty() ? 0 : ComboBrushes->findData(path);
    if (index < 0) {
        index = m_installedSets;
        ComboBrushes->insertItem(index, QFileInfo(path).fileName(), path);
    }
    ComboBrushes->setCurrentIndex(index);
}

void TFVornS::ComboBrushesChoose(int index) {
    QString path = ComboBrushes->itemData(index).toString();
    if (path.isEmpty()) { // "Other archive…"
        QFileDialog dialog(this, QStringLiteral("Brush archive"));
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setNameFilters({QStringLiteral("Brush archives (*.dat)"), QStringLiteral("All files (*)")});
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            path = dialog.selectedFiles().constFirst();
    }
    // Cancelled: the list shows what it showed before.
    if (path.isEmpty()) {
        ShowBrushes(m_pendingBrushes);
        return;
    }
    m_pendingBrushes = path;
    ShowBrushes(path);
}

void TFVornS::FollowBrushes(const QString& archivePath) {
    m_brushesInUse = archivePath;
    if (!isVisible()) ShowBrushes();
}

void TFVornS::ForgetBrushes() {
    BrushesPath.clear();
    m_brushesInUse.clear();
    m_brushesChosen = false;
    QSettings store = Store();
    store.remove(QString::fromLatin1(BrushesKey));
    store.sync();
    ShowBrushes();
}

void TFVornS::TrackQualityChange() {
    TrackQuality->setToolTip(QString::number(TrackQuality->value()));
    Quality = TrackQuality->value();
}

void TFVornS::ButtonSaveClick() {
    if (!m_pendingBrushes.isEmpty()) {
        const QString path = m_pendingBrushes;
        m_pendingBrushes.clear();
        // Refused (the window said why): the set in use stays, and the dialog stays open.
        if (!OnBrushes || !OnBrushes(path)) {
            ShowBrushes();
            return;
        }
        BrushesPath = path;
        m_brushesInUse.clear();
        m_brushesChosen = true;
    }
    if (CheckEmbedRecipe->isChecked() != EmbedRecipe) ChooseEmbedRecipe(CheckEmbedRecipe->isChecked());
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
