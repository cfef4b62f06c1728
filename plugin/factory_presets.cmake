# The factory configurations as LV2 presets: each preset's state is what the plugin's save() writes (the
# configuration's text and, with a sample, the WAV file's bytes), so any host's preset menu loads the
# whole patch without the files. Written at configure time from configurations/, which cmake watches.
# Sets VOLTINA_LV2_PRESETS (the manifest's entries), writes presets.ttl into the bundle and installs the
# files themselves under share/voltina/configurations for the program.

set(voltina_factory_dir ${PROJECT_SOURCE_DIR}/configurations)
# file stem, then label; the order is the menu's.
set(voltina_factory_presets
    "startup|Start-up patch"
    "midi-voice|MIDI voice into the mixer"
    "vibrato|Vibrato"
    "auto-pan|Auto-pan"
    "sample-loop|Sample loop")

set(VOLTINA_LV2_PRESETS "")
set(presets_ttl "@prefix atom:  <http://lv2plug.in/ns/ext/atom#> .
@prefix lv2:   <http://lv2plug.in/ns/lv2core#> .
@prefix pset:  <http://lv2plug.in/ns/ext/presets#> .
@prefix rdfs:  <http://www.w3.org/2000/01/rdf-schema#> .
@prefix state: <http://lv2plug.in/ns/ext/state#> .
@prefix rdf:   <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .
@prefix xsd:   <http://www.w3.org/2001/XMLSchema#> .

# What the plugin's state holds; not parameters a host shows.
<${VOLTINA_LV2_URI}#configuration-text>
	a rdf:Property ;
	rdfs:label \"Configuration text\" ;
	rdfs:comment \"The whole panel as a Voltina configuration file holds it (JSON).\" .

<${VOLTINA_LV2_URI}#sample-file>
	a rdf:Property ;
	rdfs:label \"Sample file\" ;
	rdfs:comment \"The bytes of the WAV file the configuration names.\" .
")
set(VOLTINA_FACTORY_FILES "")
foreach(entry IN LISTS voltina_factory_presets)
    string(REPLACE "|" ";" entry "${entry}")
    list(GET entry 0 stem)
    list(GET entry 1 label)
    set(json ${voltina_factory_dir}/${stem}.json)
    list(APPEND VOLTINA_FACTORY_FILES ${json})
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${json})
    file(READ ${json} text)
    string(REPLACE "\\" "\\\\" text "${text}")
    string(REPLACE "\"" "\\\"" text "${text}")
    string(REPLACE "\n" "\\n" text "${text}")
    set(state "\t\t<${VOLTINA_LV2_URI}#configuration-text> \"${text}\"")
    # A sample named by the configuration travels as the state's chunk, base64 as lilv reads it.
    if(text MATCHES "\\\\\"wave\\\\\": \\\\\"([^\\\\]+)\\\\\"")
        set(wav ${voltina_factory_dir}/${CMAKE_MATCH_1})
        list(APPEND VOLTINA_FACTORY_FILES ${wav})
        set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${wav})
        execute_process(COMMAND base64 -w0 ${wav} OUTPUT_VARIABLE bytes RESULT_VARIABLE failed)
        if(failed)
            message(FATAL_ERROR "base64 could not read ${wav}")
        endif()
        string(APPEND state " ;\n\t\t<${VOLTINA_LV2_URI}#sample-file> \"${bytes}\"^^xsd:base64Binary")
    endif()
    string(APPEND presets_ttl "
<${VOLTINA_LV2_URI}#preset-${stem}>
	a pset:Preset ;
	lv2:appliesTo <${VOLTINA_LV2_URI}> ;
	rdfs:label \"${label}\" ;
	state:state [
${state}
	] .
")
    string(APPEND VOLTINA_LV2_PRESETS "
<${VOLTINA_LV2_URI}#preset-${stem}>
	a pset:Preset ;
	lv2:appliesTo <${VOLTINA_LV2_URI}> ;
	rdfs:label \"${label}\" ;
	rdfs:seeAlso <presets.ttl> .
")
endforeach()
file(WRITE ${VOLTINA_LV2_BUNDLE}/presets.ttl "${presets_ttl}")
# The same files for the program, beside each other as the configurations name their samples.
install(FILES ${VOLTINA_FACTORY_FILES} DESTINATION ${CMAKE_INSTALL_DATADIR}/voltina/configurations)
