-- Headless Ardour session driven by ardour7-lua (Ardour's luasession tool).
--
-- usage: ardour7-lua ardour_session.lua SESSION_DIR PLUGIN_TYPE PLUGIN_KEY...
--
-- On the dummy backend (its capture ports play a -18 dBFS sine) this
--  * creates a 48 kHz session with two stereo tracks: "trv-track" takes the
--    capture ports and has the plug-in as its first processor; the inputs
--    of "trv-live" are fed from the outputs of "trv-track";
--  * records about three seconds on both: "trv-track" records its input
--    (the sine), "trv-live" what the plug-in put out in the audio thread;
--  * renders the recorded range of "trv-track" through its processors
--    (bounce up to the main outs, into 32-bit float WAV) twice: "active"
--    with the plug-in running and "bypassed" with it deactivated;
--  * drops every reference into the session and closes it, which destroys
--    the plug-in instance.
-- PLUGIN_KEY is tried in order (unique id, then name) with
-- ARDOUR.LuaAPI.new_plugin. Lines for the driver start with "TRV-LUA ":
--   TRV-LUA RANGE <start> <end>          recorded range, in samples
--   TRV-LUA FILE <label> <channel> <path> one mono WAV per label and channel
--                                         (labels: live, active, bypassed)
--   TRV-LUA DONE                          last line when everything worked
-- Any failure prints "TRV-LUA FAIL <reason>" and raises a Lua error.

local session_dir, plugin_type = arg[1], arg[2]
local plugin_keys = {}
for i = 3, #arg do plugin_keys[#plugin_keys + 1] = arg[i] end

local function report(...)
	local parts = {}
	for i, v in ipairs({...}) do parts[i] = tostring(v) end
	print("TRV-LUA " .. table.concat(parts, " "))
end

local function fail(msg)
	report("FAIL", msg)
	error(msg, 0)
end

if not (session_dir and plugin_type and #plugin_keys > 0) then
	fail("usage: ardour_session.lua SESSION_DIR PLUGIN_TYPE PLUGIN_KEY...")
end

-- Waits up to `seconds` for cond() to become true, polling every 50 ms.
local function wait_for(cond, seconds)
	local waited = 0
	while not cond() do
		if waited >= seconds then return false end
		sleep(0.05)
		waited = waited + 0.05
	end
	return true
end

local NoGroup = PBD.GroupControlDisposition.NoGroup

-- Engine: Ardour's dummy backend; its capture ports play a sine. Ardour
-- itself must monitor (pass the input through the track while recording).
ARDOUR.config():set_hide_dummy_backend(false)
ARDOUR.config():set_monitoring_model(ARDOUR.MonitorModel.SoftwareMonitoring)
local backend = AudioEngine:set_backend("None (Dummy)", "", "")
if not backend then fail("the dummy audio backend is not available") end
if backend:set_device_name("Sine Wave") ~= 0 then fail("dummy backend has no 'Sine Wave' device") end

local session = create_session(session_dir, "trv", 48000)
if not session then fail("create_session failed") end
if session:nominal_sample_rate() ~= 48000 then
	fail("session rate is " .. session:nominal_sample_rate() .. ", wanted 48000")
end
-- Recordings and bounces: 32-bit float WAV.
session:cfg():set_native_file_data_format(ARDOUR.SampleFormat.Float)
session:cfg():set_native_file_header_format(ARDOUR.HeaderFormat.WAVE)
report("SESSION", session:path(), "rate", session:nominal_sample_rate())

local function new_stereo_track(name, connect_inputs)
	local list = session:new_audio_track(2, 2, nil, 1, name, ARDOUR.PresentationInfo.max_order,
	                                     ARDOUR.TrackMode.Normal, connect_inputs)
	if list:size() ~= 1 then fail("could not create track " .. name) end
	return list:front()
end

-- "trv-track": capture ports -> plug-in -> ...
local track = new_stereo_track("trv-track", true)
local ptype = ARDOUR.PluginType[plugin_type]
if ptype == nil then fail("unknown plug-in type " .. plugin_type) end
local proc
for _, key in ipairs(plugin_keys) do
	local p = ARDOUR.LuaAPI.new_plugin(session, key, ptype, "")
	if not p:isnil() then
		proc = p
		report("PLUGIN-FOUND-BY", key)
		break
	end
	report("PLUGIN-NOT-FOUND-BY", key)
end
if not proc then fail("Ardour does not know the plug-in (not in the scanner cache or not on the VST path)") end
local rv = track:add_processor_by_index(proc, 0, nil, true)
if rv ~= 0 then fail("add_processor_by_index returned " .. tostring(rv)) end
do
	local insert = proc:to_insert()
	if insert:isnil() then fail("the processor is not a plug-in insert") end
	report("PLUGIN", "name=" .. insert:plugin(0):name(), "unique_id=" .. insert:plugin(0):unique_id(),
	       "active=" .. tostring(proc:active()))
end
if not proc:active() then fail("the plug-in is not active after insertion") end
track:monitoring_control():set_value(ARDOUR.MonitorChoice.MonitorInput, NoGroup)

-- "trv-live": records the outputs of "trv-track".
local live = new_stereo_track("trv-live", false)
for c = 0, 1 do
	local out_name = track:output():nth(c):name()
	live:input():nth(c):connect(out_name)
	if not live:input():nth(c):connected_to(out_name) then
		fail("could not connect " .. out_name .. " to " .. live:input():nth(c):name())
	end
end

-- Record about three seconds on both tracks.
track:rec_enable_control():set_value(1, NoGroup)
live:rec_enable_control():set_value(1, NoGroup)
session:maybe_enable_record(false)
session:request_roll(ARDOUR.TransportRequestSource.TRS_UI)
if not wait_for(function() return session:actively_recording() end, 10) then
	fail("the session did not start recording")
end
sleep(3)
session:request_stop(false, false, ARDOUR.TransportRequestSource.TRS_UI)
if not wait_for(function() return session:transport_stopped() end, 10) then
	fail("the transport did not stop")
end
session:disable_record(false, false)
track:rec_enable_control():set_value(0, NoGroup)
live:rec_enable_control():set_value(0, NoGroup)
-- Let the butler finish the capture files and the new regions settle.
sleep(1)

local function only_region(t)
	local region, n = nil, 0
	for r in t:playlist():region_list():iter() do region = r; n = n + 1 end
	if n ~= 1 then fail(t:name() .. " has " .. n .. " regions after recording, expected 1") end
	return region:to_audioregion()
end

-- Reports the mono source files of an audio region.
local function report_files(label, region)
	if region:isnil() then fail("no audio region for " .. label) end
	if region:n_channels() ~= 2 then fail(label .. " has " .. region:n_channels() .. " channels, expected 2") end
	for c = 0, 1 do
		report("FILE", label, c, region:source(c):to_filesource():path())
	end
end

local range_start, range_end
do
	local recorded = only_region(track)
	range_start = recorded:position():samples()
	range_end = range_start + recorded:length():samples()
end
report("RANGE", range_start, range_end)
if range_end - range_start < 2 * 48000 then
	fail("the recorded region is shorter than two seconds: " .. (range_end - range_start) .. " samples")
end
report_files("live", only_region(live))

-- Render the recorded range through the processors of "trv-track" up to
-- (not including) its main outs.
local function bounce(label)
	local region = track:bounce_range(range_start, range_end, ARDOUR.InterThreadInfo(),
	                                  track:main_outs(), false, "trv-" .. label)
	if region:isnil() then fail("bouncing '" .. label .. "' failed") end
	report_files(label, region:to_audioregion())
end

bounce("active")
proc:deactivate()
if not wait_for(function() return not proc:active() end, 5) then fail("the plug-in could not be deactivated") end
report("DEACTIVATED")
bounce("bypassed")

-- Drop every reference into the session so closing it destroys the
-- plug-in instance (effClose) instead of leaving it to process exit.
proc = nil
track = nil
live = nil
backend = nil
collectgarbage()
collectgarbage()
close_session()
report("CLOSED")
report("DONE")
