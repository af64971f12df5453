#include "app/dialogs/mapchoice.h"

#include "export/MaterialSets.h"

#include <algorithm>

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSpinBox>
#include <QVBoxLayout>

namespace vorn {

bool SameMapChoice(const TMapOptions& a, const TMapOptions& b) {
    for (const TMapKind& kind : MapKindTable)
        if (a.*kind.wanted != b.*kind.wanted) return false;
    return a.normalStrength == b.normalStrength && a.heightBlur == b.heightBlur && a.normalY == b.normalY &&
           a.material == b.material && a.metallic == b.metallic;
}

TMapChoiceQt::TMapChoiceQt(QWidget* parent) : QWidget(parent) {
    setObjectName("MapChoice");
    auto* rows = new QVBoxLayout(this);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(2);
    auto* kinds = new QHBoxLayout;
    auto* settings = new QHBoxLayout;
    auto* material = new QHBoxLayout;
    rows->addLayout(kinds);
    rows->addLayout(settings);
    rows->addLayout(material);
    const auto check = [&](const char* caption, const char* name, const char* tip) {
        auto* box = new QCheckBox(QString::fromLatin1(caption), this);
        box->setObjectName(QString::fromLatin1(name));
        box->setToolTip(QString::fromLatin1(tip));
        kinds->addWidget(box);
        connect(box, &QCheckBox::toggled, this, [this] {
            if (!m_showing) emit Changed();
        });
        return box;
    };
    CheckHeight = check("Height", "CheckHeight", "NAME_height.png, 16-bit grey");
    CheckNormal = check("Normal", "CheckNormal", "NAME_normal.png, 8-bit RGB");
    CheckRoughness = check("Roughness", "CheckRoughness", "NAME_roughness.png, 8-bit grey: strokes glossier");
    CheckOcclusion = check("AO", "CheckOcclusion", "NAME_ao.png, 8-bit grey: ambient occlusion");
    kinds->addStretch();

    SpinStrength = new QDoubleSpinBox(this);
    SpinStrength->setObjectName("SpinStrength");
    SpinStrength->setRange(MinNormalStrength, MaxNormalStrength);
    SpinStrength->setDecimals(1);
    SpinStrength->setSingleStep(0.5);
    SpinStrength->setToolTip("Normal strength: white stands 8 x this / 1024 of the tile above black");
    SpinBlur = new QSpinBox(this);
    SpinBlur->setObjectName("SpinBlur");
    SpinBlur->setRange(MinHeightBlur, MaxHeightBlur);
    SpinBlur->setToolTip("Height blur radius, in 1024ths of the tile");
    ComboGreen = new QComboBox(this);
    ComboGreen->setObjectName("ComboGreen");
    ComboGreen->addItems({QStringLiteral("Green up"), QStringLiteral("Green down")});
    ComboGreen->setToolTip("Normal map green axis: up (OpenGL) or down (DirectX)");
    settings->addWidget(new QLabel(QStringLiteral("Strength"), this));
    settings->addWidget(SpinStrength);
    settings->addWidget(new QLabel(QStringLiteral("Blur"), this));
    settings->addWidget(SpinBlur);
    settings->addWidget(ComboGreen);
    settings->addStretch();
    const auto changed = [this] {
        if (!m_showing) emit Changed();
    };
    ComboMaterial = new QComboBox(this);
    ComboMaterial->setObjectName("ComboMaterial");
    for (const TMaterialSetInfo& set : MaterialSetTable)
        ComboMaterial->addItem(QString::fromLatin1(set.caption));
    ComboMaterial->setToolTip(
        "Separate maps, or the maps one engine's material reads, packed and named for it "
        "with its green axis, and a glTF, Godot or import-notes file");
    SpinMetallic = new QDoubleSpinBox(this);
    SpinMetallic->setObjectName("SpinMetallic");
    SpinMetallic->setRange(MinMetallic, MaxMetallic);
    SpinMetallic->setDecimals(2);
    SpinMetallic->setSingleStep(0.05);
    SpinMetallic->setToolTip("The material's metalness, 0 to 1");
    material->addWidget(new QLabel(QStringLiteral("Material"), this));
    material->addWidget(ComboMaterial);
    material->addWidget(new QLabel(QStringLiteral("Metallic"), this));
    material->addWidget(SpinMetallic);
    material->addStretch();
    connect(ComboMaterial, &QComboBox::currentIndexChanged, this, [this] {
        EnableForSet();
        if (!m_showing) emit Changed();
    });
    connect(SpinMetallic, &QDoubleSpinBox::valueChanged, this, changed);
    connect(SpinStrength, &QDoubleSpinBox::valueChanged, this, changed);
    connect(SpinBlur, &QSpinBox::valueChanged, this, changed);
    connect(ComboGreen, &QComboBox::currentIndexChanged, this, changed);
    Show(TMapOptions::Both(true));
}

void TMapChoiceQt::Show(const TMapOptions& choice) {
    m_showing = true;
    CheckHeight->setChecked(choice.height);
    CheckNormal->setChecked(choice.normal);
    CheckRoughness->setChecked(choice.roughness);
    CheckOcclusion->setChecked(choice.occlusion);
    SpinStrength->setValue(choice.normalStrength);
    SpinBlur->setValue(choice.heightBlur);
    ComboGreen->setCurrentIndex(choice.normalY == TNormalY::Up ? 0 : 1);
    for (int i = 0; i < ComboMaterial->count(); ++i)
        if (MaterialSetTable[i].set == choice.material) ComboMaterial->setCurrentIndex(i);
    SpinMetallic->setValue(choice.metallic);
    EnableForSet();
    m_showing = false;
}

void TMapChoiceQt::EnableForSet() {
    const bool set = ComboMaterial->currentIndex() > 0;
    for (QWidget* packed : {static_cast<QWidget*>(CheckNormal), static_cast<QWidget*>(CheckRoughness),
                            static_cast<QWidget*>(CheckOcclusion), static_cast<QWidget*>(ComboGreen)})
        packed->setEnabled(!set);
    SpinMetallic->setEnabled(set);
}

TMapOptions TMapChoiceQt::Choice() const {
    TMapOptions choice;
    choice.height = CheckHeight->isChecked();
    choice.normal = CheckNormal->isChecked();
    choice.roughness = CheckRoughness->isChecked();
    choice.occlusion = CheckOcclusion->isChecked();
    choice.normalStrength = SpinStrength->value();
    choice.heightBlur = SpinBlur->value();
    choice.normalY = ComboGreen->currentIndex() == 0 ? TNormalY::Up : TNormalY::Down;
    choice.material = MaterialSetTable[std::max(0, ComboMaterial->currentIndex())].set;
    choice.metallic = SpinMetallic->value();
    return choice;
}

} // namespace vorn
