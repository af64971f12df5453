#include "app/TilingMenuQt.h"

#include <QAction>
#include <QActionGroup>
#include <QComboBox>
#include <QFrame>
#include <QMenu>
#include <string>

#include "app/KeyboardQt.h"
#include "app/TiledViewQt.h"
#include "app/WindowCommandsQt.h"
#include "app/gen.h"
#include "gen/GenParams.h"

namespace vorn {

TTilingMenuQt::TTilingMenuQt(TFOrlu& window, QMenu* texture, QMenu* view)
    : QObject(&window), m_window(window), m_group(new QActionGroup(this)) {
    const TGenParam& param = GenParam(gpTiling);
    texture->addSeparator();
    for (std::size_t i = 0; i < ActionTiling.size(); ++i) {
        // "Wrap X Tiling": the command's name in the shortcut table.
        const std::string command = std::string(param.items[i]) + " Tiling";
        QAction* action = AddWindowCommand(window, this, QString::fromStdString(command), command.c_str());
        action->setCheckable(true);
        m_group->addAction(action);
        texture->addAction(action);
        connect(action, &QAction::triggered, this, [this, i] { Choose(static_cast<int>(i)); });
        ActionTiling[i] = action;
    }
    if (QComboBox* list = window.List(gpTiling))
        connect(list, &QComboBox::currentIndexChanged, this, [this] { SyncChecks(); });

    ActionHalfOffset =
        AddWindowCommand(window, this, QStringLiteral("&Half-Tile Offset"), "Half-Tile Offset");
    ActionHalfOffset->setCheckable(true);
    view->addAction(ActionHalfOffset);
    connect(ActionHalfOffset, &QAction::triggered, this, [this](bool on) {
        m_window.Commands->ShowTiledView();
        if (TTiledViewQt* tiled = m_window.Commands->TiledView()) tiled->SetHalfOffset(on);
        SyncChecks();
    });
    // The Tiled View's own O key changes the offset too: the check is brought up to date on opening.
    connect(view, &QMenu::aboutToShow, this, [this] { SyncChecks(); });
    SyncChecks();
}

TTilingMenuQt::~TTilingMenuQt() = default;

void TTilingMenuQt::Choose(int tiling) {
    QComboBox* list = m_window.List(gpTiling);
    // As the panel's controls: no change while a texture is made (with Live the panels stay on).
    if (list && m_window.PanelSettings->isEnabled()) list->setCurrentIndex(tiling);
    SyncChecks();
}

void TTilingMenuQt::SyncChecks() {
    const int tiling = m_window.Value(gpTiling);
    for (std::size_t i = 0; i < ActionTiling.size(); ++i)
        ActionTiling[i]->setChecked(static_cast<int>(i) == tiling);
    const TTiledViewQt* tiled = m_window.Commands ? m_window.Commands->TiledView() : nullptr;
    ActionHalfOffset->setChecked(tiled && tiled->HalfOffset());
}

} // namespace vorn
