#include "panel/midi_learn.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>

#include "panel/knob.h"
#include "panel/panel_look.h"
#include "panel/synth_panel.h"
#include "patch/controls.h"
#include "patch/patch_session.h"
#include "resources/panel_template.h"

namespace voltina {

namespace {

// The ring round a control that waits for its controller.
class WaitingRing : public QWidget {
  public:
    explicit WaitingRing(QWidget* parent) : QWidget(parent) {
        setObjectName(QStringLiteral("midiLearnRing"));
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
        setAccessibleName(QStringLiteral("Waiting for a MIDI controller"));
        hide();
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setPen(QPen(kFocusMarkColour, 2, Qt::DashLine));
        painter.drawRect(rect().adjusted(1, 1, -2, -2));
    }
};

constexpr int kRingMargin = 3;

}  // namespace

MidiLearn::MidiLearn(SynthPanel& panel) : QObject(&panel), panel_(panel), ring_(new WaitingRing(&panel)) {
    panel_.installEventFilter(this);
    for (int id = ctl::kOscKnob; id < ctl::kFirstSign; ++id) {
        int index = 0;
        if (learnable(id, index) == nullptr) continue;
        if (QWidget* w = panel_.control(id)) w->installEventFilter(this);
    }
}

const ControlRow* MidiLearn::learnable(int id, int& index) {
    int choice = 0;
    const ControlRow* row = panelControl(id, index, choice);
    return row != nullptr && row->controllerScale != ControllerScale::None ? row : nullptr;
}

void MidiLearn::openMenu(int id, QPoint globalPos) {
    int index = 0;
    const ControlRow* row = learnable(id, index);
    if (row == nullptr) return;
    if (menu_) menu_->close();
    auto* menu = new QMenu(&panel_);
    menu->setObjectName(QStringLiteral("midiLearnMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const bool waits = waiting_ != 0 && [&] {
        int waitingIndex = 0;
        const ControlRow* waitingRow = learnable(waiting_, waitingIndex);
        return waitingRow != nullptr && waitingRow->control == row->control && waitingIndex == index;
    }();
    QAction* learnAction = menu->addAction(waits ? QStringLiteral("Stop waiting for a MIDI controller")
                                                 : QStringLiteral("Learn MIDI controller"));
    connect(learnAction, &QAction::triggered, this, [this, id, waits] {
        if (waits) {
            stopWaiting();
        } else {
            learn(id);
        }
    });
    const ControllerBinding* bound = controllerOf(panel_.session().controllers(), row->control, index);
    QAction* forgetAction = menu->addAction(bound ? QStringLiteral("Forget MIDI controller %1").arg(bound->cc)
                                                  : QStringLiteral("Forget MIDI controller"));
    forgetAction->setEnabled(bound != nullptr);
    connect(forgetAction, &QAction::triggered, this, [this, id] { forget(id); });
    menu_ = menu;
    menu->popup(globalPos);
}

void MidiLearn::learn(int id) {
    int index = 0;
    QWidget* control = panel_.control(id);
    if (learnable(id, index) == nullptr || control == nullptr) return;
    waiting_ = id;
    ring_->setGeometry(control->geometry().adjusted(-kRingMargin, -kRingMargin, kRingMargin, kRingMargin));
    ring_->show();
    ring_->raise();
}

void MidiLearn::forget(int id) {
    int index = 0;
    const ControlRow* row = learnable(id, index);
    if (row == nullptr) return;
    const ControllerBindings& now = panel_.session().controllers();
    const ControllerBinding* bound = controllerOf(now, row->control, index);
    if (bound == nullptr) return;
    const int cc = bound->cc;
    panel_.session().apply(Edit::controllers(forgetControllers(now, row->control, index), cc));
}

void MidiLearn::stopWaiting() {
    waiting_ = 0;
    ring_->hide();
}

bool MidiLearn::controlChange(std::uint32_t packed) {
    if ((packed & 0xF0) != 0xB0) return false;
    const int cc = static_cast<int>(packed >> 8 & 0x7F);
    PatchSession& session = panel_.session();
    int index = 0;
    const ControlRow* row = waiting_ != 0 ? learnable(waiting_, index) : nullptr;
    if (row != nullptr && cc <= kMaxBoundController) {
        ControllerBinding binding;
        binding.cc = cc;
        binding.control = row->control;
        binding.index = index;
        stopWaiting();
        session.apply(Edit::controllers(learnController(session.controllers(), binding), cc));
        return true;
    }
    if (mapped_ != session.controllers()) {
        mapped_ = session.controllers();
        map_ = ControllerMap(mapped_);
    }
    Edit edit;
    const ControllerBinding* moved = map_.translate(packed, edit);
    if (moved == nullptr) return false;
    // Each controller's sweep on its control is a step of its own.
    session.apply(edit, {"MIDI controller " + std::to_string(moved->cc) + " " + controllerTarget(*moved),
                         kSweepStepMs});
    showControl(*moved);
    return true;
}

void MidiLearn::showControl(const ControllerBinding& binding) {
    switch (binding.control) {
        case Control::WaveType:
            panel_.showOscType(binding.index);
            return;
        case Control::Frequency:
            panel_.showOscFreq(binding.index);
            return;
        case Control::Level:
            if (Knob* k = panel_.knob(ctl::kMixLevelKnob + binding.index)) k->showValue();
            return;
        case Control::Pan:
            if (Knob* k = panel_.knob(ctl::kMixPanKnob + binding.index)) k->showValue();
            return;
        case Control::TypedFrequency:
            return;
    }
}

bool MidiLearn::eventFilter(QObject* watched, QEvent* event) {
    auto* w = qobject_cast<QWidget*>(watched);
    if (w == nullptr) return false;
    const QString name = w->objectName();
    const int id = name.startsWith(QLatin1String("ctl")) ? name.mid(3).toInt() : 0;
    auto* knob = qobject_cast<Knob*>(w);
    switch (event->type()) {
        case QEvent::ContextMenu: {
            if (w == &panel_) return false;
            // A knob's right button turns it: its menu comes with a right click that did not turn it.
            auto* menuEvent = static_cast<QContextMenuEvent*>(event);
            if (knob == nullptr && menuEvent->reason() == QContextMenuEvent::Mouse)
                openMenu(id, menuEvent->globalPos());
            return true;
        }
        case QEvent::MouseButtonPress: {
            // Shift with the right button opens a knob's menu at once, however long it is held.
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (knob == nullptr || mouse->button() != Qt::RightButton ||
                mouse->modifiers() != Qt::ShiftModifier)
                return false;
            openMenu(id, mouse->globalPosition().toPoint());
            return true;
        }
        case QEvent::MouseButtonRelease: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (knob != nullptr && mouse->button() == Qt::RightButton && knob->held() &&
                !knob->turnedSincePress())
                openMenu(id, mouse->globalPosition().toPoint());
            return false;
        }
        case QEvent::KeyPress: {
            auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_Escape && waiting_ != 0) {
                stopWaiting();
                return true;
            }
            const bool menuKey = key->key() == Qt::Key_Menu ||
                                 (key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier);
            if (!menuKey || w == &panel_) return false;
            openMenu(id, w->mapToGlobal(w->rect().center()));
            return true;
        }
        default:
            return false;
    }
}

}  // namespace voltina
