// The batch progress window TFVornBP: a frameless window over the main window that shows which
// texture of a batch is being made ("0001 / 0010") and takes Escape as a request to stop.
// The batch loop reads CancelRequested after each texture; showing the window clears it.
#pragma once

#include <QWidget>

class QLabel;

namespace vorn {

class TFVornBP : public QWidget {
    Q_OBJECT

public:
    explicit TFVornBP(QWidget* owner = nullptr);

    // Writes Current and Total, each with at least four digits, joined by " / ".
    void Update(int current);
    QString CounterText() const;

    int Total = 0;
    bool CancelRequested = false;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void FormShow();
    void FormKeyDown(int key);

    QLabel* m_labelCounter = nullptr;
};

} // namespace vorn
