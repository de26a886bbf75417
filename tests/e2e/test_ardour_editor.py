"""The editor inside a real sequencer: Ardour 7's own GUI (Debian package)
under an Xvfb of the test's own opens a saved session whose track has the
plug-in, shows its mixer, and a double click on the plug-in opens its
editor in Ardour's plug-in window. Real X input (xdotool) then changes the
page and types into the Connect page; at each step the window inside
Ardour shows exactly the frame an offscreen editor (trvhost) draws after
the same input. Ardour is then quit and must exit cleanly, closing the
editor and the plug-in on its own threads."""

import os
import shutil
import subprocess
import tempfile
import time
import unittest

import harness
from audio_steps import reply
from editor_steps import XServer, shows_its_frame, tools_present
from harness import World, stop_process

NET = 86
ARDOUR = "ardour"
SCANNER = "/usr/lib/ardour7/ardour-vst-scanner"
LUA_TOOL = "ardour7-lua"
SESSION_SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "ardour", "ardour_gui_session.lua")

# Engine settings that start the dummy backend without asking, and the
# marker that the first-run wizard has been through.
ARDOUR_CONFIG = """<?xml version="1.0" encoding="UTF-8"?>
<Ardour>
  <Config>
    <Option name="try-autostart-engine" value="1"/>
    <Option name="hide-dummy-backend" value="0"/>
  </Config>
  <Extra>
    <AudioMIDISetup>
      <EngineStates>
        <State backend="None (Dummy)" driver="Normal Speed" device="Silence" input-device="" output-device=""
               sample-rate="48000" buffer-size="1024" n-periods="0" input-latency="0" output-latency="0"
               lm-input="" lm-output="" active="1" use-buffered-io="0" midi-option="1 in, 1 out, Silence" lru="1"/>
      </EngineStates>
    </AudioMIDISetup>
  </Extra>
</Ardour>
"""

# Frame pixels: the Options and Connect tabs, the user name field.
OPTIONS_TAB = (175, 22)
CONNECT_TAB = (41, 22)
USER_FIELD = (452, 90)
# Bare page background right of the lower news picture.
PAGE_SPACE = (560, 290)
# Empty space in Ardour's main window, beside the plug-in window.
MIXER_SPACE = (700, 400)


def ardour_present():
    return all((shutil.which(ARDOUR), os.access(SCANNER, os.X_OK), shutil.which(LUA_TOOL)))


def processor_box(pixels):
    """Centre of the first plug-in box of the mixer (the first run of 60
    pixels of Ardour's processor red: grey-free, red about twice green),
    or None."""
    width, height, rows = pixels

    def red(p):
        r, g, b = p
        return g == b and 0x50 <= r <= 0x80 and r - g >= 0x28

    for y in range(height):
        run = 0
        for x in range(width):
            run = run + 1 if red(rows[y][x]) else 0
            if run == 60:
                left = x - 59
                bottom = y
                while bottom + 1 < height and red(rows[bottom + 1][left + 30]):
                    bottom += 1
                return left + 30, (y + bottom) // 2
    return None


@unittest.skipUnless(tools_present(), "needs Xvfb, xdotool and xwd (tools/install-deps.sh)")
@unittest.skipUnless(ardour_present(), "needs Ardour 7 (Debian package 'ardour')")
class EditorInArdour(unittest.TestCase):
    def setUp(self):
        if not harness.PLUGIN:
            self.skipTest("no plug-in library given (--plugin)")
        self.folder = tempfile.mkdtemp(prefix="trv-ardour-gui-")
        self.addCleanup(shutil.rmtree, self.folder, True)
        self.env = dict(os.environ)
        for var, sub in (("HOME", "home"), ("XDG_CONFIG_HOME", "config"), ("XDG_CACHE_HOME", "cache"),
                         ("LXVST_PATH", "vst")):
            self.env[var] = os.path.join(self.folder, sub)
            os.makedirs(self.env[var])
        shutil.copy(harness.PLUGIN, self.env["LXVST_PATH"])
        self.plugin = os.path.join(self.env["LXVST_PATH"], os.path.basename(harness.PLUGIN))
        config = os.path.join(self.env["XDG_CONFIG_HOME"], "ardour7")
        os.makedirs(config)
        open(os.path.join(config, ".a7"), "w").close()
        with open(os.path.join(config, "config"), "w") as f:
            f.write(ARDOUR_CONFIG)
        self.server = XServer(170, "1600x1000")
        self.addCleanup(self.server.close)
        self.env["DISPLAY"] = self.server.display
        self.world = World(NET)
        self.addCleanup(self.world.close)
        self.reference = self.world.peer("reference", ["--editor", "offscreen"], networked=False)
        reply(self.reference, "editor", "editor:")

    def run_tool(self, args, seconds):
        env = dict(self.env, LD_LIBRARY_PATH="/usr/lib/ardour7")
        return subprocess.run(args, env=env, capture_output=True, text=True, timeout=seconds)

    def make_session(self):
        # Ardour reads only a scan newer than the library, in whole seconds.
        time.sleep(1.1)
        self.run_tool([SCANNER, "-f", self.plugin], 60)
        session = os.path.join(self.folder, "session")
        made = self.run_tool([LUA_TOOL, SESSION_SCRIPT, session, "TRV"], 120)
        self.assertIn("TRV-LUA SAVED", made.stdout, made.stdout + made.stderr)
        return os.path.join(session, "trv.ardour")

    def focus(self):
        """The window holding the keyboard (0 when none or the pointer's)."""
        out = subprocess.run(["xdotool", "getwindowfocus"], env=self.env, capture_output=True, text=True).stdout
        return int(out.strip()) if out.strip().isdigit() else 0

    def both(self, step, window):
        """Does `step` (click X Y, key NAME or type TEXT) on the reference
        editor and with real X input on Ardour's window."""
        word, rest = step.split(" ", 1)
        if word == "click":
            self.server.click(window, *rest.split())
        else:
            # Keys reach the editor because it took the keyboard focus (at
            # its next idle after the click), not because the pointer is
            # over it.
            deadline = time.monotonic() + 5
            while self.focus() != int(window, 16):
                self.assertLess(time.monotonic(), deadline, "the editor never took the keyboard")
                time.sleep(0.05)
            self.server.run("xdotool", "mousemove", "--window", self.main, *map(str, MIXER_SPACE))
            if word == "key":
                self.server.key(rest)
            else:
                self.server.type(rest)
        self.reference.send(step)
        reply(self.reference, "editor", "editor:")

    def test_the_editor_works_in_ardours_plugin_window(self):
        session_file = self.make_session()
        log = open(os.path.join(self.folder, "ardour.log"), "w")
        self.addCleanup(log.close)
        ardour = subprocess.Popen([ARDOUR, session_file], env=self.env, stdout=log, stderr=subprocess.STDOUT,
                                  stdin=subprocess.DEVNULL, preexec_fn=harness._die_with_parent)
        self.addCleanup(stop_process, ardour, 5)
        main = self.main = self.server.window("trv - Ardour", 120)
        time.sleep(2)  # the session's views settle
        box = None
        for _ in range(3):  # a key pressed while the session still loads may go unheard
            self.server.click(main, *MIXER_SPACE)
            self.server.key("alt+m")  # the mixer
            deadline = time.monotonic() + 8
            while box is None and time.monotonic() < deadline:
                box = processor_box(self.server.pixels(main))
                if box is None:
                    time.sleep(0.5)
            if box:
                break
        self.assertIsNotNone(box, "no plug-in box in Ardour's mixer")
        self.server.run("xdotool", "mousemove", "--window", main, str(box[0]), str(box[1]), "click", "--repeat", "2",
                        "--delay", "80", "1")
        plugin_window = self.server.window("trv-track: TRV", 20)
        # Ardour's window holds its own embedding window, and that ours.
        deadline = time.monotonic() + 10
        editor = None
        while editor is None:
            for line in self.server.run("xwininfo", "-tree", "-id", plugin_window).splitlines():
                if " 623x365+" in line:
                    editor = line.split()[0]
            if editor is None:
                self.assertLess(time.monotonic(), deadline, "no 623 x 365 editor window in Ardour's plug-in window")
                time.sleep(0.2)

        def shot(name):
            shows_its_frame(self.server, editor, self.reference, self.world.folder, "ardour-" + name)

        shot("1-connect")
        self.both("click %d %d" % OPTIONS_TAB, editor)
        shot("2-options")
        self.both("click %d %d" % CONNECT_TAB, editor)
        self.both("click %d %d" % USER_FIELD, editor)
        self.both("type alice", editor)
        self.both("key Tab", editor)
        self.both("type secret", editor)
        shot("3-typed")
        # A click beside the fields ends the editing and gives the keyboard
        # back, so Ardour's shortcut quits it.
        self.both("click %d %d" % PAGE_SPACE, editor)
        shot("4-edit-ended")
        self.assertNotEqual(int(editor, 16), self.focus(), "the editor kept the keyboard")
        self.server.run("xdotool", "mousemove", "--window", main, *map(str, MIXER_SPACE))
        self.server.key("ctrl+q")
        try:
            status = ardour.wait(60)
        except subprocess.TimeoutExpired:
            self.fail("Ardour did not quit")
        log.flush()
        with open(os.path.join(self.folder, "ardour.log")) as f:
            self.assertEqual(0, status, f.read()[-3000:])


if __name__ == "__main__":
    unittest.main()
