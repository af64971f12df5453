// The maps an export writes beside its texture, as the Export and Batch Export dialogs offer them
// below "Also write maps": which maps (height, normal, roughness, occlusion), the normal map's
// strength and green axis, and the height's blur (both parts of the tile, as the command line's
// --normal-strength, --normal-y and --height-blur), and an engine's material set with its
// metalness (--material, --metallic), which packs the normal, roughness and occlusion maps with
// the engine's own green axis. The settings dialog keeps the choice.
#pragma once

#include <QWidget>

#include "export/MaterialMaps.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QSpinBox;

namespace vorn {

// The same maps with the same settings, as the dialogs choose them.
bool SameMapChoice(const TMapOptions& a, const TMapOptions& b);

class TMapChoiceQt : public QWidget {
    Q_OBJECT

public:
    explicit TMapChoiceQt(QWidget* parent = nullptr);

    // The controls show choice's maps and settings (its edges and format are not shown).
    void Show(const TMapOptions& choice);
    // What the controls show, over the defaults.
    TMapOptions Choice() const;

    QCheckBox* CheckHeight;
    QCheckBox* CheckNormal;
    QCheckBox* CheckRoughness;
    QCheckBox* CheckOcclusion;
    QDoubleSpinBox* SpinStrength;
    QSpinBox* SpinBlur;
    QComboBox* ComboGreen;    // "Green up", "Green down"
    QComboBox* ComboMaterial; // "Separate maps", then the engines' sets
    QDoubleSpinBox* SpinMetallic;

signals:
    void Changed(); // the user changed a control

private:
    // With a set, the maps it packs and the green axis are its own: their controls rest.
    void EnableForSet();

    bool m_showing = false; // Show is setting the controls: no Changed
};

} // namespace vorn
