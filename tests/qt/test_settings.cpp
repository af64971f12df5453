// The settings dialog: its controls, and the JPEG quality's trip through the settings store
// (read when the dialog is created, written by the Save button and when the dialog is destroyed).
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <functional>
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

// The recipe choice is off at first, remembered once the user sets it and saves, and read back.
TEST_F(SettingsDialog, RecipeChoiceIsRememberedOnceSet) {
    test::MessageRecorder recorder;
    {
        TFVornS dialog(nullptr, recorder);
        dialog.show();
        EXPECT_EQ(dialog.CheckEmbedRecipe->text(), QString("Recipe in PNG/JPEG files"));
        EXPECT_FALSE(dialog.CheckEmbedRecipe->isChecked());
        dialog.CheckEmbedRecipe->click();
        QTest::mouseClick(dialog.ButtonSave, Qt::LeftButton);
        EXPECT_TRUE(dialog.EmbedRecipe);
    }
    TFVornS again(nullptr, recorder);
    EXPECT_TRUE(again.EmbedRecipe);
    again.show();
    EXPECT_TRUE(again.CheckEmbedRecipe->isChecked());
    EXPECT_TRUE(recorder.messages.empty());
}

// Escape kept a Brushes change although the dialog has a Save button: the recipe box and the
// brush set apply on Save only; Escape and the close box drop them.
TEST_F(SettingsDialog, EscapeDiscardsABrushesAndRecipeChangeAndSaveAppliesThem) {
    test::MessageRecorder recorder;
    TFVornS dialog(nullptr, recorder);
    QStringList applied;
    dialog.OnBrushes = [&](const QString& path) {
        applied << path;
        return true;
    };
    const QString ink = QString(PALLIMOR_BUILD_DIR) + "/vorn-ink.dat";
    const auto change = [&](const std::function<void()>& close) {
        QTimer::singleShot(0, &dialog, [&, close] {
            test::AnswerNextDialog<QFileDialog>(&dialog, [&](QFileDialog* files) {
                files->selectFile(ink);
                static_cast<QDialog*>(files)->accept();
            });
            dialog.ComboBrushesChoose(dialog.ComboBrushes->findText("Other archive\u2026"));
            EXPECT_EQ(dialog.ComboBrushes->currentText(), QString("vorn-ink.dat")) << "the choice is shown";
            dialog.CheckEmbedRecipe->click();
            close();
        });
        return dialog.exec();
    };
    EXPECT_EQ(change([&] { QTest::keyClick(&dialog, Qt::Key_Escape); }), QDialog::Rejected);
    EXPECT_TRUE(applied.isEmpty());
    EXPECT_TRUE(dialog.BrushesPath.isEmpty());
    EXPECT_FALSE(dialog.EmbedRecipe);
    EXPECT_EQ(change([&] { dialog.close(); }), QDialog::Rejected); // the close box
    EXPECT_TRUE(applied.isEmpty());
    EXPECT_FALSE(dialog.EmbedRecipe);
    dialog.show();
    EXPECT_NE(dialog.ComboBrushes->currentText(), QString("vorn-ink.dat")) << "the dropped choice is shown";
    dialog.hide();

    EXPECT_EQ(change([&] { QTest::mouseClick(dialog.ButtonSave, Qt::LeftButton); }), QDialog::Accepted);
    EXPECT_EQ(applied, QStringList{ink});
    EXPECT_EQ(dialog.BrushesPath, ink);
    EXPECT_TRUE(dialog.EmbedRecipe);
    EXPECT_EQ(QSettings("Quorvane", "Vorn").value("Settings/Brushes").toString(), ink);
    EXPECT_TRUE(recorder.messages.empty());
}

// The check box read "Recipe in PNG and JPEG fil": every text fits its control at the dialog's size.
TEST_F(SettingsDialog, EveryLabelFitsItsControl) {
    TFVornS dialog(nullptr, m_messages);
    dialog.show();
    for (QWidget* control : dialog.findChildren<QWidget*>()) {
        if (!qobject_cast<QLabel*>(control) && !qobject_cast<QAbstractButton*>(control)) continue;
        SCOPED_TRACE(control->metaObject()->className());
        EXPECT_LE(control->sizeHint().width(), control->width())
            << control->property("text").toString().toStdString();
        EXPECT_TRUE(QRect(QPoint(0, 0), control->parentWidget()->size()).contains(control->geometry()));
    }
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
