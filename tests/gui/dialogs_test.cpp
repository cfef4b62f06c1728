// The entry dialog and the file list dialog.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFrame>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <vector>

#include "dialogs/entry_dialog.h"
#include "dialogs/file_list_dialog.h"
#include "tests/gui/gui_test_support.h"

namespace voltina::test {
namespace {

TEST(EntryDialogLayout, SizesToCaptionAndLength) {
    EntryLayout l = entryDialogLayout(9, 7);  // "Frequency"
    EXPECT_EQ(l.width, 150);
    EXPECT_EQ(l.edit, QRect(33, 6, 75, 23));
    EXPECT_EQ(l.frame, QRect(4, 4, 132, 27));
    EXPECT_EQ(l.ok, QRect(4, 36, 64, 40));
    EXPECT_EQ(l.cancel, QRect(72, 36, 64, 40));
    l = entryDialogLayout(12, 8);  // "Save to Wave"
    EXPECT_EQ(l.width, 150);
    EXPECT_EQ(l.edit, QRect(29, 6, 83, 23));
    EXPECT_EQ(entryDialogLayout(80, 8).width, 640);
    EXPECT_EQ(entryDialogLayout(200, 8).width, 640);
    EXPECT_EQ(entryDialogLayout(20, 8).width, 200);
    EXPECT_EQ(entryDialogLayout(0, 60).width, 528);  // the length wins over a short caption
}

TEST(LeadingNumber, ReadsTheDecimalNumberThatStartsTheText) {
    EXPECT_EQ(leadingNumber("1.5x"), 1.5);
    EXPECT_EQ(leadingNumber("abc"), 0.0);
    EXPECT_EQ(leadingNumber(""), 0.0);
    EXPECT_EQ(leadingNumber("  42"), 42.0);
    EXPECT_EQ(leadingNumber("-3"), -3.0);
    EXPECT_EQ(leadingNumber(".5"), 0.5);
    EXPECT_EQ(leadingNumber("7."), 7.0);
    EXPECT_EQ(leadingNumber("1e3"), 1000.0);
    EXPECT_EQ(leadingNumber("2e"), 2.0);
    EXPECT_EQ(leadingNumber("3,5"), 3.0);
    EXPECT_EQ(leadingNumber("inf"), 0.0);
    EXPECT_EQ(leadingNumber("nan"), 0.0);
    EXPECT_EQ(leadingNumber("0x10"), 0.0);
    EXPECT_EQ(leadingNumber("-"), 0.0);
}

TEST(EntryDialog, PlacesItsControlsAndLimitsTheText) {
    std::string text = "256.00";
    EntryDialog dialog(nullptr, "Frequency", &text, 7);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Frequency"));
    EXPECT_EQ(dialog.editField()->geometry(), QRect(33, 6, 75, 23));
    EXPECT_EQ(dialog.okButton()->geometry(), QRect(4, 36, 64, 40));
    EXPECT_EQ(dialog.cancelButton()->geometry(), QRect(72, 36, 64, 40));
    EXPECT_EQ(dialog.frame()->geometry(), QRect(4, 4, 132, 27));
    EXPECT_EQ(dialog.width(), 150 - 2 * kDialogBorder);
    EXPECT_EQ(dialog.pos(), QPoint(320 - 75, 220));
    EXPECT_EQ(dialog.editField()->text(), QStringLiteral("256.00"));
    EXPECT_EQ(dialog.editField()->maxLength(), 7);
}

TEST(EntryDialog, NameDialogOkAndCancel) {
    ModalDriver driver;
    std::string name;
    driver.then(ModalDriver::typeThenClick(QStringLiteral("ABCDEFGHIJK"), QStringLiteral("ok")));
    EXPECT_TRUE(runNameDialog(name, "Save to Wave", 8, nullptr));
    EXPECT_EQ(name, "ABCDEFGH");  // at most 8 characters
    ASSERT_EQ(driver.seen().size(), 1u);
    EXPECT_EQ(driver.seen()[0].title, "Save to Wave");

    std::string untouched;
    driver.then(ModalDriver::typeThenClick(QStringLiteral("TAKE"), QStringLiteral("cancel")));
    EXPECT_FALSE(runNameDialog(untouched, "Save to Wave", 8, nullptr));
    EXPECT_EQ(untouched, "");
}

TEST(EntryDialog, FrequencyDialogShowsTheValueAndReadsTheTypedNumber) {
    ModalDriver driver;
    QString shown;
    driver.then([&](QWidget* w) {
        shown = w->findChild<QLineEdit*>()->text();
        ModalDriver::typeThenClick(QStringLiteral("1,5"), QStringLiteral("ok"))(w);
    });
    float value = 256.0f;
    EXPECT_TRUE(runFrequencyDialog(value, "Frequency", 7, nullptr));
    EXPECT_EQ(shown, QStringLiteral("256.00"));
    EXPECT_EQ(value, 1.5f);

    // What is not a frequency is said, and the entry comes back with the text as typed.
    const struct {
        const char* typed;
        const char* said;  // empty: read as `hertz`
        double hertz;
    } rows[] = {
        {"1.5", "", 1.5},
        {" 440 Hz", "", 440},
        {"2,25hz", "", 2.25},
        {"1e3", "", 1000},
        {"abc", "\"abc\" is not a frequency.", 0},
        {"1.5x", "\"1.5x\" is not a frequency.", 0},
        {"1,5,0", "\"1,5,0\" is not a frequency.", 0},
        {"inf", "\"inf\" is not a frequency.", 0},
        {"0", "0 Hz is not a frequency an oscillator can play: it must be above 0.", 0},
        {"-2,5", "-2.5 Hz is not a frequency an oscillator can play: it must be above 0.", 0},
    };
    for (const auto& row : rows) {
        double hertz = -1;
        std::string problem;
        EXPECT_EQ(readTypedFrequency(row.typed, hertz, problem), *row.said == 0) << row.typed;
        EXPECT_EQ(problem, row.said) << row.typed;
        if (*row.said == 0) {
            EXPECT_EQ(hertz, row.hertz) << row.typed;
        }
    }
    QString again;
    driver.then(ModalDriver::typeThenClick(QStringLiteral("abc"), QStringLiteral("ok")));
    driver.then(ModalDriver::clickButtonText(QStringLiteral("OK")));
    driver.then([&](QWidget* w) {
        again = w->findChild<QLineEdit*>()->text();
        ModalDriver::typeThenClick(QStringLiteral("3,5"), QStringLiteral("ok"))(w);
    });
    EXPECT_TRUE(runFrequencyDialog(value, "Frequency", 7, nullptr));
    EXPECT_EQ(driver.seen()[2].text, "\"abc\" is not a frequency.");
    EXPECT_EQ(again, QStringLiteral("abc"));
    EXPECT_EQ(value, 3.5f);

    value = 440.0f;
    driver.then(ModalDriver::typeThenClick(QStringLiteral("99"), QStringLiteral("cancel")));
    EXPECT_FALSE(runFrequencyDialog(value, "Frequency", 7, nullptr));
    EXPECT_EQ(value, 440.0f);
    EXPECT_TRUE(driver.idle());
}

class ListDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        saved = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(dir.path()));
    }
    void TearDown() override { QDir::setCurrent(saved); }
    void touch(const QString& name) {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    int run(FileListDialog& list, ModalDriver::Action action) {
        ModalDriver driver;
        driver.then(std::move(action));
        const int result = list.exec();
        EXPECT_TRUE(driver.idle());
        return result;
    }
    static QStringList items(FileListDialog& list) {
        QStringList out;
        for (int i = 0; i < list.list()->count(); ++i) out << list.list()->item(i)->text();
        return out;
    }
    QTemporaryDir dir;
    QString saved;
};

TEST_F(ListDialogTest, WaveModeListsWavFilesInAnyCase) {
    touch("kick.wav");
    touch("SNARE.WAV");
    touch("Hat.Wav");
    touch("notes.txt");
    touch("wav");
    touch("PATCH1");
    QDir(dir.path()).mkdir("folder.wav");
    FileListDialog list(nullptr, 1);
    EXPECT_EQ(list.windowTitle(), QStringLiteral("Chargement Wave"));
    EXPECT_EQ(items(list), QStringList({"Hat.Wav", "kick.wav", "SNARE.WAV"}));
    EXPECT_FALSE(list.noWaveButton()->isHidden());
}

// Every column is as wide as its longest name, whatever the last name is: no name is cut or blank.
TEST_F(ListDialogTest, ColumnsAreAsWideAsTheirLongestName) {
    const QStringList sets[] = {
        {"bass_line_1", "z"},
        {"DRUMLOOP1.WAV", "DRUMLOOP2.WAV", "A.WAV"},
        {"a_rather_long_sample_name_30.WAV",
         "b.wav",
         "c.wav",
         "d.wav",
         "e.wav",
         "f.wav",
         "g.wav",
         "h.wav",
         "i.wav",
         "j.wav",
         "k.wav",
         "l.wav",
         "m.wav",
         "n.wav",
         "o.wav",
         "p.wav",
         "q.wav",
         "r.wav",
         "s.wav",
         "t.wav",
         "u.wav",
         "v.wav",
         "w.wav",
         "x.wav",
         "y.wav",
         "zz_another_long_one.wav"},
    };
    for (const QStringList& names : sets) {
        for (const QString& name : QDir(dir.path()).entryList(QDir::Files)) QFile::remove(dir.filePath(name));
        for (const QString& name : names) touch(name);
        const bool wave = names.first().endsWith(".WAV", Qt::CaseInsensitive);
        FileListDialog list(nullptr, wave ? 1 : 0, wave ? std::string() : dir.path().toStdString());
        list.show();
        QTest::qWait(20);
        QListWidget* box = list.list();
        ASSERT_EQ(box->count(), names.size());
        const QFontMetrics metrics(box->font());
        for (int i = 0; i < box->count(); ++i) {
            const QString text = box->item(i)->text();
            const QRect place = box->visualItemRect(box->item(i));
            EXPECT_GE(place.width(), metrics.horizontalAdvance(text)) << text.toStdString();
            for (int j = 0; j < i; ++j) {
                EXPECT_FALSE(place.intersects(box->visualItemRect(box->item(j))))
                    << text.toStdString() << " over " << box->item(j)->text().toStdString();
            }
        }
        list.close();
    }
}

TEST_F(ListDialogTest, ConfigurationModeListsNamesWithoutADotInTheStartDirectory) {
    touch("PATCH1");
    touch("bass");
    touch("song.cfg");
    touch("kick.wav");
    QDir(dir.path()).mkdir("FOLDER");
    QDir::setCurrent(QDir::tempPath());
    FileListDialog list(nullptr, 0, dir.path().toStdString());
    EXPECT_EQ(list.windowTitle(), QStringLiteral("Chargement Configuration"));
    EXPECT_EQ(items(list), QStringList({"bass", "PATCH1"}));
    EXPECT_TRUE(list.noWaveButton()->isHidden());
    EXPECT_EQ(QDir::current().canonicalPath(), QDir(dir.path()).canonicalPath());  // and it stays there
}

TEST_F(ListDialogTest, OkGivesTheSelectedNameWhole) {
    const QString longName = QStringLiteral("a_rather_long_sample_name_from_linux_01.wav");  // 43 characters
    touch(longName);
    touch("b.wav");
    FileListDialog list(nullptr, 1);
    const int result = run(list, [&](QWidget*) {
        list.list()->setCurrentRow(0);
        list.okButton()->click();
    });
    EXPECT_EQ(result, kResultOk);
    EXPECT_EQ(list.chosenName(), longName.toStdString());
}

TEST_F(ListDialogTest, OkWithNothingSelectedGivesAnEmptyName) {
    touch("b.wav");
    FileListDialog list(nullptr, 1);
    list.list()->clearSelection();
    EXPECT_EQ(run(list, ModalDriver::clickObject(QStringLiteral("ok"))), kResultOk);
    EXPECT_EQ(list.chosenName(), "");
}

// The keys choose the entry they move to, so Enter opens it; the list opens on its first entry.
TEST_F(ListDialogTest, KeysChooseTheEntryTheyMoveTo) {
    for (const char* name : {"a.wav", "b.wav", "c.wav"}) touch(QString::fromLatin1(name));
    const struct {
        std::vector<Qt::Key> keys;
        const char* chosen;
    } cases[] = {
        {{}, "a.wav"},
        {{Qt::Key_End}, "c.wav"},
        {{Qt::Key_End, Qt::Key_Home}, "a.wav"},
        {{Qt::Key_Down}, "b.wav"},
        {{Qt::Key_End, Qt::Key_Up}, "b.wav"},
    };
    for (const auto& c : cases) {
        FileListDialog list(nullptr, 1);
        const int result = run(list, [&](QWidget*) {
            for (const Qt::Key key : c.keys) QTest::keyClick(list.list(), key);
            QTest::keyClick(list.list(), Qt::Key_Return);
        });
        EXPECT_EQ(result, kResultOk) << c.chosen;
        EXPECT_EQ(list.chosenName(), c.chosen);
    }
}

TEST_F(ListDialogTest, DoubleClickChoosesWithoutOk) {
    touch("a.wav");
    touch("b.wav");
    FileListDialog list(nullptr, 1);
    const int result = run(list, [&](QWidget*) {
        QListWidget* w = list.list();
        const QRect r = w->visualItemRect(w->item(1));
        QTest::mouseClick(w->viewport(), Qt::LeftButton, Qt::NoModifier, r.center());
        QTest::mouseDClick(w->viewport(), Qt::LeftButton, Qt::NoModifier, r.center());
        // Should the double click not end the dialog, end it so the test fails instead of hanging.
        QTimer::singleShot(500, &list, [&list] { list.done(kResultCancel); });
    });
    EXPECT_EQ(result, kResultOk);
    EXPECT_EQ(list.chosenName(), "b.wav");
}

TEST_F(ListDialogTest, CancelAndClosingChooseNothing) {
    touch("a.wav");
    {
        FileListDialog list(nullptr, 1);
        list.list()->setCurrentRow(0);
        EXPECT_EQ(run(list, ModalDriver::clickObject(QStringLiteral("cancel"))), kResultCancel);
        EXPECT_EQ(list.chosenName(), "");
    }
    {
        FileListDialog list(nullptr, 1);
        list.list()->setCurrentRow(0);
        EXPECT_EQ(run(list, [](QWidget* w) { w->close(); }), kResultCancel);
        EXPECT_EQ(list.chosenName(), "");
    }
}

TEST_F(ListDialogTest, NoWaveEndsWithThreeEvenWithAnEmptyList) {
    FileListDialog list(nullptr, 1);
    EXPECT_EQ(list.list()->count(), 0);
    EXPECT_EQ(run(list, ModalDriver::clickObject(QStringLiteral("noWave"))), kResultNoWave);
    EXPECT_EQ(list.chosenName(), "");
}

TEST_F(ListDialogTest, DialogsPassTheRenderGateForTheirEvents) {
    int calls = 0;
    setRenderGate([&] { ++calls; });
    {
        FileListDialog list(nullptr, 1);
        run(list, ModalDriver::clickObject(QStringLiteral("cancel")));
    }
    setRenderGate(nullptr);
    EXPECT_GT(calls, 3);
}

}  // namespace
}  // namespace voltina::test
