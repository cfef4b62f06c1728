-- Ardour 7's headless interpreter (ardour7-lua) driving a session with Voltina; run by ardour_export.sh,
-- which starts a JACK server for each run and passes everything through the environment:
--   VOLTINA_STEP      "build": a new session, a MIDI track with Voltina, the preset, the notes; "export"
--   VOLTINA_SESSION   the session's folder; its name is the folder's last part
--   VOLTINA_RATE      the session's rate (build)
--   VOLTINA_PRESET    the preset's label (build); empty for none
--   VOLTINA_PLUGIN    another instrument's LV2 URI instead of Voltina's, for a control case
--   VOLTINA_SEQ_PORT  the JACK port of a sequencer playing a take to record (build)
--   VOLTINA_LEVEL1    a level set on mixer channel 1 through Ardour's control, after the preset (build)
--   VOLTINA_NOTES     "KEY:FROM:TO ..." in beats at the session's 120 bpm (build)
--   VOLTINA_SECONDS   the session range's length (build)
--   VOLTINA_EXPORTS   how many exports to make, named export-FIRST.wav on (export)
--   VOLTINA_FIRST     the first export's number (export)
--   VOLTINA_EXPORT_PRESET  the export preset's id (export)
-- Lines starting "voltina:" are what the shell script reads.
io.stdout:setvbuf("no")

local uri = os.getenv("VOLTINA_PLUGIN") or "https://voltina.github.io/Voltina/lv2"
local step = os.getenv("VOLTINA_STEP")
local folder = os.getenv("VOLTINA_SESSION")
local name = folder:match("([^/]+)/*$")

local function say(...) print("voltina:", ...) end
local function fail(...) say("FAIL", ...) os.exit(1) end

-- The values Ardour shows for the plugin's properties (its automation controls), by property name.
local function shownValues(track)
	local auto = track:nth_plugin(0):to_automatable()
	for p in auto:all_automatable_params():iter() do
		local c = auto:automation_control(p, false)
		local property = c and c:name():match("#(.+)$")
		if property then say("shown", property, c:get_value()) end
	end
end

-- Ardour's control for one of the plugin's properties.
local function control(track, property)
	local auto = track:nth_plugin(0):to_automatable()
	for p in auto:all_automatable_params():iter() do
		local c = auto:automation_control(p, false)
		if c and c:name():match("#(.+)$") == property then return c end
	end
	fail("Ardour shows no control for " .. property)
end

local function voltinaTrack(session)
	for r in session:get_tracks():iter() do
		local plugin = r:nth_plugin(0)
		if not plugin:isnil() and plugin:to_insert():plugin(0):unique_id() == uri then return r:to_track() end
	end
	fail("no track with Voltina in the session")
end

-- JACK's client name: an empty one upsets the server's protocol.
AudioEngine:set_backend("JACK", "ardour", "")

if step == "build" then
	local rate = tonumber(os.getenv("VOLTINA_RATE"))
	local session = create_session(folder, name, rate)
	if not session then fail("cannot create the session") end
	-- The master bus is wired by Ardour's auto-connect thread, over the same JACK connection as this
	-- thread's port registrations: libjack's requests from two threads at once garble the server's
	-- channel, so each step waits for the wiring to finish.
	ARDOUR.LuaAPI.usleep(3000000)
	local info = ARDOUR.LuaAPI.new_plugin_info(uri, ARDOUR.PluginType.LV2)
	if info:isnil() then fail("Ardour does not find " .. uri) end
	local tracks = session:new_midi_track(ARDOUR.ChanCount(ARDOUR.DataType("midi"), 1),
		ARDOUR.ChanCount(ARDOUR.DataType("audio"), 2), true, info, nil, nil, 1, "Voltina",
		ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, true)
	if tracks:size() ~= 1 then fail("no MIDI track") end
	local track = tracks:front()
	local plugin = track:nth_plugin(0):to_insert():plugin(0)
	if os.getenv("VOLTINA_PRESET") ~= "" then
		local preset = plugin:preset_by_label(os.getenv("VOLTINA_PRESET"))
		if not preset or not preset.valid then fail("no preset " .. os.getenv("VOLTINA_PRESET")) end
		if not plugin:load_preset(preset) then fail("the preset does not load") end
		ARDOUR.LuaAPI.usleep(500000)
		control(track, "channel1-level"):set_value(tonumber(os.getenv("VOLTINA_LEVEL1")),
			PBD.GroupControlDisposition.NoGroup)
	end

	-- Lua cannot make a MIDI region: a short take from the sequencer makes one, whose notes are then replaced.
	ARDOUR.LuaAPI.usleep(3000000)
	if track:input():nth(0):connect(os.getenv("VOLTINA_SEQ_PORT")) ~= 0 then fail("cannot connect the sequencer") end
	track:rec_enable_control():set_value(1, PBD.GroupControlDisposition.NoGroup)
	session:maybe_enable_record(false)
	session:request_roll(ARDOUR.TransportRequestSource.TRS_UI)
	ARDOUR.LuaAPI.usleep(2000000)
	session:request_stop(false, false, ARDOUR.TransportRequestSource.TRS_UI)
	ARDOUR.LuaAPI.usleep(1000000)
	track:rec_enable_control():set_value(0, PBD.GroupControlDisposition.NoGroup)
	session:disable_record(false, false)
	-- The sequencer is gone when the session is loaded again.
	track:input():disconnect_all(nil)
	local regions = track:playlist():region_list()
	if regions:size() ~= 1 then fail("the take made " .. regions:size() .. " regions") end
	local region
	for r in regions:iter() do region = r end
	local model = region:to_midiregion():midi_source(0):model()
	local diff = model:new_note_diff_command("Voltina's notes")
	for note in ARDOUR.LuaAPI.note_list(model):iter() do diff:remove(note) end
	for key, from, to in os.getenv("VOLTINA_NOTES"):gmatch("(%d+):(%d+):(%d+)") do
		diff:add(ARDOUR.LuaAPI.new_noteptr(1, Temporal.Beats(tonumber(from), 0),
			Temporal.Beats(tonumber(to) - tonumber(from), 0), tonumber(key), 100))
	end
	model:apply_command(session, diff)

	local length = math.floor(tonumber(os.getenv("VOLTINA_SECONDS")) * rate)
	region:set_position(Temporal.timepos_t(0))
	region:set_length(Temporal.timecnt_t(length))
	session:locations():session_range_location():set(Temporal.timepos_t(0), Temporal.timepos_t(length))
	for note in ARDOUR.LuaAPI.note_list(model):iter() do say("note", note:note(), note:time(), note:length()) end
	say("region", region:position(), region:length())
	ARDOUR.LuaAPI.usleep(500000)
	shownValues(track)
	session:save_state("", false, false, false, false, false)
	close_session()
	say("built")
elseif step == "export" then
	local session = load_session(folder, name)
	if not session then fail("cannot load the session") end
	local track = voltinaTrack(session)
	-- Let the plugin's notifications of the restored state reach Ardour's controls.
	ARDOUR.LuaAPI.usleep(500000)
	shownValues(track)
	local first = tonumber(os.getenv("VOLTINA_FIRST"))
	for n = first, first + tonumber(os.getenv("VOLTINA_EXPORTS")) - 1 do
		local export = session:simple_export()
		if not export:set_preset(os.getenv("VOLTINA_EXPORT_PRESET")) then fail("no export preset") end
		export:set_folder(folder .. "/export")
		export:set_name(string.format("export-%02d", n))
		if not export:check_outputs() then fail("the export has no outputs") end
		say("exporting", n)
		if not export:run_export() then fail("export " .. n .. " failed") end
		say("exported", n)
		-- Freeing an export's channels sometimes finds Ardour's heap damaged (with Ardour's own synth as
		-- well) and glibc aborts: freed here, after the line above, so the script can tell such an abort
		-- from one during the export, and not inside close_session().
		export = nil
		collectgarbage()
	end
	close_session()
	say("done")
else
	fail("VOLTINA_STEP must be build or export")
end
