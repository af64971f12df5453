// The About box: its texts and looks, the two links opening their addresses through the desktop
// services (caught here by a URL handler) and the Close button.
#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include "app/dialogs/about.h"
#include "test_support.h"

namespace vorn {
namespace {

// Takes the place of the browser for https addresses.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    UrlCatcher() { QDesktopServices::setUrlHandler("https", this, "Open"); }
    ~UrlCatcher() override { QDesktopServices::unsetUrlHandler("https"); }
    QList<QUrl> opened;
public slots:
    void Open(const QUrl& url) { opened.push_back(url); }
};

TEST(AboutBox, ShowsNameVersionAndLinks) {
    TFVornA about;
    EXPECT_EQ(about.windowTitle(), QString(" About"));
    EXPECT_EQ(about.size(), QSize(228, 206));
    EXPECT_EQ(about.Label1->text(), QString("Pallimor"));
    EXPECT_TRUE(about.Label1->font().bold());
    EXPECT_EQ(about.Label1->font().pixelSize(), 13);
    EXPECT_EQ(about.Label2->text(), QString("version 1.0"));
    EXPECT_EQ(about.Label2->font().pixelSize(), 11);
    EXPECT_EQ(about.Label5->text(), QString("Powered by the Vorn engine"));
    for (QLabel* label : {about.Label1, about.Label2, about.Label4, about.Label5, about.Label6}) {
        EXPECT_EQ(label->width(), 204);
        EXPECT_TRUE(label->alignment().testFlag(Qt::AlignHCenter));
    }
    for (QLabel* link : {about.Label4, about.Label6}) {
        EXPECT_EQ(link->toolTip(), link->text()); // the hint holds the address shown
        EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
        EXPECT_EQ(link->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    }
    EXPECT_EQ(about.Label4->toolTip(), QString("https://pallimor.org"));
    EXPECT_EQ(about.Label6->toolTip(), QString("https://pallimor.org/vorn"));
    EXPECT_EQ(about.ButtonClose->text(), QString("Close"));
    EXPECT_EQ(about.ButtonClose->size(), QSize(164, 24));
}

TEST(AboutBox, LinksOpenTheirHintsAndLeaveTheBoxOpen) {
    UrlCatcher catcher;
    TFVornA about;
    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
    QTest::mouseClick(about.Label4, Qt::LeftButton);
    QTest::mouseClick(about.Label6, Qt::LeftButton);
    QTest::mouseClick(about.Label5, Qt::LeftButton); // not a link
    ASSERT_EQ(catcher.opened.size(), 2);
    EXPECT_EQ(catcher.opened[0], QUrl("https://pallimor.org"));
    EXPECT_EQ(catcher.opened[1], QUrl("https://pallimor.org/vorn"));
    EXPECT_TRUE(about.isVisible());

    // A sender that is not a label opens nothing.
    about.Label4Click(&about);
    EXPECT_EQ(catcher.opened.size(), 2);
}

TEST(AboutBox, CloseButtonClosesTheBox) {
    TFVornA about;
    QTimer::singleShot(0, &about, [&] { QTest::mouseClick(about.ButtonClose, Qt::LeftButton); });
    about.exec();
    EXPECT_FALSE(about.isVisible());
}

} // namespace
} // namespace vorn

int main(int argc, char** argv) {
    return vorn::test::RunQtTests(argc, argv);
}

#include "test_about.moc"
