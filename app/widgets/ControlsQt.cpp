#include "app/widgets/ControlsQt.h"

#include <QPainter>
#include <QToolButton>
#include <algorithm>

namespace vorn {

namespace {
constexpr int StatusBarTopBorder = 2; // the panels start below the bar's top edge
}

TUpDownQt::TUpDownQt(QWidget* parent)
    : QWidget(parent), m_up(new QToolButton(this)), m_down(new QToolButton(this)) {
    for (QToolButton* button : {m_up, m_down}) {
        button->setFocusPolicy(Qt::NoFocus);
        button->setAutoRepeat(true); // holding an arrow keeps stepping, as the platform control does
    }
    m_up->setArrowType(Qt::UpArrow);
    m_down->setArrowType(Qt::DownArrow);
    connect(m_up, &QToolButton::clicked, this, [this] { Press(btNext); });
    connect(m_down, &QToolButton::clicked, this, [this] { Press(btPrev); });
}

void TUpDownQt::SetRange(int min, int max) {
    m_min = min;
    m_max = std::max(min, max);
    m_position = std::clamp(m_position, m_min, m_max);
}

void TUpDownQt::SetPosition(int position) {
    m_position = std::clamp(position, m_min, m_max);
}

void TUpDownQt::Press(TUDBtnType button) {
    const int next = button == btNext ? m_position + 1 : m_position - 1;
    if (next < m_min || next > m_max) return;
    m_position = next;
    if (OnClick) OnClick(this, button);
}

void TUpDownQt::resizeEvent(QResizeEvent*) {
    const int upHeight = height() / 2;
    m_up->setGeometry(0, 0, width(), upHeight);
    m_down->setGeometry(0, upHeight, width(), height() - upHeight);
}

TStatusBarQt::TStatusBarQt(QWidget* parent) : QWidget(parent) {}

void TStatusBarQt::SetPanelWidths(std::vector<int> widths) {
    m_widths = std::move(widths);
    DrawPanels();
    update();
}

QRect TStatusBarQt::PanelRect(int panel) const {
    if (panel < 0 || panel >= PanelCount()) return {};
    int left = 0;
    for (int i = 0; i < panel; ++i) left += m_widths[static_cast<std::size_t>(i)];
    const QRect rect(left, StatusBarTopBorder, m_widths[static_cast<std::size_t>(panel)],
                     height() - StatusBarTopBorder);
    return rect.intersected(this->rect());
}

void TStatusBarQt::DrawPanels() {
    if (!OnDrawPanel) return;
    for (int i = 0; i < PanelCount(); ++i) OnDrawPanel(this, i, PanelRect(i));
}

void TStatusBarQt::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawLine(0, 0, width() - 1, 0);
    DrawPanels();
}

void TStatusBarQt::resizeEvent(QResizeEvent*) {
    DrawPanels();
}

} // namespace vorn
