// Two controls the window toolkit lacks: an up-down control (a pair of arrow buttons with a
// position of its own) and a status bar whose panels are drawn by their owner. Events are
// plain callbacks, bound by the window that owns the control.
#pragma once

#include <QRect>
#include <QWidget>
#include <functional>
#include <vector>

class QToolButton;

namespace vorn {

enum TUDBtnType { btNext, btPrev }; // Up, Down

// Up-down control: Up moves Position by +1, Down by -1, within Min..Max. OnClick reports the
// press only when Position moved.
class TUpDownQt : public QWidget {
    Q_OBJECT

public:
    using TUDClickEvent = std::function<void(TUpDownQt* sender, TUDBtnType button)>;

    explicit TUpDownQt(QWidget* parent = nullptr);

    int Min() const { return m_min; }
    int Max() const { return m_max; }
    int Position() const { return m_position; }
    void SetRange(int min, int max);
    void SetPosition(int position); // clamped to Min..Max; reports nothing

    // One press of an arrow, as a mouse click on it does.
    void Press(TUDBtnType button);

    QToolButton* UpButton() const { return m_up; }
    QToolButton* DownButton() const { return m_down; }

    TUDClickEvent OnClick;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QToolButton* m_up;
    QToolButton* m_down;
    int m_min = 0;
    int m_max = 100;
    int m_position = 0;
};

// Status bar with fixed-width panels; OnDrawPanel is asked to draw each panel whenever the bar
// is laid out or painted (rect in the bar's coordinates, clipped to the bar).
class TStatusBarQt : public QWidget {
    Q_OBJECT

public:
    using TDrawPanelEvent = std::function<void(TStatusBarQt* sender, int panel, const QRect& rect)>;

    explicit TStatusBarQt(QWidget* parent = nullptr);

    void SetPanelWidths(std::vector<int> widths);
    int PanelCount() const { return static_cast<int>(m_widths.size()); }
    QRect PanelRect(int panel) const;

    TDrawPanelEvent OnDrawPanel;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void DrawPanels();

    std::vector<int> m_widths;
};

} // namespace vorn
