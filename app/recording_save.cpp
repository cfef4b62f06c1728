#include "app/recording_save.h"

#include <QString>

#include "dialogs/dialog_context.h"
#include "dialogs/t_quesnom.h"
#include "media/wav_file.h"

namespace voltina {

namespace {

// recordingFormat() with braces: the audio layer has a type of the same name, and in a program that links
// both, their default constructors are one symbol whose body the linker picks from either (a 16-byte
// object built by the 28-byte body overruns the stack in unoptimised builds). Brace initialisation calls
// no constructor. A single-channel device gets a true mono file, as recordingFormat() gives it.
WaveFormat recordingFileFormat(int rateParam, int stereoOut) {
    const auto rate = static_cast<std::uint32_t>(rateParam - 1);
    if (stereoOut) return WaveFormat{1, 2, rate, 2 * rate, 2, 8};
    return WaveFormat{1, 1, rate, rate, 1, 8};
}

}  // namespace

std::string recordingFileName(const std::string& typed) {
    // One byte per character, so that a name of three accented letters gives three underscores.
    std::string oneBytePerCharacter;
    const QString text = QString::fromUtf8(typed.data(), static_cast<qsizetype>(typed.size()));
    for (const char32_t c : text.toUcs4()) oneBytePerCharacter += c < 0x80 ? static_cast<char>(c) : '_';
    return makeWaveFileName(oneBytePerCharacter) + ".WAV";
}

void saveRecording(EngineState& s, QWidget* owner, const std::function<void(const std::string&)>& showMessage) {
    if (s.recordOn != 1 && !s.recording.active()) return;
    for (;;) {
        textBuffer.clear();
        if (runNameDialog(textBuffer, kRecordingCaption, kRecordingNameLength, owner) != 1 || textBuffer.empty())
            break;
        const std::string fileName = recordingFileName(textBuffer);
        const std::vector<std::uint8_t>& bytes = s.recording.bytes();
        std::string error;
        if (saveWaveFile(fileName, recordingFileFormat(s.rateParam, s.stereoOut), bytes.data(), bytes.size(), error))
            break;
        if (showMessage) showMessage(kCannotOpenPrefix + fileName);
    }
    s.recording.clear();
}

}  // namespace voltina
