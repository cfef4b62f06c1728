#include "app/recording_save.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QString>
#include <cerrno>
#include <cstring>

#include "audio/take_spool.h"
#include "dialogs/dialog_context.h"
#include "dialogs/entry_dialog.h"
#include "media/file_bytes.h"
#include "media/printable_text.h"
#include "media/wav_file.h"
#include "render/panel_events.h"
#include "render/performance_capture.h"

namespace voltina {

namespace {

using TakeWriter = std::function<bool(const std::string& path, std::string& error)>;

void tellFailure(QWidget* owner, const std::string& text, const std::string& reason) {
    QMessageBox box(QMessageBox::Information, QString::fromUtf8(kProgramTitle), QString::fromStdString(text),
                    QMessageBox::Ok, owner);
    box.setInformativeText(QString::fromStdString(reason));
    box.exec();
}

// True when a file can be created in the current folder; otherwise `reason` says why not.
bool currentFolderWritable(std::string& reason) {
    char name[] = "./.voltina-check-XXXXXX";
    const int fd = ::mkstemp(name);
    if (fd < 0) {
        reason = std::strerror(errno);
        return false;
    }
    ::close(fd);
    ::unlink(name);
    return true;
}

// The desktop's save dialog, until the take is written or the dialog is cancelled.
bool saveElsewhere(const TakeWriter& write, const std::string& fileName, QWidget* owner) {
    QString start = QDir::homePath() + "/" + QString::fromStdString(fileName);
    for (;;) {
        const QString path = QFileDialog::getSaveFileName(owner, QString::fromUtf8(kRecordingCaption), start,
                                                          "Waves (*.wav *.WAV)");
        if (path.isEmpty()) return false;
        std::string error;
        if (write(path.toStdString(), error)) return true;
        tellFailure(owner, kCannotOpenPrefix + path.toStdString(), error);
        start = path;
    }
}

// Names are cut to 8 characters and upper-cased, so two takes easily meet on one name: an existing file
// is replaced only when the user says so. A folder in the way is left to the write, which reports it.
bool mayWriteOver(const std::string& fileName, QWidget* owner) {
    struct stat st {};
    if (::lstat(fileName.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return true;
    QMessageBox box(QMessageBox::Question, QString::fromUtf8(kProgramTitle),
                    QString::fromStdString(fileName + kAlreadyExistsSuffix), QMessageBox::NoButton, owner);
    box.setInformativeText("Replace it with this take, or choose another name?");
    QPushButton* replace = box.addButton("Replace", QMessageBox::DestructiveRole);
    QPushButton* other = box.addButton("Another name...", QMessageBox::RejectRole);
    box.setDefaultButton(other);
    box.exec();
    return box.clickedButton() == replace;
}

bool askTakeName(std::string& typed, QWidget* owner) {
    EntryDialog dialog(owner, kRecordingCaption, &typed, kRecordingTypedLength);
    dialog.setPrompt(takeNamePrompt);
    return dialog.exec() == kResultOk;
}

// Escape is a reflex in a prompt; a take is one performance and does not come back.
bool confirmDiscard(QWidget* owner) {
    QMessageBox box(QMessageBox::Question, QString::fromUtf8(kProgramTitle), "Discard this take?",
                    QMessageBox::NoButton, owner);
    box.setInformativeText("It is not saved: once discarded it is gone.");
    QPushButton* discard = box.addButton("Discard", QMessageBox::DestructiveRole);
    QPushButton* back = box.addButton("Back to the name", QMessageBox::RejectRole);
    box.setDefaultButton(back);
    box.setEscapeButton(back);
    box.exec();
    return box.clickedButton() == discard;
}

// The name prompt until the take is written (true) or the user gives it up: Cancel or an empty name,
// then Discard. `keptOtherwise`: giving up keeps the take for later, so nothing is asked.
bool offerTake(const TakeWriter& write, QWidget* owner, bool keptOtherwise = false) {
    std::string typed;
    for (;;) {
        if (!askTakeName(typed, owner) || typed.empty()) {
            if (keptOtherwise || confirmDiscard(owner)) return false;
            continue;
        }
        const std::string fileName = takeFileName(typed);
        if (!mayWriteOver(fileName, owner)) continue;
        std::string error;
        if (write(fileName, error)) return true;
        std::string reason;
        if (!currentFolderWritable(reason)) {
            tellFailure(owner, kCannotOpenPrefix + fileName,
                        "This folder cannot be written (" + reason + "): choose another place for the take.");
            if (saveElsewhere(write, fileName, owner)) return true;
        } else {
            tellFailure(owner, kCannotOpenPrefix + fileName, error);
        }
    }
}

// A recovered take can be gigabytes: the copy shows its progress and lets the panel go on drawing and
// sounding, and Stop leaves the take where it is.
bool saveTakeFile(const UnsavedTake& take, const std::string& path, std::string& error, QWidget* owner) {
    QProgressDialog progress(QString::fromStdString("Saving " + path + "..."), "Stop", 0, 1000, owner);
    progress.setWindowTitle(QString::fromUtf8(kProgramTitle));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    progress.setAutoReset(false);
    progress.setValue(0);
    return saveUnsavedTake(take, path, error, [&progress](std::uint64_t done, std::uint64_t total) {
        progress.setValue(total ? static_cast<int>(done * 1000 / total) : 1000);
        QCoreApplication::processEvents();
        return !progress.wasCanceled();
    });
}

// The performance beside the saved WAV. The take is saved without it when it cannot be written, and the
// user hears why.
void savePerformanceBeside(const std::string& wavePath, const std::string& text, QWidget* owner) {
    if (text.empty()) return;
    const std::string path = performancePathFor(wavePath);
    std::string error;
    if (!savePerformance(path, text, error))
        tellFailure(owner, "The take is saved, but not its performance " + path, error);
}

// A take's frames and, once they are written, its performance.
TakeWriter withPerformance(TakeWriter write, std::string performance, QWidget* owner) {
    return [write = std::move(write), performance = std::move(performance), owner](const std::string& path,
                                                                                   std::string& error) {
        if (!write(path, error)) return false;
        savePerformanceBeside(path, performance, owner);
        return true;
    };
}

std::uint64_t takeFrames(const UnsavedTake& take) {
    return take.dataLength / (take.format.blockAlign ? take.format.blockAlign : 1u);
}

// The performance spooled beside a take left by a crash, closed at the frames the take kept ("" when
// there is none: the take began before this program kept performances, or ended before its first frame).
std::string spooledPerformance(const UnsavedTake& take) {
    std::vector<std::uint8_t> bytes;
    std::string error;
    if (!readFileBytes(performancePathFor(take.path), kMaxPerformanceBytes, bytes, error)) return {};
    std::string whole;
    if (!closeSpooledPerformance(std::string(bytes.begin(), bytes.end()), takeFrames(take), whole)) return {};
    return whole;
}

TakeWriter takeFileWriter(const UnsavedTake& take, QWidget* owner, std::string performance) {
    return withPerformance(
        [&take, owner](const std::string& path, std::string& error) {
            return saveTakeFile(take, path, error, owner);
        },
        std::move(performance), owner);
}

// A take's files in the unsaved folder: its frames and its performance.
void removeUnsavedTake(const std::string& path) {
    ::unlink(path.c_str());
    ::unlink(performancePathFor(path).c_str());
}

std::string takeLength(double seconds) {
    const long whole = static_cast<long>(seconds + 0.5);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
    return text;
}

std::string takeDate(std::int64_t modified) {
    return QDateTime::fromSecsSinceEpoch(modified).toString("yyyy-MM-dd hh:mm:ss").toStdString();
}

}  // namespace

std::string recordingFileName(const std::string& typed) {
    // One byte per character, so that a name of three accented letters gives three underscores.
    std::string oneBytePerCharacter;
    const QString text = QString::fromUtf8(typed.data(), static_cast<qsizetype>(typed.size()));
    for (const char32_t c : text.toUcs4()) oneBytePerCharacter += c < 0x80 ? static_cast<char>(c) : '_';
    return makeWaveFileName(oneBytePerCharacter) + ".WAV";
}

std::string takeFileName(const std::string& typed) {
    const QString text = QString::fromUtf8(typed.data(), static_cast<qsizetype>(typed.size()));
    return recordingFileName(text.left(kRecordingNameLength).toStdString());
}

std::string takeNamePrompt(const std::string& typed) {
    const std::string what =
        "Name of the recording (" + std::to_string(kRecordingNameLength) + " characters)";
    if (typed.empty()) return what + "\n ";
    return what + "\nSaved as " + takeFileName(typed);
}

void saveRecording(EngineState& s, QWidget* owner, const std::function<void(const std::string&)>&,
                   PerformanceCapture* performance) {
    if (s.recordOn != 1 && !s.recording.active()) return;
    const std::string spool = s.recording.spoolFile();
    if (!spool.empty()) {
        const UnsavedTake take = readUnsavedTake(spool);
        // The frames the saved file holds: the performance plays exactly as long.
        offerTake(
            takeFileWriter(take, owner, performance ? performance->text(takeFrames(take)) : std::string()),
            owner);
        // Saved: the copy is safely on disk (flushed and renamed); discarded: by the user's choice.
        removeUnsavedTake(spool);
    } else {
        const WaveFormat format = recordingFormat(s.rateParam, s.stereoOut);
        const std::vector<std::uint8_t>& bytes = s.recording.bytes();
        offerTake(withPerformance(
                      [&](const std::string& path, std::string& error) {
                          return saveWaveFile(path, format, bytes.data(), bytes.size(), error);
                      },
                      performance ? performance->text(bytes.size() / 2) : std::string(), owner),
                  owner);
    }
    if (performance) performance->clear();
    s.recording.clear();
}

namespace {

std::string takeSummary(const UnsavedTake& take) {
    return "Recorded " + takeDate(take.modified) + ", " + takeLength(take.seconds()) + " long.";
}

enum class TakeChoice { Save, Discard, Later };

TakeChoice askAboutTake(const std::string& text, const std::string& detail, const char* laterText,
                        QWidget* owner) {
    QMessageBox box(QMessageBox::Question, QString::fromUtf8(kProgramTitle), QString::fromStdString(text),
                    QMessageBox::NoButton, owner);
    box.setInformativeText(QString::fromStdString(detail));
    QPushButton* save = box.addButton("Save...", QMessageBox::AcceptRole);
    QPushButton* discard = box.addButton("Discard", QMessageBox::DestructiveRole);
    box.addButton(laterText, QMessageBox::RejectRole);
    box.setDefaultButton(save);
    box.exec();
    if (box.clickedButton() == save) return TakeChoice::Save;
    if (box.clickedButton() == discard) return TakeChoice::Discard;
    return TakeChoice::Later;
}

// Save asks for a name; a take is removed only once its copy is safely saved, or by Discard. False when
// the user asked to keep this take (and any after it) for later.
bool settleTake(const UnsavedTake& take, TakeChoice choice, QWidget* owner) {
    if (choice == TakeChoice::Discard) {
        removeUnsavedTake(take.path);
    } else if (choice == TakeChoice::Save) {
        // Cancel in the name prompt keeps the take for later: only Discard throws it away.
        if (offerTake(takeFileWriter(take, owner, spooledPerformance(take)), owner, true))
            removeUnsavedTake(take.path);
    }
    return choice != TakeChoice::Later;
}

}  // namespace

void offerUnsavedTakes(QWidget* owner) {
    std::vector<UnsavedTake> takes;
    for (UnsavedTake& take : findUnsavedTakes(unsavedTakeFolder()))
        if (take.readable) takes.push_back(std::move(take));
    if (takes.empty()) return;
    if (takes.size() == 1) {
        settleTake(takes[0], askAboutTake(kUnsavedTakeText, takeSummary(takes[0]), "Later", owner), owner);
        return;
    }
    // Many takes are one question, not one box each: all can be gone through, discarded or kept.
    double seconds = 0;
    for (const UnsavedTake& take : takes) seconds += take.seconds();
    const std::string count = std::to_string(takes.size());
    QMessageBox box(QMessageBox::Question, QString::fromUtf8(kProgramTitle),
                    QString::fromStdString(count + kUnsavedTakesSuffix), QMessageBox::NoButton, owner);
    box.setInformativeText(QString::fromStdString("Recorded from " + takeDate(takes.front().modified) +
                                                  " to " + takeDate(takes.back().modified) + ", " +
                                                  takeLength(seconds) + " in all."));
    QPushButton* each = box.addButton("Go through them...", QMessageBox::AcceptRole);
    QPushButton* discardAll = box.addButton("Discard all", QMessageBox::DestructiveRole);
    box.addButton("Later", QMessageBox::RejectRole);
    box.setDefaultButton(each);
    box.exec();
    if (box.clickedButton() == discardAll) {
        for (const UnsavedTake& take : takes) removeUnsavedTake(take.path);
    } else if (box.clickedButton() == each) {
        for (std::size_t i = 0; i < takes.size(); ++i) {
            const std::string text = "Take " + std::to_string(i + 1) + " of " + count + ".";
            if (!settleTake(takes[i],
                            askAboutTake(text, takeSummary(takes[i]), "Keep the rest for later", owner),
                            owner))
                break;
        }
    }
}

int listUnsavedTakes(std::FILE* out) {
    const std::string folder = unsavedTakeFolder();
    std::string folderProblem;
    const std::vector<UnsavedTake> takes = findUnsavedTakes(folder, &folderProblem);
    if (!folderProblem.empty()) {
        std::fprintf(stderr, "voltina: %s\n", printableText(folderProblem).c_str());
        return 1;
    }
    if (takes.empty()) {
        std::fprintf(out, "No unsaved takes in %s\n", printableText(folder).c_str());
        return 0;
    }
    int status = 0;
    for (const UnsavedTake& take : takes) {
        // Take names come from the folder: escaped, a name cannot drive the terminal or forge a line.
        const std::string path = printableText(take.path);
        if (!take.problem.empty()) {
            std::fprintf(stderr, "voltina: cannot read the take %s: %s\n", path.c_str(),
                         take.problem.c_str());
            status = 1;
            continue;
        }
        if (!take.readable) {
            std::fprintf(out, "%s  (not a take Voltina can read)\n", path.c_str());
            continue;
        }
        std::fprintf(out, "%s  %s  %s  %u Hz %s\n", path.c_str(), takeDate(take.modified).c_str(),
                     takeLength(take.seconds()).c_str(), static_cast<unsigned>(take.format.samplesPerSec),
                     take.format.channels == 1 ? "mono" : "stereo");
    }
    std::fprintf(out, "Start voltina to save or discard them.\n");
    return status;
}

}  // namespace voltina
