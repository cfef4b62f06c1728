#pragma once
// Saving the recording when the sound stops: the "Save to Wave" name, then NAME.WAV in the current
// directory. A recording is never lost to a file that cannot be written: the user is told and asked for
// a name again, and only Cancel (or an empty name) discards it.
// GUI thread only.

#include <functional>
#include <string>

#include "engine/engine_state.h"

class QWidget;

namespace voltina {

constexpr const char* kRecordingCaption = "Save to Wave";
constexpr int kRecordingNameLength = 8;
constexpr const char* kCannotOpenPrefix = "Impossible to open ";

// The file a typed name is saved as: "ab-1" gives "AB_1.WAV". Every character that is not a letter a..z
// or A..Z or a digit becomes one "_", a letter outside ASCII included (the typed text is UTF-8).
std::string recordingFileName(const std::string& typed);

// Offers the recording when there is one: recordOn is 1, or the recording memory ran out during the run
// (recordOn went to 0, the frames kept are still worth saving). Afterwards the recording is cleared and
// recordOn is left as it was. `showMessage` is the program's message box.
void saveRecording(EngineState& s, QWidget* owner,
                   const std::function<void(const std::string&)>& showMessage);

}  // namespace voltina
