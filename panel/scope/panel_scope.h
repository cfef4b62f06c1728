#pragma once
// The panel's eyes on its signals: the scope window, pointed at a jack by a Ctrl+click, the jack's
// accessible "Scope" action or the menu, and the output level meter on the panel. Both are fed by the
// live render through one SignalWatch.
// GUI thread only.

#include <QPointer>

#include "audio/signal_watch.h"

namespace voltina {

class LevelMeter;
class ScopeWindow;
class SynthPanel;

class PanelScope {
  public:
    explicit PanelScope(SynthPanel& panel);
    ~PanelScope();
    PanelScope(const PanelScope&) = delete;
    PanelScope& operator=(const PanelScope&) = delete;

    // Points the scope at a jack (301..332, 401..432) and shows it beside the panel.
    void showJack(int jackId);
    // Shows the scope on the jack it last watched; at first, on what the mixer plays.
    void open();

  private:
    SynthPanel& panel_;
    SignalWatch watch_;
    QPointer<LevelMeter> meter_;
    QPointer<ScopeWindow> window_;
};

}  // namespace voltina
