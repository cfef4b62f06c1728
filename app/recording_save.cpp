#include "app/recording_save.h"

#include <QString>

#include "dialogs/dialog_context.h"
#include "dialogs/entry_dialog.h"
#include "media/wav_file.h"

namespace voltina {

std::string recordingFileName(const std::string& typed) {
    // One byte per character, so that a name of three accented letters gives three underscores.
    std::string oneBytePerCharacter;
    const QString text = QString::fromUtf8(typed.data(), static_cast<qsizetype>(typed.size()));
    for (const char32_t c : text.toUcs4()) oneBytePerCharacter += c < 0x80 ? static_cast<char>(c) : '_';
    return makeWaveFileName(oneBytePerCharacter) + ".WAV";
}

void saveRecording(EngineState& s, QWidget* owner,
                   const std::function<void(const std::string&)>& showMessage) {
    if (s.recordOn != 1 && !s.recording.active()) return;
    for (;;) {
        std::string typed;
        if (runNameDialog(typed, kRecordingCaption, kRecordingNameLength, owner) != 1 || typed.empty()) break;
        const std::string fileName = recordingFileName(typed);
        const std::vector<std::uint8_t>& bytes = s.recording.bytes();
        std::string error;
        if (saveWaveFile(fileName, recordingFormat(s.rateParam, s.stereoOut), bytes.data(), bytes.size(),
                         error))
            break;
        if (showMessage) showMessage(kCannotOpenPrefix + fileName);
    }
    s.recording.clear();
}

}  // namespace voltina
