#include "app/widgets/FormKitQt.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QFrame>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QWidget>

#include <algorithm>

#include "export/ExportFormats.h"

namespace vorn {

namespace {

QMessageBox::Icon ToQtIcon(TMsgIcon icon) {
    switch (icon) {
    case TMsgIcon::Information:
        return QMessageBox::Information;
    case TMsgIcon::Warning:
        return QMessageBox::Warning;
    case TMsgIcon::Critical:
        return QMessageBox::Critical;
    case TMsgIcon::Question:
        return QMessageBox::Question;
    case TMsgIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

class TMessageBoxPresenter final : public TMessagePresenter {
public:
    TMsgResult Show(const TMessageRequest& request, QWidget* owner) override {
        const bool yesNo = request.buttons == TMsgButtons::YesNo;
        const QMessageBox::StandardButtons standard =
            yesNo ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok;
        QMessageBox box(ToQtIcon(request.icon), request.caption, request.text, standard, owner);
        box.setFont(FormFont());
        QCheckBox* check = nullptr;
        if (!request.checkBox.isEmpty()) {
            check = new QCheckBox(request.checkBox, &box);
            check->setChecked(request.checked && *request.checked);
            box.setCheckBox(check);
        }
        const auto keepCheck = [&] {
            if (check && request.checked) *request.checked = check->isChecked();
        };
        if (yesNo) {
            box.setDefaultButton(QMessageBox::Yes);
            box.setEscapeButton(QMessageBox::No);
            const bool yes = box.exec() == QMessageBox::Yes;
            keepCheck();
            return yes ? TMsgResult::Yes : TMsgResult::No;
        }
        box.exec();
        keepCheck();
        return TMsgResult::Ok;
    }
};

} // namespace

QFont FormFont(int pixelSize, bool bold) {
    static const QString family = [] {
        const QString tahoma = QStringLiteral("Tahoma");
        if (QFontDatabase::families().contains(tahoma, Qt::CaseInsensitive)) return tahoma;
        return QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
    }();
    QFont font(family);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

QFrame* MakeLoweredPanel(QWidget* parent, const QRect& geometry) {
    auto* panel = new QFrame(parent);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setLineWidth(1);
    panel->setGeometry(geometry);
    return panel;
}

void CenterOnScreen(QWidget* window) {
    const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect area = screen->availableGeometry();
    const QSize frame = window->frameGeometry().size();
    window->move(area.x() + (area.width() - frame.width()) / 2,
                 area.y() + (area.height() - frame.height()) / 2);
}

void CenterOnOwner(QWidget* dialog) {
    const QWidget* owner = dialog->parentWidget();
    if (!owner) return;
    const QRect area = owner->window()->geometry();
    dialog->setGeometry(area.x() + (area.width() - dialog->width()) / 2,
                        area.y() + (area.height() - dialog->height()) / 2, dialog->width(), dialog->height());
}

QStringList ExportFilterList() {
    QStringList filters;
    for (const TExportFileType& type : ExportFileTypes)
        filters.append(QString::fromStdString(ExportFilter(type)));
    return filters;
}

TMessagePresenter& MessageBoxPresenter() {
    static TMessageBoxPresenter presenter;
    return presenter;
}

TMsgResult ShowMessageBox(TMessagePresenter& presenter, const QString& text, const QString& caption,
                          TMsgButtons buttons, TMsgIcon icon, QWidget* owner) {
    return presenter.Show(TMessageRequest{text, caption, buttons, icon, {}, nullptr}, owner);
}

QString QuotedExcerpt(const QString& text, qsizetype maxChars) {
    if (text.size() <= maxChars) return text;
    qsizetype cut = std::max<qsizetype>(maxChars - 1, 0);
    if (cut > 0 && text.at(cut - 1).isHighSurrogate()) --cut; // never half a character
    return text.left(cut) + QChar(0x2026);
}

} // namespace vorn
