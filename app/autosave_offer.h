#pragma once
// At start-up, before anything else: a panel autosaved by a run that ended abnormally, offered back with
// when it was made, which configuration it came from and whether it had changes not saved. Restore (the
// default) brings it back exactly and lets it go once this run's own autosave holds it; Start as usual
// discards it; Later keeps it for the next start. A damaged autosave is set aside under another name
// with a message, and the start goes on.
// GUI thread only.

#include <cstdio>
#include <string>

class QWidget;

namespace voltina {

class ConfigurationFiles;
class PanelAutosave;

constexpr const char* kAutosaveOfferText = "The panel was not saved when Voltina last ended.";
// The same offer when the panel had no changes since it was saved: only the ending was not normal.
constexpr const char* kAutosaveKeptText = "Voltina did not end normally last time; its panel was kept.";

void offerAutosaves(const std::string& folder, QWidget* owner, ConfigurationFiles& files, PanelAutosave& own);

// voltina --recover: the autosaved panels, one a line, on `out`; damaged ones are said on standard
// error and make the status 1. Returns the exit status.
int listAutosaves(const std::string& folder, std::FILE* out);

}  // namespace voltina
