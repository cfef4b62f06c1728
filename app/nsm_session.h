#pragma once
// Voltina as a client of an NSM session manager (started with NSM_URL set): it announces itself at once,
// opens no sound and no JACK client before the server's open, then lives in the session's folder, which
// it makes and owns: the configuration (voltina.json), the recordings, copies of the samples it plays.
// The server's save writes them; the panel's changes say "dirty" and a save "clean"; the window can be
// shown and hidden (its close button hides it), and SIGTERM ends the program at once, without a
// question. The protocol itself is nsm/'s.
// GUI thread only (the waiting before the open runs before the application exists).

#include <QObject>
#include <memory>
#include <string>

#include "nsm/nsm_client.h"

class QSocketNotifier;
class QTimer;

namespace voltina {

class FrameWindow;
class ProgramParts;
class SynthPanel;
struct EngineState;

constexpr const char* kSessionConfigurationName = "voltina.json";
constexpr const char* kSessionTakeFolderName = "unsaved";

class NsmSession : public QObject {
    Q_OBJECT
  public:
    NsmSession();
    ~NsmSession() override;

    // Announces to the server at `url` and waits for its open (handling nothing else meanwhile but the
    // announce's answer). False when the server refused, the link could not be made (`error` says why)
    // or SIGTERM came first (`error` empty). On true the session's folder exists and is the current one.
    bool announceAndWaitForOpen(const std::string& url, const std::string& executable, std::string& error);
    const NsmOpen& opened() const { return open_; }
    std::string sessionFile() const;
    std::string takeFolder() const;
    bool startHidden() const { return client_->serverHasOptionalGui(); }

    // Once the panel exists: the session's requests reach it from now on, the open is answered, and the
    // window's close button hides it when the server shows and hides windows.
    void attach(ProgramParts& parts, EngineState& state, FrameWindow& frame);
    // The server's save and the menu's: the sample copied into the session if it is not there, then the
    // configuration. True when written; otherwise the server (or the user) is told why.
    bool save(std::string& error);
    // The menu's "Save a configuration" (and "Finished ?"'s save) under the session: the same save, and
    // a message box when it fails.
    bool saveFromMenu();
    // A message the panel would show in its box, said in the session's terms instead (the server's
    // status message and the log) while no window of ours is shown: true when it was said so.
    bool sayInSession(const std::string& text, const std::string& detail);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    bool prepareFolder(const NsmOpen& open, std::string& error);
    bool copySampleIntoSession(std::string& error);
    void showGui(bool shown);
    void reportDirty();
    void sayRepeatsWhenQuiet();

    OscLink link_;
    std::unique_ptr<NsmClient> client_;
    NsmOpen open_;
    bool haveOpen_ = false;
    bool refused_ = false;
    std::string refusal_;
    ProgramParts* parts_ = nullptr;
    EngineState* state_ = nullptr;
    FrameWindow* frame_ = nullptr;
    QSocketNotifier* oscNotifier_ = nullptr;
    QSocketNotifier* termNotifier_ = nullptr;
    QTimer* quiet_ = nullptr;
};

}  // namespace voltina
