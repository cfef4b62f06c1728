#pragma once
// The help window (FEN_AIDE): the text of VOLTINA.TXT in a read-only field, framed by four arrows that
// travel one corner clockwise every 300 ms. Modal; the sound goes on while it is open.
// GUI thread only.

#include <QBasicTimer>
#include <QDialog>
#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "dialogs/dialog_context.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace voltina {

constexpr const char* kHelpFileName = "VOLTINA.TXT";
constexpr int kHelpPieceBytes = 30;  // the help file is read this many bytes at a time
constexpr int kHelpArrowPeriodMs = 300;

// Control ids of the help window.
namespace help {
constexpr int kOk = 1;
constexpr int kIconTopLeft = 101;  // 101..104 clockwise from the top left at opening
constexpr int kIconTopRight = 102;
constexpr int kIconBottomRight = 103;
constexpr int kIconBottomLeft = 104;
constexpr int kText = 105;
}  // namespace help

// Where VOLTINA.TXT is looked for, first found wins: the current directory, then the data folder beside the
// program (<program folder>/../share/voltina: a build tree, or an installation that was moved), then the
// folder it was installed into.
std::vector<std::string> helpFilePaths();

// Reads the file open on `fd` in 30-byte pieces and hands each one to `append`, cut at its first zero byte,
// until a read gives fewer than 30 bytes (that last piece, possibly empty, is handed on too). A read error
// ends the reading like the end of the file.
void readHelpPieces(int fd, const std::function<void(const std::string& piece)>& append);

// The help bytes as the text field shows them: only a carriage return followed by a line feed breaks the
// line; a lone one shows as a space. UTF-8 when the bytes are valid UTF-8, else Latin-1.
QString helpDisplayText(const std::string& bytes);

class HelpWindow : public QDialog {
  public:
    // Reads the help file (the first of `helpPaths` that opens) into the field and starts the arrows. When
    // none opens, the program's message box says so before the window is shown, and the field stays empty.
    // `renderGate` runs before every event the window receives, timer ticks included.
    explicit HelpWindow(QWidget* parent, std::function<void()> renderGate = callRenderGate,
                        std::vector<std::string> helpPaths = helpFilePaths());

    QPlainTextEdit* textField() const { return text_; }
    QPushButton* okButton() const { return ok_; }
    QLabel* icon(int id) const;
    bool arrowsTurning() const { return timer_.isActive(); }

    // Stops the arrows before the window ends.
    void done(int result) override;

  protected:
    bool event(QEvent* e) override;
    void timerEvent(QTimerEvent* e) override;

  private:
    void setupWindow();
    void loadHelpText();
    void turnArrows();

    std::function<void()> renderGate_;
    std::vector<std::string> helpPaths_;
    QPlainTextEdit* text_;
    QPushButton* ok_;
    QLabel* icons_[4];
    QBasicTimer timer_;
};

// The menu's "About Voltina": the help window, run modally over `parent`. Returns the dialog's result.
int runHelpWindow(QWidget* parent = dialogOwner(), std::function<void()> renderGate = callRenderGate);

}  // namespace voltina
