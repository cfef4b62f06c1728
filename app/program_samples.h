#pragma once
// The Wave player's sample behind the panel's SampleLoader: the sample loader of media/ with the
// panel's message box, Wave button and sound stop. It remembers where the playing sample's file is, so
// that a saved configuration can name it.
// GUI thread only.

#include <string>

#include "engine/engine_state.h"
#include "media/wav_import.h"
#include "panel/panel_services.h"

namespace voltina {

class PanelAudio;
class SynthPanel;

class ProgramSamples : public SampleLoader {
  public:
    ProgramSamples(EngineState& state, PanelAudio& audio);
    // The panel whose message box and Wave button the loads use; null while there is none. Samples can be
    // loaded while the panel sets itself up.
    void setPanel(SynthPanel* panel) { panel_ = panel; }

    // `name` is relative to the current directory (the list dialog lists it) or a path. The load (or
    // the refusal that leaves no sample) is one undo step.
    void selectWaveFile(const std::string& name) override;
    // The same as part of a larger edit (a configuration load): no step of its own. 1 when loaded.
    int loadWithoutStep(const std::string& name);
    void freeWaveSample() override;
    void forgetWaveFileName() override;
    void adoptSample(const std::string& path) override;

    // The playing sample's file as an absolute path; empty when no sample is loaded.
    std::string loadedPath() const;
    const WaveSampleName& name() const { return name_; }

  private:
    EngineState& state_;
    PanelAudio& audio_;
    SynthPanel* panel_ = nullptr;
    WaveSampleName name_;
    std::string path_;
};

}  // namespace voltina
