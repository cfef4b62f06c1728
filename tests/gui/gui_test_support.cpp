#include "tests/gui/gui_test_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <algorithm>

#include "engine/defaults.h"
#include "engine/ring_buffer.h"
#include "engine/tables.h"

namespace voltina::test {

bool FakeAudio::initAudio() {
    calls.push_back("initAudio");
    if (!initMessage.empty() && hooks_) hooks_->showMessage(initMessage);
    if (initResult) {
        state_.sineTable = buildSineTable(state_.rateParam);
        state_.ring.allocate(ringCapacity(state_.rateParam));
        state_.ring.setRingBytes(startupRingBytes(state_.rateParam));
    }
    return initResult;
}

int FakeAudio::count(const std::string& call) const {
    return static_cast<int>(std::count(calls.begin(), calls.end(), call));
}

ModalDriver::ModalDriver() {
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
    timer_.start();
}

ModalDriver::~ModalDriver() {
    timer_.stop();
}

void ModalDriver::poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || modal == handled_.data() || actions_.empty() || !modal->isVisible()) return;
    handled_ = modal;
    SeenDialog seen;
    seen.title = modal->windowTitle().toStdString();
    seen.className = modal->metaObject()->className();
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        seen.text = box->text().toStdString();
        seen.detail = box->informativeText().toStdString();
        seen.icon = box->icon();
    }
    seen_.push_back(seen);
    Action action = std::move(actions_.front());
    actions_.pop_front();
    action(modal);
}

ModalDriver::Action ModalDriver::clickButtonText(const QString& text) {
    return [text](QWidget* w) {
        for (QAbstractButton* b : w->findChildren<QAbstractButton*>()) {
            if (b->text().remove(QLatin1Char('&')) == text) {
                b->click();
                return;
            }
        }
    };
}

ModalDriver::Action ModalDriver::clickObject(const QString& objectName) {
    return [objectName](QWidget* w) {
        if (auto* b = w->findChild<QAbstractButton*>(objectName)) b->click();
    };
}

ModalDriver::Action ModalDriver::typeThenClick(const QString& typed, const QString& buttonObject) {
    return [typed, buttonObject](QWidget* w) {
        if (auto* edit = w->findChild<QLineEdit*>()) {
            edit->selectAll();
            edit->insert(typed);
        }
        if (auto* b = w->findChild<QAbstractButton*>(buttonObject)) b->click();
    };
}

void spin(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 5);
}

PanelFixture::PanelFixture() {
    panel = std::make_unique<SynthPanel>(state, audio);
    audio.setHooks(panel.get());
    audio.setAudioReady(true);
    panel->show();
    spin(20);
}

PanelFixture::~PanelFixture() {
    panel.reset();
    audio.setHooks(nullptr);
}

}  // namespace voltina::test
