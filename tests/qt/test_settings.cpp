// The settings dialog: its controls, and the JPEG quality's trip through the settings store
// (read when the dialog is created, written by the Save button and when the dialog is destroyed).
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QPushButton>
#include <QSettings>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <memory>

#include <unistd.h>

#include "app/dialogs/settings.h"
#include "test_support.h"

namespace vorn {
namespace {

class SettingsDialog : public ::testing::Test {
protected:
    void SetUp() override {
        m_file = QSettings("Quorvane", "Vorn").fileName();
        QDir(m_file).removeRecursively();
        QFile::remove(m_file);
        QDir().mkpath(QFileInfo(m_file).path());
    }
    void TearDown() override {
        QDir(m_file).removeRecursively();
        QFile::remove(m_file);
    }

    static void Store(const QVariant& value) {
        QSettings store("Quorvane", "Vorn");
        store.setValue("Settings/Quality", value);
        store.sync();
    }
    static QVariant Stored() { return QSettings("Quorvane", "Vorn").value("Settings/Quality"); }
    int QualityAfterLoad(const QVariant& stored) {
        Store(stored);
        TFVornS dialog(nullptr, m_messages);
        return dialog.Quality;
    }

    QString m_file;
    test::MessageRecorder m_messages; // for the dialogs of QualityAfterLoad
};

TEST_F(SettingsDialog, ControlsHaveTheirCaptionsRangesAndPlaces) {
    test::MessageRecorder recorder;
    TFVornS dialog(nullptr, recorder);
    EXPECT_EQ(dialog.windowTitle(), QString(" Settings"));
    EXPECT_EQ(dialog.size(), QSize(188, 164)); // the design's 108, a row for the recipe, one for brushes
    EXPECT_TRUE(dialog.windowFlags().testFlag(Qt::Tool));
    EXPECT_EQ(dialog.GroupQuality->title(), QString("Export JPEG Quality"));
    EXPECT_EQ(dialog.GroupQuality->size(), QSize(166, 44));
    EXPECT_EQ(dialog.TrackQuality->minimum(), 1);
    EXPECT_EQ(dialog.TrackQuality->maximum(), 100);
    EXPECT_EQ(dialog.TrackQuality->pageStep(), 5);
    EXPECT_EQ(dialog.TrackQuality->tickInterval(), 10);
    EXPECT_EQ(dialog.TrackQuality->width(), 158);
    EXPECT_EQ(dialog.TrackQuality->value(), 95);
    EXPECT_EQ(dialog.TrackQuality->toolTip(), QString("95"));
    EXPECT_EQ(dialog.ButtonSave->text(), QString("Save"));
    EXPECT_EQ(dialog.ButtonSave->size(), QSize(164, 24));
}

TEST_F(SettingsDialog, FirstRunReadsNothingAndWrites95AtTheEnd) {
    test::MessageRecorder recorder;
    {
        TFVornS dialog(nullptr, recorder);
        EXPECT_EQ(dialog.Quality, 95);
        // Showing and closing the dialog touches the store in no way.
        dialog.show();
        dialog.close();
        EXPECT_FALSE(QFileInfo::exists(m_file));
    }
    EXPECT_EQ(Stored(), QVariant(95));
    QFile file(m_file);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    EXPECT_TRUE(text.contains("[Settings]")) << text.toStdString();
    EXPECT_TRUE(text.contains("Quality=95")) << text.toStdString();
    EXPECT_FALSE(text.contains("EmbedRecipe")) << "remembered before the user chose it";
    EXPECT_TRUE(recorder.messages.empty());
}

// The recipe choice is off at first, remembered once the user sets it, and read back.
TEST_F(SettingsDialog, RecipeChoiceIsRememberedOnceSet) {
    test::MessageRecorder recorder;
    {
        TFVornS dialog(nullptr, recorder);
        dialog.show();
        EXPECT_EQ(dialog.CheckEmbedRecipe->text(), QString("Recipe in PNG and JPEG files"));
        EXPECT_FALSE(dialog.CheckEmbedRecipe->isChecked());
        dialog.CheckEmbedRecipe->click();
        EXPECT_TRUE(dialog.EmbedRecipe);
    }
    TFVornS again(nullptr, recorder);
    EXPECT_TRUE(again.EmbedRecipe);
    again.show();
    EXPECT_TRUE(again.CheckEmbedRecipe->isChecked());
    EXPECT_TRUE(recorder.messages.empty());
}

TEST_F(SettingsDialog, StoredValueIsReadAndShownOnTheSlider) {
    Store(40);
    TFVornS dialog;
    EXPECT_EQ(dialog.Quality, 40);
    dialog.show();
    EXPECT_EQ(dialog.TrackQuality->value(), 40);
    EXPECT_EQ(dialog.TrackQuality->toolTip(), QString("40"));
    dialog.close();
}

TEST_F(SettingsDialog, ValueOutsideTheRangeIsClampedAndTextIsIgnored) {
    EXPECT_EQ(QualityAfterLoad(250), 100);
    EXPECT_EQ(QualityAfterLoad(0), 1);
    EXPECT_EQ(QualityAfterLoad(-7), 1);
    EXPECT_EQ(QualityAfterLoad(1), 1);
    EXPECT_EQ(QualityAfterLoad(100), 100);
    EXPECT_EQ(QualityAfterLoad("abc"), 95);
    EXPECT_EQ(QualityAfterLoad("40 percent"), 95);
    // The last dialog wrote its quality back over the text.
    EXPECT_EQ(Stored(), QVariant(95));
}

TEST_F(SettingsDialog, SliderChangesQualityAtOnceEvenWhenClosedByTheCloseBox) {
    test::MessageRecorder recorder;
    {
        TFVornS dialog(nullptr, recorder);
        dialog.show();
        dialog.TrackQuality->setValue(40);
        EXPECT_EQ(dialog.Quality, 40);
        EXPECT_EQ(dialog.TrackQuality->toolTip(), QString("40"));
        dialog.close();
        EXPECT_EQ(dialog.Quality, 40);
        EXPECT_FALSE(QFileInfo::exists(m_file));
    }
    EXPECT_EQ(Stored(), QVariant(40));
}

TEST_F(SettingsDialog, SaveButtonWritesTheQualityAndClosesTheDialog) {
    test::MessageRecorder recorder;
    TFVornS dialog(nullptr, recorder);
    QTimer::singleShot(0, &dialog, [&] {
        dialog.TrackQuality->setValue(70);
        QTest::mouseClick(dialog.ButtonSave, Qt::LeftButton);
    });
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.Quality, 70);
    // Stored before the program ends, so a program killed now keeps it.
    EXPECT_EQ(Stored(), QVariant(70));
    EXPECT_TRUE(recorder.messages.empty());
}

TEST_F(SettingsDialog, AnUnreadableStoreIsReplacedAndOnlyARealWriteFailureIsReported) {
    const QString folder = QFileInfo(m_file).path();
    const bool root = ::geteuid() == 0; // permission bits do not stop root
    const struct {
        const char* name;
        QByteArray content;    // written as the settings file
        bool folderUnreadable; // the store's folder gets mode 0
        bool fails;
    } cases[] = {
        {"garbage text", "Quality=[[[\n=\\\n[Settings\n\"\"\"=\n", false, false},
        {"binary", QByteArray("\0\xff\xfe\x01[\0\n\x80=\x7f", 11).repeated(50), false, false},
        {"unreadable folder", "[Settings]\nQuality=40\n", true, !root},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QFile file(m_file);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(c.content);
        file.close();
        if (c.folderUnreadable) QFile::setPermissions(folder, QFileDevice::Permissions());
        test::MessageRecorder recorder;
        {
            TFVornS dialog(nullptr, recorder);
            dialog.TrackQuality->setValue(33);
        }
        QFile::setPermissions(folder,
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        if (c.fails) {
            ASSERT_EQ(recorder.messages.size(), 1u);
            EXPECT_EQ(recorder.messages[0].text, QString("Failed to save settings!"));
            EXPECT_EQ(recorder.messages[0].caption, QString("Error!"));
        } else {
            EXPECT_TRUE(recorder.messages.empty());
            const QSettings store("Quorvane", "Vorn");
            EXPECT_EQ(store.status(), QSettings::NoError);
            EXPECT_EQ(store.value("Settings/Quality"), QVariant(33));
        }
        QFile::remove(m_file);
    }
}

TEST_F(SettingsDialog, FailedWriteIsReported) {
    test::MessageRecorder recorder;
    // A folder where the settings file should be: the store cannot be written.
    ASSERT_TRUE(QDir().mkpath(m_file));
    {
        TFVornS dialog(nullptr, recorder);
        EXPECT_EQ(dialog.Quality, 95);
    }
    ASSERT_EQ(recorder.messages.size(), 1u);
    EXPECT_EQ(recorder.messages[0].text, QString("Failed to save settings!"));
    EXPECT_EQ(recorder.messages[0].caption, QString("Error!"));
    EXPECT_EQ(recorder.messages[0].buttons, TMsgButtons::Ok);
}

} // namespace
} // namespace vorn

int main(int argc, char** argv) {
    return vorn::test::RunQtTests(argc, argv);
}
