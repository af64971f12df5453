// The Material View as a user meets it: View > Material View (Ctrl+M) opens it with the texture
// lit, a new texture and the pointer change what it shows, and Esc closes it alone.
#include <QAction>
#include <QFrame>
#include <QImage>
#include <QMenu>
#include <QMouseEvent>
#include <QSlider>
#include <QTest>
#include <algorithm>

#include "app/MaterialViewQt.h"
#include "app/MenuBarQt.h"
#include "app/WindowCommandsQt.h"
#include "app/gen.h"
#include "shown_window.h"

namespace vorn {
namespace {

using MaterialView = test::ShownWindow;

// Some pixel of image is not black.
bool Lit(const QImage& image) {
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if ((image.pixel(x, y) & 0xFFFFFFu) != 0) return true;
    return false;
}

TEST_F(MaterialView, CtrlMOpensItLitItFollowsTextureAndPointerAndEscClosesIt) {
    const QAction* entry = nullptr;
    for (const QAction* action : W().MenuBar->MenuView->actions())
        if (action->text() == QStringLiteral("Material View")) entry = action;
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_M));

    W().Track(gpSteps)->setFocus();
    QTest::keyClick(W().Track(gpSteps), Qt::Key_M, Qt::ControlModifier);
    TMaterialViewQt* view = W().Commands->MaterialView();
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view));
    EXPECT_EQ(view->windowTitle(), QString("Material View"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !view->Frame().isNull(); }, 10000));

    // A new texture: a new frame of 2 x 2 copies of the tile (at most 256 a side), lit.
    const std::uint64_t before = view->FramesShown();
    W().ButtonGenerateClick();
    ASSERT_TRUE(QTest::qWaitFor([&] { return view->FramesShown() > before; }, 10000));
    const int tile = std::min(W().Generator().TextureSize, 256);
    EXPECT_EQ(view->Frame().size(), QSize(2 * tile, 2 * tile));
    EXPECT_TRUE(Lit(view->Frame()));

    // The light follows the pointer: its frames differ from one corner to the other.
    const auto lightAt = [&](QPointF at) {
        const std::uint64_t shown = view->FramesShown();
        QMouseEvent move(QEvent::MouseMove, at, view->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(view, &move);
        EXPECT_TRUE(QTest::qWaitFor([&] { return view->FramesShown() > shown; }, 10000));
        return view->Frame();
    };
    const QImage topLeft = lightAt(QPointF(2, 2));
    const QImage bottomRight = lightAt(QPointF(view->width() - 3, view->height() - 3));
    EXPECT_NE(topLeft, bottomRight);

    QTest::keyClick(view, Qt::Key_Escape);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !view->isVisible(); }, 2000));
    EXPECT_TRUE(W().isVisible());
}

} // namespace
} // namespace vorn

int main(int argc, char** argv) {
    return vorn::test::RunQtTests(argc, argv);
}
