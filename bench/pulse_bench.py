#!/usr/bin/python3
"""The sound benchmark, on every sound server (not a test: it prints figures).

The player runs under Xvfb and openbox on a private server of each kind, on the output the
player uses there: PulseAudio (its Pulse stream), PipeWire with WirePlumber (its native
stream), jackd with its dummy driver at 128 frames (its JACK client). What it plays is
recorded at the sink's monitor (parec) or, on JACK, from its ports by qk_jack_record.
Figures, for each server:
  - key to sound: from a key event entering the X server (XTest, injected from this
    process) to the first non-silent sample at the monitor; median, p95 and largest over 50
    keys (goals: PulseAudio median <= 1.3 ms, PipeWire median <= 3 ms and p95 <= 5 ms, JACK
    median <= 4 ms);
  - the peer (PulseAudio and PipeWire): Linux Show Player, started on a list-layout session
    of prepared media cues (UriInput, Volume, AutoSink) on the same WAV, GO on Space,
    measured in the same run by the same key injection and the same monitor, in rounds
    taking turns with our player; the ratios ours/peer of the medians and of the p95s
    (goal: <= 0.25 both);
  - PipeWire: the quantum the graph runs at while a sound plays and while the player idles
    (read off pw-top), and the same with another program holding the graph at 1024 frames,
    with the first key after idle then;
  - paplay (PulseAudio and PipeWire): the same file played by paplay, from its start to its
    first sample, as a reference;
  - recovery: from the server's return to the first key that sounds (goal <= 1 s);
  - synchronous plays: ten 0.3 s sounds on F1 to F10 with Sync audio on, the ten keys
    pressed at once: the gap between one sound's last frame and the next one's first,
    counted in recorded frames; median and largest (goal: median < 20 ms, largest < 50 ms);
  - idle cost: CPU of the player and of the server's processes over 10 s of idling with the
    output open (goal: player < 0.02 s);
  - playback cost: CPU of the player over 10 s of a looped tone (goal < 1 % of a core);
  - dropouts under load: with stress-ng --cpu 2 running, a looped 375 Hz sine (exactly 128
    frames a period at 48 kHz, played bit-exact) for 60 s; at the monitor every sample must
    equal the one a period earlier and every period must be loud, so each gap, dropout or
    click is a break (goal: 0). On PulseAudio and PipeWire a paplay of the same loop with a
    200 ms buffer under the same load, with another client holding the sink at a 3 ms
    latency, checks that the sink and the recording chain themselves lose nothing; on JACK
    the recorder is a client of the same graph.
Then, on PulseAudio:
  - remote input to sound: an OSC message (/qk/slot/1/play, sent on UDP from this
    process) and a MIDI note (note 36 from a JACK MIDI client on a private jackd with the
    dummy driver, timed in the cycle that writes it) to the first sound at the monitor,
    50 of each, median and p95, beside a key's figure measured in the same run on the
    same server (goal: each within 1 ms of the key's).
Every figure includes the monitor's own capture latency in the same way, so the paplay
reference and the peer carry the same bias.

    bench/pulse_bench.py [path/to/qksonnerix] [--server pulse|pipewire|jack] ... [--remote]
                         [--pipewire-output pipewire|pulse]
                                     (default: build/qksonnerix, every server)

--remote measures the remote input's figures alone (and needs no peer installed).
--pipewire-output pulse measures the player's Pulse stream on PipeWire's Pulse server
instead of its native PipeWire stream, for comparing the two on the same graph.

It first runs scripts/setup-bench.sh (idempotent: it installs the peer, the GStreamer
elements it plays through, stress-ng and tmux, as root or through sudo, only when missing).

Each measurement is a function taking a Bench (the desktop, the server, the monitor and
the player), so that another player can be measured by the same functions.
"""
import importlib.util
import json
import os
import shutil
import signal
import socket
import statistics
import subprocess
import sys
import time
import uuid

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "desktop"))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "pulse"))

SYSTEM_PYTHON = "/usr/bin/python3"
if importlib.util.find_spec("Xlib") is None and os.path.exists(SYSTEM_PYTHON) \
        and os.path.realpath(sys.executable) != os.path.realpath(SYSTEM_PYTHON):
    # python3-xlib (and the peer's own modules) are Debian packages: run on the system's Python.
    os.execv(SYSTEM_PYTHON, [SYSTEM_PYTHON] + sys.argv)

from desktop_test import Desktop, dos_path, square_wav, wait_for  # noqa: E402
from jacklib import JackServer  # noqa: E402
from pipewirelib import PipeWireServer  # noqa: E402
from pulselib import Monitor, PulseServer, level_wav, levels_heard, loop_breaks, onset, sine_wav  # noqa: E402
from Xlib import X, XK, display  # noqa: E402
from Xlib.ext import xtest  # noqa: E402

PEER_TITLE = "Linux Show Player"
LOOP_PERIOD = 128       # frames of one cycle of the loop's sine: 375 Hz at 48 kHz
LOOP_AMPLITUDE = 16384  # half of full scale


SERVERS = {"pulse": "PulseAudio", "pipewire": "PipeWire", "jack": "JACK"}
# The player's output on each server kind (--pipewire-output changes PipeWire's).
OUTPUTS = {"pulse": "pulse", "pipewire": "pipewire", "jack": "jack"}


def make_server(kind, root, exe):
    sinks = [("qk_main", "QK Main Output", 48000)]
    if kind == "jack":
        return JackServer(root, os.path.join(os.path.dirname(exe), "qk_jack_record"))
    if kind == "pipewire":
        return PipeWireServer(root, sinks)
    return PulseServer(root, sinks)


def server_pids(server):
    """The processes of a server (PipeWire runs three, and its session bus)."""
    procs = getattr(server, "procs", None) or [server.proc]
    return [p.pid for p in procs if p and p.poll() is None]


class Bench:
    """Xvfb, openbox, a private sound server of one kind and its monitor; a player in them."""

    def __init__(self, exe, kind="pulse"):
        self.desktop = Desktop(exe)
        self.kind = kind
        self.pulse = make_server(kind, self.desktop.root, exe)
        self.pw_recorder = os.path.join(os.path.dirname(exe), "qk_pw_record")
        self.monitor = None
        self.player = None
        self.peer = None
        self.peer_window = None
        self.our_window = None
        self.x = None
        self.sample = os.path.join(self.desktop.home, "sounds", "tone.wav")
        self.loop_sample = os.path.join(self.desktop.home, "sounds", "loop.wav")

    def start(self):
        self.desktop.start()
        self.pulse.start()
        self.monitor = self.new_monitor()
        self.x = display.Display(self.desktop.display)
        os.makedirs(os.path.dirname(self.sample), exist_ok=True)
        square_wav(self.sample, 8000, 0.3)  # loud from its first frame
        sine_wav(self.loop_sample, rate=48000, period=LOOP_PERIOD, periods=375, amplitude=LOOP_AMPLITUDE)

    def new_monitor(self, **kw):
        """The sink's monitor; on PipeWire recorded through PipeWire itself at 128 frames, so
        that the recording adds no more than one short cycle (its Pulse server records in
        256-frame cycles at least)."""
        if self.kind == "pipewire":
            kw.setdefault("command", self.pulse.native_record_command(self.pw_recorder, "qk_main"))
        return Monitor(self.pulse, "qk_main", **kw)

    def start_qksonnerix(self, loop=False):
        """Our player, the bench's tone on F1 (or, with loop, the looped sine)."""
        d = self.desktop
        d.write_ini(["[QK_Pex]", "Lock=0", "Sync=0", "Loop=%d" % loop, "Auto=0", "Notify=0", "Rehearse=0", "X=40",
                     "Y=40", "W=640", "H=420", "Wave1=" + dos_path(self.loop_sample if loop else self.sample)])
        env = self.pulse.client_env(d.env)
        env.pop("SDL_AUDIODRIVER", None)
        for k in ("QKSONNERIX_AUDIO_DEVICE", "QKSONNERIX_AUDIO_BUFFER_MS", "QKSONNERIX_AUDIO_AWAKE"):
            if k in os.environ:
                print("note: %s=%s from the environment is passed to the player" % (k, os.environ[k]))
        self.err_path = os.path.join(d.root, "player.err")
        d.player = subprocess.Popen([d.exe, "--audio-output", OUTPUTS[self.kind]], env=env, cwd=d.home,
                                    stdout=subprocess.DEVNULL, stderr=open(self.err_path, "ab"))
        self.player = d.player
        self.our_window = d.find_window("QK Sonnerix")
        d.focus(self.our_window)

    def stop_qksonnerix(self):
        self.player.send_signal(signal.SIGTERM)
        self.player.wait(timeout=15)
        self.player = self.desktop.player = None

    def start_peer(self, cues=60):
        """The peer on a list-layout session of `cues` media cues on the bench's tone, its
        configuration and state in a home of its own, its GStreamer output on our server.
        The cursor is put on the first cue, so each Space (GO) starts the next fresh cue."""
        d = self.desktop
        home = os.path.join(d.root, "peer")
        conf_dir = os.path.join(home, ".linux_show_player")
        os.makedirs(conf_dir, exist_ok=True)
        # Its own defaults, which map GO to Space, written where it would write them itself.
        spec = importlib.util.find_spec("lisp")
        if spec is None:
            raise SystemExit("the peer's Python modules are missing: run scripts/setup-bench.sh")
        default_cfg = os.path.join(os.path.dirname(spec.origin), "default.cfg")
        with open(default_cfg) as f:
            cfg = f.read()
        if "GoKey = Space" not in cfg:
            raise SystemExit("the peer's default configuration no longer maps GO to Space: " + default_cfg)
        shutil.copyfile(default_cfg, os.path.join(conf_dir, "config.cfg"))
        session = os.path.join(home, "bench.lsp")
        write_peer_session(session, self.sample, cues)
        env = self.pulse.client_env(d.env)
        for k in ("XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "QT_QPA_PLATFORMTHEME"):
            env.pop(k, None)
        env.update({"HOME": home, "XDG_CONFIG_HOME": os.path.join(home, ".config"),
                    "XDG_DATA_HOME": os.path.join(home, ".local", "share"),
                    "XDG_CACHE_HOME": os.path.join(home, ".cache"), "QT_QPA_PLATFORM": "xcb"})
        self.peer_log = os.path.join(d.root, "peer.log")
        self.peer = subprocess.Popen(["linux-show-player", "--log", "info", "--file", session], env=env, cwd=home,
                                     stdout=open(self.peer_log, "ab"), stderr=subprocess.STDOUT)

        def loaded():
            if self.peer.poll() is not None:
                raise SystemExit("the peer ended (%s): %s" % (self.peer.returncode, self.peer_output()))
            with open(self.peer_log, errors="replace") as f:
                return f.read().count("Last action: AddItemAction") >= cues
        wait_for("the peer to load its %d cues" % cues, loaded, timeout=60, interval=0.1)
        mine, d.player = d.player, self.peer
        try:
            self.peer_window = d.find_window(PEER_TITLE)
        finally:
            d.player = mine
        d.focus(self.peer_window)
        self.key("Home")  # the first cue; a loaded session leaves the cursor on the last one

    def peer_output(self):
        try:
            with open(self.peer_log, errors="replace") as f:
                return f.read()[-1500:]
        except OSError:
            return ""

    def stop_peer(self):
        if self.peer and self.peer.poll() is None:
            self.peer.terminate()
            try:
                self.peer.wait(timeout=15)
            except subprocess.TimeoutExpired:
                self.peer.kill()
                self.peer.wait()
        self.peer = None

    def key(self, name):
        code = self.x.keysym_to_keycode(XK.string_to_keysym(name))
        xtest.fake_input(self.x, X.KeyPress, code)
        self.x.sync()
        t = time.monotonic()
        xtest.fake_input(self.x, X.KeyRelease, code)
        self.x.sync()
        return t

    def wait_quiet(self, chunks=20):
        """Waits until the monitor has heard `chunks` silent chunks in a row."""
        def quiet():
            p = self.monitor.peaks()
            return len(p) >= chunks and max(p[-chunks:]) == 0
        wait_for("silence at the monitor", quiet, timeout=30, interval=0.005)

    def stop(self):
        self.stop_peer()
        if self.monitor:
            self.monitor.stop()
        self.pulse.stop()
        self.desktop.close()


def write_peer_session(path, wav, cues):
    """A session file of the peer: a list layout with `cues` media cues, each a pipeline of
    UriInput, Volume and AutoSink on `wav` (the layout of a session it saves itself)."""
    session = {
        "application": {"layout": "List Layout"},
        "cues": [{
            "_type_": "MediaCue",
            "id": str(uuid.uuid4()),
            "index": i,
            "name": "tone %d" % (i + 1),
            "_media_": {"pipe": ["UriInput", "Volume", "AutoSink"],
                        "elements": {"UriInput": {"uri": "file://" + wav}}},
        } for i in range(cues)],
        "plugins": {},
    }
    with open(path, "w", encoding="utf-8") as f:
        json.dump(session, f, indent=4, sort_keys=True)


def percentile(values, p):
    s = sorted(values)
    return s[min(len(s) - 1, int(round(p / 100.0 * (len(s) - 1))))]


def key_to_sound(b, keys=50, play="F1", stop="space"):
    """Milliseconds from each key's press at the X server to its first sound at the monitor."""
    out = []
    for _ in range(keys):
        b.wait_quiet()
        mark = b.monitor.mark()
        t0 = b.key(play)
        t1 = b.monitor.wait_for_sound(mark, timeout=10)
        out.append((t1 - t0) * 1000)
        if stop:
            b.key(stop)
    return out


def ours(b, keys):
    b.desktop.focus(b.our_window)
    return key_to_sound(b, keys, play="F1", stop="space")


def peer(b, keys):
    """The peer: each Space is GO on the next prepared cue; its tone (0.3 s) plays out."""
    b.desktop.focus(b.peer_window)
    return key_to_sound(b, keys, play="space", stop=None)


def side_by_side(b, keys=50, rounds=5, warm=2):
    """Both players in turns of keys/rounds keys, so that the machine's other work weighs on
    both alike; `warm` keys each first, not counted (a first sound opens streams)."""
    warm_ours, warm_peer = ours(b, warm), peer(b, warm)
    a, p = [], []
    for r in range(rounds):
        n = keys // rounds + (1 if r < keys % rounds else 0)
        a += ours(b, n)
        p += peer(b, n)
    return a, p, warm_ours, warm_peer


def paplay_reference(b, runs=10):
    """Milliseconds from starting paplay on the same file to its first sound at the monitor."""
    out = []
    for _ in range(runs):
        b.wait_quiet()
        mark = b.monitor.mark()
        t0 = time.monotonic()
        p = subprocess.Popen(["paplay", b.sample], env=b.pulse.client_env())
        t1 = b.monitor.wait_for_sound(mark, timeout=10)
        out.append((t1 - t0) * 1000)
        p.wait()
    return out


def recovery(b, play="F1", stop="space", back_line="qksonnerix: the sound output is back"):
    """Seconds from the server's return to the output being open again (the player's line
    on stderr, polled every 2 ms), and then to the first sound of a key pressed at once.

    A monitor cannot be recording the moment a server returns: a new parec on an idle null
    sink gets its first data about 2 s later. So the key is pressed once the monitor
    records, and its own key-to-sound time is added to the reopening time.
    """
    lost = "qksonnerix: the sound output was lost; playing silently until it is back"
    before = open(b.err_path).read().count(back_line)
    b.pulse.kill()
    b.monitor.stop()
    wait_for("the player to notice", lambda: lost in open(b.err_path).read(), timeout=30)
    returned = b.pulse.start()
    wait_for("the output back", lambda: open(b.err_path).read().count(back_line) > before, timeout=30,
             interval=0.002)
    reopened = time.monotonic() - returned
    b.monitor = b.new_monitor()
    b.wait_quiet()
    mark = b.monitor.mark()
    t0 = b.key(play)
    heard = b.monitor.wait_for_sound(mark, timeout=10)
    b.key(stop)
    return reopened, heard - t0


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def idle_cost_of(pid, seconds=10):
    time.sleep(1)
    c0 = cpu_seconds(pid)
    time.sleep(seconds)
    return cpu_seconds(pid) - c0


def idle_cost(b, seconds=10):
    """CPU seconds of the player and of the server over `seconds` of idling."""
    b.wait_quiet()
    time.sleep(1)
    pids = server_pids(b.pulse)
    p0, s0 = cpu_seconds(b.player.pid), sum(cpu_seconds(pid) for pid in pids)
    time.sleep(seconds)
    return cpu_seconds(b.player.pid) - p0, sum(cpu_seconds(pid) for pid in pids) - s0


def playback_cost(b, seconds=10):
    """CPU seconds of the player over `seconds` of the looped sine playing."""
    b.desktop.focus(b.our_window)
    b.wait_quiet()
    mark = b.monitor.mark()
    b.key("F1")
    b.monitor.wait_for_sound(mark, timeout=10)
    time.sleep(1)
    p0 = cpu_seconds(b.player.pid)
    time.sleep(seconds)
    used = cpu_seconds(b.player.pid) - p0
    b.key("space")
    return used


class Load:
    """stress-ng keeping `cpus` cores busy, in a process group of its own; it ends by itself
    after 5 minutes should the bench die without stopping it."""

    def __init__(self, cpus=2):
        self.proc = subprocess.Popen(["stress-ng", "--cpu", str(cpus), "--timeout", "300s", "--quiet"],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)

    def stop(self):
        if self.proc.poll() is None:
            os.killpg(self.proc.pid, signal.SIGINT)
            try:
                self.proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                os.killpg(self.proc.pid, signal.SIGKILL)
                self.proc.wait()


def break_report(breaks, start, rate=48000):
    return ", ".join("%.1f ms (%.1f ms long)" % ((a - start) * 1000.0 / rate, (z - a + 1) * 1000.0 / rate)
                     for a, z in breaks[:20]) + (" ..." if len(breaks) > 20 else "")


def recorded_loop(b, play, seconds, rate=48000):
    """Starts a looped sine with play(), records `seconds` of it at a monitor that keeps its
    samples, gives (breaks, window start, recording)."""
    mon = b.new_monitor(keep=True)
    try:
        mark = mon.mark()
        stop = play()
        mon.wait_for_sound(mark, timeout=10)
        first = onset(mon.frames_since(mark))
        start = first + LOOP_PERIOD * 4
        frames = int(seconds * rate)
        wait_for("%d s of loop" % seconds, lambda: mon.recorded_frames(mark) > start + frames + 2400,
                 timeout=seconds * 2 + 30, interval=0.1)
        samples = mon.frames_since(mark)
        stop()
    finally:
        mon.stop()
    return loop_breaks(samples, LOOP_PERIOD, start, frames, LOOP_AMPLITUDE * 9 // 10), start


def loop_under_load(b, seconds=60, control_seconds=20):
    """Breaks in `seconds` of our looped sine with both cores busy, and in a paplay of the
    same loop with a 200 ms buffer under the same load, the sink held at a low latency
    (the recording chain's own check)."""
    b.desktop.focus(b.our_window)
    b.wait_quiet()
    control_wav = os.path.join(b.desktop.root, "loop-long.wav")
    sine_wav(control_wav, rate=48000, period=LOOP_PERIOD, periods=375 * (control_seconds + 3),
             amplitude=LOOP_AMPLITUDE)
    silence_wav = os.path.join(b.desktop.root, "silence.wav")
    sine_wav(silence_wav, rate=48000, period=LOOP_PERIOD, periods=375 * (control_seconds + 5), amplitude=0)
    load = Load(2)
    try:
        time.sleep(1)

        def ours_play():
            b.key("F1")
            return lambda: b.key("space")
        ours_breaks, ours_start = recorded_loop(b, ours_play, seconds)
        b.wait_quiet()
        if b.kind == "jack":
            # The recorder is a client of the same graph: there is no other chain to check.
            return ours_breaks, ours_start, None, None

        def paplay_play():
            # A second client playing silence with a 3 ms buffer holds the sink at the low
            # latency a low-latency player sets, so the chain is checked as it runs for ours.
            env = b.pulse.client_env()
            low = subprocess.Popen(["paplay", "--latency-msec=3", silence_wav], env=env)
            p = subprocess.Popen(["paplay", "--latency-msec=200", control_wav], env=env)

            def stop():
                for q in (p, low):
                    q.terminate()
                    q.wait()
            return stop
        control_breaks, control_start = recorded_loop(b, paplay_play, control_seconds)
    finally:
        load.stop()
    return ours_breaks, ours_start, control_breaks, control_start


def sync_gaps(exe, server, sounds=10, frames=14400):
    """Ten sounds played with Sync audio on, their keys pressed at once, on a private
    server of `server`'s kind: the gaps between them at the monitor in ms, and how many
    of them were heard whole."""
    d = Desktop(exe)
    srv = make_server(server, d.root, exe)
    mon = None
    try:
        d.start()
        srv.start()
        heights = [1000 * (n + 2) for n in range(sounds)]
        lines = []
        for n, h in enumerate(heights):
            path = os.path.join(d.home, "sounds", "sync%d.wav" % n)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            level_wav(path, h, frames)
            lines.append("Wave%d=%s" % (n + 1, dos_path(path)))
        d.write_ini(["[QK_Pex]", "Lock=0", "Sync=1", "Loop=0", "Auto=0", "Notify=0", "Rehearse=0", "X=40", "Y=40",
                     "W=640", "H=420"] + lines)
        mon = Monitor(srv, "qk_main", keep=True)
        env = srv.client_env(d.env)
        env.pop("SDL_AUDIODRIVER", None)
        d.player = subprocess.Popen([d.exe, "--audio-output", OUTPUTS[server]], env=env, cwd=d.home,
                                    stdout=subprocess.DEVNULL,
                                    stderr=subprocess.DEVNULL)
        d.focus(d.find_window("QK Sonnerix"))
        mark = mon.mark()
        d.run(["xdotool", "key", "--delay", "0"] + ["F%d" % (n + 1) for n in range(sounds)])

        def heard():
            s = mon.frames_since(mark)
            last = levels_heard(s, heights[-1:])[0]
            return levels_heard(s, heights) if last and len(s) // 2 - last[1] > 4800 else None
        spans = wait_for("the %d sounds at the monitor" % sounds, heard, timeout=30 + sounds, interval=0.1)
        d.player.send_signal(signal.SIGTERM)
        d.wait_exit()
    finally:
        if mon:
            mon.stop()
        srv.stop()
        d.close()
    whole = sum(1 for span in spans if span and span[1] - span[0] + 1 == frames)
    gaps = [(spans[n + 1][0] - spans[n][1] - 1) / 48.0 for n in range(sounds - 1) if spans[n] and spans[n + 1]]
    return gaps, whole


class PwTop:
    """pw-top (which has no batch mode in PipeWire 0.3) in a private tmux, read off its screen."""

    def __init__(self, b):
        self.socket = os.path.join(b.desktop.root, "tmux.sock")
        self.env = b.pulse.client_env()
        subprocess.run(["tmux", "-S", self.socket, "-f", "/dev/null", "new-session", "-d", "-x", "160", "-y", "30",
                        "pw-top"], env=self.env, check=True)

    def driver(self, name="qk_main"):
        """(state, quantum) of the driver node `name`: R running, I idle, S suspended."""
        screen = subprocess.run(["tmux", "-S", self.socket, "capture-pane", "-p"], env=self.env,
                                stdout=subprocess.PIPE).stdout.decode(errors="replace")
        for line in screen.splitlines():
            f = line.split()
            if len(f) >= 3 and f[-1] == name:
                return f[0], int(f[2]) if f[2].isdigit() else 0
        return None, None

    def settled(self, state, name="qk_main", timeout=10):
        """Waits until the driver shows `state` (pw-top refreshes each second)."""
        return wait_for("the graph %s" % state, lambda: (lambda st: st if st[0] == state else None)(self.driver(name)),
                        timeout=timeout, interval=0.2)

    def stop(self):
        subprocess.run(["tmux", "-S", self.socket, "kill-server"], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)


def quantum_figures(b, keys=20):
    """PipeWire, with the looped tone on F1: the graph's quantum while it plays and while the
    player idles, alone (no monitor recording) and with another program holding the graph
    at 1024 frames (a recorder of the sink's monitor at that quantum); and the key-to-sound
    times of first keys after idle then, when the graph changes its quantum for the key."""
    b.monitor.stop()
    top = PwTop(b)
    other = None
    # The native stream asks for 128 frames; the Pulse stream's quantum is the Pulse server's.
    small = 128 if OUTPUTS["pipewire"] == "pipewire" else None

    def ours_running(st):
        return st if st[0] == "R" and (small is None or st[1] == small) else None
    try:
        b.desktop.focus(b.our_window)
        b.key("F1")
        alone_playing = wait_for("our quantum", lambda: ours_running(top.driver()), timeout=15, interval=0.2)
        b.key("space")
        alone_idle = wait_for("the graph to stop", lambda: (lambda st: st if st[0] in ("I", "S") else None)(
            top.driver()), timeout=15, interval=0.2)
        other = b.new_monitor(command=b.pulse.native_record_command(b.pw_recorder, "qk_main", frames=1024))
        shared_idle = wait_for("the other program at 1024", lambda: (lambda st: st if st == ("R", 1024) else None)(
            top.driver()), timeout=15, interval=0.2)
        b.key("F1")
        if small is None:
            # The Pulse stream's quantum may be the other program's: read once the stream plays.
            wait_for("our stream uncorked", lambda: any(i["corked"] == "no" for i in b.pulse.sink_inputs()),
                     timeout=15, interval=0.05)
        shared_playing = wait_for("our quantum", lambda: ours_running(top.driver()), timeout=15, interval=0.2)
        b.key("space")
        firsts = []
        for _ in range(keys):
            wait_for("silence", lambda: (lambda p: len(p) > 20 and max(p[-20:]) == 0)(other.peaks()), timeout=10,
                     interval=0.005)
            time.sleep(0.3)  # our stream goes inactive 0.1 s after its last sound: the graph is back at 1024
            mark = other.mark()
            t0 = b.key("F1")
            firsts.append((other.wait_for_sound(mark, timeout=10) - t0) * 1000)
            b.key("space")
        return alone_playing, alone_idle, shared_playing, shared_idle, firsts
    finally:
        if other:
            other.stop()
        top.stop()
        b.monitor = b.new_monitor()


def stats_line(name, v):
    return "%s, %d keys: median %.1f ms, p95 %.1f ms, min %.1f ms, max %.1f ms" % (
        name, len(v), statistics.median(v), percentile(v, 95), min(v), max(v))


def setup_bench():
    script = os.path.join(HERE, "..", "scripts", "setup-bench.sh")
    r = subprocess.run(["bash", script])
    if r.returncode != 0:
        raise SystemExit("scripts/setup-bench.sh failed (exit %d): run it as root, or with sudo at hand, "
                         "to install the peer, its GStreamer elements and stress-ng" % r.returncode)


def run_server(exe, kind, results):
    """Every figure on one server kind; lines printed as they come."""
    name = SERVERS[kind]
    server = {"pulse": "PulseAudio, a null sink at 48 kHz", "pipewire": "PipeWire with WirePlumber, a null sink at "
              "48 kHz", "jack": "jackd with its dummy driver, 48 kHz, 128 frames"}[kind]
    print("== %s (the player's %s output)" % (server, OUTPUTS[kind]))
    gaps, whole = sync_gaps(exe, kind)
    print("synchronous plays: ten 0.3 s sounds with Sync audio on, gaps between one's end and the next one's start: "
          "median %.1f ms, largest %.1f ms (goal: median < 20, largest < 50); %d of 10 heard whole"
          % (statistics.median(gaps), max(gaps), whole))
    b = Bench(exe, kind)
    r = results.setdefault(kind, {})
    try:
        b.start()
        b.start_qksonnerix()
        goal = {"pulse": "median <= 1.3", "pipewire": "median <= 3, p95 <= 5", "jack": "median <= 4"}[kind]
        if kind != "jack":
            b.start_peer()
            ks, ps, warm_ks, warm_ps = side_by_side(b)
            print("key to sound, both players in one run, 5 rounds taking turns (first keys, not counted: ours %s ms, "
                  "peer %s ms)" % (", ".join("%.1f" % v for v in warm_ks), ", ".join("%.1f" % v for v in warm_ps)))
            print("  " + stats_line("QK Sonnerix (F1)", ks) + " (goal: %s)" % goal)
            print("  " + stats_line("Linux Show Player 0.5.3 (GO on Space)", ps))
            ratio = (statistics.median(ks) / statistics.median(ps), percentile(ks, 95) / percentile(ps, 95))
            print("  ours/peer: median %.2f, p95 %.2f (goal: <= 0.25 both)" % ratio)
            r["peer"] = ps
            r["ratio"] = ratio
            b.stop_peer()
        else:
            ours(b, 2)
            ks = ours(b, 50)
            print("key to sound: " + stats_line("QK Sonnerix (F1)", ks) + " (goal: %s)" % goal)
        r["keys"] = ks
        if kind != "jack":
            pa = paplay_reference(b)
            print("paplay of the same file, %d runs: median %.1f ms, p95 %.1f ms (reference)"
                  % (len(pa), statistics.median(pa), percentile(pa, 95)))
        player_cpu, server_cpu = idle_cost(b)
        print("idle, 10 s with the output open: player %.3f s CPU (goal < 0.02), server %.3f s CPU"
              % (player_cpu, server_cpu))
        r["idle"] = (player_cpu, server_cpu)
        reopened, key = recovery(b)
        print("recovery: output open again %.0f ms after the server's return, a key then sounds in %.1f ms: "
              "%.0f ms (goal <= 1000 ms)" % (reopened * 1000, key * 1000, (reopened + key) * 1000))
        b.stop_qksonnerix()
        b.start_qksonnerix(loop=True)
        play_cpu = playback_cost(b)
        print("playback, 10 s of a looped tone: player %.3f s CPU, %.2f %% of a core (goal < 1 %%)"
              % (play_cpu, play_cpu * 10))
        r["playback"] = play_cpu
        if kind == "pipewire":
            alone_playing, alone_idle, shared_playing, shared_idle, firsts = quantum_figures(b)
            print("graph quantum (pw-top's driver line: state, frames): alone, playing %s %d, idle %s (the graph "
                  "stops); with another program at 1024, idle %s %d, playing %s %d"
                  % (alone_playing[0], alone_playing[1], alone_idle[0], shared_idle[0], shared_idle[1],
                     shared_playing[0], shared_playing[1]))
            print("  first keys after idle with the graph at 1024 (for the key it runs at %d): " % shared_playing[1]
                  + stats_line("F1", firsts))
            r["quantum"] = (alone_playing, alone_idle, shared_playing, shared_idle)
            r["firsts"] = firsts
        ob, os_, cb, cs = loop_under_load(b)
        print("dropouts under load (stress-ng --cpu 2), 60 s of a looped 375 Hz sine: %d breaks (goal: 0)%s"
              % (len(ob), (": at " + break_report(ob, os_)) if ob else ""))
        if cb is not None:
            print("  recording chain check: paplay of the same loop, 200 ms buffer, the sink held at 3 ms, same load, "
                  "20 s: %d breaks (must be 0 for the figure above to be the player's)%s"
                  % (len(cb), (": at " + break_report(cb, cs)) if cb else ""))
        r["breaks"] = len(ob)
        r["sync"] = (statistics.median(gaps), max(gaps))
    finally:
        b.stop()


def remote_to_sound(exe, count=50):
    """Key, OSC message and MIDI note to the first sound at the monitor, on one server."""
    sys.path.insert(0, os.path.join(HERE, "..", "tests", "remote"))
    from remote_test import Jack, Peer, free_port, osc_message  # noqa: E402
    peer_exe = os.path.join(os.path.dirname(exe), "qk_jack_midi_peer")
    if not os.path.exists(peer_exe):
        raise SystemExit("%s is missing: build the tests (cmake --build build)" % peer_exe)
    b = Bench(exe)
    jack = peer = None
    try:
        b.start()
        jack = Jack(b.desktop.root)
        peer = Peer(peer_exe, jack.env, "qk-bench-peer")
        d = b.desktop
        d.write_ini(["[QK_Pex]", "Lock=0", "Sync=0", "Loop=0", "Auto=0", "Notify=0", "Rehearse=0", "X=40",
                     "Y=40", "W=640", "H=420", "Wave1=" + dos_path(b.sample)])
        port = free_port()
        env = b.pulse.client_env(d.env)
        env.update({"SDL_AUDIODRIVER": "pulseaudio", "JACK_DEFAULT_SERVER": jack.name})
        b.err_path = os.path.join(d.root, "player.err")
        d.player = subprocess.Popen([d.exe, "--osc", str(port), "--midi-connect", "qk-bench-peer"], env=env,
                                    cwd=d.home, stdout=subprocess.DEVNULL, stderr=open(b.err_path, "ab"))
        b.player = d.player
        b.our_window = d.find_window("QK Sonnerix")
        d.focus(b.our_window)
        wait_for("the player's MIDI input connected", lambda: any(
            p.startswith("QK Sonnerix") for p in jack.connections().get("qk-bench-peer:midi_out", [])), timeout=20)
        sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        play, stop = osc_message("/qk/slot/1/play"), osc_message("/qk/stop")

        def by_osc():
            t0 = time.monotonic()
            sock.sendto(play, ("127.0.0.1", port))
            return t0

        def by_midi():
            before = len([x for x in peer.read() if x.startswith("sent ")])
            peer.send(0x90, 36, 100)
            sent = wait_for("the note sent", lambda: [x for x in peer.read() if x.startswith("sent ")][before:],
                            timeout=10, interval=0.001)
            return int(sent[0].split()[1]) / 1e9

        def by_key():
            return b.key("F1")

        def measure(start, n):
            out = []
            for _ in range(n):
                b.wait_quiet()
                mark = b.monitor.mark()
                t0 = start()
                t1 = b.monitor.wait_for_sound(mark, timeout=10)
                out.append((t1 - t0) * 1000)
                sock.sendto(stop, ("127.0.0.1", port))
            return out
        for f in (by_key, by_osc, by_midi):
            measure(f, 2)  # warm
        keys, osc, midi = [], [], []
        for r in range(5):  # in turns, so that the machine's other work weighs on all alike
            keys += measure(by_key, count // 5)
            osc += measure(by_osc, count // 5)
            midi += measure(by_midi, count // 5)
        return keys, osc, midi
    finally:
        if peer:
            peer.stop()
        if jack:
            jack.stop()
        b.stop()


def print_remote(exe):
    keys, osc, midi = remote_to_sound(exe)
    print("remote input to sound, PulseAudio null sink at 48 kHz, 5 rounds taking turns (%s)" % exe)
    print("  " + stats_line("key (F1, XTest)", keys))
    for name, v in (("OSC /qk/slot/1/play (UDP)", osc), ("MIDI note 36 (JACK MIDI, dummy driver)", midi)):
        print("  " + stats_line(name, v) + " (goal: within 1 ms of the key's: median %+.1f ms, p95 %+.1f ms)"
              % (statistics.median(v) - statistics.median(keys), percentile(v, 95) - percentile(keys, 95)))


def main():
    args = [a for a in sys.argv[1:] if a != "--remote"]
    if "--remote" in sys.argv[1:]:
        print_remote(os.path.abspath(args[0] if args else os.path.join(HERE, "..", "build", "qksonnerix")))
        return
    kinds = []
    while "--server" in args:
        i = args.index("--server")
        if i + 1 >= len(args):
            raise SystemExit("--server needs pulse, pipewire or jack")
        kinds += [k for k in args[i + 1].split(",") if k]
        del args[i:i + 2]
    kinds = kinds or list(SERVERS)
    if "--pipewire-output" in args:
        i = args.index("--pipewire-output")
        if i + 1 >= len(args) or args[i + 1] not in ("pipewire", "pulse"):
            raise SystemExit("--pipewire-output needs pipewire or pulse")
        OUTPUTS["pipewire"] = args[i + 1]
        del args[i:i + 2]
    for k in kinds:
        if k not in SERVERS:
            raise SystemExit("no server %r: pulse, pipewire or jack" % k)
    exe = os.path.abspath(args[0] if args else os.path.join(HERE, "..", "build", "qksonnerix"))
    setup_bench()
    print("QK Sonnerix sound benchmark (%s)" % exe)
    print("load average at start: %.2f %.2f %.2f (other work on this machine makes the figures noisy)"
          % os.getloadavg())
    results = {}
    for kind in kinds:
        run_server(exe, kind, results)
    print("== summary (medians; key to sound in ms, CPU in s per 10 s)")
    for kind in kinds:
        r = results.get(kind, {})
        ks = r.get("keys")
        if not ks:
            continue
        line = "%-10s key median %.1f, p95 %.1f, max %.1f" % (SERVERS[kind], statistics.median(ks), percentile(ks, 95),
                                                            max(ks))
        if "ratio" in r:
            line += "; ours/peer %.2f (median), %.2f (p95)" % r["ratio"]
        line += "; idle %.3f (server %.3f); playing %.3f; breaks %d; sync gaps %.1f / %.1f ms" % (
            r["idle"][0], r["idle"][1], r["playback"], r["breaks"], r["sync"][0], r["sync"][1])
        print(line)
    if "pulse" in kinds:
        print_remote(exe)


if __name__ == "__main__":
    main()
