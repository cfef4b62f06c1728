#include "resources/menu_template.h"

namespace voltina {

const std::vector<MenuPopupTemplate>& mainMenuTemplate() {
    static const std::vector<MenuPopupTemplate> menu = {
        // "&" marks each item's mnemonic (Alt+S, Alt+E, Alt+V, Alt+H, then the underlined letter).
        {"&System",
         {{"&Load a configuration", cmd::kLoadConfiguration},
          {"&Save a configuration", cmd::kSaveConfiguration},
          {"&11025 samples", cmd::kRate11025},
          {"&22050 samples", cmd::kRate22050},
          {"&44100 samples", cmd::kRate44100},
          {"&Quit Voltina", cmd::kQuit}}},
        {"&Edit", {{"&Undo", cmd::kUndo}, {"&Redo", cmd::kRedo}, {"&Go to jack...", cmd::kGoToJack}}},
        {"&View", {{"&Scope", cmd::kScope}}},
        {"&Help", {{"&About Voltina", cmd::kAbout}}},
    };
    return menu;
}

}  // namespace voltina
