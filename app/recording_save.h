#pragma once
// Saving the recording when the sound stops: the "Save to Wave" name, then NAME.WAV in the current
// directory. Giving the name up asks first: the take is gone once discarded. The take comes from its file on
// disk (the spool the audio layer wrote while it was recorded), or from memory when it could not be kept on
// disk. A take is never lost to a file that cannot be written: the user is told why and asked for a name
// again; when the folder itself cannot be written, the desktop's save dialog offers another place. Only the
// user's choice (Cancel or an empty name) discards it. Takes left on disk by a run that ended abnormally are
// offered at the next start. GUI thread only.

#include <cstdio>
#include <functional>
#include <string>

#include "engine/engine_state.h"

class QWidget;

namespace voltina {

class PerformanceCapture;

constexpr const char* kRecordingCaption = "Save to Wave";
constexpr int kRecordingNameLength = 8;
// What the name prompt lets one type: longer names are shown cut before they are saved.
constexpr int kRecordingTypedLength = 40;
constexpr const char* kCannotOpenPrefix = "Impossible to open ";
constexpr const char* kAlreadyExistsSuffix = " already exists.";
constexpr const char* kUnsavedTakeText = "A take was not saved when Voltina last ended.";
constexpr const char* kUnsavedTakesSuffix = " takes were not saved when Voltina last ended.";

// The file a typed name is saved as: "ab-1" gives "AB_1.WAV". Every character that is not a letter a..z
// or A..Z or a digit becomes one "_", a letter outside ASCII included (the typed text is UTF-8).
std::string recordingFileName(const std::string& typed);
// The file a typed name is saved as once it is cut to 8 characters ("mysong2024" gives "MYSONG20.WAV").
std::string takeFileName(const std::string& typed);
// The name prompt's lines: what the name is for, and the file it gives.
std::string takeNamePrompt(const std::string& typed);

// Offers the recording when there is one: recordOn is 1, or the recording memory ran out during the run
// (recordOn went to 0, the frames kept are still worth saving). Afterwards the recording is cleared (its
// file on disk removed, saved or discarded) and recordOn is left as it was. `showMessage` is unused by the
// failure path, whose box carries the reason as its detail line.
// With `performance`, the take's performance is saved beside it as NAME.vtk.
void saveRecording(EngineState& s, QWidget* owner, const std::function<void(const std::string&)>& showMessage,
                   PerformanceCapture* performance = nullptr);

// At start-up: a take left in the unsaved folder by a run that ended abnormally, with its date and
// length; Save asks for a name, Discard removes it, Later keeps it for the next start. Several takes are
// offered in one box first: go through them one by one, discard them all, or keep them all for later.
void offerUnsavedTakes(QWidget* owner);

// voltina --recover: the unsaved takes, one a line, on `out`; what cannot be read (a take, the folder)
// is said on standard error and makes the exit status 1. Returns the exit status.
int listUnsavedTakes(std::FILE* out);

}  // namespace voltina
