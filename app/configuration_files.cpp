#include "app/configuration_files.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QString>
#include <filesystem>
#include <memory>
#include <optional>

#include "app/program_samples.h"
#include "app/rate_change.h"
#include "audio/audio_system.h"
#include "dialogs/dialog_context.h"
#include "dialogs/entry_dialog.h"
#include "dialogs/file_list_dialog.h"
#include "panel/cord_editor.h"
#include "panel/synth_panel.h"

namespace voltina {

std::string configurationFileName(const std::string& typed) {
    std::string name;
    const QString text = QString::fromUtf8(typed.data(), static_cast<qsizetype>(typed.size()));
    for (const char32_t c : text.toUcs4()) {
        const bool kept = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                          c == '_' || c == '-';
        name += kept ? static_cast<char>(c) : '_';
    }
    return name;
}

namespace {

// Every desktop program asks before a save replaces a file; a folder in the way is left to the write,
// which says so.
bool mayReplace(const std::string& path, const std::string& name, QWidget* owner) {
    std::error_code ec;
    if (!std::filesystem::exists(std::filesystem::symlink_status(path, ec)) ||
        std::filesystem::is_directory(path, ec))
        return true;
    QMessageBox box(QMessageBox::Question, QString::fromUtf8(kProgramTitle),
                    QString::fromStdString(name + " already exists."), QMessageBox::NoButton, owner);
    box.setInformativeText("Replace it with this configuration, or choose another name?");
    QPushButton* replace = box.addButton("Replace", QMessageBox::DestructiveRole);
    QPushButton* other = box.addButton("Another name...", QMessageBox::RejectRole);
    box.setDefaultButton(other);
    box.exec();
    return box.clickedButton() == replace;
}

}  // namespace

std::string sampleNameFor(const std::string& samplePath, const std::string& folder) {
    namespace fs = std::filesystem;
    const fs::path sample = fs::path(samplePath).lexically_normal();
    const fs::path relative = sample.lexically_relative(fs::path(folder).lexically_normal());
    if (!relative.empty() && *relative.begin() != "..") return relative.string();
    return sample.string();
}

ConfigurationFiles::ConfigurationFiles(EngineState& state, RateChange* rateChange, ProgramSamples* samples)
    : state_(state),
      rateChange_(rateChange),
      samples_(samples),
      startDirectory_(QDir::currentPath().toStdString()) {}

const std::string& ConfigurationFiles::currentFile() const {
    return panel_ ? panel_->session().origin() : currentFile_;
}

void ConfigurationFiles::tell(const std::string& text) {
    if (panel_) panel_->showMessage(text);
}

std::string ConfigurationFiles::inStartDirectory(const std::string& name) const {
    return (std::filesystem::path(startDirectory_) / name).string();
}

void ConfigurationFiles::loadCommand() {
    FileListDialog list(panel_, 0, startDirectory_);
    const int result = list.exec();
    if (result == kResultOtherFolder) {
        loadFromOtherFolder();
        return;
    }
    if (result != kResultOk || list.chosenName().empty()) return;
    loadFile(inStartDirectory(list.chosenName()));
}

namespace {
QString settingsFile() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/voltina/voltina.conf");
}
constexpr const char* kLastFolderKey = "configurations/last-folder";
}  // namespace

void ConfigurationFiles::loadFromOtherFolder() {
    QSettings settings(settingsFile(), QSettings::IniFormat);
    const QString start = settings.value(kLastFolderKey, QString::fromStdString(startDirectory_)).toString();
    const QString path = QFileDialog::getOpenFileName(panel_, QStringLiteral("Load a configuration"), start);
    if (path.isEmpty()) return;
    settings.setValue(kLastFolderKey, QFileInfo(path).absolutePath());
    loadFile(path.toStdString());
}

bool ConfigurationFiles::saveCommand() {
    // The prompt shows the file the panel came from (a restored panel's too): saving over it is then a
    // choice made knowingly, confirmed below.
    std::string offered;
    const std::filesystem::path current(currentFile());
    if (!currentFile().empty() && current.parent_path() == std::filesystem::path(startDirectory_))
        offered = current.filename().string();
    for (;;) {
        std::string typed = offered;
        if (!runNameDialog(typed, kSaveConfigurationCaption, kConfigurationNameLength, panel_)) return false;
        const std::string name = configurationFileName(typed);
        if (name.empty()) return false;
        const std::string path = inStartDirectory(name);
        if (!mayReplace(path, name, panel_)) continue;
        return saveFile(path);
    }
}

bool ConfigurationFiles::read(const std::string& path, Configuration& c) {
    std::string error;
    if (readConfigurationFile(path, c, error)) return true;
    tell("Cannot load this configuration, nothing was changed.\n\n" + error);
    return false;
}

bool ConfigurationFiles::loadFile(const std::string& path) {
    Configuration c;
    if (!read(path, c)) return false;
    const int rateParam = c.rate + 1;
    const bool otherRate = rateParam != state_.rateParam;
    if (otherRate && rateChange_) {
        if (!rateChange_->confirm(rateParam, true)) return false;
        rateChange_->change(rateParam);
    }
    apply(c, path);
    // Undo would put the patch before it back at this rate, not at its own.
    if (otherRate && panel_) panel_->session().clearHistory();
    return true;
}

bool ConfigurationFiles::restore(const Configuration& c, const std::string& origin, bool modified) {
    std::string problem = checkConfiguration(c);
    if (!problem.empty()) {
        tell("Cannot restore the autosaved panel.\n\n" + problem);
        return false;
    }
    const int rateParam = c.rate + 1;
    if (rateParam != state_.rateParam && rateChange_) rateChange_->change(rateParam);
    // The sample's path is absolute in an autosave: it is taken as it stands.
    apply(c, "/", false);
    currentFile_ = origin;
    if (panel_) {
        panel_->session().setOrigin(origin);
        // Undo cannot reach back past the restore (the start-up patch is not the user's); the panel
        // keeps its "changes not saved" as the autosave had it, so a quit still asks about them.
        PatchSession& session = panel_->session();
        session.clearHistory();
        if (!modified) session.markSaved();
    }
    return true;
}

void ConfigurationFiles::apply(const Configuration& c, const std::string& path, bool fromFile) {
    if (!panel_) {
        std::string error;
        applyConfiguration(c, state_, error);  // read() has checked it; this cannot refuse
        return;
    }
    PatchSession& session = panel_->session();
    // A cord end held from the old patch would be plugged into the new one by the next click.
    if (panel_->cordEditor()) panel_->cordEditor()->dropHeldCord();
    const PanelPatch before = session.snapshot();
    PanelPatch patch = configurationPatch(c);
    // Undo of the load brings the origin before it back with the patch.
    patch.origin = fromFile ? path : session.origin();
    if (samples_) {
        if (c.hasWave) {
            // A sample that cannot be used says which and why; the panel is loaded without it.
            if (samples_->loadWithoutStep(besideConfiguration(path, c.wave)) == 1) {
                patch.sample = state_.waveSample;
                patch.samplePath = samples_->loadedPath();
            }
        } else {
            samples_->freeWaveSample();
            samples_->forgetWaveFileName();
            panel_->clearWaveButton();
        }
    } else {
        patch.sample = state_.waveSample;
        patch.samplePath = session.samplePath();
    }
    session.applySince(before, Edit::loadConfiguration(patch));
    if (fromFile) {
        currentFile_ = path;
        if (sessionFile_.empty() || path == sessionFile_) session.markSaved();
    }
    panel_->showPatch();
}

bool ConfigurationFiles::saveFile(const std::string& path) {
    const std::string sample = samples_ ? samples_->loadedPath() : std::string();
    const std::string folder = std::filesystem::path(path).parent_path().string();
    Configuration c = captureConfiguration(state_, state_.rateParam - 1,
                                           sample.empty() ? sample : sampleNameFor(sample, folder));
    if (panel_) c.controllers = panel_->session().controllers();
    std::string error;
    if (writeConfigurationFile(path, c, error)) {
        currentFile_ = path;
        if (panel_) {
            panel_->session().setOrigin(path);
            panel_->session().markSaved();
        }
        return true;
    }
    tell("Cannot save the configuration.\n\n" + error);
    return false;
}

StartupPatch ConfigurationFiles::startupPatch(const std::string& path) {
    auto pending = std::make_shared<std::optional<Configuration>>();
    StartupPatch patch;
    patch.beforeAudio = [this, path, pending] {
        Configuration c;
        if (!read(path, c)) return;
        // Nothing plays yet: the audio is built for this rate straight away, with the ring a rate chosen
        // from the menu gets (the start-up length is 11025 Hz's; at a higher rate it is shorter than the
        // time between two renders, and the device would replay stale laps).
        state_.rateParam = c.rate + 1;
        if (state_.rateParam != kDefaultRateParam)
            state_.ring.setRingBytes(rateChangeRingBytes(state_.rateParam));
        *pending = c;
    };
    patch.afterDefaultPatch = [this, path, pending] {
        if (*pending) {
            apply(**pending, path);
            // The panel starts from this file: there is nothing before it to undo.
            if (panel_) panel_->session().clearHistory();
        }
        pending->reset();
    };
    return patch;
}

}  // namespace voltina
