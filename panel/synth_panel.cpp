#include "panel/synth_panel.h"

#include <QAction>
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>

#include "dialogs/dialog_context.h"
#include "dialogs/entry_dialog.h"
#include "dialogs/file_list_dialog.h"
#include "engine/defaults.h"
#include "engine/frequency_text.h"
#include "engine/midi_keys.h"
#include "engine/oscillator.h"
#include "engine/tables.h"
#include "panel/accessibility/control_names.h"
#include "panel/accessibility/panel_accessible.h"
#include "panel/cord_drag.h"
#include "panel/cord_editor.h"
#include "panel/keyboard/focus_ring_button.h"
#include "panel/keyboard/go_to_jack.h"
#include "panel/keyboard/panel_keyboard.h"
#include "panel/knob.h"
#include "panel/midi_learn.h"
#include "panel/midi_mark.h"
#include "panel/paint_gate.h"
#include "panel/panel_audio.h"
#include "panel/panel_look.h"
#include "panel/patch_bay.h"
#include "panel/picture_button.h"
#include "panel/scope/panel_scope.h"
#include "patch/panel_patch.h"
#include "resources/menu_template.h"
#include "resources/panel_template.h"

namespace voltina {

namespace {
QRect toQRect(const DluRect& r) {
    const PixelRect p = r.toPixels();
    return QRect(p.x, p.y, p.width, p.height);
}
}  // namespace

SynthPanel::SynthPanel(EngineState& state, PanelAudio& audio, PanelServices services, QWidget* parent)
    : QWidget(parent), state_(state), session_(state), audio_(audio), services_(std::move(services)) {
    session_.setHistoryObserver([this] { emit historyChanged(); });
    setObjectName(QStringLiteral("panel"));
    setFixedSize(dluToPixelsX(kPanelWidthDlu), dluToPixelsY(kPanelHeightDlu));
    setMouseTracking(true);
    setFont(panelFont());
    installPanelAccessibility();
    buildControls();
    new PanelKeyboard(*this);
    midiLearn_ = new MidiLearn(*this);
    scope_ = std::make_unique<PanelScope>(*this);
    setDialogOwner(this);
    if (services_.panelChanged) services_.panelChanged(this);
}

SynthPanel::~SynthPanel() {
    releasePanel();
    if (services_.panelChanged) services_.panelChanged(nullptr);
}

void SynthPanel::buildControls() {
    bitmaps_.load(qGuiApp->devicePixelRatio());
    auto* drag = new CordDrag(*this);
    for (const ControlTemplate& t : panelTemplate()) {
        QWidget* w = nullptr;
        switch (t.kind) {
            case ControlKind::Knob:
                w = new Knob(t.id, *this, this);
                break;
            case ControlKind::PictureButton:
                w = new PictureButton(t.id, *this, this);
                break;
            case ControlKind::PushButton: {
                auto* b = new FocusRingButton(QString::fromUtf8(t.caption), this);
                b->setObjectName(QStringLiteral("ctl%1").arg(t.id));
                styleTemplateButton(b, t.id);
                w = b;
                break;
            }
            case ControlKind::StaticText: {
                auto* label = new QLabel(QString::fromUtf8(t.caption), this);
                label->setObjectName(QStringLiteral("ctl%1").arg(t.id));
                label->setAlignment(Qt::AlignCenter);
                styleValueTip(label);
                w = label;
                break;
            }
        }
        w->setGeometry(toQRect(t.place));
        w->setEnabled(t.enabled);
        w->setFocusPolicy(t.tabStop && t.enabled ? Qt::StrongFocus : Qt::NoFocus);
        // The Wave button takes no click focus, as it never did, but the keyboard reaches it.
        if (t.id == ctl::kWave) w->setFocusPolicy(Qt::TabFocus);
        w->setVisible(t.visible);
        if (auto* b = qobject_cast<QPushButton*>(w); b && !qobject_cast<Knob*>(w)) {
            const int id = t.id;
            connect(b, &QPushButton::clicked, this, [this, id, b] { onCommand(id, b); });
        }
        const std::string jack = jackName(t.id);
        if (!jack.empty()) {
            w->setToolTip(QString::fromStdString(jack));
            drag->watch(w, t.id);
        }
        if (t.kind == ControlKind::Knob ||
            (t.kind == ControlKind::PictureButton && t.enabled && jack.empty()))
            w->setToolTip(QString::fromStdString(controlName(t.id)));
        controls_[t.id] = w;
    }
    // Beside the MIDI voice's sine output, in the MIDI module's column.
    if (QWidget* sine = control(ctl::kFirstOutputJack + kOutMidiSine)) {
        midiMark_ = new MidiMark(this);
        const QRect jack = sine->geometry();
        midiMark_->setGeometry(jack.right() + 6, jack.center().y() - 4, 8, 8);
    }
}

QWidget* SynthPanel::control(int id) const {
    const auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : it->second;
}
PictureButton* SynthPanel::picture(int id) const {
    return qobject_cast<PictureButton*>(control(id));
}
Knob* SynthPanel::knob(int id) const {
    return qobject_cast<Knob*>(control(id));
}
QPushButton* SynthPanel::button(int id) const {
    return qobject_cast<QPushButton*>(control(id));
}
QLabel* SynthPanel::valueTip() const {
    return qobject_cast<QLabel*>(control(ctl::kValueTip));
}

void SynthPanel::setLamp(int id, bool lit) {
    if (PictureButton* p = picture(id)) p->setLit(lit);
}

bool SynthPanel::toggleLamp(int id) {
    PictureButton* p = picture(id);
    return p && p->toggle();
}

// ---------------------------------------------------------------- commands

void SynthPanel::onCommand(int id, QWidget* control) {
    if (!control) return;
    if (id >= ctl::kOscType0 && id < ctl::kOscType0 + 4 * kOscillators) {
        const int t = (id - ctl::kOscType0) / kOscillators;
        const int osc = (id - ctl::kOscType0) - kOscillators * t;
        session_.apply(Edit::waveType(osc, t));
        showOscType(osc);
    } else if (id >= ctl::kOscFreqButton && id < ctl::kOscFreqButton + kOscillators) {
        frequencyEntry(id - ctl::kOscFreqButton);
    } else if (id == ctl::kSpeaker) {
        speakerSwitch();
    } else if (id == ctl::kSync) {
        session_.apply(Edit::sync());
    } else if (id == ctl::kWave) {
        selectSample();
    } else if (id == ctl::kRecord) {
        recordSwitch();
    } else if ((id >= ctl::kFirstInputJack && id < ctl::kFirstInputJack + kJacks) ||
               (id >= ctl::kFirstOutputJack && id < ctl::kFirstOutputJack + kJacks)) {
        // Ctrl+click looks at the jack's signal instead of taking its cord.
        if (QGuiApplication::keyboardModifiers() & Qt::ControlModifier)
            scope_->showJack(id);
        else if (cords_)
            cords_->onJackClick(id);
    }
}

void SynthPanel::onMenuCommand(int id) {
    switch (id) {
        case cmd::kLoadConfiguration:
            if (services_.loadConfiguration) services_.loadConfiguration();
            break;
        case cmd::kSaveConfiguration:
            if (services_.saveConfiguration) services_.saveConfiguration();
            break;
        case cmd::kQuit:
            quit();
            break;
        case cmd::kAbout:
            if (services_.showHelp) services_.showHelp();
            break;
        case cmd::kUndo:
            undo();
            break;
        case cmd::kRedo:
            redo();
            break;
        case cmd::kGoToJack:
            askForJack(*this);
            break;
        case cmd::kScope:
            scope_->open();
            break;
        case cmd::kRate11025:
        case cmd::kRate22050:
        case cmd::kRate44100:
            if (services_.rateCommand) services_.rateCommand(id);
            break;
        default:
            break;
    }
}

void SynthPanel::frequencyEntry(int osc) {
    float value = state_.oscFreq[osc];
    if (runFrequencyDialog(value, "Frequency", 7, this)) {
        session_.apply(Edit::typedFrequency(osc, value));
        showOscFreq(osc);
    }
    if (QWidget* hp = control(ctl::kSpeaker)) hp->setFocus();
}

void SynthPanel::speakerSwitch() {
    if (state_.ring.allocated()) state_.ring.fill(128);
    state_.speakerOn = state_.speakerOn ? 0 : 1;
    if (QWidget* rec = control(ctl::kRecord)) rec->setEnabled(state_.speakerOn == 0);
    setLamp(ctl::kSpeaker, state_.speakerOn != 0);
    setLamp(ctl::kRecord, state_.recordOn != 0);
    if (state_.speakerOn == 0) {
        audio_.stopSound();
    } else {
        syncReset(state_);
        audio_.startSound();
        if (!audio_.soundPlaying()) {
            // No usable card, or a device that would not open: the switch shows that nothing plays. A
            // device that would not open has said so; without a card the click says it again (the
            // start-up check has said it once already when this is the first tick).
            const bool hadCard = audio_.audioReady();
            state_.speakerOn = 0;
            if (QWidget* rec = control(ctl::kRecord)) rec->setEnabled(true);
            setLamp(ctl::kSpeaker, false);
            if (!hadCard && !startingUp_) showMessage(kNoSoundMessage);
        }
    }
    if (cords_) cords_->tidyRoutingAndShowCords();
}

void SynthPanel::recordSwitch() {
    state_.recordOn = state_.recordOn ? 0 : 1;
    setLamp(ctl::kRecord, state_.recordOn != 0);
}

void SynthPanel::selectSample() {
    FileListDialog list(this, 1);
    const int result = list.exec();
    if (result == kResultOk && !list.chosenName().empty()) {
        if (services_.samples) services_.samples->selectWaveFile(list.chosenName());
    } else if (result == kResultNoWave) {
        removeSample();
    }
}

void SynthPanel::removeSample() {
    session_.apply(Edit::removeSample());
    if (services_.samples) services_.samples->forgetWaveFileName();
    clearWaveButton();
}

void SynthPanel::clearWaveButton() {
    if (QPushButton* wave = button(ctl::kWave)) wave->setText(QString());
}

bool SynthPanel::letGoOfHeldCord() {
    if (!cords_ || cords_->heldCord() == HeldCord::None) return false;
    dropHeldCord();
    showPatch();
    return true;
}

void SynthPanel::dropHeldCord() {
    if (cords_) cords_->dropHeldCord();
}

void SynthPanel::undo() {
    stepHistory(false);
}

void SynthPanel::redo() {
    stepHistory(true);
}

void SynthPanel::stepHistory(bool forward) {
    dropHeldCord();
    const std::shared_ptr<SampleRecord> sample = state_.waveSample;
    if (!(forward ? session_.redo() : session_.undo())) return;
    showPatch();
    // The Wave button keeps its caption ("Wave" before any sample, "?-?" after a refusal) unless the
    // sample itself came back or went.
    if (state_.waveSample != sample) showSample();
}

void SynthPanel::onMidiData(std::uint32_t packed) {
    onMidiMessage(state_, packed);
    if (midiLearn_) midiLearn_->controlChange(packed);
    if (midiMark_) midiMark_->setLit(state_.midiNote != 0);
}

// ---------------------------------------------------------------- display

void SynthPanel::showOscType(int osc) {
    for (int t = 0; t < 4; ++t) {
        setLamp(ctl::kOscType0 + osc + 8 * t, state_.oscType[osc] == t);
    }
}

void SynthPanel::showOscFreq(int osc) {
    if (QPushButton* b = button(ctl::kOscFreqButton + osc)) {
        b->setText(QString::fromStdString(formatFrequency(state_.oscFreq[osc])));
    }
    if (Knob* k = knob(ctl::kOscKnob + osc)) k->showValue();
}

void SynthPanel::showPatch() {
    for (int osc = 0; osc < kOscillators; ++osc) {
        showOscType(osc);
        showOscFreq(osc);
        if (Knob* k = knob(ctl::kMixLevelKnob + osc)) k->showValue();
        if (Knob* k = knob(ctl::kMixPanKnob + osc)) k->showValue();
    }
    for (int i = 0; i < kJacks; ++i) setLamp(ctl::kFirstInputJack + i, hasCord(state_, i));
    for (int o = 0; o < kJacks; ++o) setLamp(ctl::kFirstOutputJack + o, state_.outputUsed[o] != 0);
    if (cords_) cords_->tidyRoutingAndShowCords();
}

void SynthPanel::showSample() {
    const std::string& sample = session_.samplePath();
    if (services_.samples) services_.samples->adoptSample(sample);
    if (QPushButton* wave = button(ctl::kWave)) {
        wave->setText(QString::fromStdString(fileBaseName(sample)));
    }
}

void SynthPanel::refreshPanel() {
    for (int osc = 0; osc < kOscillators; ++osc) deriveOscillator(state_, osc, state_.oscType[osc]);
    tidyInputsWithoutCord(state_);
    showPatch();
    syncReset(state_);
}

// ---------------------------------------------------------------- events

bool SynthPanel::event(QEvent* e) {
    audio_.renderIfDue();
    return QWidget::event(e);
}

void SynthPanel::paintEvent(QPaintEvent*) {
    {
        QPainter painter(this);
        paintPanelFace(painter, rect());
    }
    // The controls paint after this and the cord overlay after them: Qt's own order does what a
    // message pump did, without running one inside a paint.
    renderSoundDueDuringPaint(audio_);
}

void SynthPanel::mouseMoveEvent(QMouseEvent* e) {
    QWidget::mouseMoveEvent(e);
    if (cords_ && cords_->heldCord() != HeldCord::None) {
        const QPoint p = e->position().toPoint();
        cords_->moveBand(p.x(), p.y() - kBandLift, 0);
    }
}

void SynthPanel::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    keepOverlayOnTop();
}

void SynthPanel::setCordEditor(std::unique_ptr<CordEditor> editor) {
    cords_ = std::move(editor);
    keepOverlayOnTop();
}

void SynthPanel::keepOverlayOnTop() {
    QWidget* overlay = cords_ ? cords_->overlay() : nullptr;
    if (!overlay) return;
    if (overlay->parentWidget() != this) overlay->setParent(this);
    overlay->setAttribute(Qt::WA_TransparentForMouseEvents);
    overlay->setGeometry(rect());
    overlay->raise();
    overlay->show();
}

void SynthPanel::setRateActions(QAction* rate11025, QAction* rate22050, QAction* rate44100) {
    rateActions_ = {rate11025, rate22050, rate44100};
}

// ---------------------------------------------------------------- start-up and shutdown

void SynthPanel::setupPanel() {
    if (startup_.beforeAudio) startup_.beforeAudio();
    audio_.setAudioReady(audio_.initAudio());
    fillSinusoiderTable(state_.sinusoiderTable);
    setOscillatorAndMixerDefaults(state_);
    state_.midiOpen = 0;
    openMidiInput();
    setDefaultPatch(state_);
    if (startup_.afterDefaultPatch) startup_.afterDefaultPatch();
    audio_.startStartupTimer();
    if (QWidget* hp = control(ctl::kSpeaker)) hp->setFocus();
}

bool SynthPanel::confirmClose() {
    if (finished_) return true;
    QMessageBox box(QMessageBox::Question, QString::fromUtf8(kProgramTitle), QStringLiteral("Finished ?"),
                    QMessageBox::Ok | QMessageBox::Cancel, this);
    // Changes not saved are not lost by a quit without a word: they can be saved on the way out.
    QPushButton* saveFirst = nullptr;
    if (session_.modified() && services_.saveBeforeQuit) {
        box.setInformativeText(QStringLiteral("The panel has changes that are not saved."));
        saveFirst = box.addButton(QStringLiteral("Save and quit..."), QMessageBox::AcceptRole);
        // Enter, a reflex, must not be the answer that loses the changes.
        box.setDefaultButton(saveFirst);
    }
    const int answer = box.exec();
    if (saveFirst && box.clickedButton() == saveFirst) {
        if (!services_.saveBeforeQuit()) return false;
    } else if (answer != QMessageBox::Ok) {
        return false;
    }
    audio_.stopSound();
    finished_ = true;
    return true;
}

void SynthPanel::quit() {
    if (finished_) return;
    if (confirmClose()) emit closeRequested(kResultCancel);
}

void SynthPanel::releasePanel() {
    if (released_) return;
    released_ = true;
    audio_.stopSound();
    closeMidiInput();
    freeWaveSample();
    state_.sineTable.clear();
    state_.sineTable.shrink_to_fit();
    if (state_.ring.allocated()) state_.ring.release();
    bitmaps_.release();
}

// ---------------------------------------------------------------- what the audio layer asks

void SynthPanel::showMessage(const std::string& text) {
    showMessage(text, std::string());
}

void SynthPanel::showMessage(const std::string& text, const std::string& detail) {
    if (services_.sayElsewhere && services_.sayElsewhere(text, detail)) return;
    QMessageBox box(QMessageBox::Information, QString::fromUtf8(kProgramTitle), QString::fromStdString(text),
                    QMessageBox::Ok, this);
    if (!detail.empty()) box.setInformativeText(QString::fromStdString(detail));
    box.exec();
}

void SynthPanel::setSpeakerLit(bool lit) {
    setLamp(ctl::kSpeaker, lit);
    // The sound has stopped (a rate change, a lost device): the record switch can be set again.
    if (!lit)
        if (QWidget* rec = control(ctl::kRecord)) rec->setEnabled(true);
}

void SynthPanel::saveRecording() {
    if (services_.saveRecording) services_.saveRecording();
}

void SynthPanel::closeMidiInput() {
    if (services_.midi) services_.midi->closeMidiInput();
}

void SynthPanel::openMidiInput() {
    if (services_.midi && services_.midi->openMidiInput(this) == 0)
        showMessage("Impossible to find MIDI input");
}

void SynthPanel::freeWaveSample() {
    // "No wave", a rate change and the shutdown all leave the player without a sample: the Wave button
    // shows no name then, and a saved configuration names none.
    if (services_.samples) {
        services_.samples->freeWaveSample();
        services_.samples->forgetWaveFileName();
    } else {
        state_.waveSample.reset();
    }
    clearWaveButton();
}

void SynthPanel::showRate(int rateParam) {
    for (int k = 0; k < 3; ++k) {
        if (QAction* a = rateActions_[k]) {
            a->setCheckable(true);
            a->setChecked(rateParam == kSampleRates[k] + 1);
        }
    }
}

void SynthPanel::firstTick() {
    refreshPanel();
    showRate(state_.rateParam);
    startingUp_ = true;
    onCommand(ctl::kSpeaker, control(ctl::kSpeaker));
    startingUp_ = false;
}

}  // namespace voltina
