#include "app/recording_save.h"

#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QString>
#include <cerrno>
#include <cstring>

#include "audio/take_spool.h"
#include "dialogs/dialog_context.h"
#include "dialogs/entry_dialog.h"
#include "media/wav_file.h"

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

// The name prompt until the take is written (true) or the user gives it up: Cancel or an empty name.
bool offerTake(const TakeWriter& write, QWidget* owner) {
    for (;;) {
        std::string typed;
        if (runNameDialog(typed, kRecordingCaption, kRecordingNameLength, owner) != 1 || typed.empty())
            return false;
        const std::string fileName = recordingFileName(typed);
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

void saveRecording(EngineState& s, QWidget* owner, const std::function<void(const std::string&)>&) {
    if (s.recordOn != 1 && !s.recording.active()) return;
    const std::string spool = s.recording.spoolFile();
    if (!spool.empty()) {
        const UnsavedTake take = readUnsavedTake(spool);
        offerTake([&take](const std::string& path,
                          std::string& error) { return saveUnsavedTake(take, path, error); },
                  owner);
        // Saved: the copy is safely on disk (flushed and renamed); discarded: by the user's choice.
        ::unlink(spool.c_str());
    } else {
        const WaveFormat format = recordingFormat(s.rateParam, s.stereoOut);
        const std::vector<std::uint8_t>& bytes = s.recording.bytes();
        offerTake(
            [&](const std::string& path, std::string& error) {
                return saveWaveFile(path, format, bytes.data(), bytes.size(), error);
            },
            owner);
    }
    s.recording.clear();
}

void offerUnsavedTakes(QWidget* owner) {
    for (const UnsavedTake& take : findUnsavedTakes(unsavedTakeFolder())) {
        if (!take.readable) continue;
        QMessageBox box(QMessageBox::Question, QString::fromUtf8(kProgramTitle),
                        QString::fromUtf8(kUnsavedTakeText), QMessageBox::NoButton, owner);
        box.setInformativeText(QString::fromStdString("Recorded " + takeDate(take.modified) + ", " +
                                                      takeLength(take.seconds()) + " long."));
        QPushButton* save = box.addButton("Save...", QMessageBox::AcceptRole);
        QPushButton* discard = box.addButton("Discard", QMessageBox::DestructiveRole);
        box.addButton("Later", QMessageBox::RejectRole);
        box.setDefaultButton(save);
        box.exec();
        if (box.clickedButton() == save) {
            // Cancel in the name prompt keeps the take for later: only Discard throws it away.
            if (offerTake([&take](const std::string& path,
                                  std::string& error) { return saveUnsavedTake(take, path, error); },
                          owner))
                ::unlink(take.path.c_str());
        } else if (box.clickedButton() == discard) {
            ::unlink(take.path.c_str());
        }
    }
}

int listUnsavedTakes(std::FILE* out) {
    const std::string folder = unsavedTakeFolder();
    const std::vector<UnsavedTake> takes = findUnsavedTakes(folder);
    if (takes.empty()) {
        std::fprintf(out, "No unsaved takes in %s\n", folder.c_str());
        return 0;
    }
    for (const UnsavedTake& take : takes) {
        if (!take.readable) {
            std::fprintf(out, "%s  (not a take Voltina can read)\n", take.path.c_str());
            continue;
        }
        std::fprintf(out, "%s  %s  %s  %u Hz %s\n", take.path.c_str(), takeDate(take.modified).c_str(),
                     takeLength(take.seconds()).c_str(), static_cast<unsigned>(take.format.samplesPerSec),
                     take.format.channels == 1 ? "mono" : "stereo");
    }
    std::fprintf(out, "Start voltina to save or discard them.\n");
    return 0;
}

}  // namespace voltina
