#pragma once
// The plugin's URI, its properties, and the URIDs the host maps them to.
// Map in instantiate only (mapping may allocate); the audio thread reads the numbers.

#include <lv2/atom/atom.h>
#include <lv2/midi/midi.h>
#include <lv2/patch/patch.h>
#include <lv2/time/time.h>
#include <lv2/urid/urid.h>

#include "plugin/plugin_parameters.h"

namespace voltina {

// From the program's AppStream id, io.github.voltina.Voltina; the Turtle files say the same.
#define VOLTINA_LV2_URI "https://voltina.github.io/Voltina/lv2"

constexpr const char* kPluginUri = VOLTINA_LV2_URI;
constexpr const char* kConfigurationUri = VOLTINA_LV2_URI "#configuration";           // atom:Path
constexpr const char* kConfigurationTextUri = VOLTINA_LV2_URI "#configuration-text";  // state only
constexpr const char* kSampleFileUri = VOLTINA_LV2_URI "#sample-file";                // state only
// The window's messages (plugin_edits.h has their bodies): its edits on the control port, the panel
// the plugin plays on the notify port.
constexpr const char* kWindowEditUri = VOLTINA_LV2_URI "#window-edit";
constexpr const char* kWindowPatchEditUri = VOLTINA_LV2_URI "#window-patch-edit";
constexpr const char* kPanelShownUri = VOLTINA_LV2_URI "#panel";

struct PluginUris {
    LV2_URID atomPath = 0, atomString = 0, atomChunk = 0, atomFloat = 0, atomInt = 0, atomDouble = 0,
             atomLong = 0, atomBool = 0, atomObject = 0, atomUrid = 0, atomSequence = 0;
    LV2_URID midiEvent = 0;
    LV2_URID patchSet = 0, patchGet = 0, patchProperty = 0, patchValue = 0;
    LV2_URID timePosition = 0, timeSpeed = 0, timeFrame = 0;
    LV2_URID configuration = 0, configurationText = 0, sampleFile = 0;
    LV2_URID windowEdit = 0, windowPatchEdit = 0, panelShown = 0;
    LV2_URID parameters[kParameterCount] = {};

    void map(LV2_URID_Map* map);
    // The parameter a property names, or -1.
    int parameterOf(LV2_URID property) const;
};

}  // namespace voltina
