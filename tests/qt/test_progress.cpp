// The batch progress window: its look, the counter text and Escape as a stop request.
#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QTest>
#include <gtest/gtest.h>

#include "app/dialogs/progress.h"

namespace vorn {
namespace {

QStringList LabelTexts(const TFVornBP& window) {
    QStringList texts;
    for (const QLabel* label : window.findChildren<QLabel*>()) {
        EXPECT_EQ(label->alignment(), Qt::AlignCenter) << label->text().toStdString();
        texts << label->text();
    }
    return texts;
}

TEST(ProgressWindow, LooksAsAtStart) {
    TFVornBP window;
    EXPECT_TRUE(window.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(window.isWindow());
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.size(), QSize(164, 82));
    const QFrame* panel = window.findChild<QFrame*>("Panel");
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->frameShadow(), QFrame::Sunken);
    EXPECT_EQ(LabelTexts(window),
              QStringList({"Batch export in progress!", "0000 / 0000", "Press Escape to cancel."}));
    EXPECT_EQ(window.Total, 0);
    EXPECT_FALSE(window.CancelRequested);
}

TEST(ProgressWindow, UpdateWritesAtLeastFourDigits) {
    TFVornBP window;
    window.Total = 10;
    window.Update(1);
    EXPECT_EQ(window.CounterText(), "0001 / 0010");
    window.Total = 1;
    window.Update(1);
    EXPECT_EQ(window.CounterText(), "0001 / 0001");
    window.Total = 1000;
    window.Update(999);
    EXPECT_EQ(window.CounterText(), "0999 / 1000");
    window.Update(1000);
    EXPECT_EQ(window.CounterText(), "1000 / 1000");
    window.Total = 12345;
    window.Update(12345);
    EXPECT_EQ(window.CounterText(), "12345 / 12345");
}

TEST(ProgressWindow, EscapeRequestsCancelAndShowingClearsIt) {
    QWidget owner;
    owner.setGeometry(100, 100, 708, 544);
    owner.show();
    TFVornBP window(&owner);
    window.show();
    EXPECT_FALSE(window.CancelRequested);

    QTest::keyClick(&window, Qt::Key_Return);
    QTest::keyClick(&window, Qt::Key_A);
    QTest::keyClick(&window, Qt::Key_Space);
    EXPECT_FALSE(window.CancelRequested) << "only Escape asks to stop";
    QTest::keyClick(&window, Qt::Key_Escape);
    EXPECT_TRUE(window.CancelRequested);
    QTest::keyClick(&window, Qt::Key_Escape);
    EXPECT_TRUE(window.CancelRequested);

    window.hide();
    EXPECT_TRUE(window.CancelRequested) << "hiding keeps the request for the batch to read";
    window.show();
    EXPECT_FALSE(window.CancelRequested);
}

TEST(ProgressWindow, CentredOnItsOwner) {
    QWidget owner;
    owner.setGeometry(200, 150, 708, 544);
    owner.show();
    TFVornBP window(&owner);
    window.show();
    EXPECT_EQ(window.geometry().center(), owner.geometry().center());
    // The owner moved between two batches: the next showing follows it.
    window.hide();
    owner.move(40, 30);
    window.show();
    EXPECT_EQ(window.geometry().center(), owner.geometry().center());
}

} // namespace
} // namespace vorn

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
