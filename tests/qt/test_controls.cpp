// The window's own controls: the up-down control, the owner-drawn status bar, the preview
// surface that receives presented frames, and the message routing.
#include <QTest>
#include <QToolButton>
#include <vector>

#include "app/PanelSurfaceQt.h"
#include "app/widgets/ControlsQt.h"
#include "app/widgets/FormKitQt.h"
#include "test_support.h"

namespace vorn {
namespace {

TEST(UpDown, ReportsOnlyWhenItsPositionMoves) {
    TUpDownQt upDown;
    upDown.SetRange(64, 512);
    upDown.SetPosition(510);
    std::vector<TUDBtnType> reports;
    upDown.OnClick = [&](TUpDownQt*, TUDBtnType button) { reports.push_back(button); };

    upDown.Press(btNext); // 511
    upDown.Press(btNext); // 512
    upDown.Press(btNext); // stays at 512: no report
    EXPECT_EQ(upDown.Position(), 512);
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[1], btNext);

    upDown.SetPosition(64);
    reports.clear();
    upDown.Press(btPrev);
    EXPECT_TRUE(reports.empty());
    upDown.Press(btNext);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(upDown.Position(), 65);
}

TEST(UpDown, ArrowButtonsPressOncePerClick) {
    TUpDownQt upDown;
    upDown.SetRange(64, 512);
    upDown.SetPosition(256);
    upDown.resize(16, 22);
    std::vector<TUDBtnType> reports;
    upDown.OnClick = [&](TUpDownQt*, TUDBtnType button) { reports.push_back(button); };

    QTest::mouseClick(upDown.UpButton(), Qt::LeftButton);
    QTest::mouseClick(upDown.DownButton(), Qt::LeftButton);
    QTest::mouseClick(upDown.DownButton(), Qt::LeftButton);
    EXPECT_EQ(reports, (std::vector<TUDBtnType>{btNext, btPrev, btPrev}));
    EXPECT_EQ(upDown.Position(), 255);
}

TEST(StatusBar, PanelRectangleIsClippedToTheBar) {
    TStatusBarQt bar;
    bar.resize(708, 20);
    std::vector<std::pair<int, QRect>> drawn;
    bar.OnDrawPanel = [&](TStatusBarQt*, int panel, const QRect& rect) { drawn.emplace_back(panel, rect); };
    bar.SetPanelWidths({712});
    ASSERT_FALSE(drawn.empty());
    EXPECT_EQ(drawn.back().first, 0);
    // Below the 2-pixel top border, as wide as the bar (the panel's 712 reach past its 708).
    EXPECT_EQ(drawn.back().second, QRect(0, 2, 708, 18));
    EXPECT_EQ(bar.PanelRect(1), QRect());
}

TEST(PanelSurface, PresentCopiesRowsByPitchAndMakesThemOpaque) {
    TPanelSurfaceQt surface;
    // 3 x 2 texels with a pitch of 4 texels; the fourth texel of each row is padding.
    const std::uint32_t pixels[8] = {0x00112233u, 0x80445566u, 0xFF778899u, 0xDEADBEEFu,
                                     0x01020304u, 0x00FFFFFFu, 0x7F000000u, 0xDEADBEEFu};
    surface.PresentImage(pixels, 3, 2, 16);
    ASSERT_EQ(surface.PresentCount(), 1);
    const QImage& frame = surface.Frame();
    ASSERT_EQ(frame.size(), QSize(3, 2));
    const std::uint32_t expected[2][3] = {{0xFF112233u, 0xFF445566u, 0xFF778899u},
                                          {0xFF020304u, 0xFFFFFFFFu, 0xFF000000u}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            ASSERT_EQ(frame.pixel(x, y), expected[y][x]) << "first difference at (" << x << ", " << y << ")";
}

TEST(PanelSurface, IgnoresMalformedFrames) {
    TPanelSurfaceQt surface;
    const std::uint32_t pixels[4] = {};
    surface.PresentImage(nullptr, 2, 2, 8);
    surface.PresentImage(pixels, 2, 2, 4); // pitch shorter than a row
    surface.PresentImage(pixels, 0, 2, 8);
    EXPECT_EQ(surface.PresentCount(), 0);
    EXPECT_TRUE(surface.Frame().isNull());
}

TEST(PanelSurface, LeftClickInsideFiresOnClick) {
    TPanelSurfaceQt surface;
    surface.resize(512, 512);
    int clicks = 0;
    surface.OnClick = [&] { ++clicks; };
    QTest::mouseClick(&surface, Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseClick(&surface, Qt::RightButton, {}, QPoint(10, 10));
    EXPECT_EQ(clicks, 1);
}

TEST(FormKit, InterceptorReceivesTextCaptionAndButtons) {
    test::MessageRecorder recorder(TMsgResult::No);
    EXPECT_EQ(ShowMessageBox(recorder, "Really?  ", "Alert!", TMsgButtons::YesNo), TMsgResult::No);
    ASSERT_EQ(recorder.messages.size(), 1u);
    EXPECT_EQ(recorder.messages[0].text, QString("Really?  "));
    EXPECT_EQ(recorder.messages[0].caption, QString("Alert!"));
    EXPECT_EQ(recorder.messages[0].buttons, TMsgButtons::YesNo);
    EXPECT_EQ(recorder.messages[0].icon, TMsgIcon::None);
}

} // namespace
} // namespace vorn

int main(int argc, char** argv) {
    return vorn::test::RunQtTests(argc, argv);
}
