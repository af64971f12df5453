// The layer list: a small tool window beside the main window (Material ▸ Layers…) showing the
// texture's layers top first, with commands to add a pattern of any kind or the tile, remove the
// selected layer and move it up or down the stack, and below them the selected layer's own
// values: its kind's parameters, its blend and the layer settings, each control made from the
// tables of gen/Pattern.h and gen/Layers.h. Every change sets the window's stack
// (TFOrlu::SetLayers), so Live, Generate, the history and recipes follow it; the list follows the
// window's stack in turn (a recipe, a history step, a preset). Edits are refused while a texture
// is made, as the panel's controls are.
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <utility>
#include <vector>

#include "gen/Layers.h"

class QAction;
class QComboBox;
class QFormLayout;
class QListWidget;
class QPushButton;
class QSpinBox;
class QToolButton;

namespace vorn {

class TFOrlu;

class TLayerListQt : public QWidget {
    Q_OBJECT

public:
    explicit TLayerListQt(TFOrlu& window);
    ~TLayerListQt() override;

    QListWidget* List;                   // the layers, top first
    QToolButton* ButtonAdd;              // its menu: the tile, then each pattern kind
    QAction* ActionAddTile;              // disabled while the stack holds the tile
    std::vector<QAction*> ActionAddKind; // in the order of PatternKinds()
    QPushButton* ButtonRemove;
    QPushButton* ButtonUp;   // towards the top of the stack
    QPushButton* ButtonDown; // towards the bottom
    QComboBox* BlendBox;     // the selected layer's blend, in the order of LayerBlends()

    // The selected layer's index in the stack (0 the bottom), -1 for none.
    int Selected() const { return m_selected; }
    void Select(int index);
    // layer added above the selected one (at the top when none is), and selected.
    void Add(const TLayer& layer);
    void Remove();
    // The selected layer step places up (towards the top) or down the stack.
    void Move(int step);
    // The spin box of the selected layer's value called name (a kind's parameter or a layer
    // setting, as the text form names it); nullptr when it has none.
    QSpinBox* ValueBox(const QString& name) const;

    // Shows the list beside the main window (where it was left after the first time), in front.
    void ShowBeside();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // The window's stack changed: the rows and the values follow it.
    void Sync();
    void ShowRows();
    // Rebuilds the value controls for the selected layer when its kind changed, otherwise sets
    // their values.
    void ShowValues();
    void AddValueRow(const QString& name, int min, int max, const char* help,
                     std::function<void(TLayer&, int)> set);
    // Runs change on the selected layer of a copy of the window's stack and sets it; refused
    // (the controls put back) while the panels are disabled.
    void Edit(const std::function<void(TLayer&)>& change);
    bool Editable() const;

    TFOrlu& m_window;
    // The window's panel, watched for its enabled state; held here because its events still come
    // while the window is being destroyed, when the window's own members may no longer be used.
    QPointer<QWidget> m_panel;
    QWidget* m_body;     // everything but the window frame: disabled while a texture is made
    QWidget* m_values;   // the value controls' form
    QFormLayout* m_form; // in m_values
    int m_selected = -1;
    // What the value controls were made for: a kind's number, -1 the tile, -3 no layer; -2 before
    // they were first made.
    int m_formKind = -2;
    // Each value's spin box by name, in the form's order, and how it reads a layer.
    std::vector<std::pair<QString, QSpinBox*>> m_boxes;
    std::vector<std::function<int(const TLayer&)>> m_readers;
    bool m_placed = false; // shown once: later it opens where it was left
};

} // namespace vorn
