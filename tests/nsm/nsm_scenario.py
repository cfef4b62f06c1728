#!/usr/bin/python3
# Voltina in an NSM session, against a session server written for this test (python3-liblo), all on
# loopback, with a private X server and a private JACK server (see nsm_scenario.sh):
#   - the announce comes at once, with the name, capabilities, executable, API 1.2 and the pid, and no
#     JACK client exists before the open;
#   - the open of a new session makes its folder, is answered OK, leaves the window hidden (the server
#     has optional-gui) and names the JACK client by the client id;
#   - show and hide are answered gui_is_shown / gui_is_hidden, and so is the close button (it hides the
#     window); a real click makes the session dirty;
#   - save writes voltina.json and makes it clean; SIGTERM ends the program within a second;
#   - a second run opens the existing session: a take left in its unsaved folder (as a SIGTERM during a
#     recording leaves it) is saved into the session, the panel is the one saved, and the sample its
#     configuration names outside the session is copied into it by the next save, which names the copy;
#   - the server's words and stray messages reach the log escaped, a flood of them as one line and a count;
#   - SIGTERM ends the program while a leftover take of a gigabyte is being copied in at the open, and the
#     take stays for the next open;
#   - without a sound server or a MIDI system, the open is answered and what a box would say at start
#     comes as the session's status message.
#   nsm_scenario.py VOLTINA_BINARY ARTIFACT_DIR WORK_DIR
import ctypes, glob, json, os, signal, subprocess, sys, time, wave

import liblo

binary, art, work = sys.argv[1:4]
session = os.path.join(work, "session", "Voltina.nTEST")
client_id = "nTEST"


def fail(text):
    print("FAIL: " + text, flush=True)
    sys.exit(1)


class TestServer:
    def __init__(self):
        self.server = liblo.Server()  # a free port
        self.server.add_method(None, None, self.received)
        self.messages = []
        self.client = None

    def url(self):
        return "osc.udp://127.0.0.1:%d/" % self.server.port

    def received(self, path, args, types, src):
        self.messages.append((path, list(args)))
        self.client = src

    def wait_for(self, path, first=None, seconds=10.0):
        deadline = time.time() + seconds
        while time.time() < deadline:
            for i, (p, args) in enumerate(self.messages):
                if p == path and (first is None or (args and args[0] == first)):
                    del self.messages[i]
                    return args
            self.server.recv(50)
        fail("no %s%s within %.0f s (got %s)" % (path, " " + first if first else "", seconds, self.messages))

    def send(self, path, *args):
        self.server.send(self.client, path, *args)


def jack_clients():
    out = subprocess.run(["jack_lsp"], capture_output=True, text=True).stdout
    return sorted({line.split(":")[0] for line in out.splitlines() if ":" in line})


def visible_windows():
    out = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", r"^Voltina 3\.10$"],
                         capture_output=True, text=True).stdout
    return out.split()


def press_close_button(window):
    """What a window manager sends when the title bar's close button is pressed: WM_DELETE_WINDOW."""
    x = ctypes.CDLL("libX11.so.6")
    x.XOpenDisplay.restype = ctypes.c_void_p
    x.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x.XInternAtom.restype = ctypes.c_ulong
    x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
    x.XFlush.argtypes = [ctypes.c_void_p]
    x.XCloseDisplay.argtypes = [ctypes.c_void_p]

    class ClientMessage(ctypes.Structure):
        _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                    ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                    ("format", ctypes.c_int), ("data", ctypes.c_long * 5), ("pad", ctypes.c_long * 12)]

    display = x.XOpenDisplay(None)
    event = ClientMessage()
    event.type = 33  # ClientMessage
    event.window = int(window)
    event.message_type = x.XInternAtom(display, b"WM_PROTOCOLS", 0)
    event.format = 32
    event.data[0] = x.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
    x.XSendEvent(display, int(window), 0, 0, ctypes.byref(event))
    x.XFlush(display)
    x.XCloseDisplay(display)


def start(log_name, opened=True, **more_env):
    server = TestServer()
    env = dict(os.environ, NSM_URL=server.url(), VOLTINA_AUDIO="jack", VOLTINA_NO_CONNECT="1", **more_env)
    log = open(os.path.join(art, log_name), "w")
    program = subprocess.Popen([binary], env=env, stdout=log, stderr=subprocess.STDOUT, cwd=work)
    args = server.wait_for("/nsm/server/announce", seconds=5)
    want = ["Voltina", ":dirty:optional-gui:", os.path.basename(binary), 1, 2, program.pid]
    if args != want:
        fail("announce %s, not %s" % (args, want))
    time.sleep(0.5)
    before = jack_clients()
    if any(c.startswith(client_id) or c.startswith("Voltina") for c in before):
        fail("a JACK client before the open: %s" % before)
    server.send("/reply", "/nsm/server/announce", "Welcome", "Test NSM", ":server-control:optional-gui:")
    server.send("/nsm/client/open", session, "test session", client_id)
    if not opened:
        return server, program
    reply = server.wait_for("/reply", "/nsm/client/open", seconds=15)
    if reply[1:] != ["OK"]:
        fail("open answered %s" % reply)
    server.wait_for("/nsm/client/gui_is_hidden")
    return server, program


def terminate(program):
    sent = time.time()
    program.send_signal(signal.SIGTERM)
    try:
        status = program.wait(timeout=3)
    except subprocess.TimeoutExpired:
        program.kill()
        fail("still running 3 s after SIGTERM")
    took = time.time() - sent
    print("SIGTERM: ended in %.3f s with status %d" % (took, status), flush=True)
    if took > 1.0:
        fail("SIGTERM took %.3f s" % took)
    if status != 0:
        fail("exit status %d after SIGTERM" % status)


# ---- a new session
server, program = start("voltina-1.log")
if not os.path.isdir(session):
    fail("the session folder was not made")
if os.path.exists(os.path.join(session, "voltina.json")):
    fail("a new session already has a configuration")
time.sleep(1.0)
clients = jack_clients()
print("JACK clients:", clients, flush=True)
if client_id not in clients:
    fail("no JACK client named %s" % client_id)
if visible_windows():
    fail("the window shows although the server has optional-gui")

server.send("/nsm/client/show_optional_gui")
server.wait_for("/nsm/client/gui_is_shown")
for _ in range(50):
    if visible_windows():
        break
    time.sleep(0.1)
else:
    fail("show_optional_gui showed no window")
win = visible_windows()[0]
time.sleep(0.8)
subprocess.run(["import", "-window", win, os.path.join(art, "shown.png")])
geometry = dict(line.split("=") for line in subprocess.run(
    ["xdotool", "getwindowgeometry", "--shell", win], capture_output=True, text=True).stdout.split())
bar = int(geometry["HEIGHT"]) - 442
# The start-up patch's cord out of input 307, let go at output 418: a real change of the panel.
for x, y in ((555 + 14, 338 + 13), (466 + 14, 271 + 13)):
    subprocess.run(["xdotool", "mousemove", "--window", win, str(x), str(bar + y), "click", "1"])
    time.sleep(0.4)
server.wait_for("/nsm/client/is_dirty")

server.send("/nsm/client/save")
reply = server.wait_for("/reply", "/nsm/client/save")
if reply[1:] != ["OK"]:
    fail("save answered %s" % reply)
server.wait_for("/nsm/client/is_clean")
saved_path = os.path.join(session, "voltina.json")
saved = open(saved_path).read()
config = json.loads(saved)
if config.get("voltina") != 1:
    fail("voltina.json is not a configuration")
print("saved %d cords" % len(config["cords"]), flush=True)

# The window's close button hides it: the program and its sound go on.
press_close_button(win)
server.wait_for("/nsm/client/gui_is_hidden")
time.sleep(0.3)
if visible_windows() or program.poll() is not None:
    fail("the close button did not just hide the window")
server.send("/nsm/client/show_optional_gui")
server.wait_for("/nsm/client/gui_is_shown")
server.send("/nsm/client/hide_optional_gui")
server.wait_for("/nsm/client/gui_is_hidden")
time.sleep(0.3)
if visible_windows():
    fail("hide_optional_gui left the window shown")
# Unknown and malformed messages are ignored, the program goes on.
server.send("/nsm/client/open", 5)
server.send("/nsm/unknown")
server.send("/error", "/nsm/client/gui_is_shown", -1, "\x1b[2J\x07")
server.send("/nsm/\x1b]0;title\x07")
stranger = liblo.Server()
for _ in range(2000):
    stranger.send(server.client, "/nsm/client/save")
time.sleep(1.5)  # the count of a repeated complaint comes once the link is quiet
server.send("/nsm/client/save")
server.wait_for("/reply", "/nsm/client/save")
terminate(program)
log = open(os.path.join(art, "voltina-1.log"), "rb").read().decode("utf-8", "replace")
if "\x1b" in log or "\x07" in log or "\\x1B[2J\\x07" not in log:
    fail("the server's words reach the terminal unescaped:\n" + log)
strays = [line for line in log.splitlines() if "another address" in line]
if len(strays) != 2 or "more like it" not in strays[1]:
    fail("a flood of stray datagrams is not one line and a count:\n" + "\n".join(strays[:5]))

# ---- the same session again, with a take left behind and a sample outside the session
def write_wave(path, channels, frames):
    with wave.open(path, "wb") as w:
        w.setnchannels(channels)
        w.setsampwidth(1)
        w.setframerate(11025)
        w.writeframes(frames)

take_frames = bytes((i * 7) % 256 for i in range(2 * 11025))
os.makedirs(os.path.join(session, "unsaved"), exist_ok=True)
write_wave(os.path.join(session, "unsaved", "take-20260101-000000-1.wav"), 2, take_frames)
sample_frames = bytes(128 + (40 if (i // 25) % 2 else -40) for i in range(5000))
sample = os.path.join(work, "LOOP.WAV")
write_wave(sample, 1, sample_frames)
config["wave"] = sample
with open(saved_path, "w") as f:
    json.dump(config, f)
server, program = start("voltina-2.log")
time.sleep(1.0)
if client_id not in jack_clients():
    fail("no JACK client named %s the second time" % client_id)
takes = glob.glob(os.path.join(session, "TAKE-*.WAV"))
if len(takes) != 1 or glob.glob(os.path.join(session, "unsaved", "take-*")):
    fail("the take left behind was not saved into the session: %s" % os.listdir(session))
with wave.open(takes[0]) as w:
    if w.readframes(w.getnframes()) != take_frames:
        fail("the take saved into the session is not the one left behind")
server.send("/nsm/client/save")
server.wait_for("/reply", "/nsm/client/save")
again = json.load(open(saved_path))
if again.get("wave") != "LOOP.WAV":
    fail("the saved session names the sample %r, not its copy LOOP.WAV" % again.get("wave"))
if open(os.path.join(session, "LOOP.WAV"), "rb").read() != open(sample, "rb").read():
    fail("the sample's copy in the session differs from the sample")
del again["wave"], config["wave"]
if again != config:
    fail("the reopened session's panel is not the one saved:\n%s\n---\n%s" % (config, again))
terminate(program)

# ---- a leftover take of a gigabyte: SIGTERM while it is copied in at the open
big = os.path.join(session, "unsaved", "take-20260102-000000-1.wav")
size = 1 << 30
with open(big, "wb") as f:
    f.write(b"RIFF" + (36 + size).to_bytes(4, "little") + b"WAVEfmt " + (16).to_bytes(4, "little") +
            bytes([1, 0, 2, 0]) + (11025).to_bytes(4, "little") + (22050).to_bytes(4, "little") +
            bytes([2, 0, 8, 0]) + b"data" + size.to_bytes(4, "little"))
    f.truncate(44 + size)
server, program = start("voltina-3.log", opened=False)
time.sleep(0.3)
terminate(program)
left = [n for n in os.listdir(session) if n.endswith(".tmp") or n.startswith(".")]
if not os.path.exists(big) or os.path.getsize(big) != 44 + size or left:
    fail("the stopped copy lost the take or left files: %s" % sorted(os.listdir(session)))
os.unlink(big)

# ---- no sound server, no MIDI system: nothing modal at start
server, program = start("voltina-4.log", JACK_DEFAULT_SERVER="voltina-nobody-%d" % os.getpid())
said = server.wait_for("/nsm/client/message")
print("status message:", said, flush=True)
if not os.path.exists("/dev/snd/seq"):
    while "Impossible to find MIDI input" not in said[1]:
        said = server.wait_for("/nsm/client/message")
terminate(program)
print("PASS", flush=True)
