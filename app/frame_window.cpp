#include "app/frame_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QKeySequence>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>

#include "dialogs/dialog_context.h"
#include "panel/synth_panel.h"
#include "resources/menu_template.h"

namespace voltina {

FrameWindow::FrameWindow(SynthPanel* panel) : QMainWindow(nullptr), panel_(panel) {
    setObjectName(QStringLiteral("frame"));
    setWindowTitle(QString::fromUtf8(kProgramTitle));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setCentralWidget(panel_);
    buildMenu();
    // Shrunk to the client: the menu bar over the panel, and no sizing border.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    move(0, 0);
    connect(panel_, &SynthPanel::closeRequested, this, [this](int) { close(); });
}

void FrameWindow::buildMenu() {
    QMenuBar* bar = menuBar();
    bar->setNativeMenuBar(false);
    for (const MenuPopupTemplate& popup : mainMenuTemplate()) {
        QMenu* menu = bar->addMenu(QString::fromUtf8(popup.title));
        for (const MenuItemTemplate& item : popup.items) {
            QAction* action = menu->addAction(QString::fromUtf8(item.text));
            action->setData(item.id);
            const int id = item.id;
            // Ctrl+Q asks "Finished ?" as the menu's Quit does.
            if (id == cmd::kQuit) action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
            if (id == cmd::kUndo) action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
            if (id == cmd::kGoToJack) action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_G));
            if (id == cmd::kScope) action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_K));
            if (id == cmd::kRedo)
                action->setShortcuts(
                    {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
            connect(action, &QAction::triggered, this, [this, id] { panel_->onMenuCommand(id); });
            actions_[id] = action;
        }
    }
    panel_->setRateActions(menuAction(cmd::kRate11025), menuAction(cmd::kRate22050),
                           menuAction(cmd::kRate44100));
    connect(panel_, &SynthPanel::historyChanged, this, &FrameWindow::showHistory);
    showHistory();
}

void FrameWindow::showHistory() {
    // "Undo cord 404 → 301", greyed when there is nothing to take back; the same for Redo.
    const auto show = [](QAction* action, const QString& verb, const std::string& label) {
        if (!action) return;
        action->setEnabled(!label.empty());
        action->setText(label.empty() ? verb : verb + QLatin1Char(' ') + QString::fromStdString(label));
    };
    show(menuAction(cmd::kUndo), QStringLiteral("&Undo"), panel_->session().undoLabel());
    show(menuAction(cmd::kRedo), QStringLiteral("&Redo"), panel_->session().redoLabel());
}

QAction* FrameWindow::menuAction(int id) const {
    const auto it = actions_.find(id);
    return it == actions_.end() ? nullptr : it->second;
}

void FrameWindow::closeEvent(QCloseEvent* e) {
    // A panel that has been told to finish is not asked again.
    if (panel_->isFinished() || panel_->confirmClose()) {
        e->accept();
    } else {
        e->ignore();
    }
}

}  // namespace voltina
