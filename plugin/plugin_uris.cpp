#include "plugin/plugin_uris.h"

#include <string>

namespace voltina {

void PluginUris::map(LV2_URID_Map* m) {
    const auto id = [m](const char* uri) { return m->map(m->handle, uri); };
    atomPath = id(LV2_ATOM__Path);
    atomString = id(LV2_ATOM__String);
    atomChunk = id(LV2_ATOM__Chunk);
    atomFloat = id(LV2_ATOM__Float);
    atomInt = id(LV2_ATOM__Int);
    atomDouble = id(LV2_ATOM__Double);
    atomLong = id(LV2_ATOM__Long);
    atomBool = id(LV2_ATOM__Bool);
    atomObject = id(LV2_ATOM__Object);
    atomUrid = id(LV2_ATOM__URID);
    atomSequence = id(LV2_ATOM__Sequence);
    midiEvent = id(LV2_MIDI__MidiEvent);
    patchSet = id(LV2_PATCH__Set);
    patchGet = id(LV2_PATCH__Get);
    patchProperty = id(LV2_PATCH__property);
    patchValue = id(LV2_PATCH__value);
    timePosition = id(LV2_TIME__Position);
    timeSpeed = id(LV2_TIME__speed);
    timeFrame = id(LV2_TIME__frame);
    configuration = id(kConfigurationUri);
    configurationText = id(kConfigurationTextUri);
    sampleFile = id(kSampleFileUri);
    windowEdit = id(kWindowEditUri);
    windowPatchEdit = id(kWindowPatchEditUri);
    panelShown = id(kPanelShownUri);
    for (int p = 0; p < kParameterCount; ++p)
        parameters[p] = id((std::string(kPluginUri) + "#" + parameterName(p)).c_str());
}

int PluginUris::parameterOf(LV2_URID property) const {
    for (int p = 0; p < kParameterCount; ++p)
        if (parameters[p] == property) return p;
    return -1;
}

}  // namespace voltina
