// Randomize in the window: Ctrl+click on a caption locks its parameter with a mark, Ctrl+R leaves
// locked values alone, makes the texture Generate would make with the new values (the program's
// random source going on as for Generate) and adds one history entry.
#include <QAction>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QSlider>
#include <QTest>

#include "app/HistoryQt.h"
#include "app/RandomizeQt.h"
#include "gen/Recipe.h"
#include "shown_window.h"

namespace vorn {
namespace {

class Randomize : public test::ShownWindow {};

TEST_F(Randomize, CtrlRKeepsTheLockedValuesAndMakesOneTextureAsGenerateWould) {
    QGroupBox* steps = W().Group(gpSteps);
    QTest::mouseClick(steps, Qt::LeftButton, Qt::ControlModifier, QPoint(10, 6));
    ASSERT_TRUE(W().Randomizer->Locked(gpSteps));
    EXPECT_EQ(steps->title(), TRandomizeQt::LockedCaption("Steps"));
    W().Randomizer->SetLocked(gpEffect, true);
    W().List(gpEffect)->setCurrentIndex(2);
    const int size = W().Controls().size;

    const std::size_t count = W().History->History().Count();
    bool changed = false;
    for (int i = 0; i < 5; ++i) {
        const std::uint32_t seedBefore = random::Seed();
        const TGenSettings before = W().Controls();
        W().Track(gpSaturation)->setFocus();
        QTest::keyClick(W().Track(gpSaturation), Qt::Key_R, Qt::ControlModifier);
        const TGenSettings after = W().Controls();
        EXPECT_EQ(after.steps, 0);
        EXPECT_EQ(after.effect, 2);
        EXPECT_EQ(after.size, size);
        changed = changed || !SameSettings(before, after);
        EXPECT_EQ(W().Generator().TextureSeed(), seedBefore);
        EXPECT_EQ(random::Seed(), SeedAfter(after, seedBefore)) << "not the walk of Generate";
        EXPECT_EQ(W().History->History().Count(), count + 1 + std::size_t(i));
    }
    EXPECT_TRUE(changed);
    QTest::mouseClick(steps, Qt::LeftButton, Qt::ControlModifier, QPoint(10, 6));
    EXPECT_FALSE(W().Randomizer->Locked(gpSteps));
    EXPECT_EQ(steps->title(), QString("Steps"));
}

} // namespace
} // namespace vorn

int main(int argc, char** argv) {
    return vorn::test::RunQtTests(argc, argv);
}
