// The help window: the help file read in 30-byte pieces into the read-only field, the arrows that turn one
// corner clockwise every 300 ms, the render gate on every event, and the message for a missing file.

#include "dialogs/help_window.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <array>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace voltina {
namespace {

std::string writeFile(const QTemporaryDir& dir, const std::string& name, const std::string& bytes) {
    const std::string path = dir.filePath(QString::fromStdString(name)).toStdString();
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

std::string letters(std::size_t n) {
    std::string s;
    for (std::size_t i = 0; i < n; ++i) s += char('a' + i % 26);
    return s;
}

std::vector<std::string> piecesOf(const std::string& path) {
    std::vector<std::string> pieces;
    const int fd = ::open(path.c_str(), O_RDONLY);
    EXPECT_GE(fd, 0) << path;
    if (fd < 0) return pieces;
    readHelpPieces(fd, [&](const std::string& piece) { pieces.push_back(piece); });
    ::close(fd);
    return pieces;
}

// Answers the message boxes that come up while it lives, remembering what they said.
class MessageBoxWatcher {
  public:
    struct Seen {
        QString title, text;
        QMessageBox::Icon icon;
        QString detail;
    };
    MessageBoxWatcher() {
        QObject::connect(&poll_, &QTimer::timeout, [this]() {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr) return;
            seen.push_back({box->windowTitle(), box->text(), box->icon(), box->informativeText()});
            box->accept();
        });
        poll_.start(10);
    }
    std::vector<Seen> seen;

  private:
    QTimer poll_;
};

// ---- reading

TEST(HelpReading, FileIsReadInPiecesOfThirtyBytes) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string text = letters(95);
    const std::vector<std::string> pieces = piecesOf(writeFile(dir, "95", text));
    EXPECT_EQ(pieces, (std::vector<std::string>{text.substr(0, 30), text.substr(30, 30), text.substr(60, 30),
                                                text.substr(90, 5)}));

    // Exactly three pieces' worth: the fourth read finds nothing and ends the reading.
    const std::vector<std::string> exact = piecesOf(writeFile(dir, "90", letters(90)));
    ASSERT_EQ(exact.size(), 4u);
    EXPECT_EQ(exact[2], letters(90).substr(60, 30));
    EXPECT_EQ(exact[3], "");

    EXPECT_EQ(piecesOf(writeFile(dir, "empty", "")), std::vector<std::string>{""});
}

TEST(HelpReading, ZeroByteCutsOnlyItsOwnPiece) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    std::string bytes = letters(70);
    bytes[10] = '\0';  // inside the first piece
    bytes[59] = '\0';  // the last byte of the second piece
    const std::vector<std::string> pieces = piecesOf(writeFile(dir, "zero", bytes));
    ASSERT_EQ(pieces.size(), 3u);
    EXPECT_EQ(pieces[0], letters(10));
    EXPECT_EQ(pieces[1], letters(70).substr(30, 29));
    EXPECT_EQ(pieces[2], letters(70).substr(60));

    // The window shows the same cut text, the next piece again from its start.
    HelpWindow window(nullptr, nullptr, {writeFile(dir, "zero", bytes)});
    EXPECT_EQ(window.textField()->toPlainText().toStdString(), pieces[0] + pieces[1] + pieces[2]);
}

TEST(HelpReading, OnlyCarriageReturnLineFeedBreaksALine) {
    EXPECT_EQ(helpDisplayText("one\r\ntwo\nthree\rfour\r\n").toStdString(), "one\ntwo three four\n");
    EXPECT_EQ(helpDisplayText("caf\xc3\xa9").toStdString(), "caf\xc3\xa9");  // UTF-8
    EXPECT_EQ(helpDisplayText("caf\xe9").toStdString(), "caf\xc3\xa9");      // Latin-1

    // A pair split between two pieces still breaks the line.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string bytes = letters(29) + "\r\n" + "end";
    ASSERT_EQ(bytes[29], '\r');
    HelpWindow window(nullptr, nullptr, {writeFile(dir, "split", bytes)});
    EXPECT_EQ(window.textField()->toPlainText().toStdString(), letters(29) + "\nend");
}

// ---- the window

TEST(HelpWindow, ShowsTheFileReadOnlyAndAfreshAtEachOpening) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string path = writeFile(dir, "VOLTINA.TXT", "Line one\r\nLine two\r\n");
    for (int opening = 0; opening < 2; ++opening) {
        HelpWindow window(nullptr, nullptr, {dir.filePath("missing").toStdString(), path});
        EXPECT_EQ(window.textField()->toPlainText(), QStringLiteral("Line one\nLine two\n"));
        EXPECT_TRUE(window.textField()->isReadOnly());
        EXPECT_TRUE(window.arrowsTurning());
    }
}

TEST(HelpWindow, FileThatCannotBeOpenedForWritingIsStillShown) {
    // A running program cannot be opened for writing, not even by root: the help window must only read.
    const std::string self = QCoreApplication::applicationFilePath().toStdString();
    ASSERT_LT(::open(self.c_str(), O_RDWR), 0);
    MessageBoxWatcher watcher;
    HelpWindow window(nullptr, nullptr, {self});
    EXPECT_TRUE(watcher.seen.empty());
    EXPECT_TRUE(
        window.textField()->toPlainText().startsWith(QStringLiteral("\x7f"
                                                                    "ELF")));
}

TEST(HelpWindow, MissingFileGivesTheMessageAndAnEmptyWindow) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    MessageBoxWatcher watcher;
    HelpWindow window(nullptr, nullptr,
                      {dir.filePath("VOLTINA.TXT").toStdString(), dir.path().toStdString()});
    ASSERT_EQ(watcher.seen.size(), 1u);
    EXPECT_EQ(watcher.seen[0].text, QStringLiteral("Impossible to open VOLTINA.TXT"));
    // Where it looked and why each place failed.
    EXPECT_EQ(watcher.seen[0].detail, dir.filePath("VOLTINA.TXT") + ": No such file or directory\n" +
                                          dir.path() + ": not a regular file");
    EXPECT_EQ(watcher.seen[0].title, QStringLiteral("Voltina 3.10"));
    EXPECT_EQ(watcher.seen[0].icon, QMessageBox::Information);
    EXPECT_FALSE(window.isVisible());  // the message came before the window was shown
    EXPECT_TRUE(window.textField()->toPlainText().isEmpty());
    EXPECT_TRUE(window.arrowsTurning());
}

TEST(HelpWindow, LooksInTheCurrentFolderFirstThenBesideTheProgram) {
    const std::vector<std::string> paths = helpFilePaths();
    ASSERT_GE(paths.size(), 2u);
    EXPECT_EQ(paths[0], "VOLTINA.TXT");
    const QString beside =
        QDir::cleanPath(QCoreApplication::applicationDirPath() + "/../share/voltina/VOLTINA.TXT");
    EXPECT_EQ(paths[1], beside.toStdString());
    EXPECT_EQ(paths.back(), std::string(VOLTINA_DATA_DIR) + "/VOLTINA.TXT");
}

TEST(HelpWindow, ShippedHelpTextIsPlainWithCarriageReturnLineFeeds) {
    std::ifstream in(VOLTINA_HELP_SOURCE, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(bytes.size(), 5000u);
    int lines = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        ASSERT_TRUE(c == '\r' || c == '\n' || (c >= 32 && c < 127)) << "byte " << i;
        if (c == '\n') {
            ASSERT_TRUE(i > 0 && bytes[i - 1] == '\r') << "a line feed without its carriage return at " << i;
            ++lines;
        }
        if (c == '\r') {
            ASSERT_TRUE(i + 1 < bytes.size() && bytes[i + 1] == '\n') << "a lone carriage return at " << i;
        }
    }
    HelpWindow window(nullptr, nullptr, {VOLTINA_HELP_SOURCE});
    EXPECT_EQ(window.textField()->toPlainText().count(QLatin1Char('\n')), lines);
}

// ---- the arrows

std::array<QPoint, 4> iconPositions(const HelpWindow& w) {
    return {w.icon(help::kIconTopLeft)->pos(), w.icon(help::kIconTopRight)->pos(),
            w.icon(help::kIconBottomRight)->pos(), w.icon(help::kIconBottomLeft)->pos()};
}

// Where each icon is after `turns` corners clockwise from where they started.
std::array<QPoint, 4> turned(const std::array<QPoint, 4>& start, int turns) {
    std::array<QPoint, 4> out;
    for (int k = 0; k < 4; ++k) out[k] = start[(k + turns) % 4];
    return out;
}

TEST(HelpArrows, TurnOneCornerClockwiseEveryThreeHundredMilliseconds) {
    QElapsedTimer clock;
    clock.start();
    HelpWindow window(nullptr, nullptr, {VOLTINA_HELP_SOURCE});
    window.show();
    const std::array<QPoint, 4> start = iconPositions(window);
    // The icons start at the four corners, clockwise from the top left.
    EXPECT_LT(start[0].x(), start[1].x());
    EXPECT_LT(start[1].y(), start[2].y());
    EXPECT_GT(start[2].x(), start[3].x());
    EXPECT_GT(start[3].y(), start[0].y());

    // Qt drops late ticks instead of replaying them, so each turn is waited for and judged against the time
    // it came, never counted against the clock.
    std::vector<qint64> turnedAt;
    std::array<QPoint, 4> last = start;
    while (turnedAt.size() < 4 && clock.elapsed() < 10000) {
        QTest::qWait(2);
        const std::array<QPoint, 4> now = iconPositions(window);
        if (now == last) continue;
        turnedAt.push_back(clock.elapsed());
        ASSERT_EQ(now, turned(start, static_cast<int>(turnedAt.size()))) << "after turn " << turnedAt.size();
        last = now;
    }
    ASSERT_EQ(turnedAt.size(), 4u);
    // After 300 ms the top-left icon is top right; after 1200 ms all four are back in place.
    EXPECT_GE(turnedAt[0], 300);
    EXPECT_LT(turnedAt[0], 300 + 2000);
    EXPECT_GE(turnedAt[3], 1200);
    // A turn is seen a little after it happens, never before: turn k + 1 comes no sooner than 300 ms each.
    for (std::size_t k = 1; k < turnedAt.size(); ++k)
        EXPECT_GE(turnedAt[k], 300 * static_cast<qint64>(k + 1)) << k;
    EXPECT_EQ(iconPositions(window), start);
}

TEST(HelpArrows, EndingTheWindowStopsThem) {
    HelpWindow window(nullptr, nullptr, {VOLTINA_HELP_SOURCE});
    window.show();
    QTest::keyClick(&window, Qt::Key_Escape);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.result(), QDialog::Rejected);
    EXPECT_FALSE(window.arrowsTurning());

    HelpWindow second(nullptr, nullptr, {VOLTINA_HELP_SOURCE});
    second.show();
    QTest::mouseClick(second.okButton(), Qt::LeftButton);
    EXPECT_EQ(second.result(), QDialog::Accepted);
    EXPECT_FALSE(second.arrowsTurning());
}

// ---- the render gate

TEST(HelpGate, RunsBeforeEveryEventTimerTicksIncluded) {
    int calls = 0;
    HelpWindow window(nullptr, [&calls]() { ++calls; }, {VOLTINA_HELP_SOURCE});
    QCoreApplication::processEvents();

    const int before = calls;
    QEvent custom(QEvent::User);
    QCoreApplication::sendEvent(&window, &custom);
    EXPECT_EQ(calls, before + 1);

    // The window is hidden, so the arrows' ticks are all that reach it: each one must pass the gate.
    calls = 0;
    int turns = 0;
    QPoint last = window.icon(help::kIconTopLeft)->pos();
    QElapsedTimer clock;
    clock.start();
    while (turns < 2 && clock.elapsed() < 5000) {
        QTest::qWait(5);
        if (window.icon(help::kIconTopLeft)->pos() == last) continue;
        last = window.icon(help::kIconTopLeft)->pos();
        ++turns;
    }
    ASSERT_EQ(turns, 2);
    EXPECT_GE(calls, turns);
}

}  // namespace
}  // namespace voltina
