// Shared set-up of the widget tests: a QApplication on the offscreen platform with a private
// home folder (so the settings store is a temporary file), GoogleTest on top, and a recorder
// that the windows are given in place of message boxes.
#pragma once

#include <QApplication>
#include <QColor>
#include <QRect>
#include <QSize>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <ostream>
#include <vector>

#include "app/widgets/FormKitQt.h"

// Readable QString values in failure messages.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QRect& r, std::ostream* os) {
    *os << "QRect(" << r.x() << ", " << r.y() << ", " << r.width() << ", " << r.height() << ")";
}
inline void PrintTo(const QSize& s, std::ostream* os) {
    *os << "QSize(" << s.width() << ", " << s.height() << ")";
}
inline void PrintTo(const QColor& c, std::ostream* os) {
    *os << "QColor(" << c.name().toStdString() << ")";
}

namespace vorn::test {

// Records every message instead of showing it; answers with a fixed button (Ok to a Yes/No
// question counts as No) and leaves a message's check box as tick says.
class MessageRecorder final : public TMessagePresenter {
public:
    explicit MessageRecorder(TMsgResult answer = TMsgResult::Ok) : answer(answer) {}
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    TMsgResult Show(const TMessageRequest& request, QWidget* /*owner*/) override {
        messages.push_back(request);
        if (request.checked) *request.checked = tick;
        return answer == TMsgResult::Ok && request.buttons == TMsgButtons::YesNo ? TMsgResult::No : answer;
    }

    std::vector<TMessageRequest> messages;
    TMsgResult answer;
    bool tick = false;
};

// Runs answer on the modal dialog of type T as soon as the event loop of its exec() runs.
template <class T> void AnswerNextDialog(QObject* context, std::function<void(T*)> answer) {
    auto* poll = new QTimer(context);
    poll->setInterval(0);
    QObject::connect(poll, &QTimer::timeout, context, [poll, answer] {
        if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            answer(dialog);
        }
    });
    poll->start();
}

inline int RunQtTests(int argc, char** argv) {
    QTemporaryDir home;
    if (!home.isValid()) return 2;
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

} // namespace vorn::test
