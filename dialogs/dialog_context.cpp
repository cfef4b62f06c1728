#include "dialogs/dialog_context.h"

#include <QPointer>
#include <utility>

#include "voltina_version.h"

namespace voltina {

const char* const kProgramTitle = "Voltina " VOLTINA_VERSION;

namespace {
std::function<void()>& gateSlot() {
    static std::function<void()> gate;
    return gate;
}
QPointer<QWidget>& ownerSlot() {
    static QPointer<QWidget> owner;
    return owner;
}
}  // namespace

void setRenderGate(std::function<void()> gate) {
    gateSlot() = std::move(gate);
}

void callRenderGate() {
    if (gateSlot()) gateSlot()();
}

void setDialogOwner(QWidget* owner) {
    ownerSlot() = owner;
}
QWidget* dialogOwner() {
    return ownerSlot().data();
}

bool GatedDialog::event(QEvent* e) {
    callRenderGate();
    return QDialog::event(e);
}

}  // namespace voltina
