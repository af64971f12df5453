// The main window with the real engine behind it: controls and their defaults, the reset
// gestures, the commands, the keys, generation and colour, and start-up with each of its
// failures (export: test_export.cpp). Message boxes are recorded instead of shown; modal dialogs are answered
// from a zero timer that runs inside their event loop.
#include <QApplication>
#include <QColorDialog>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QStyleOptionGroupBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <array>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "app/HistoryQt.h"
#include "app/MenuBarQt.h"
#include "app/PanelSurfaceQt.h"
#include "app/ProgramQt.h"
#include "app/StatusQt.h"
#include "app/dialogs/about.h"
#include "app/dialogs/settings.h"
#include "app/gen.h"
#include "engine/VornDef.h"
#include "engine/soft/SoftDevice.h"
#include "gen/GenParams.h"
#include "gen/OutputTexture.h"
#include "test_support.h"
#include "tests/support/FaultyDevice.h"

namespace vorn {
namespace {

using test::AnswerNextDialog;

std::string BuiltArchive() {
    return std::string(PALLIMOR_BUILD_DIR) + "/vorn.dat";
}

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override {
        m_recorder = std::make_unique<test::MessageRecorder>();
        m_window = std::make_unique<TFOrlu>([] { return BuiltArchive(); }, nullptr, sd::Direct3DFactory{},
                                            *m_recorder);
        ASSERT_TRUE(m_recorder->messages.empty()) << m_recorder->messages[0].text.toStdString();
        ASSERT_FALSE(Gen().StartupIncomplete);
    }
    void TearDown() override { m_window.reset(); }

    TGenerator& Gen() { return m_window->Generator(); }
    TFOrlu& W() { return *m_window; }

    // Shows the window and waits until the first texture has been presented.
    void ShowAndWaitForFirstFrame() {
        W().show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&W()));
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return W().PanelSurface->PresentCount() > 0 && W().PanelControls->isEnabled(); }, 60000));
    }

    std::unique_ptr<test::MessageRecorder> m_recorder;
    std::unique_ptr<TFOrlu> m_window;
};

// ---- layout and defaults ----

TEST_F(MainWindow, WindowAndPanelsHaveTheirSizesAndPlaces) {
    EXPECT_EQ(W().windowTitle(), QString("Pallimor v1.0"));
    // The client area keeps the layout's size; the menu bar sits above it.
    EXPECT_EQ(W().Client->geometry(), QRect(0, W().MenuBar->height(), 708, 544));
    EXPECT_EQ(W().MenuBar->geometry(), QRect(0, 0, 708, W().MenuBar->height()));
    EXPECT_EQ(W().size(), QSize(708, 544 + W().MenuBar->height()));
    EXPECT_EQ(W().minimumSize(), W().maximumSize()); // not resizable
    EXPECT_FALSE(W().windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(W().windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_EQ(W().font().pixelSize(), 11);

    EXPECT_EQ(W().PanelPreview->geometry(), QRect(4, 4, 516, 516));
    EXPECT_EQ(W().PanelSurface->parentWidget(), W().PanelPreview);
    EXPECT_EQ(W().PanelSurface->geometry(), QRect(2, 2, 512, 512));
    EXPECT_EQ(W().PanelSettings->geometry(), QRect(524, 4, 180, 362));
    EXPECT_EQ(W().PanelControls->geometry(), QRect(524, 370, 180, 150));
    EXPECT_EQ(W().StatusBar->geometry(), QRect(0, 524, 708, 20));
    EXPECT_EQ(W().ProgressBar->parentWidget(), W().StatusBar);
    // Panel 0 lies below the bar's 2-pixel top border; the progress bar keeps 2 pixels inside it.
    // Panel 1 (240..708) holds the brush set's text, 2 + 4 pixels in from its sides.
    EXPECT_EQ(W().ProgressBar->geometry(), QRect(2, 4, 236, 14));
    EXPECT_EQ(W().Status->Text->parentWidget(), W().StatusBar);
    EXPECT_EQ(W().Status->Text->geometry(), QRect(246, 4, 456, 14));
    EXPECT_EQ(W().Status->Text->text(), QString("Brushes: default"));
    EXPECT_EQ(W().ProgressBar->minimum(), 1);
    EXPECT_EQ(W().ProgressBar->maximum(), 10);
    EXPECT_EQ(W().ProgressBar->value(), 1);
}

TEST_F(MainWindow, GroupBoxesFormTwoColumnsOfEightRows) {
    const QGroupBox* groups[16] = {
        W().Group(gpSize),        W().Group(gpBGColor),    W().Group(gpImage),      W().Group(gpEffect),
        W().Group(gpBGFill),      W().Group(gpBGForm),     W().Group(gpBrushType),  W().Group(gpBrushSize),
        W().Group(gpSteps),       W().Group(gpHueSwitch),  W().Group(gpSaturation), W().Group(gpLightness),
        W().Group(gpRadiusSpeed), W().Group(gpAngleSpeed), W().Group(gpScaleSpeed), W().Group(gpTurnFreq)};
    const char* captions[16] = {"Size",         "BG Color",    "Image",       "Effect",
                                "BG Fill",      "BG Form",     "Brush Type",  "Brush Size",
                                "Steps",        "Hue Switch",  "Saturation",  "Lightness",
                                "Radius Speed", "Angle Speed", "Scale Speed", "Turn Freq"};
    for (int i = 0; i < 16; ++i) {
        SCOPED_TRACE(captions[i]);
        EXPECT_EQ(groups[i]->parentWidget(), W().PanelSettings);
        EXPECT_EQ(groups[i]->title(), QString(captions[i]));
        EXPECT_EQ(groups[i]->geometry(), QRect(i % 2 == 0 ? 8 : 92, 4 + 44 * (i / 2), 80, 44));
    }
}

TEST_F(MainWindow, CommandButtonsHaveTheirCaptionsAndPlaces) {
    const struct {
        QPushButton* button;
        const char* caption;
        QRect place;
    } buttons[] = {
        {W().ButtonGenerate, "Generate", QRect(8, 8, 164, 24)},
        {W().ButtonExport, "Export", QRect(8, 36, 80, 24)},
        {W().ButtonBatch, "Batch Export", QRect(92, 36, 80, 24)},
        {W().ButtonPreview, "Show Preview Pane", QRect(8, 64, 164, 24)},
        {W().ButtonSettings, "Settings", QRect(8, 92, 164, 24)},
        {W().ButtonAbout, "About", QRect(8, 120, 80, 24)},
        {W().ButtonExit, "Exit", QRect(92, 120, 80, 24)},
    };
    for (const auto& b : buttons) {
        SCOPED_TRACE(b.caption);
        EXPECT_EQ(b.button->parentWidget(), W().PanelControls);
        EXPECT_EQ(b.button->text(), QString(b.caption));
        EXPECT_EQ(b.button->geometry(), b.place);
    }
}

TEST_F(MainWindow, ListsHaveTheirItemsAndDefaults) {
    const struct {
        QComboBox* combo;
        QStringList items;
        int selected;
    } lists[] = {
        {W().List(gpImage), {"Clear", "Keep"}, 0},
        {W().List(gpEffect),
         {"Blend", "Add", "Sub", "Color", "Shadow", "Light", "Max", "Shift", "Glow", "Stroke"},
         9},
        {W().List(gpBGFill), {"Color", "H-Grad", "V-Grad", "Random", "None"}, 3},
        {W().List(gpBGForm), {"None", "Circle", "Square", "Random"}, 3},
        {W().List(gpBrushType), {"Hard", "Soft"}, 1},
        {W().List(gpBrushSize), {"16", "32", "64", "128"}, 2},
    };
    for (const auto& list : lists) {
        SCOPED_TRACE(list.items.join(',').toStdString());
        EXPECT_FALSE(list.combo->isEditable()); // a fixed list: no typing
        QStringList items;
        for (int i = 0; i < list.combo->count(); ++i) items << list.combo->itemText(i);
        EXPECT_EQ(items, list.items);
        EXPECT_EQ(list.combo->currentIndex(), list.selected);
    }
    // The settings source reads the same values.
    EXPECT_EQ(W().Value(gpImage), 0);
    EXPECT_EQ(W().Value(gpEffect), 9);
    EXPECT_EQ(W().Value(gpBGFill), 3);
    EXPECT_EQ(W().Value(gpBGForm), 3);
    EXPECT_EQ(W().Value(gpBrushType), 1);
    EXPECT_EQ(W().Value(gpBrushSize), 2);
}

TEST_F(MainWindow, SlidersHaveTheirRangesStepsTicksAndHints) {
    const QSlider* steps = W().Track(gpSteps);
    EXPECT_EQ(steps->minimum(), 0);
    EXPECT_EQ(steps->maximum(), 2048);
    EXPECT_EQ(steps->singleStep(), 128);
    EXPECT_EQ(steps->pageStep(), 256);
    EXPECT_EQ(steps->tickInterval(), 256);
    EXPECT_EQ(steps->value(), 1024);
    EXPECT_EQ(steps->toolTip(), QString("1024"));

    QSlider* const others[] = {W().Track(gpHueSwitch),   W().Track(gpSaturation), W().Track(gpLightness),
                               W().Track(gpRadiusSpeed), W().Track(gpAngleSpeed), W().Track(gpScaleSpeed),
                               W().Track(gpTurnFreq)};
    for (QSlider* track : others) {
        EXPECT_EQ(track->minimum(), 1);
        EXPECT_EQ(track->maximum(), 100);
        EXPECT_EQ(track->singleStep(), 5);
        EXPECT_EQ(track->pageStep(), 10);
        EXPECT_EQ(track->tickInterval(), 10);
        EXPECT_EQ(track->value(), 50);
        EXPECT_EQ(track->toolTip(), QString("50"));
        track->setValue(73);
        EXPECT_EQ(track->toolTip(), QString("73"));
    }
    W().Track(gpSteps)->setValue(1500);
    EXPECT_EQ(W().Track(gpSteps)->toolTip(), QString("1500"));
    EXPECT_EQ(W().Value(gpSteps), 1500);
    EXPECT_EQ(W().Value(gpHueSwitch), 73);
    EXPECT_EQ(W().Value(gpTurnFreq), 73);
}

// Every row of the parameter table has its group box in panel order and a control with the
// row's caption, items or range, steps and default; the settings source reads that control only.
TEST_F(MainWindow, ControlsFollowTheParameterTable) {
    const auto values = [this] {
        std::array<int, GenParamCount> all{};
        for (const TGenParam& param : GenParams) all[param.id] = W().Value(param.id);
        return all;
    };
    const QList<QGroupBox*> groups = W().PanelSettings->findChildren<QGroupBox*>(Qt::FindDirectChildrenOnly);
    ASSERT_EQ(groups.size(), PanelParamCount);
    for (const TGenParam& param : GenParams) {
        if (param.id >= PanelParamCount) continue; // in a menu (test_menubar)
        SCOPED_TRACE(param.caption);
        QGroupBox* group = groups[param.id];
        EXPECT_EQ(group->title(), QString(param.caption));
        EXPECT_EQ(W().Value(param.id), param.defaultValue);
        std::array<int, GenParamCount> expected = values();
        switch (param.kind) {
        case pkSize:
            EXPECT_EQ(group->findChild<QLabel*>()->text(), QString::number(param.defaultValue));
            W().UpDownSize->Press(btNext);
            expected[param.id] = param.defaultValue * 2;
            break;
        case pkColor:
            EXPECT_EQ(W().SwatchColor(), QColor(QRgb(param.defaultValue)));
            Gen().BackgroundColor = CanvasColorOfRgb(0x123456);
            expected[param.id] = 0x123456;
            break;
        case pkList: {
            auto* combo = group->findChild<QComboBox*>();
            ASSERT_NE(combo, nullptr);
            ASSERT_EQ(combo->count(), static_cast<int>(param.items.size()));
            for (int i = 0; i < combo->count(); ++i) EXPECT_EQ(combo->itemText(i), QString(param.items[i]));
            EXPECT_EQ(combo->currentIndex(), param.defaultValue);
            const int other = param.defaultValue == 0 ? param.max : 0;
            combo->setCurrentIndex(other);
            expected[param.id] = other;
            break;
        }
        case pkTrack: {
            auto* track = group->findChild<QSlider*>();
            ASSERT_NE(track, nullptr);
            EXPECT_EQ(track->minimum(), param.min);
            EXPECT_EQ(track->maximum(), param.max);
            EXPECT_EQ(track->singleStep(), param.lineStep);
            EXPECT_EQ(track->pageStep(), param.pageStep);
            EXPECT_EQ(track->tickInterval(), param.tickInterval);
            EXPECT_EQ(track->value(), param.defaultValue);
            EXPECT_EQ(track->toolTip(), QString::number(param.defaultValue));
            track->setValue(param.min);
            expected[param.id] = param.min;
            break;
        }
        }
        EXPECT_EQ(values(), expected) << "only " << param.name << " changed";
    }
}

TEST_F(MainWindow, TextsFitTheirControls) {
    // Nothing is clipped: the geometry is in device-independent pixels, so this holds at any scale.
    const QFontMetrics metrics(W().font());
    for (QGroupBox* group : W().PanelSettings->findChildren<QGroupBox*>()) {
        SCOPED_TRACE(group->title().toStdString());
        QStyleOptionGroupBox option;
        option.initFrom(group);
        option.text = group->title();
        option.textAlignment = group->alignment();
        option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
        const QRect label =
            group->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, group);
        EXPECT_LE(metrics.horizontalAdvance(group->title()), label.width());
        EXPECT_TRUE(group->rect().contains(label)) << label.x() << " " << label.width();
    }
    for (QComboBox* combo : W().PanelSettings->findChildren<QComboBox*>()) {
        QStyleOptionComboBox option;
        option.initFrom(combo);
        const QRect field =
            combo->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo);
        for (int i = 0; i < combo->count(); ++i) {
            SCOPED_TRACE(combo->itemText(i).toStdString());
            EXPECT_LE(metrics.horizontalAdvance(combo->itemText(i)), field.width());
        }
    }
    for (QPushButton* button : W().PanelControls->findChildren<QPushButton*>()) {
        SCOPED_TRACE(button->text().toStdString());
        EXPECT_LE(metrics.horizontalAdvance(button->text()) + 8, button->width());
    }
    EXPECT_LE(metrics.horizontalAdvance("Hide Preview Pane") + 8, W().ButtonPreview->width());
    EXPECT_LE(metrics.horizontalAdvance("1024") + 4, W().LabelSize->width());
}

// ---- reset gestures ----

TEST_F(MainWindow, DoubleClickOnAGroupResetsItsSlider) {
    const struct {
        QGroupBox* group;
        QSlider* track;
        int value;
    } groups[] = {
        {W().Group(gpSteps), W().Track(gpSteps), 1024},
        {W().Group(gpSaturation), W().Track(gpSaturation), 50},
        {W().Group(gpLightness), W().Track(gpLightness), 50},
        {W().Group(gpRadiusSpeed), W().Track(gpRadiusSpeed), 50},
        {W().Group(gpAngleSpeed), W().Track(gpAngleSpeed), 50},
        {W().Group(gpScaleSpeed), W().Track(gpScaleSpeed), 50},
        {W().Group(gpTurnFreq), W().Track(gpTurnFreq), 50},
    };
    const QPoint onTheGroup(2, 30); // left of the slider, on the group box itself
    for (const auto& g : groups) {
        SCOPED_TRACE(g.group->title().toStdString());
        g.track->setValue(g.track->minimum());
        QTest::mouseClick(g.group, Qt::LeftButton, {}, onTheGroup);
        EXPECT_EQ(g.track->value(), g.track->minimum()) << "a single click resets nothing";
        QTest::mouseDClick(g.group, Qt::LeftButton, {}, onTheGroup);
        EXPECT_EQ(g.track->value(), g.value);
        EXPECT_EQ(g.track->toolTip(), QString::number(g.value));
    }
}

TEST_F(MainWindow, SingleClickOnHueSwitchResetsIt) {
    W().Track(gpHueSwitch)->setValue(90);
    QTest::mouseClick(W().Group(gpHueSwitch), Qt::LeftButton, {}, QPoint(2, 30));
    EXPECT_EQ(W().Track(gpHueSwitch)->value(), 50);
    W().Track(gpHueSwitch)->setValue(5);
    QTest::mouseClick(W().Group(gpHueSwitch), Qt::RightButton, {}, QPoint(2, 30));
    EXPECT_EQ(W().Track(gpHueSwitch)->value(), 5) << "only the left button clicks";
}

TEST_F(MainWindow, KeepDisablesTheBackgroundListsAndClearRestoresThem) {
    W().List(gpBGFill)->setCurrentIndex(1);
    W().List(gpBGForm)->setCurrentIndex(2);
    W().List(gpImage)->setCurrentIndex(1); // "Keep"
    EXPECT_FALSE(W().List(gpBGFill)->isEnabled());
    EXPECT_FALSE(W().List(gpBGForm)->isEnabled());
    EXPECT_EQ(W().Value(gpImage), 1);
    W().List(gpImage)->setCurrentIndex(0); // "Clear"
    EXPECT_TRUE(W().List(gpBGFill)->isEnabled());
    EXPECT_TRUE(W().List(gpBGForm)->isEnabled());
    EXPECT_EQ(W().List(gpBGFill)->currentIndex(), 1);
    EXPECT_EQ(W().List(gpBGForm)->currentIndex(), 2);
}

// ---- commands ----

TEST_F(MainWindow, PreviewButtonTogglesPaneAndCaption) {
    EXPECT_FALSE(Gen().PreviewPaneVisible);
    QTest::mouseClick(W().ButtonPreview, Qt::LeftButton);
    EXPECT_TRUE(Gen().PreviewPaneVisible);
    EXPECT_EQ(W().ButtonPreview->text(), QString("Hide Preview Pane"));
    QTest::mouseClick(W().ButtonPreview, Qt::LeftButton);
    EXPECT_FALSE(Gen().PreviewPaneVisible);
    EXPECT_EQ(W().ButtonPreview->text(), QString("Show Preview Pane"));
}

TEST_F(MainWindow, SizeArrowsDoubleAndHalveWithinTheirLimits) {
    EXPECT_EQ(W().LabelSize->text(), QString("256"));
    EXPECT_EQ(W().UpDownSize->Min(), 64);
    EXPECT_EQ(W().UpDownSize->Max(), 512);
    EXPECT_EQ(W().UpDownSize->Position(), 256);

    const auto up = [&] { QTest::mouseClick(W().UpDownSize->UpButton(), Qt::LeftButton); };
    const auto down = [&] { QTest::mouseClick(W().UpDownSize->DownButton(), Qt::LeftButton); };
    up();
    EXPECT_EQ(Gen().TextureSize, 512);
    EXPECT_EQ(W().LabelSize->text(), QString("512"));
    for (const int size : {1024, 2048, 4096, 4096}) {
        up();
        EXPECT_EQ(Gen().TextureSize, size);
        EXPECT_EQ(W().LabelSize->text(), QString::number(size));
    }
    for (int i = 0; i < 6; ++i) down();
    EXPECT_EQ(Gen().TextureSize, 64);
    down();
    EXPECT_EQ(Gen().TextureSize, 64);
    EXPECT_EQ(W().LabelSize->text(), QString("64"));
    EXPECT_EQ(W().UpDownSize->Position(), W().UpDownSize->Min()) << "the arrows follow the size";
}

TEST_F(MainWindow, SizeArrowsReportNothingWhenTheControlIsAtItsEnd) {
    // The control's own position has reached its maximum: Up no longer reaches the window.
    W().UpDownSize->SetPosition(512);
    QTest::mouseClick(W().UpDownSize->UpButton(), Qt::LeftButton);
    EXPECT_EQ(Gen().TextureSize, 256);
    QTest::mouseClick(W().UpDownSize->DownButton(), Qt::LeftButton);
    EXPECT_EQ(Gen().TextureSize, 128);
}

TEST_F(MainWindow, EscapeClosesTheWindow) {
    W().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&W()));
    W().List(gpEffect)->setFocus();
    QTest::keyClick(W().List(gpEffect), Qt::Key_Escape); // a list does not take Escape
    EXPECT_FALSE(W().isVisible());
}

TEST_F(MainWindow, EscapeDuringABatchOnlyAsksItToStop) {
    W().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&W()));
    Gen().BatchRunning = true;
    QTest::keyClick(&W(), Qt::Key_Escape);
    EXPECT_FALSE(Gen().BatchRunning);
    EXPECT_TRUE(W().isVisible());
    QTest::keyClick(&W(), Qt::Key_A);
    EXPECT_TRUE(W().isVisible());
}

TEST_F(MainWindow, ExitButtonClosesTheWindow) {
    W().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&W()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return W().PanelControls->isEnabled(); }, 60000));
    QTest::mouseClick(W().ButtonExit, Qt::LeftButton);
    EXPECT_FALSE(W().isVisible());
}

TEST_F(MainWindow, GenerationDisablesThePanelsAndRefusesAClickOnTheSurface) {
    W().Track(gpSteps)->setValue(0); // the shortest walk
    // The random sequence tells how many generations ran.
    random::SetSeed(12345);
    W().ButtonGenerateClick();
    const std::uint32_t seedAfterOne = random::Seed();

    random::SetSeed(12345);
    bool ran = false, panelsDisabled = false, generating = false, stillDisabled = false;
    int progressMaximum = 0;
    QTimer::singleShot(0, &W(), [&] { // runs from the synthesis' message pump
        ran = true;
        panelsDisabled = !W().PanelSettings->isEnabled() && !W().PanelControls->isEnabled();
        generating = Gen().Generating();
        progressMaximum = W().ProgressBar->maximum();
        QTest::mouseClick(W().PanelSurface, Qt::LeftButton, {}, QPoint(100, 100));
        stillDisabled = !W().PanelSettings->isEnabled() && !W().PanelControls->isEnabled();
    });
    W().ButtonGenerateClick();
    EXPECT_TRUE(ran);
    EXPECT_TRUE(panelsDisabled);
    EXPECT_TRUE(generating);
    EXPECT_EQ(progressMaximum, 1024);
    EXPECT_TRUE(stillDisabled);
    EXPECT_EQ(random::Seed(), seedAfterOne) << "the click during the generation started another";
    EXPECT_TRUE(W().PanelSettings->isEnabled());
    EXPECT_TRUE(W().PanelControls->isEnabled());
    EXPECT_EQ(W().ProgressBar->value(), 1);
}

// The bar repaints itself whenever its value moves a pixel; once per step that doubled the time
// of a texture. It follows at most once a 16 ms frame, and still starts over at its minimum.
TEST_F(MainWindow, TheProgressBarIsPaintedAtMostOnceAFrame) {
    ShowAndWaitForFirstFrame();
    W().Track(gpSteps)->setValue(2048);
    struct PaintCounter : QObject {
        int paints = 0;
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::Paint) ++paints;
            return false;
        }
    } counter;
    int highest = 0;
    const QMetaObject::Connection watch = QObject::connect(
        W().ProgressBar, &QProgressBar::valueChanged, [&](int value) { highest = std::max(highest, value); });
    W().ProgressBar->installEventFilter(&counter);
    QElapsedTimer clock;
    clock.start();
    W().ButtonGenerateClick();
    const qint64 elapsed = clock.elapsed();
    W().ProgressBar->removeEventFilter(&counter);
    QObject::disconnect(watch);
    EXPECT_LE(counter.paints, elapsed / 16 + 4) << elapsed << " ms";
    EXPECT_GT(highest, 1) << "the bar never moved";
    EXPECT_EQ(W().ProgressBar->value(), 1);
}

TEST_F(MainWindow, ClickOnTheSurfaceGenerates) {
    W().Track(gpSteps)->setValue(0);
    random::SetSeed(777);
    W().ButtonGenerateClick();
    const std::uint32_t seedAfterButton = random::Seed();
    random::SetSeed(777);
    QTest::mouseClick(W().PanelSurface, Qt::LeftButton, {}, QPoint(256, 256));
    EXPECT_EQ(random::Seed(), seedAfterButton);
    EXPECT_NE(seedAfterButton, 777u);
}

TEST_F(MainWindow, SettingsAndAboutOpenModally) {
    TFVornS settings(&W(), *m_recorder);
    TFVornA about(&W());
    W().FVornS = &settings;
    W().FVornA = &about;
    bool settingsModal = false, aboutModal = false;
    AnswerNextDialog<TFVornS>(&W(), [&](TFVornS* dialog) {
        settingsModal = dialog == &settings && dialog->isModal();
        dialog->close();
    });
    QTest::mouseClick(W().ButtonSettings, Qt::LeftButton);
    EXPECT_TRUE(settingsModal);
    AnswerNextDialog<TFVornA>(&W(), [&](TFVornA* dialog) {
        aboutModal = dialog == &about && dialog->isModal();
        dialog->ButtonCloseClick();
    });
    QTest::mouseClick(W().ButtonAbout, Qt::LeftButton);
    EXPECT_TRUE(aboutModal);
    EXPECT_FALSE(about.isVisible());
}

// ---- frames ----

TEST_F(MainWindow, FirstTextureIsShownAndIdleFramesCostNothing) {
    ShowAndWaitForFirstFrame();
    const QImage first = W().PanelSurface->Frame();
    ASSERT_EQ(first.size(), QSize(512, 512));
    // A texture, not a flat colour.
    bool varies = false;
    for (int y = 0; y < 512 && !varies; y += 7)
        for (int x = 0; x < 512 && !varies; x += 7) varies = first.pixel(x, y) != first.pixel(0, 0);
    EXPECT_TRUE(varies);

    // Nothing changes: no frames are presented.
    QTest::qWait(150);
    const int settled = W().PanelSurface->PresentCount();
    QTest::qWait(300);
    EXPECT_EQ(W().PanelSurface->PresentCount(), settled);

    // The preview pane: grey double frame at 310 and 311, the empty centre cell black.
    W().ButtonPreviewClick();
    ASSERT_TRUE(QTest::qWaitFor([&] { return W().PanelSurface->PresentCount() > settled; }, 5000));
    const QImage pane = W().PanelSurface->Frame();
    const struct {
        int x, y;
        QRgb value;
    } expected[] = {{310, 310, 0xFF808080u}, {311, 311, 0xFFA0A0A0u}, {400, 400, 0xFF000000u},
                    {509, 400, 0xFF808080u}, {508, 400, 0xFFA0A0A0u}, {510, 400, 0xFF000000u}};
    for (const auto& e : expected)
        EXPECT_EQ(pane.pixel(e.x, e.y), e.value) << "at (" << e.x << ", " << e.y << ")";
}

TEST_F(MainWindow, DeactivationStopsFramesAndActivationRestartsThem) {
    EXPECT_TRUE(W().FramesRunning());
    W().FormDeactivate();
    EXPECT_FALSE(W().FramesRunning());
    W().FormActivate();
    EXPECT_TRUE(W().FramesRunning());
}

// ---- colour ----

TEST_F(MainWindow, SwatchShowsTheBackgroundColourFromTheStart) {
    EXPECT_EQ(Gen().BackgroundColor, 0xFFFF8000u);
    EXPECT_EQ(W().SwatchColor(), QColor(0x00, 0x80, 0xFF));
}

TEST_F(MainWindow, ColourDialogOpensOnTheCurrentColourAndCancelKeepsIt) {
    QColor openedOn;
    AnswerNextDialog<QColorDialog>(&W(), [&](QColorDialog* dialog) {
        openedOn = dialog->currentColor();
        dialog->reject();
    });
    QTest::mouseClick(W().PanelColor, Qt::LeftButton);
    EXPECT_EQ(openedOn, QColor(0x00, 0x80, 0xFF));
    EXPECT_EQ(Gen().BackgroundColor, 0xFFFF8000u);
    EXPECT_EQ(W().SwatchColor(), QColor(0x00, 0x80, 0xFF));

    AnswerNextDialog<QColorDialog>(&W(), [&](QColorDialog* dialog) {
        dialog->setCurrentColor(QColor(0x12, 0x34, 0x56));
        dialog->accept();
    });
    W().PanelColorClick();
    EXPECT_EQ(Gen().BackgroundColor, 0xFF563412u); // 0xAABBGGRR
    EXPECT_EQ(W().SwatchColor(), QColor(0x12, 0x34, 0x56));

    AnswerNextDialog<QColorDialog>(&W(), [&](QColorDialog* dialog) {
        openedOn = dialog->currentColor();
        dialog->reject();
    });
    W().PanelColorClick();
    EXPECT_EQ(openedOn, QColor(0x12, 0x34, 0x56));
    EXPECT_EQ(Gen().BackgroundColor, 0xFF563412u);
}

// While a texture is made the panels are disabled, yet the mouse still reaches the window's
// filter: a click must neither reset a slider nor open the colour dialog.
TEST_F(MainWindow, ClicksOnDisabledPanelsChangeNothing) {
    W().Track(gpHueSwitch)->setValue(80);
    W().PanelSettings->setEnabled(false);
    W().PanelControls->setEnabled(false);
    bool opened = false;
    AnswerNextDialog<QColorDialog>(&W(), [&](QColorDialog* dialog) {
        opened = true;
        dialog->reject();
    });
    QTest::mouseClick(W().PanelColor, Qt::LeftButton);
    QTest::mouseDClick(W().Group(gpHueSwitch), Qt::LeftButton, {}, QPoint(4, 4));
    QTest::mouseClick(W().Group(gpHueSwitch), Qt::LeftButton, {}, QPoint(4, 4));
    EXPECT_FALSE(opened);
    EXPECT_EQ(W().Track(gpHueSwitch)->value(), 80);
    W().PanelSettings->setEnabled(true);
    W().PanelControls->setEnabled(true);
    QCoreApplication::processEvents(); // the unanswered dialog poll ends with the test's window
}

// ---- start-up ----

class Startup : public ::testing::Test {
protected:
    test::DeviceFaults m_faults;

    // Creates and shows the main window as the program does, runs the event loop and checks
    // that exactly the expected message came, that the loop ended with status 1 and that
    // nothing was drawn.
    void ExpectFailure(TArchiveLocator locate, const QString& text, const QString& caption) {
        test::MessageRecorder recorder;
        TFOrlu window(std::move(locate), nullptr, test::FaultyDirect3DFactory(m_faults), recorder);
        ASSERT_EQ(recorder.messages.size(), 1u);
        EXPECT_EQ(recorder.messages[0].text, text);
        EXPECT_EQ(recorder.messages[0].caption, caption);
        EXPECT_EQ(recorder.messages[0].buttons, TMsgButtons::Ok);
        EXPECT_EQ(recorder.messages[0].icon, TMsgIcon::None);
        EXPECT_TRUE(window.Generator().StartupIncomplete);

        window.show();
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
        guard.start(20000);
        EXPECT_EQ(QApplication::exec(), 1);
        QCoreApplication::processEvents(); // a first showing still pending must draw nothing either
        EXPECT_EQ(window.PanelSurface->PresentCount(), 0);
        EXPECT_FALSE(window.FramesRunning());
        EXPECT_EQ(recorder.messages.size(), 1u);
    }
};

TEST_F(Startup, MissingArchiveEndsTheProgram) {
    const QString text("File vorn.dat not found! Try reinstalling the application!  ");
    ExpectFailure([] { return std::string(); }, text, "Error!");
    ExpectFailure([] { return std::string("/nonexistent/folder/vorn.dat"); }, text, "Error!");
}

TEST_F(Startup, DeviceThatCannotBeCreatedEndsTheProgram) {
    m_faults.failCreateDevice = true;
    // The archive is not looked for: the device message comes even without one.
    ExpectFailure([] { return std::string(); }, "Initializing device failed!  ", "Error");
}

TEST_F(Startup, RenderTargetThatCannotBeMadeIsNamedBySize) {
    const int sizes[7] = {256, 1024, 1024, 512, 256, 128, 64};
    for (int made = 0; made < 7; ++made) {
        SCOPED_TRACE(made);
        m_faults = {};
        m_faults.renderTargetsBeforeFailure = made;
        ExpectFailure([] { return BuiltArchive(); },
                      QString("Adding render target %1 x %1 failed!  ").arg(sizes[made]), "Error");
    }
}

TEST_F(Startup, AnArchiveWithoutBrushesRunsAndSaysSoOnceAfterStartUp) {
    QTemporaryDir dir;
    const QString junk = dir.filePath("vorn.dat");
    QFile file(junk);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("this is no archive at all");
    file.close();
    test::MessageRecorder recorder;
    TFOrlu window([&] { return junk.toStdString(); }, nullptr, {}, recorder);
    EXPECT_TRUE(recorder.messages.empty()); // not while the window is being created
    EXPECT_FALSE(window.Generator().StartupIncomplete);
    window.show();
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
    ASSERT_EQ(recorder.messages.size(), 1u);
    EXPECT_EQ(recorder.messages[0].text, "Brush archive " + junk +
                                             " was read, but its brushes are missing: it holds 0 usable "
                                             "images of the 10 needed!  ");
    EXPECT_EQ(recorder.messages[0].caption, "Alert!");
    EXPECT_EQ(recorder.messages[0].buttons, TMsgButtons::Ok);
}

TEST_F(Startup, ProgramRunsAndSavesTheQualityAtTheEnd) {
    const QString store = QSettings("Quorvane", "Vorn").fileName();
    QFile::remove(store);
    test::MessageRecorder recorder;
    int presented = 0;
    // Closes the main window once its first texture is on the surface.
    QTimer watch;
    watch.setInterval(10);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        for (QWidget* top : QApplication::topLevelWidgets())
            if (auto* window = qobject_cast<TFOrlu*>(top); window && window->isVisible()) {
                EXPECT_TRUE(window->FVornS);
                EXPECT_TRUE(window->FVornA);
                if (window->PanelSurface->PresentCount() > 0 && window->PanelControls->isEnabled()) {
                    presented = window->PanelSurface->PresentCount();
                    window->close();
                }
            }
    });
    watch.start();
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    guard.start(60000);
    EXPECT_EQ(RunProgram([] { return BuiltArchive(); }, recorder), 0);
    EXPECT_GT(presented, 0);
    EXPECT_TRUE(recorder.messages.empty());
    EXPECT_EQ(QSettings("Quorvane", "Vorn").value("Settings/Quality"), QVariant(95));
}

TEST_F(Startup, FailedProgramEndsWithStatusOne) {
    test::MessageRecorder recorder;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    guard.start(20000);
    EXPECT_EQ(RunProgram([] { return std::string(); }, recorder), 1);
    ASSERT_EQ(recorder.messages.size(), 1u);
    EXPECT_EQ(recorder.messages[0].caption, QString("Error!"));
}

} // namespace
} // namespace vorn

int main(int argc, char** argv) {
    return vorn::test::RunQtTests(argc, argv);
}
