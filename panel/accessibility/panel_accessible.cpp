#include "panel/accessibility/panel_accessible.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QAccessibleWidget>
#include <QPushButton>

#include "panel/accessibility/control_names.h"
#include "panel/cord_editor.h"
#include "panel/knob.h"
#include "panel/panel_cord_editor.h"
#include "panel/patch_bay.h"
#include "panel/picture_button.h"
#include "panel/scope/panel_scope.h"
#include "panel/synth_panel.h"
#include "patch/edit.h"
#include "patch/jack_number.h"
#include "resources/panel_template.h"

namespace voltina {

namespace {

bool isJack(int id) {
    return JackNumber::of(id).isJack();
}
// The controls that show a lamp for a setting: the wave types, H.P and Record.
bool isToggle(int id) {
    return (id >= ctl::kOscType0 && id < ctl::kOscType0 + 4 * kOscillators) || id == ctl::kSpeaker ||
           id == ctl::kRecord;
}
bool isSign(int id) {
    return id >= ctl::kFirstSign && id <= ctl::kLastSign;
}
bool isSectionCaption(int id) {
    return id >= ctl::kFirstCaption && id <= ctl::kLastCaption;
}

// "ctl123" -> 123; 0 for widgets that are not the panel's controls.
int controlId(const QObject* o) {
    const QString name = o->objectName();
    if (!name.startsWith(QLatin1String("ctl"))) return 0;
    bool ok = false;
    const int id = name.mid(3).toInt(&ok);
    return ok ? id : 0;
}

SynthPanel* panelOf(const QWidget* w) {
    return w ? qobject_cast<SynthPanel*>(w->parentWidget()) : nullptr;
}

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

// Every jack's second action: the scope shows its signal.
QString scopeAction() {
    return QStringLiteral("Scope");
}

// While a cord end is held, every jack says which, so a person moving between jacks knows what the next
// press plugs.
std::string heldCordText(SynthPanel& panel) {
    PatchBay* bay = patchBayOf(panel.cordEditor());
    if (!bay) return {};
    switch (bay->heldCord()) {
        case HeldCord::FixedAtInput:
            return "holding the loose end of a cord from " +
                   jackName(JackNumber::input(bay->pickedInput()).number());
        case HeldCord::FixedAtOutput:
            return "holding the loose end of a cord from " +
                   jackName(JackNumber::output(bay->pickedOutput()).number());
        case HeldCord::None:
            break;
    }
    return {};
}

// Buttons, jacks, signs and captions of the panel. The lamps that show a setting are reported as what
// they do, since Qt's bridge has no toggle button: the four wave types of an oscillator, of which one is
// lit, as radio buttons; H.P and Record as check boxes.
// The id is read on every question: Qt may ask for a button's interface while it is being built, before
// it carries its name.
class PanelControlAccessible : public QAccessibleWidget {
  public:
    explicit PanelControlAccessible(QWidget* w) : QAccessibleWidget(w, QAccessible::Button) {}

    QAccessible::Role role() const override {
        const int id = controlId(widget());
        if (id >= ctl::kOscType0 && id < ctl::kOscType0 + 4 * kOscillators) return QAccessible::RadioButton;
        if (isToggle(id)) return QAccessible::CheckBox;
        if (isSign(id)) return QAccessible::Graphic;
        if (isSectionCaption(id)) return QAccessible::Heading;
        return QAccessible::Button;
    }

    QString text(QAccessible::Text t) const override {
        const int id = controlId(widget());
        if (id == 0) return QAccessibleWidget::text(t);
        SynthPanel* panel = panelOf(widget());
        auto* button = qobject_cast<QAbstractButton*>(widget());
        if (t == QAccessible::Name) {
            if (isJack(id)) return qs(jackName(id));
            if (isSectionCaption(id) && button) return button->text();
            QString name = qs(controlName(id));
            // The frequency entries and the Wave button show what they hold in their caption.
            if (button && (id == ctl::kWave ||
                           (id >= ctl::kOscFreqButton && id < ctl::kOscFreqButton + kOscillators))) {
                const QString caption = button->text();
                if (id == ctl::kWave) {
                    const bool none = caption.isEmpty() || caption == QLatin1String("Wave");
                    name += QStringLiteral(", ") + (none ? QStringLiteral("none chosen") : caption);
                } else {
                    name += QStringLiteral(", ") + caption + QStringLiteral(" Hz");
                }
            }
            return name;
        }
        if (t == QAccessible::Description && panel && isJack(id)) {
            std::string text = cordDescription(id, panel->state());
            const std::string held = heldCordText(*panel);
            if (!held.empty()) text += "; " + held;
            return qs(text);
        }
        // The tooltip says again what the name says.
        if (t == QAccessible::Description) return {};
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        if (isToggle(controlId(widget()))) {
            s.checkable = true;
            if (auto* p = qobject_cast<PictureButton*>(widget())) s.checked = p->isLit();
        }
        return s;
    }

    QStringList actionNames() const override {
        const int id = controlId(widget());
        if (id == 0 || isSign(id) || isSectionCaption(id) || !widget()->isEnabled()) return {};
        if (isJack(id)) return {pressAction(), scopeAction()};
        return {isToggle(id) ? toggleAction() : pressAction()};
    }

    void doAction(const QString& action) override {
        if (!actionNames().contains(action)) return;
        if (action == scopeAction()) {
            if (SynthPanel* panel = panelOf(widget()))
                QMetaObject::invokeMethod(
                    panel, [panel, id = controlId(widget())] { panel->scope().showJack(id); },
                    Qt::QueuedConnection);
            return;
        }
        // Later, not inside the reader's call: a click may open a modal box (a refused plug, the sample
        // list) whose own event loop would hold the reply back.
        if (auto* b = qobject_cast<QAbstractButton*>(widget()))
            QMetaObject::invokeMethod(b, &QAbstractButton::click, Qt::QueuedConnection);
    }

    QStringList keyBindingsForAction(const QString& action) const override {
        if (action == scopeAction()) return {QStringLiteral("Ctrl+Space")};
        return {QStringLiteral("Space")};
    }
};

class KnobAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
  public:
    explicit KnobAccessible(Knob* knob) : QAccessibleWidget(knob, QAccessible::Dial) {}

    void* interface_cast(QAccessible::InterfaceType t) override {
        if (t == QAccessible::ValueInterface) return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(t);
    }

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name) return qs(controlName(knob()->ctrlId()));
        if (t == QAccessible::Value) return qs(knobValueText(knob()->ctrlId(), knob()->panel().state()));
        // The bridge hands a reader the value as a bare number; the description says it as the panel
        // shows it, with its unit.
        if (t == QAccessible::Description) return text(QAccessible::Value);
        return QAccessibleWidget::text(t);
    }

    // ---- value
    QVariant currentValue() const override { return knob()->value(); }
    void setCurrentValue(const QVariant& value) override {
        bool ok = false;
        const double v = value.toDouble(&ok);
        if (ok) knob()->setValueOutright(v);
    }
    QVariant maximumValue() const override { return knob()->range().maximum; }
    QVariant minimumValue() const override { return knob()->range().minimum; }
    QVariant minimumStepSize() const override { return knob()->range().step; }

    // ---- actions: one tick up or down, as Up and Down do
    QStringList actionNames() const override { return {increaseAction(), decreaseAction()}; }
    void doAction(const QString& action) override {
        if (action == increaseAction()) knob()->turnByKeys(+1, 1);
        if (action == decreaseAction()) knob()->turnByKeys(-1, 1);
    }
    QStringList keyBindingsForAction(const QString& action) const override {
        if (action == increaseAction()) return {QStringLiteral("Up")};
        if (action == decreaseAction()) return {QStringLiteral("Down")};
        return {};
    }

  private:
    Knob* knob() const { return static_cast<Knob*>(widget()); }
};

QAccessibleInterface* panelAccessibleFactory(const QString&, QObject* object) {
    auto* w = qobject_cast<QWidget*>(object);
    if (!w || !panelOf(w)) return nullptr;
    if (auto* knob = qobject_cast<Knob*>(w)) return new KnobAccessible(knob);
    if (!qobject_cast<QAbstractButton*>(w)) return nullptr;
    return new PanelControlAccessible(w);
}

}  // namespace

void installPanelAccessibility() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    QAccessible::installFactory(panelAccessibleFactory);
}

void announceValueChange(QWidget* knob) {
    if (!QAccessible::isActive()) return;
    auto* k = qobject_cast<Knob*>(knob);
    if (!k) return;
    QAccessibleValueChangeEvent event(k, k->value());
    QAccessible::updateAccessibility(&event);
    announceDescriptionChange(k);
}

void announceCheckedChange(QWidget* button) {
    if (!QAccessible::isActive()) return;
    QAccessible::State changed;
    changed.checked = true;
    QAccessibleStateChangeEvent event(button, changed);
    QAccessible::updateAccessibility(&event);
}

void announceDescriptionChange(QWidget* control) {
    if (!QAccessible::isActive()) return;
    QAccessibleEvent event(control, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&event);
}

}  // namespace voltina
