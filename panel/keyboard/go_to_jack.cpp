#include "panel/keyboard/go_to_jack.h"

#include "dialogs/entry_dialog.h"
#include "panel/keyboard/jack_typing.h"
#include "panel/keyboard/panel_keyboard.h"
#include "panel/patch_bay.h"
#include "panel/synth_panel.h"
#include "patch/jack_number.h"

namespace voltina {

namespace {

// The ranges, and under them the jack the number typed so far names.
std::string jackPrompt(const std::string& typed) {
    std::string problem;
    const int jack = readJackNumber(typed, problem);
    return "Jack number: inputs " + inputJackRange() + ", outputs " + outputJackRange() + "\n" +
           (jack != 0 ? jackName(jack) : std::string());
}

}  // namespace

void askForJack(SynthPanel& panel) {
    std::string text;
    for (;;) {
        EntryDialog dialog(&panel, "Go to jack", &text, 3);
        dialog.setPrompt(jackPrompt);
        if (dialog.exec() != kResultOk) return;
        std::string problem;
        const int jack = readJackNumber(text, problem);
        if (jack != 0) {
            focusJack(panel, jack);
            return;
        }
        panel.showMessage(problem, jackNumbersHint());
    }
}

}  // namespace voltina
