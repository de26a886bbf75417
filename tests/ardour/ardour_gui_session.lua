-- A saved Ardour session for the GUI test, made with ardour7-lua:
-- usage: ardour7-lua ardour_gui_session.lua SESSION_DIR PLUGIN_NAME
-- A 48 kHz session on the dummy backend's "Silence" device (the device the
-- GUI test's engine settings name, so opening the session asks nothing)
-- with one stereo track "trv-track" whose first processor is the plug-in.
-- Prints "TRV-LUA SAVED" when the session is saved, "TRV-LUA FAIL <why>"
-- otherwise.
local session_dir, plugin_name = arg[1], arg[2]

local function fail(msg)
	print("TRV-LUA FAIL " .. msg)
	error(msg, 0)
end

if not (session_dir and plugin_name) then fail("usage: ardour_gui_session.lua SESSION_DIR PLUGIN_NAME") end

ARDOUR.config():set_hide_dummy_backend(false)
local backend = AudioEngine:set_backend("None (Dummy)", "", "")
if not backend then fail("the dummy audio backend is not available") end
if backend:set_device_name("Silence") ~= 0 then fail("dummy backend has no 'Silence' device") end

local session = create_session(session_dir, "trv", 48000)
if not session then fail("create_session failed") end
local tracks = session:new_audio_track(2, 2, nil, 1, "trv-track", ARDOUR.PresentationInfo.max_order,
                                       ARDOUR.TrackMode.Normal, true)
if tracks:size() ~= 1 then fail("could not create the track") end
local proc = ARDOUR.LuaAPI.new_plugin(session, plugin_name, ARDOUR.PluginType.LXVST, "")
if proc:isnil() then fail("Ardour does not know the plug-in " .. plugin_name) end
local rv = tracks:front():add_processor_by_index(proc, 0, nil, true)
if rv ~= 0 then fail("add_processor_by_index returned " .. tostring(rv)) end
session:save_state("", false, false, false, false, false)
print("TRV-LUA SAVED")

-- No references left, so closing destroys the plug-in instance.
proc = nil
tracks = nil
backend = nil
collectgarbage()
close_session()
