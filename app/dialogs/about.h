// The About box: the product's name and version and two links (the project's page and the
// engine's page) that open in the default browser. Each link label holds its address in its
// tool-tip hint; a click opens that address.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace vorn {

class TFVornA : public QDialog {
    Q_OBJECT

public:
    explicit TFVornA(QWidget* owner = nullptr);

    void Label4Click(QObject* sender);
    void Label6Click(QObject* sender);
    void ButtonCloseClick();

    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label4;
    QLabel* Label5;
    QLabel* Label6;
    QPushButton* ButtonClose;

    static constexpr const char* ProjectAddress = "https://pallimor.org";
    static constexpr const char* EngineAddress = "https://pallimor.org/vorn";

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OpenLink(QObject* sender);
};

} // namespace vorn
