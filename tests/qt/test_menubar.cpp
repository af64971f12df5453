// The menu bar walked as a user would: Alt and each menu's letter opens it, every entry is the
// command of the shortcut table with the table's keys (the Material menu's presets aside), and a
// harmless entry acts.
#include <QAction>
#include <QFrame>
#include <QKeySequence>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <algorithm>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "app/MaterialMenuQt.h"
#include "app/MenuBarQt.h"
#include "app/PaletteMenuQt.h"
#include "app/TilingMenuQt.h"
#include "app/gen.h"
#include "gen/Shortcuts.h"
#include "shown_window.h"

namespace vorn {
namespace {

class MenuBar : public test::ShownWindow {};

// The entry's text as the table names it: no mnemonic mark, no ellipsis.
std::string PlainText(const QAction* action) {
    QString text = action->text();
    text.remove(QLatin1Char('&')).remove(QChar(0x2026)).remove(QStringLiteral("..."));
    return text.toStdString();
}

TEST_F(MenuBar, EveryMenuOpensByItsLetterAndListsTheTableWithItsKeys) {
    const QMenu* menus[] = {W().MenuBar->MenuFile,     W().MenuBar->MenuEdit, W().MenuBar->MenuTexture,
                            W().MenuBar->MenuMaterial, W().MenuBar->MenuView, W().MenuBar->MenuHelp};
    const std::vector<QAction*>& presets = W().MenuBar->Material->ActionPresets;
    std::set<std::string> listed;
    for (const QMenu* menu : menus) {
        const QString title = menu->title();
        const qsizetype mark = title.indexOf(QLatin1Char('&'));
        ASSERT_GE(mark, 0) << title.toStdString();
        const std::string name = QString(title).remove(QLatin1Char('&')).toStdString();

        QTest::keyClick(&W(), title.at(mark + 1).toLatin1(), Qt::AltModifier);
        EXPECT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }, 2000)) << name;
        QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
        QTest::keyClick(W().MenuBar, Qt::Key_Escape);

        for (QAction* action : menu->actions()) {
            // The presets are the data file's, not commands of the table.
            if (action->isSeparator() || std::find(presets.begin(), presets.end(), action) != presets.end())
                continue;
            const std::string command = PlainText(action);
            const TShortcut* row = FindShortcut(command);
            ASSERT_NE(row, nullptr) << command << " is in no row of the table";
            EXPECT_EQ(row->menu, name) << command;
            const QList<QKeySequence> keys =
                *row->keys ? QKeySequence::listFromString(QString::fromLatin1(row->keys))
                           : QList<QKeySequence>();
            EXPECT_EQ(action->shortcuts(), keys) << command;
            // Shown in the menu and acting wherever the focus is.
            EXPECT_EQ(action->shortcutContext(), Qt::WindowShortcut) << command;
            listed.insert(command);
        }
    }
    for (const TShortcut& row : Shortcuts)
        if (*row.menu) {
            EXPECT_TRUE(listed.count(row.command)) << row.command << " is in no menu";
        }
}

TEST_F(MenuBar, PreviewPaneEntryAndButtonStayTogetherAndHelpListsTheKeys) {
    QAction* pane = W().MenuBar->ActionPreviewPane;
    EXPECT_FALSE(pane->isChecked());
    pane->trigger();
    EXPECT_TRUE(W().Generator().PreviewPaneVisible);
    EXPECT_TRUE(pane->isChecked());
    QTest::mouseClick(W().ButtonPreview, Qt::LeftButton);
    EXPECT_FALSE(W().Generator().PreviewPaneVisible);
    EXPECT_FALSE(pane->isChecked());
    EXPECT_EQ(W().ButtonPreview->text(), QString("Show Preview Pane"));

    QTest::keyClick(&W(), Qt::Key_F1);
    ASSERT_EQ(m_recorder->messages.size(), 1u);
    EXPECT_EQ(m_recorder->messages[0].caption, QString("Keyboard Shortcuts"));
    // Keys and commands in two aligned columns: a table row each, the Tiled View's keys too.
    const QString text = m_recorder->messages[0].text;
    const auto row = [](const char* keys, const char* command) {
        return QStringLiteral("<tr><td>%1&nbsp;&nbsp;&nbsp;&nbsp;</td><td>%2</td></tr>")
            .arg(QLatin1String(keys), QLatin1String(command));
    };
    EXPECT_TRUE(text.startsWith("<table")) << text.toStdString();
    EXPECT_TRUE(text.contains(row("Ctrl+L", "Live"))) << text.toStdString();
    EXPECT_TRUE(text.contains("<b>In the Tiled View</b>")) << text.toStdString();
    EXPECT_TRUE(text.contains(row("Ctrl+0", "Fit 3 x 3"))) << text.toStdString();
    EXPECT_TRUE(text.contains(row("N", "Normal map"))) << text.toStdString();
}

// The Tiling is a checkable group of Texture-menu entries: choosing one sets the value the
// synthesis reads, and a value set from elsewhere (history, recipes) checks its entry.
TEST_F(MenuBar, TilingEntriesSetTheValueAndFollowIt) {
    const TTilingMenuQt& tiling = *W().MenuBar->Tiling;
    for (int i = 0; i < 4; ++i) EXPECT_EQ(tiling.ActionTiling[std::size_t(i)]->isChecked(), i == tmMirror);
    tiling.ActionTiling[tmWrapX]->trigger();
    EXPECT_EQ(W().Value(gpTiling), tmWrapX);
    EXPECT_TRUE(tiling.ActionTiling[tmWrapX]->isChecked());
    EXPECT_FALSE(tiling.ActionTiling[tmMirror]->isChecked());
    TGenSettings values = W().Controls();
    EXPECT_EQ(values.tiling, tmWrapX);
    values.tiling = tmWrap;
    W().SetControls(values);
    EXPECT_TRUE(tiling.ActionTiling[tmWrap]->isChecked());
}

// The Palette: Next and Previous step through Walk and the shipped palettes (around at both
// ends), a value set from elsewhere checks its entry, the strip shows it, typed colours of the
// user's own check Own Colours, and bad typing is one message that changes nothing.
TEST_F(MenuBar, PaletteEntriesStepSetTheValueAndFollowIt) {
    TPaletteMenuQt& palette = *W().MenuBar->Palette;
    const std::size_t shipped = palette.ActionShipped.size();
    ASSERT_GE(shipped, 10u);
    EXPECT_TRUE(palette.ActionWalk->isChecked());
    EXPECT_TRUE(palette.Strip->isHidden());
    palette.ActionNext->trigger();
    EXPECT_TRUE(palette.ActionShipped[0]->isChecked());
    EXPECT_FALSE(W().Palette().colors.empty());
    EXPECT_FALSE(palette.Strip->isHidden());
    palette.ActionPrevious->trigger();
    palette.ActionPrevious->trigger();
    EXPECT_TRUE(palette.ActionShipped[shipped - 1]->isChecked());
    palette.ActionNext->trigger();
    EXPECT_TRUE(palette.ActionWalk->isChecked());
    EXPECT_TRUE(W().Palette().colors.empty());

    palette.ChooseTyped(QStringLiteral("#102030, 405060"));
    EXPECT_EQ(W().Palette(), (TPalette{{0x102030u, 0x405060u}}));
    EXPECT_TRUE(palette.ActionOwn->isChecked());
    palette.ChooseTyped(QStringLiteral("102030"));
    ASSERT_EQ(m_recorder->messages.size(), 1u);
    EXPECT_EQ(W().Palette(), (TPalette{{0x102030u, 0x405060u}}));

    TGenSettings values = W().Controls();
    EXPECT_EQ(values.palette, W().Palette());
    values.palette = {};
    W().SetControls(values);
    EXPECT_TRUE(palette.ActionWalk->isChecked());
    EXPECT_TRUE(palette.Strip->isHidden());
}

} // namespace
} // namespace vorn

int main(int argc, char** argv) {
    return vorn::test::RunQtTests(argc, argv);
}
