#include "app/KeyboardQt.h"

#include <QAction>

#include <QComboBox>
#include <QCursor>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QStyleOptionFocusRect>
#include <QStylePainter>
#include <QToolTip>
#include <algorithm>
#include <functional>

#include "app/gen.h"
#include "app/widgets/ControlsQt.h"
#include "gen/Shortcuts.h"

namespace vorn {

namespace {

// A focus rectangle drawn over the place of a control that has no focus look of its own; it
// lets the mouse through.
class TFocusRectQt final : public QWidget {
public:
    TFocusRectQt(QWidget* parent, const QRect& place) : QWidget(parent) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setGeometry(place);
        hide();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QStylePainter painter(this);
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = rect();
        painter.drawPrimitive(QStyle::PE_FrameFocusRect, option);
    }
};

// Makes watched a tab stop that shows its focus with mark and hands its keys to onKey (true =
// taken).
class TKeyAccessQt final : public QObject {
public:
    TKeyAccessQt(QWidget* watched, TFocusRectQt* mark, std::function<bool(int key)> onKey)
        : QObject(watched), m_mark(mark), m_onKey(std::move(onKey)) {
        watched->setFocusPolicy(Qt::StrongFocus);
        watched->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        switch (event->type()) {
        case QEvent::FocusIn:
            m_mark->show();
            m_mark->raise();
            return false;
        case QEvent::FocusOut:
            m_mark->hide();
            return false;
        case QEvent::KeyPress: {
            auto* key = static_cast<QKeyEvent*>(event);
            if (key->modifiers() & ~Qt::KeypadModifier) return false;
            return m_onKey(key->key());
        }
        default:
            return false;
        }
    }

private:
    TFocusRectQt* m_mark;
    std::function<bool(int key)> m_onKey;
};

// Children of type T inside panel, row by row (top first), left to right within a row.
template <class T> QList<T*> InReadingOrder(QWidget* panel) {
    QList<T*> found = panel->findChildren<T*>();
    const auto place = [panel](const QWidget* w) { return w->mapTo(panel, QPoint(0, 0)); };
    std::stable_sort(found.begin(), found.end(), [&](const T* a, const T* b) {
        const QPoint pa = place(a), pb = place(b);
        return pa.y() != pb.y() ? pa.y() < pb.y() : pa.x() < pb.x();
    });
    return found;
}

// The one control of a settings group that takes the focus.
QWidget* FocusControlOf(QGroupBox* group) {
    for (QWidget* child : group->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (child->focusPolicy() & Qt::TabFocus) return child;
    return nullptr;
}

// While a slider is dragged its hint follows the value, at the pointer, as the platform's
// track bars show it.
void ShowHintWhileDragging(QSlider* slider) {
    QObject::connect(slider, &QSlider::sliderMoved, slider, [slider](int value) {
        QToolTip::showText(QCursor::pos(), QString::number(value), slider);
    });
    QObject::connect(slider, &QSlider::sliderReleased, slider, [] { QToolTip::hideText(); });
}

} // namespace

void AddKeyboardAccess(TFOrlu& window) {
    // Size: a mark around label and arrows; Up and Down press the arrows.
    const QRect sizePlace =
        window.LabelSize->geometry().united(window.UpDownSize->geometry()).adjusted(-2, -2, 2, 2);
    auto* sizeMark = new TFocusRectQt(window.UpDownSize->parentWidget(), sizePlace);
    new TKeyAccessQt(window.UpDownSize, sizeMark, [&window](int key) {
        if (key != Qt::Key_Up && key != Qt::Key_Down) return false;
        window.UpDownSize->Press(key == Qt::Key_Up ? btNext : btPrev);
        return true;
    });
    // The swatch: Space or Enter opens the colour dialog, as a click does.
    auto* colorMark = new TFocusRectQt(window.PanelColor->parentWidget(),
                                       window.PanelColor->geometry().adjusted(-2, -2, 2, 2));
    new TKeyAccessQt(window.PanelColor, colorMark, [&window](int key) {
        if (key != Qt::Key_Space && key != Qt::Key_Return && key != Qt::Key_Enter) return false;
        window.PanelColorClick();
        return true;
    });

    // Tab: the settings as the groups are laid out, then the commands.
    QList<QWidget*> chain;
    for (QGroupBox* group : InReadingOrder<QGroupBox>(window.PanelSettings))
        if (QWidget* control = FocusControlOf(group)) chain << control;
    for (QPushButton* button : InReadingOrder<QPushButton>(window.PanelControls)) chain << button;
    for (qsizetype i = 1; i < chain.size(); ++i) QWidget::setTabOrder(chain[i - 1], chain[i]);

    for (QSlider* slider : window.PanelSettings->findChildren<QSlider*>()) ShowHintWhileDragging(slider);
}

namespace {

// What each command button does, as its hint.
struct TButtonHint {
    QPushButton* TFOrlu::*button;
    const char* hint;
};
constexpr TButtonHint ButtonHints[] = {
    {&TFOrlu::ButtonGenerate, "Make a new texture with these settings (F5)"},
    {&TFOrlu::ButtonExport, "Save the texture at the selected size as a BMP, PNG or JPEG file (Ctrl+S)"},
    {&TFOrlu::ButtonBatch, "Make and save a numbered batch of new textures (Ctrl+B)"},
    {&TFOrlu::ButtonPreview, "Show or hide the 3 x 3 tiling pane on the preview (Ctrl+P)"},
    {&TFOrlu::ButtonSettings, "JPEG quality, recipes in files, brushes and maps (Ctrl+,)"},
    {&TFOrlu::ButtonAbout, "The program's version and licence"},
    {&TFOrlu::ButtonExit, "Close the window (Ctrl+Q)"},
};

} // namespace

void AddHints(TFOrlu& window) {
    for (const TButtonHint& hint : ButtonHints)
        (window.*hint.button)->setToolTip(QString::fromLatin1(hint.hint));
    // A list says what its parameter does (the table's help line); the sliders show their value.
    for (const TGenParam& param : GenParams) {
        const QString help = QString::fromLatin1(param.help);
        const QString what = help.left(1).toUpper() + help.mid(1);
        if (QComboBox* list = window.List(param.id)) list->setToolTip(what);
        if (QGroupBox* group = window.Group(param.id)) group->setToolTip(what);
    }
    window.PanelColor->setToolTip(QStringLiteral("Pick the background colour"));
}

QList<QKeySequence> ShortcutKeys(const char* command) {
    const TShortcut* shortcut = FindShortcut(command);
    if (!shortcut || !*shortcut->keys) return {};
    return QKeySequence::listFromString(QString::fromLatin1(shortcut->keys));
}

QAction* AddWindowCommand(TFOrlu& window, QObject* owner, const QString& text, const char* command) {
    auto* action = new QAction(text, owner);
    action->setShortcuts(ShortcutKeys(command));
    action->setShortcutContext(Qt::WindowShortcut);
    window.addAction(action);
    return action;
}

} // namespace vorn
