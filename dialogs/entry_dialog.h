#pragma once
// The entry dialog (FEN_NOM): one line of text under a caption, sized to the caption and to the
// number of characters allowed.

#include <QRect>
#include <functional>
#include <string>

#include "dialogs/dialog_context.h"

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

namespace voltina {

// Where set-up puts the window's controls, in pixels: the inside of the dialog is (width - 6) x 83, and
// the window manager adds its own frame around it.
struct EntryLayout {
    int width = 0;
    QRect frame, edit, ok, cancel;
};
EntryLayout entryDialogLayout(int captionLength, int maxLength);

// Nominal frame of a dialog with a caption bar, so the client matches the outer size above.
constexpr int kDialogBorder = 3;
constexpr int kDialogCaptionBar = 18;
constexpr int kEntryWindowHeight = 107;

class EntryDialog : public GatedDialog {
  public:
    // `text` is shown first and receives the typed text on OK; it must outlive the dialog.
    EntryDialog(QWidget* parent, const std::string& caption, std::string* text, int maxLength);

    QLineEdit* editField() const { return edit_; }
    QPushButton* okButton() const { return ok_; }
    QPushButton* cancelButton() const { return cancel_; }
    QFrame* frame() const { return frame_; }

    // Lines above the field saying what the text is for, rewritten from the text as it is typed (what a
    // name becomes, for one). The window grows to hold them.
    void setPrompt(std::function<std::string(const std::string& typed)> describe);
    QLabel* prompt() const { return prompt_; }

    void accept() override;
    void reject() override;

  private:
    void setupWindow(const std::string& caption);
    void showPrompt();

    std::string* entryText_;
    int entryMaxLen_;
    QFrame* frame_;
    QLineEdit* edit_;
    QPushButton* ok_;
    QPushButton* cancel_;
    QLabel* prompt_ = nullptr;
    std::function<std::string(const std::string&)> describe_;
};

// True on OK (the buffer then holds the typed text), false otherwise (the buffer is left as it was).
bool runNameDialog(std::string& buffer, const std::string& caption, int maxLength,
                   QWidget* parent = dialogOwner());

// Shows the value as formatFrequency writes it; on OK replaces it by the typed frequency and returns
// true. Text that is not a frequency is said in a message box and the entry opens again with it, so
// nothing typed is lost. Cancel returns false and leaves the value alone.
bool runFrequencyDialog(float& value, const std::string& caption, int maxLength,
                        QWidget* parent = dialogOwner());

// A typed frequency: a positive decimal number, with a point or a comma (the desktop's own separator may
// be either), blanks and "Hz" around it allowed. False with a sentence in `problem` otherwise.
bool readTypedFrequency(const std::string& text, double& hertz, std::string& problem);

// The decimal number that starts the text: blanks skipped, the longest valid prefix read, 0 when there
// is none. Only plain decimal notation counts ("inf", "nan" and hexadecimal read as 0).
double leadingNumber(const std::string& text);

}  // namespace voltina
