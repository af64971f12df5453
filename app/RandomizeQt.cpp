#include "app/RandomizeQt.h"

#include <QAction>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QMenu>
#include <QSlider>

#include "app/HistoryQt.h"
#include "app/KeyboardQt.h"
#include "app/gen.h"

namespace vorn {

namespace {

std::uint32_t SystemSeed() {
    std::random_device device;
    return device();
}

} // namespace

TRandomizeQt::TRandomizeQt(TFOrlu& window, std::uint32_t seed)
    : QObject(&window), m_window(window), m_random(seed ? seed : SystemSeed()) {
    ActionRandomize = AddWindowCommand(m_window, this, QStringLiteral("Randomize"), "Randomize");
    connect(ActionRandomize, &QAction::triggered, this, [this] { Randomize(); });

    // Each lockable parameter's control and group box offer the lock in a context menu.
    for (const TGenParam& param : GenParams) {
        if (!Randomizable(param.id)) continue;
        QWidget* control = m_window.List(param.id)    ? static_cast<QWidget*>(m_window.List(param.id))
                           : m_window.Track(param.id) ? static_cast<QWidget*>(m_window.Track(param.id))
                                                      : static_cast<QWidget*>(m_window.PanelColor);
        for (QWidget* widget : {control, static_cast<QWidget*>(m_window.Group(param.id))}) {
            widget->setContextMenuPolicy(Qt::CustomContextMenu);
            connect(widget, &QWidget::customContextMenuRequested, this,
                    [this, id = param.id, widget](const QPoint& at) { PopupLockMenu(id, widget, at); });
        }
    }
}

TRandomizeQt::~TRandomizeQt() = default;

QString TRandomizeQt::LockedCaption(const char* caption) {
    return QStringLiteral("\u2022 ") + QString::fromLatin1(caption);
}

bool TRandomizeQt::Randomize() {
    if (!m_window.Ready()) return false;
    const TGenSettings values = RandomizeSettings(m_window.Controls(), m_locked, m_random);
    // As Generate makes a texture: the program's random source goes on from where it stands.
    m_window.MakeTexture([&] {
        m_window.SetControls(values);
        m_window.Generator().Generate();
    });
    m_window.History->Record();
    return true;
}

void TRandomizeQt::SetLocked(TGenParamId id, bool locked) {
    if (!Randomizable(id)) return;
    m_locked[id] = locked;
    const char* caption = GenParam(id).caption;
    m_window.Group(id)->setTitle(locked ? LockedCaption(caption) : QString::fromLatin1(caption));
}

int TRandomizeQt::LockableOfGroup(const QObject* group) const {
    for (const TGenParam& param : GenParams)
        if (m_window.Group(param.id) == group && Randomizable(param.id)) return param.id;
    return -1;
}

void TRandomizeQt::PopupLockMenu(TGenParamId id, QWidget* control, const QPoint& at) {
    auto* menu = new QMenu(control);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* lock = menu->addAction(QStringLiteral("Lock for Randomize"));
    lock->setCheckable(true);
    lock->setChecked(m_locked[id]);
    connect(lock, &QAction::toggled, this, [this, id](bool on) { SetLocked(id, on); });
    menu->popup(control->mapToGlobal(at));
}

} // namespace vorn
