#include "app/autosave_offer.h"

#include <QDateTime>
#include <QMessageBox>
#include <QPushButton>
#include <QString>
#include <vector>

#include "app/configuration_files.h"
#include "app/panel_autosave.h"
#include "config/autosave_file.h"
#include "dialogs/dialog_context.h"
#include "media/printable_text.h"

namespace voltina {

namespace {

std::string autosaveDate(std::int64_t time) {
    return QDateTime::fromSecsSinceEpoch(time).toString("yyyy-MM-dd hh:mm:ss").toStdString();
}

std::string autosaveOrigin(const Autosave& a) {
    const std::string from =
        a.origin.empty() ? "from the start-up patch" : "from the configuration " + printableText(a.origin);
    return from + (a.modified ? ", with changes not saved" : ", no changes since it was saved");
}

// Every damaged autosave set aside, then said in one box: however many there are, one click.
void tellDamaged(const std::vector<const FoundAutosave*>& damaged, QWidget* owner) {
    if (damaged.empty()) return;
    std::string list;
    for (const FoundAutosave* f : damaged) {
        const std::string aside = setAutosaveAside(f->path);
        const std::string where = aside.empty() ? "it could not be moved aside and stays as " + f->path
                                                : "the file is kept as " + aside;
        list +=
            (list.empty() ? "" : "\n\n") + printableText(f->path + ": " + f->problem + "; " + where) + ".";
    }
    const bool one = damaged.size() == 1;
    const std::string text =
        one ? "An autosaved panel is damaged and cannot be restored."
            : std::to_string(damaged.size()) + " autosaved panels are damaged and cannot be restored.";
    QMessageBox box(QMessageBox::Warning, QString::fromUtf8(kProgramTitle), QString::fromStdString(text),
                    QMessageBox::Ok, owner);
    if (one) {
        box.setInformativeText(QString::fromStdString(list));
    } else {
        box.setInformativeText(
            QStringLiteral("Each is kept aside, its name marked \"damaged\", and is not offered again; "
                           "the details say which and why."));
        box.setDetailedText(QString::fromStdString(list));
    }
    box.exec();
}

enum class AutosaveChoice { Restore, StartAsUsual, Later };

AutosaveChoice askAboutAutosave(const Autosave& a, QWidget* owner) {
    QMessageBox box(QMessageBox::Question, QString::fromUtf8(kProgramTitle),
                    QString::fromUtf8(kAutosaveOfferText), QMessageBox::NoButton, owner);
    box.setInformativeText(
        QString::fromStdString("Autosaved " + autosaveDate(a.time) + ", " + autosaveOrigin(a) + "."));
    QPushButton* restore = box.addButton("Restore", QMessageBox::AcceptRole);
    QPushButton* usual = box.addButton("Start as usual", QMessageBox::DestructiveRole);
    QPushButton* later = box.addButton("Later", QMessageBox::RejectRole);
    box.setDefaultButton(restore);
    box.setEscapeButton(later);
    box.exec();
    if (box.clickedButton() == restore) return AutosaveChoice::Restore;
    if (box.clickedButton() == usual) return AutosaveChoice::StartAsUsual;
    return AutosaveChoice::Later;
}

}  // namespace

void offerAutosaves(const std::string& folder, QWidget* owner, ConfigurationFiles& files,
                    PanelAutosave& own) {
    const std::vector<FoundAutosave> found = findAutosaves(folder);
    std::vector<const FoundAutosave*> damaged;
    for (const FoundAutosave& f : found) {
        if (f.path != own.path() && !f.problem.empty()) damaged.push_back(&f);
    }
    tellDamaged(damaged, owner);
    for (const FoundAutosave& f : found) {
        if (f.path == own.path() || !f.problem.empty()) continue;
        const AutosaveChoice choice = askAboutAutosave(f.autosave, owner);
        if (choice == AutosaveChoice::Later) return;
        if (choice == AutosaveChoice::StartAsUsual) {
            discardAutosave(f.path);
            continue;
        }
        const Autosave& a = f.autosave;
        if (!files.restore(a.configuration, a.origin, a.modified)) return;
        // Let go only once this run's own autosave holds the panel on disk; without one, it stays.
        if (own.active() && own.writeNow()) discardAutosave(f.path);
        // One panel at a time: any others wait for the next start.
        return;
    }
}

int listAutosaves(const std::string& folder, std::FILE* out) {
    const std::vector<FoundAutosave> found = findAutosaves(folder);
    if (found.empty()) {
        std::fprintf(out, "No autosaved panels in %s\n", printableText(folder).c_str());
        return 0;
    }
    int status = 0;
    for (const FoundAutosave& f : found) {
        const std::string path = printableText(f.path);
        if (!f.problem.empty()) {
            std::fprintf(stderr, "voltina: the autosave %s is damaged: %s\n", path.c_str(),
                         printableText(f.problem).c_str());
            status = 1;
            continue;
        }
        std::fprintf(out, "%s  %s  panel %s\n", path.c_str(), autosaveDate(f.autosave.time).c_str(),
                     autosaveOrigin(f.autosave).c_str());
    }
    std::fprintf(out, "Start voltina to restore or discard the panel.\n");
    return status;
}

}  // namespace voltina
