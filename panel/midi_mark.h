#pragma once
// A small lamp on the MIDI module that lights while a key of the MIDI keyboard is held, so a player sees
// that the keyboard reaches Voltina. A screen reader hears the same in its description.
// GUI thread only.

#include <QWidget>

namespace voltina {

class MidiMark : public QWidget {
  public:
    explicit MidiMark(QWidget* parent);
    void setLit(bool lit);
    bool isLit() const { return lit_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    bool lit_ = false;
};

}  // namespace voltina
