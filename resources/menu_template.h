#pragma once
// The frame window's menu: System, Edit (undo, redo, the jack to go to), View (the scope) and Help,
// no separators.

#include <vector>

namespace voltina {

namespace cmd {
constexpr int kLoadConfiguration = 900;
constexpr int kSaveConfiguration = 901;
constexpr int kQuit = 902;
constexpr int kAbout = 903;
constexpr int kRate11025 = 904;
constexpr int kRate22050 = 905;
constexpr int kRate44100 = 906;
constexpr int kUndo = 907;
constexpr int kRedo = 908;
constexpr int kGoToJack = 909;
constexpr int kScope = 910;
}  // namespace cmd

struct MenuItemTemplate {
    const char* text;
    int id;
};

struct MenuPopupTemplate {
    const char* title;
    std::vector<MenuItemTemplate> items;
};

const std::vector<MenuPopupTemplate>& mainMenuTemplate();

}  // namespace voltina
