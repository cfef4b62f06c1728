#include "patch/edit.h"

namespace voltina {

Edit Edit::loadSample(std::shared_ptr<SampleRecord> sample, const std::string& path) {
    auto patch = std::make_shared<PanelPatch>();
    patch->sample = std::move(sample);
    patch->samplePath = path;
    return {EditKind::LoadSample, 0, 0, 0, 0, 0.0f, std::move(patch)};
}

Edit Edit::loadConfiguration(PanelPatch patch) {
    return {
        EditKind::LoadConfiguration, 0, 0, 0, 0, 0.0f, std::make_shared<const PanelPatch>(std::move(patch))};
}

Edit Edit::restore(PanelPatch patch) {
    return {EditKind::Restore, 0, 0, 0, 0, 0.0f, std::make_shared<const PanelPatch>(std::move(patch))};
}

Edit Edit::controllers(ControllerBindings bindings, int cc) {
    auto patch = std::make_shared<PanelPatch>();
    patch->controllers = std::move(bindings);
    return {EditKind::Controllers, 0, 0, 0, cc, 0.0f, std::move(patch)};
}

bool actsOnEngine(EditKind kind) {
    return kind != EditKind::Controllers;
}

bool changesPatch(EditKind kind) {
    return kind != EditKind::Sync;
}

}  // namespace voltina
