#include "app/dialogs/progress.h"

#include <QFrame>
#include <QKeyEvent>
#include <QLabel>

#include "app/widgets/FormKitQt.h"

namespace vorn {

namespace {

constexpr int ClientWidth = 164;
constexpr int ClientHeight = 82;

QLabel* CentredLabel(QWidget* parent, const QString& text, int top) {
    auto* label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignCenter);
    label->setGeometry(2, top, ClientWidth - 4, 18);
    return label;
}

} // namespace

TFVornBP::TFVornBP(QWidget* owner) : QWidget(owner, Qt::Dialog | Qt::FramelessWindowHint) {
    setObjectName("FVornBP");
    setFixedSize(ClientWidth, ClientHeight);
    setFont(FormFont());
    setFocusPolicy(Qt::StrongFocus);

    auto* panel = new QFrame(this);
    panel->setObjectName("Panel");
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setGeometry(0, 0, ClientWidth, ClientHeight);

    CentredLabel(panel, "Batch export in progress!", 10)->setObjectName("LabelTitle");
    m_labelCounter = CentredLabel(panel, "0000 / 0000", 32);
    m_labelCounter->setObjectName("LabelCounter");
    CentredLabel(panel, "Press Escape to cancel.", 54)->setObjectName("LabelHint");
}

void TFVornBP::Update(int current) {
    m_labelCounter->setText(QString("%1 / %2").arg(current, 4, 10, QChar('0')).arg(Total, 4, 10, QChar('0')));
}

QString TFVornBP::CounterText() const {
    return m_labelCounter->text();
}

void TFVornBP::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    FormShow();
}

void TFVornBP::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        FormKeyDown(event->key());
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TFVornBP::FormShow() {
    CancelRequested = false;
    // Centred on the main window, and in front with the key focus so that Escape reaches it.
    CenterOnOwner(this);
    activateWindow();
    setFocus(Qt::ActiveWindowFocusReason);
}

void TFVornBP::FormKeyDown(int key) {
    if (key == Qt::Key_Escape) CancelRequested = true;
}

} // namespace vorn
