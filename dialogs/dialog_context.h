#pragma once
// What every window of the program shares: the render gate it calls for every event and the owner of
// its dialogs and message boxes.
// GUI thread only.

#include <QDialog>
#include <functional>
#include <string>

class QEvent;
class QWidget;

namespace voltina {

// "Voltina " and the version: the frame window's title and the caption of the program's message box.
extern const char* const kProgramTitle;

// Dialog results shared by the program's dialogs (what QDialog::exec returns for them).
enum DialogResult : int { kResultOk = 1, kResultCancel = 2, kResultNoWave = 3, kResultOtherFolder = 4 };

// The audio layer's gate; a no-op until the program sets it (and in tests that do not care).
void setRenderGate(std::function<void()> gate);
void callRenderGate();

// The panel window, owner of every dialog and message box; null before the panel exists.
void setDialogOwner(QWidget* owner);
QWidget* dialogOwner();

// A dialog whose every event first passes the render gate, so the sound goes on while it is open.
class GatedDialog : public QDialog {
  public:
    using QDialog::QDialog;

  protected:
    bool event(QEvent* e) override;
};

}  // namespace voltina
