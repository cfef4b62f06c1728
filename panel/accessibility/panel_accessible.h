#pragma once
// The panel's controls as the desktop's accessibility layer (AT-SPI, what a screen reader reads) sees
// them: knobs as dials with a value, the wave-type buttons, H.P and Record as toggle buttons, the jacks
// as buttons whose description says what is plugged into them. Qt asks the factory installed here for
// every widget; the panel's own are answered, all others are left to Qt.
// GUI thread only.

class QWidget;

namespace voltina {

// Installs the factory; later calls do nothing.
void installPanelAccessibility();

// The control's value, state or description changed: a screen reader that follows it is told. Cheap
// when no assistive technology listens.
void announceValueChange(QWidget* knob);
void announceCheckedChange(QWidget* button);
void announceDescriptionChange(QWidget* control);

}  // namespace voltina
