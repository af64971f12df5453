#include "app/LayerListQt.h"

#include <QAction>
#include <QComboBox>
#include <QEvent>
#include <QFormLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QScrollArea>
#include <QSlider>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "app/gen.h"

namespace vorn {

namespace {

constexpr int NoForm = -3;   // m_formKind with no layer selected
constexpr int TileForm = -1; // m_formKind of the tile

// "cells" -> "Cells"; "mask-low" -> "Mask low".
QString Title(const char* name) {
    QString text = QString::fromLatin1(name);
    text.replace(QLatin1Char('-'), QLatin1Char(' '));
    if (!text.isEmpty()) text[0] = text[0].toUpper();
    return text;
}

// A table's help line as a hint: capitalised.
QString Hint(const char* help) {
    QString text = QString::fromLatin1(help);
    if (!text.isEmpty()) text[0] = text[0].toUpper();
    return text;
}

int FormKind(const TLayer& layer) {
    return layer.tile ? TileForm : static_cast<int>(layer.kind);
}

// A row of the list: the layer's kind, then its blend and opacity where they are not the defaults.
QString RowText(const TLayer& layer) {
    QString text = layer.tile ? QStringLiteral("Tile (brush walk)") : Title(PatternKindInfo(layer.kind).name);
    if (layer.blend != TLayerBlend::Normal)
        text +=
            QStringLiteral(" \u00B7 ") + QString::fromLatin1(LayerBlends()[std::size_t(layer.blend)].name);
    if (layer.opacity != 100) text += QStringLiteral(" \u00B7 %1%").arg(layer.opacity);
    return text;
}

} // namespace

TLayerListQt::TLayerListQt(TFOrlu& window) : QWidget(&window, Qt::Tool), m_window(window) {
    setWindowTitle(QStringLiteral("Layers"));
    setFont(window.font());
    resize(300, 600);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    m_body = new QWidget(this);
    outer->addWidget(m_body);
    auto* layout = new QVBoxLayout(m_body);

    List = new QListWidget(m_body);
    List->setToolTip(QStringLiteral("The texture's layers, the top one first"));
    List->setMaximumHeight(List->fontMetrics().height() * int(MaxLayers + 1) + 8);
    layout->addWidget(List);
    connect(List, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0) Select(List->count() - 1 - row);
    });

    auto* buttons = new QHBoxLayout;
    ButtonAdd = new QToolButton(m_body);
    ButtonAdd->setText(QStringLiteral("Add"));
    ButtonAdd->setToolTip(QStringLiteral("Add a pattern or the tile above the selected layer"));
    ButtonAdd->setPopupMode(QToolButton::InstantPopup);
    auto* addMenu = new QMenu(ButtonAdd);
    addMenu->setToolTipsVisible(true);
    ActionAddTile = addMenu->addAction(QStringLiteral("Tile (brush walk)"));
    ActionAddTile->setToolTip(QStringLiteral("The texture the controls draw, as one layer of the stack"));
    connect(ActionAddTile, &QAction::triggered, this, [this] { Add(TileLayer()); });
    addMenu->addSeparator();
    for (const TPatternKindInfo& info : PatternKinds()) {
        QAction* action = addMenu->addAction(Title(info.name));
        action->setToolTip(Hint(info.help));
        connect(action, &QAction::triggered, this, [this, kind = info.kind] { Add(DefaultLayer(kind)); });
        ActionAddKind.push_back(action);
    }
    ButtonAdd->setMenu(addMenu);
    ButtonRemove = new QPushButton(QStringLiteral("Remove"), m_body);
    ButtonUp = new QPushButton(QStringLiteral("Up"), m_body);
    ButtonUp->setToolTip(QStringLiteral("Move the selected layer up the stack"));
    ButtonDown = new QPushButton(QStringLiteral("Down"), m_body);
    ButtonDown->setToolTip(QStringLiteral("Move the selected layer down the stack"));
    for (QWidget* button : {static_cast<QWidget*>(ButtonAdd), static_cast<QWidget*>(ButtonRemove),
                            static_cast<QWidget*>(ButtonUp), static_cast<QWidget*>(ButtonDown)})
        buttons->addWidget(button);
    layout->addLayout(buttons);
    connect(ButtonRemove, &QPushButton::clicked, this, [this] { Remove(); });
    connect(ButtonUp, &QPushButton::clicked, this, [this] { Move(1); });
    connect(ButtonDown, &QPushButton::clicked, this, [this] { Move(-1); });

    auto* blendRow = new QFormLayout;
    BlendBox = new QComboBox(m_body);
    for (const TLayerBlendInfo& blend : LayerBlends()) {
        BlendBox->addItem(Title(blend.name));
        BlendBox->setItemData(BlendBox->count() - 1, Hint(blend.help), Qt::ToolTipRole);
    }
    blendRow->addRow(QStringLiteral("Blend"), BlendBox);
    layout->addLayout(blendRow);
    connect(BlendBox, &QComboBox::activated, this, [this](int index) {
        Edit([index](TLayer& layer) { layer.blend = LayerBlends()[std::size_t(index)].blend; });
    });

    auto* scroll = new QScrollArea(m_body);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    m_values = new QWidget;
    m_form = new QFormLayout(m_values);
    scroll->setWidget(m_values);
    layout->addWidget(scroll, 1);

    connect(&window, &TFOrlu::LayersChanged, this, [this] { Sync(); });
    // Edits wait while a texture is made, as the panel's controls do.
    m_panel = window.PanelSettings;
    m_panel->installEventFilter(this);
    Sync();
}

TLayerListQt::~TLayerListQt() = default;

bool TLayerListQt::Editable() const {
    return m_panel && m_panel->isEnabled();
}

bool TLayerListQt::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_panel && event->type() == QEvent::EnabledChange) m_body->setEnabled(Editable());
    return QWidget::eventFilter(watched, event);
}

void TLayerListQt::keyPressEvent(QKeyEvent* event) {
    if (event->key() != Qt::Key_Escape) return QWidget::keyPressEvent(event);
    close(); // only this window
    event->accept();
}

void TLayerListQt::ShowBeside() {
    if (!m_placed) {
        m_placed = true;
        move(m_window.frameGeometry().topRight() + QPoint(8, 0));
    }
    show();
    raise();
    activateWindow();
}

void TLayerListQt::Sync() {
    const auto count = static_cast<int>(m_window.Layers().layers.size());
    if (m_selected >= count || (m_selected < 0 && count > 0)) m_selected = count - 1;
    m_body->setEnabled(Editable());
    ShowRows();
    ShowValues();
}

void TLayerListQt::ShowRows() {
    const TLayerStack stack = m_window.Layers();
    const auto count = static_cast<int>(stack.layers.size());
    const QSignalBlocker blocker(List);
    List->clear();
    for (int i = count - 1; i >= 0; --i) {
        const TLayer& layer = stack.layers[std::size_t(i)];
        auto* item = new QListWidgetItem(QStringLiteral("%1. %2").arg(i + 1).arg(RowText(layer)), List);
        item->setToolTip(layer.tile ? QStringLiteral("The texture the controls draw")
                                    : Hint(PatternKindInfo(layer.kind).help));
    }
    if (m_selected >= 0) List->setCurrentRow(count - 1 - m_selected);
    const bool hasTile = std::ranges::any_of(stack.layers, [](const TLayer& layer) { return layer.tile; });
    ButtonAdd->setEnabled(stack.layers.size() < MaxLayers);
    ActionAddTile->setEnabled(!hasTile);
    ButtonRemove->setEnabled(m_selected >= 0);
    ButtonUp->setEnabled(m_selected >= 0 && m_selected < count - 1);
    ButtonDown->setEnabled(m_selected > 0);
}

void TLayerListQt::AddValueRow(const QString& name, int min, int max, const char* help,
                               std::function<void(TLayer&, int)> set) {
    auto* row = new QWidget(m_values);
    auto* line = new QHBoxLayout(row);
    line->setContentsMargins(0, 0, 0, 0);
    auto* slider = new QSlider(Qt::Horizontal, row);
    slider->setRange(min, max);
    auto* box = new QSpinBox(row);
    box->setRange(std::min(min, 0), std::max(max, 999)); // every box as wide as the widest
    box->setFixedWidth(box->sizeHint().width());
    box->setRange(min, max);
    box->setKeyboardTracking(false); // a typed number counts once it is complete
    line->addWidget(slider, 1);
    line->addWidget(box);
    auto* label = new QLabel(Title(name.toLatin1().constData()), m_values);
    label->setToolTip(Hint(help));
    row->setToolTip(Hint(help));
    m_form->addRow(label, row);
    connect(slider, &QSlider::valueChanged, box, &QSpinBox::setValue);
    connect(box, &QSpinBox::valueChanged, this, [this, slider, set = std::move(set)](int value) {
        const QSignalBlocker blocker(slider);
        slider->setValue(value);
        Edit([&](TLayer& layer) { set(layer, value); });
    });
    m_boxes.emplace_back(name, box);
}

void TLayerListQt::ShowValues() {
    const TLayerStack stack = m_window.Layers();
    const bool selected = m_selected >= 0 && m_selected < static_cast<int>(stack.layers.size());
    const TLayer layer = selected ? stack.layers[std::size_t(m_selected)] : TLayer();
    const int kind = selected ? FormKind(layer) : NoForm;
    BlendBox->setEnabled(selected);
    {
        const QSignalBlocker blocker(BlendBox);
        BlendBox->setCurrentIndex(selected ? static_cast<int>(layer.blend) : 0);
    }
    if (kind != m_formKind) {
        // Made anew for another kind: its parameters, then the layer settings, from the tables.
        m_formKind = kind;
        m_boxes.clear();
        m_readers.clear();
        while (m_form->rowCount() > 0) m_form->removeRow(0);
        if (selected) {
            if (!layer.tile) {
                const std::span<const TPatternParam> params = PatternKindInfo(layer.kind).params;
                for (std::size_t i = 0; i < params.size(); ++i) {
                    const TPatternParam& param = params[i];
                    AddValueRow(QString::fromLatin1(param.name), param.min, param.max, param.help,
                                [i](TLayer& edited, int value) { edited.values[i] = value; });
                    m_readers.push_back([i](const TLayer& shown) { return shown.values[i]; });
                }
            }
            for (const TLayerSetting& setting : LayerSettings()) {
                AddValueRow(QString::fromLatin1(setting.name), setting.min, setting.max, setting.help,
                            [field = setting.field](TLayer& edited, int value) { edited.*field = value; });
                m_readers.push_back([field = setting.field](const TLayer& shown) { return shown.*field; });
            }
        }
    }
    if (!selected) return;
    for (std::size_t i = 0; i < m_boxes.size(); ++i) {
        QSpinBox* box = m_boxes[i].second;
        const QSignalBlocker blocker(box);
        box->setValue(m_readers[i](layer));
        // The slider beside it follows without an edit of its own.
        if (auto* slider = box->parentWidget()->findChild<QSlider*>()) {
            const QSignalBlocker sliderBlocker(slider);
            slider->setValue(box->value());
        }
    }
}

QSpinBox* TLayerListQt::ValueBox(const QString& name) const {
    for (const auto& [boxName, box] : m_boxes)
        if (boxName == name) return box;
    return nullptr;
}

void TLayerListQt::Select(int index) {
    const auto count = static_cast<int>(m_window.Layers().layers.size());
    if (index < 0 || index >= count || index == m_selected) return;
    m_selected = index;
    ShowRows();
    ShowValues();
}

void TLayerListQt::Edit(const std::function<void(TLayer&)>& change) {
    TLayerStack stack = m_window.Layers();
    if (!Editable() || m_selected < 0 || m_selected >= static_cast<int>(stack.layers.size())) {
        Sync(); // the controls show the stack as it stays
        return;
    }
    change(stack.layers[std::size_t(m_selected)]);
    m_window.SetLayers(stack);
    ShowRows(); // the row's blend and opacity
}

void TLayerListQt::Add(const TLayer& layer) {
    TLayerStack stack = m_window.Layers();
    const bool hasTile = std::ranges::any_of(stack.layers, [](const TLayer& other) { return other.tile; });
    if (!Editable() || stack.layers.size() >= MaxLayers || (layer.tile && hasTile)) return;
    const auto count = static_cast<int>(stack.layers.size());
    const int at = m_selected >= 0 && m_selected < count ? m_selected + 1 : count;
    stack.layers.insert(stack.layers.begin() + at, layer);
    m_selected = at;
    m_window.SetLayers(stack);
    Sync();
}

void TLayerListQt::Remove() {
    TLayerStack stack = m_window.Layers();
    const auto count = static_cast<int>(stack.layers.size());
    if (!Editable() || m_selected < 0 || m_selected >= count) return;
    stack.layers.erase(stack.layers.begin() + m_selected);
    // The layer below takes the selection (the new bottom one when the bottom went).
    m_selected = stack.layers.empty() ? -1 : std::max(0, m_selected - 1);
    m_window.SetLayers(stack);
    Sync();
}

void TLayerListQt::Move(int step) {
    TLayerStack stack = m_window.Layers();
    const auto count = static_cast<int>(stack.layers.size());
    const int to = m_selected + step;
    if (!Editable() || m_selected < 0 || m_selected >= count || to < 0 || to >= count) return;
    std::swap(stack.layers[std::size_t(m_selected)], stack.layers[std::size_t(to)]);
    m_selected = to;
    m_window.SetLayers(stack);
    Sync();
}

} // namespace vorn
