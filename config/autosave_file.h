#pragma once
// The panel's autosave: the whole panel as a configuration, with what bringing it back needs, in a JSON
// file of its own:
//
//   {
//     "voltina-autosave": 1,
//     "time": 1767225600,                 seconds since 1970, when it was written
//     "origin": "/home/me/songs/drone",   the configuration it was last loaded from or saved to ("": none)
//     "modified": true,                   the panel differed from that file
//     "configuration": { ... }            the usual configuration, its "wave" an absolute path
//   }
//
// Each running program keeps one autosave, panel-NAME.json, beside the unsaved takes, and holds
// panel-NAME.lock locked (flock) while it lives: an autosave whose lock nobody holds was left by a run
// that ended abnormally. Plain C++, no Qt.

#include <cstdint>
#include <string>
#include <vector>

#include "config/configuration.h"

namespace voltina {

constexpr int kAutosaveVersion = 1;
// A panel is a few kilobytes; a larger file is not one of ours.
constexpr std::size_t kMaxAutosaveBytes = 1 << 20;

struct Autosave {
    std::int64_t time = 0;
    std::string origin;
    bool modified = false;
    Configuration configuration;
};

std::string serializeAutosave(const Autosave& a);
// False with the first problem in `error` ("configuration: oscillator 3: ..."); `out` is then untouched.
bool parseAutosave(const std::string& text, Autosave& out, std::string& error);

// An autosave found on disk with no program holding it.
struct FoundAutosave {
    std::string path;
    std::string problem;  // why it cannot be used (empty when `autosave` holds it)
    Autosave autosave;
};

// The autosaves in `folder` that no running program holds, newest first. No folder is no autosave.
std::vector<FoundAutosave> findAutosaves(const std::string& folder);
// Moves a damaged autosave out of the way (panel-NAME.damaged-TIME.json, never offered again, never
// overwritten) and drops its lock file. Returns the new path, or empty when it could not be moved.
std::string setAutosaveAside(const std::string& path);
// Removes an autosave and its lock file: the user restored it or chose to start without it.
void discardAutosave(const std::string& path);

// This program's own autosave: the lock is taken when it is claimed and held until release.
class AutosaveSlot {
  public:
    AutosaveSlot() = default;
    ~AutosaveSlot();
    AutosaveSlot(const AutosaveSlot&) = delete;
    AutosaveSlot& operator=(const AutosaveSlot&) = delete;

    // Makes the folder when needed and takes a name no other program uses. False with a sentence in
    // `error` when the folder cannot be written.
    bool claim(const std::string& folder, std::string& error);
    const std::string& path() const { return path_; }
    // A normal end: the autosave and its lock are removed.
    void release();

  private:
    std::string path_;
    std::string lockPath_;
    int lockFd_ = -1;
};

}  // namespace voltina
