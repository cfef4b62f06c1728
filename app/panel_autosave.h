#pragma once
// The panel written to its autosave after every change: at most about once a second and within two
// seconds of the last change, by a writer thread (the render gate runs on this thread and must never wait
// for a disk). A normal end removes it; any other end leaves it for the next start to offer.
// GUI thread only.

#include <QObject>
#include <QTimer>
#include <functional>
#include <string>

#include "config/autosave_file.h"
#include "media/latest_file_writer.h"

namespace voltina {

class PanelAutosave : public QObject {
    Q_OBJECT
  public:
    // What is written: the panel as it stands, asked for on the GUI thread when a write is due.
    using Capture = std::function<Autosave()>;

    explicit PanelAutosave(Capture capture);
    // Claims this program's autosave in `folder`. False with a sentence in `error`: the program then runs
    // without one.
    bool start(const std::string& folder, std::string& error);
    bool active() const { return !slot_.path().empty(); }
    const std::string& path() const { return slot_.path(); }

    // The panel changed: a write is scheduled.
    void changed();
    // Writes now and waits for the disk (before an earlier autosave is let go for this one).
    bool writeNow();
    // A normal end: no write is pending any more, the file and its lock go.
    void finish();

  private:
    void write();

    Capture capture_;
    AutosaveSlot slot_;
    LatestFileWriter writer_;
    QTimer timer_;
};

}  // namespace voltina
