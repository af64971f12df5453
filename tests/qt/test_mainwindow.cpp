// The main window with the real engine behind it: controls and their defaults, the reset
// gestures, the commands, the keys, generation, colour and export, and start-up with each of
// its failures. Message boxes are recorded instead of shown; modal dialogs are answered from a
// zero timer that runs inside their event loop.
#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
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
#include "app/dialogs/about.h"
#include "app/dialogs/settings.h"
#include "app/gen.h"
#include "engine/VornDef.h"
#include "engine/soft/SoftDevice.h"
#include "export/EmbeddedRecipe.h"
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

// The first quantisation value (luminance DC) of a baseline JPEG file; -1 when there is none.
int FirstQuantValue(const QByteArray& jpeg) {
    for (int i = 2; i + 5 < jpeg.size();) {
        if (static_cast<unsigned char>(jpeg[i]) != 0xFF) return -1;
        const int marker = static_cast<unsigned char>(jpeg[i + 1]);
        const int length =
            (static_cast<unsigned char>(jpeg[i + 2]) << 8) | static_cast<unsigned char>(jpeg[i + 3]);
        if (marker == 0xDB) return static_cast<unsigned char>(jpeg[i + 5]); // after Pq/Tq
        i += 2 + length;
    }
    return -1;
}

// libjpeg's scaling of the base luminance DC value 16 for a quality, with baseline limits.
int ExpectedDcQuant(int quality) {
    const int scale = quality < 50 ? 5000 / quality : 200 - 2 * quality;
    return std::clamp((16 * scale + 50) / 100, 1, 255);
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
    EXPECT_EQ(W().ProgressBar->geometry(), QRect(2, 4, 704, 14));
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
        {W().List(gpBGFill), {"Color", "H-Grad", "V-Grad", "Random"}, 3},
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
    ASSERT_EQ(groups.size(), GenParamCount);
    for (const TGenParam& param : GenParams) {
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

// ---- export ----

class MainWindowExport : public MainWindow {
protected:
    void SetUp() override {
        MainWindow::SetUp();
        ASSERT_TRUE(m_folder.isValid());
        m_settings = std::make_unique<TFVornS>(&W(), *m_recorder);
        W().FVornS = m_settings.get();
    }
    void TearDown() override {
        m_settings.reset();
        MainWindow::TearDown();
    }

    // Runs the Export command, answering its save dialog with typed (in the dialog's folder
    // m_folder) after choosing filter, when given. Returns what the dialog showed at first.
    struct Shown {
        QString filter;
        QString fileName;
    };
    Shown Export(const QString& typed, int filter = -1, bool cancel = false) {
        Shown shown;
        AnswerNextDialog<QFileDialog>(&W(), [&](QFileDialog* dialog) {
            shown.filter = dialog->selectedNameFilter();
            if (auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit")) shown.fileName = edit->text();
            EXPECT_TRUE(dialog->testOption(QFileDialog::DontConfirmOverwrite));
            if (filter >= 0) {
                auto* types = dialog->findChild<QComboBox*>("fileTypeCombo");
                ASSERT_NE(types, nullptr);
                types->setCurrentIndex(filter);
                emit types->activated(filter); // as a user's choice
            }
            if (cancel) {
                dialog->reject();
                return;
            }
            dialog->setDirectory(m_folder.path());
            dialog->selectFile(typed);
            static_cast<QDialog*>(dialog)->accept();
        });
        W().ButtonExportClick();
        return shown;
    }

    QTemporaryDir m_folder;
    std::unique_ptr<TFVornS> m_settings;
};

TEST_F(MainWindowExport, WritesJpegWithTheQualityOfTheSettings) {
    m_settings->show();
    m_settings->TrackQuality->setValue(40);
    m_settings->close(); // by the close box: the quality holds all the same

    const Shown shown = Export("texture.jpg");
    EXPECT_EQ(shown.filter, TFOrlu::SaveFilters[2]);
    EXPECT_EQ(shown.fileName, QString());

    QFile file(m_folder.filePath("texture.jpg"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray jpeg = file.readAll();
    ASSERT_GE(jpeg.size(), 4);
    EXPECT_EQ(static_cast<unsigned char>(jpeg[0]), 0xFF);
    EXPECT_EQ(static_cast<unsigned char>(jpeg[1]), 0xD8);
    EXPECT_EQ(FirstQuantValue(jpeg), ExpectedDcQuant(40));
    EXPECT_NE(ExpectedDcQuant(40), ExpectedDcQuant(95));
    EXPECT_TRUE(m_recorder->messages.empty());
}

TEST_F(MainWindowExport, FileNameIsClearedAndTheChosenFilterKept) {
    Export("first");
    EXPECT_TRUE(QFile::exists(m_folder.filePath("first.jpg"))) << "JPEG is the filter at first";
    // The PNG filter chosen and a name without extension: the filter's extension is added.
    const Shown second = Export("second", 1);
    EXPECT_EQ(second.fileName, QString()) << "the previous name is not offered again";
    EXPECT_TRUE(QFile::exists(m_folder.filePath("second.png")));
    QFile png(m_folder.filePath("second.png"));
    ASSERT_TRUE(png.open(QIODevice::ReadOnly));
    EXPECT_TRUE(png.read(8) == QByteArray("\x89PNG\r\n\x1a\n", 8));
    // Another extension than the three: the filter's is added; an alias in capitals is kept.
    Export("tex4.gif");
    Export("tex5.JPEG");
    EXPECT_EQ(QDir(m_folder.path()).entryList(QDir::Files),
              (QStringList{"first.jpg", "second.png", "tex4.gif.png", "tex5.JPEG"}));

    const Shown third = Export("", -1, true);
    EXPECT_EQ(third.filter, TFOrlu::SaveFilters[1]);
    EXPECT_TRUE(m_recorder->messages.empty());
}

TEST_F(MainWindowExport, CancelWritesNothing) {
    Export("", -1, true);
    EXPECT_TRUE(QDir(m_folder.path()).entryList(QDir::Files).isEmpty());
    EXPECT_TRUE(m_recorder->messages.empty());
}

TEST_F(MainWindowExport, SizeOfTheExportFollowsTheSizeArrows) {
    W().UpDownSizeClick(btPrev);
    W().UpDownSizeClick(btPrev); // 64
    Export("small.bmp");
    QFile file(m_folder.filePath("small.bmp"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bmp = file.readAll();
    ASSERT_GE(bmp.size(), 26);
    const auto le32 = [&](int at) {
        return int(static_cast<unsigned char>(bmp[at])) | int(static_cast<unsigned char>(bmp[at + 1])) << 8 |
               int(static_cast<unsigned char>(bmp[at + 2])) << 16 |
               int(static_cast<unsigned char>(bmp[at + 3])) << 24;
    };
    EXPECT_EQ(bmp.left(2), QByteArray("BM"));
    EXPECT_EQ(le32(18), 64); // width
    EXPECT_EQ(le32(22), 64); // height
}

TEST_F(MainWindowExport, WriteErrorIsShownWithFileAndReasonAndTheProgramGoesOn) {
    const QString target = m_folder.filePath("missing/texture.png");
    Export("missing/texture.png");
    ASSERT_EQ(m_recorder->messages.size(), 1u);
    const TMessageRequest& message = m_recorder->messages[0];
    EXPECT_TRUE(message.text.contains(target)) << message.text.toStdString();
    EXPECT_GT(message.text.size(), target.size() + 4) << "the reason follows the name";
    EXPECT_EQ(message.caption, QString("Pallimor"));
    EXPECT_EQ(message.buttons, TMsgButtons::Ok);
    m_recorder->messages.clear();
    EXPECT_TRUE(W().PanelControls->isEnabled());
    // The next export works.
    Export("fine.png");
    EXPECT_TRUE(QFile::exists(m_folder.filePath("fine.png")));
}

// With the setting on, an exported PNG and JPEG carry the texture's recipe; opening either
// (Ctrl+O, a drop) makes that texture again; a file without one is one message.
TEST_F(MainWindowExport, RecipeInTheFileMakesTheTextureAgain) {
    m_settings->CheckEmbedRecipe->setChecked(true);
    W().ButtonGenerateClick();
    const std::string code = W().History->RecipeText().toStdString();
    TBitmap32 made;
    ASSERT_TRUE(ReadOutputTexture(Gen(), made));
    Export("with.png");
    Export("with.jpg");
    m_settings->CheckEmbedRecipe->setChecked(false);
    Export("without.png");
    for (const char* name : {"with.png", "with.jpg"}) {
        EXPECT_EQ(ReadRecipeOfFile(m_folder.filePath(name).toStdString()).code, code) << name;
        W().ButtonGenerateClick();
        ASSERT_TRUE(W().History->OpenRecipeFile(m_folder.filePath(name))) << name;
        TBitmap32 again;
        ASSERT_TRUE(ReadOutputTexture(Gen(), again));
        EXPECT_EQ(std::memcmp(again.Bits(), made.Bits(), made.Pitch() * std::size_t(made.Height())), 0)
            << name;
    }
    EXPECT_TRUE(m_recorder->messages.empty());
    EXPECT_FALSE(W().History->OpenRecipeFile(m_folder.filePath("without.png")));
    ASSERT_EQ(m_recorder->messages.size(), 1u);
    EXPECT_TRUE(m_recorder->messages[0].text.startsWith("without.png holds no recipe."));
}

// The Settings' Brushes row: another archive applies to the next texture and is remembered; one
// without the ten images is refused with one message and the set in use stays.
TEST_F(MainWindowExport, BrushesRowAppliesAndRefusesASet) {
    m_settings->OnBrushes = [this](const QString& path) { return W().UseBrushes(path); };
    const auto choose = [this](const QString& file) {
        AnswerNextDialog<QFileDialog>(&W(), [&](QFileDialog* dialog) {
            dialog->selectFile(file);
            static_cast<QDialog*>(dialog)->accept();
        });
        m_settings->ComboBrushesChoose(m_settings->ComboBrushes->findText("Other archive\u2026"));
    };
    const QString ink = QString(PALLIMOR_BUILD_DIR) + "/vorn-ink.dat";
    choose(ink);
    EXPECT_EQ(m_settings->BrushesPath, ink);
    EXPECT_EQ(m_settings->ComboBrushes->currentText(), QString("vorn-ink.dat"));
    random::SetSeed(5);
    W().ButtonGenerateClick();
    EXPECT_TRUE(W().History->RecipeText().contains(".brushes=40771028."))
        << W().History->RecipeText().toStdString();
    EXPECT_TRUE(m_recorder->messages.empty());

    choose(QString(PALLIMOR_TEST_DATA) + "/image-format-unknown.dat");
    ASSERT_EQ(m_recorder->messages.size(), 1u);
    EXPECT_TRUE(m_recorder->messages[0].text.contains("usable images; the generator needs 10"));
    EXPECT_EQ(m_settings->BrushesPath, ink);
    EXPECT_EQ(Gen().BrushSetHash, 0x40771028u);
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
