#pragma once
// The file list dialog (FEN_LISTE): a WAV file for the sample player, or a configuration file.

#include <string>
#include <vector>

#include "dialogs/dialog_context.h"

class QListWidget;
class QPushButton;

namespace voltina {

// Regular files of `directory`, sorted without regard to case. Wave mode: names ending in ".wav" in
// any case (recordings are written as NAME.WAV). Otherwise: names without a dot.
std::vector<std::string> listDirectoryEntries(const std::string& directory, bool waveMode);

class FileListDialog : public GatedDialog {
  public:
    // Configuration mode lists `directory` and makes it the current directory, where it stays.
    FileListDialog(QWidget* parent, int waveMode, const std::string& directory = {});

    int waveMode() const { return waveMode_; }
    QListWidget* list() const { return list_; }
    QPushButton* okButton() const { return ok_; }
    QPushButton* noWaveButton() const { return noWave_; }
    QPushButton* cancelButton() const { return cancel_; }
    // Configuration mode: closes with kResultOtherFolder, for the desktop's own file dialog.
    QPushButton* otherFolderButton() const { return otherFolder_; }

    // OK always closes with 1; chosenName() is then the selected entry, whole (empty when none is selected).
    const std::string& chosenName() const { return chosen_; }
    void accept() override;
    void reject() override;

  private:
    void takeSelection();

    std::string chosen_;

    int waveMode_;
    QListWidget* list_;
    QPushButton* ok_;
    QPushButton* noWave_;
    QPushButton* cancel_;
    QPushButton* otherFolder_;
};

}  // namespace voltina
