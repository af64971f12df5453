// A palette from an image in the window: read on a thread of its own while the window goes on,
// chosen once read; asked for again while one is read, the last request is the palette chosen.
#include <QAction>
#include <QFrame>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <fstream>
#include <vector>

#include "app/MenuBarQt.h"
#include "app/PaletteMenuQt.h"
#include "app/gen.h"
#include "export/ImageWriters.h"
#include "shown_window.h"

namespace vorn {
namespace {

class PaletteImage : public test::ShownWindow {};

// A PNG of two grey halves, dark above light; its path.
QString WriteHalves(const QTemporaryDir& dir, const char* name, std::uint8_t dark, std::uint8_t light) {
    TBitmap32 bitmap(8, 8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8 * 4; ++x) bitmap.Row(y)[x] = y < 4 ? dark : light;
    std::vector<std::uint8_t> png;
    EXPECT_TRUE(EncodePng(bitmap, png));
    const QString path = dir.filePath(QString::fromLatin1(name));
    std::ofstream(path.toStdString(), std::ios::binary)
        .write(reinterpret_cast<const char*>(png.data()), std::streamsize(png.size()));
    return path;
}

TEST_F(PaletteImage, ReadOffTheWindowThreadTheLastRequestChosen) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString a = WriteHalves(dir, "a.png", 0x10, 0xF0), b = WriteHalves(dir, "b.png", 0x20, 0xE0),
                  c = WriteHalves(dir, "c.png", 0x30, 0xD0);
    TPaletteMenuQt& palette = *W().MenuBar->Palette;

    // Each call returns at once; until the window's events run, the first read is still going.
    palette.ChooseImage(a, 4);
    EXPECT_TRUE(palette.ReadingImage());
    palette.ChooseImage(b, 4);
    palette.ChooseImage(c, 4);
    EXPECT_TRUE(W().Palette().colors.empty());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !palette.ReadingImage(); }, 20000));
    EXPECT_EQ(W().Palette(), (TPalette{{0x303030u, 0xD0D0D0u}}));
    EXPECT_TRUE(palette.ActionOwn->isChecked());
    EXPECT_TRUE(m_recorder->messages.empty());

    // A file that gives no palette is one message, and the palette stays.
    palette.ChooseImage(dir.filePath(QStringLiteral("missing.png")), 4);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !palette.ReadingImage(); }, 20000));
    EXPECT_EQ(m_recorder->messages.size(), 1u);
    EXPECT_EQ(W().Palette(), (TPalette{{0x303030u, 0xD0D0D0u}}));
}

} // namespace
} // namespace vorn

int main(int argc, char** argv) {
    return vorn::test::RunQtTests(argc, argv);
}
