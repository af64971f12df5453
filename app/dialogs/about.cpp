#include "app/dialogs/about.h"

#include <QDesktopServices>
#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QUrl>

#include "PallimorVersion.h"
#include "app/widgets/FormKitQt.h"

namespace vorn {

namespace {

QLabel* MakeLabel(QWidget* parent, const QString& text, int top, int pixelSize, bool bold = false) {
    auto* label = new QLabel(text, parent);
    label->setFont(FormFont(pixelSize, bold));
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    label->setGeometry(8, top, 204, pixelSize + 6);
    return label;
}

void MakeLink(QLabel* label, const char* address) {
    label->setToolTip(QString::fromLatin1(address));
    label->setCursor(Qt::PointingHandCursor);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, QColor(0, 0, 255));
    label->setPalette(palette);
}

} // namespace

TFVornA::TFVornA(QWidget* owner) : QDialog(owner) {
    setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
    setWindowTitle(QStringLiteral(" About"));
    setFont(FormFont());
    setFixedSize(228, 206);

    QFrame* panelText = MakeLoweredPanel(this, QRect(4, 4, 220, 156));
    Label1 = MakeLabel(panelText, QStringLiteral("Pallimor"), 16, 13, true);
    Label2 = MakeLabel(panelText, QStringLiteral("version %1").arg(QLatin1String(PallimorVersion)), 36, 11);
    Label4 = MakeLabel(panelText, QString::fromLatin1(ProjectAddress), 64, 13);
    Label5 = MakeLabel(panelText, QStringLiteral("Powered by the Vorn engine"), 100, 13);
    Label6 = MakeLabel(panelText, QString::fromLatin1(EngineAddress), 124, 13);
    MakeLink(Label4, ProjectAddress);
    MakeLink(Label6, EngineAddress);
    Label4->installEventFilter(this);
    Label6->installEventFilter(this);

    QFrame* panelButtons = MakeLoweredPanel(this, QRect(4, 164, 220, 38));
    ButtonClose = new QPushButton(QStringLiteral("Close"), panelButtons);
    ButtonClose->setGeometry(28, 7, 164, 24);
    connect(ButtonClose, &QPushButton::clicked, this, [this] { ButtonCloseClick(); });
}

void TFVornA::Label4Click(QObject* sender) {
    OpenLink(sender);
}

void TFVornA::Label6Click(QObject* sender) {
    OpenLink(sender);
}

void TFVornA::ButtonCloseClick() {
    close();
}

void TFVornA::OpenLink(QObject* sender) {
    // The result is not looked at: a link that cannot be opened gives no message.
    if (const auto* label = qobject_cast<QLabel*>(sender)) QDesktopServices::openUrl(QUrl(label->toolTip()));
}

bool TFVornA::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const auto* label = qobject_cast<QLabel*>(watched);
        if (label && mouse->button() == Qt::LeftButton &&
            label->rect().contains(mouse->position().toPoint())) {
            if (watched == Label4) Label4Click(watched);
            if (watched == Label6) Label6Click(watched);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace vorn
