"""A private PulseAudio server for tests and benchmarks, and a recorder of its sinks' monitors.

The server runs from a folder of its own (socket, runtime and state folders, cookie),
with null sinks only, and never touches the user's sound setup: clients are pointed at
it through PULSE_SERVER and a client configuration that forbids autospawning another
server. It runs as the calling user; as root (CI) pulseaudio only warns that it is meant
for ordinary users, which does not matter for a private server with a private socket.
"""
import array
import math
import os
import signal
import struct
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "desktop"))
from desktop_test import wait_for  # noqa: E402


class PulseError(Exception):
    pass


class ServerProcess:
    """A sound server the tests started: self.proc, its log in self.root/server.log."""

    def kill(self):
        """Kills the server at once (SIGKILL), as a crash would."""
        if self.proc and self.proc.poll() is None:
            self.proc.send_signal(signal.SIGKILL)
            self.proc.wait()

    def stop(self):
        if self.proc and self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.kill()

    def server_log(self):
        try:
            with open(os.path.join(self.root, "server.log"), "rb") as f:
                return f.read().decode(errors="replace")[-1500:]
        except OSError:
            return ""


class PulseServer(ServerProcess):
    """pulseaudio -n with the given null sinks: (name, description, rate), the first the default."""

    def __init__(self, root, sinks=(("qk_main", "QK Main Output", 48000),), program="pulseaudio"):
        self.root = os.path.join(root, "pulse")
        self.sinks = list(sinks)
        self.program = program
        self.socket = os.path.join(self.root, "native")
        self.proc = None
        self.log = None
        for d in ("runtime", "state", "home"):
            os.makedirs(os.path.join(self.root, d), exist_ok=True)
        self.client_conf = os.path.join(self.root, "client.conf")
        with open(self.client_conf, "w") as f:
            f.write("autospawn = no\n")
        self.script = os.path.join(self.root, "server.pa")
        with open(self.script, "w") as f:
            for name, description, rate in self.sinks:
                f.write("load-module module-null-sink sink_name=%s rate=%d sink_properties='device.description=\"%s\"'\n"
                        % (name, rate, description))
            f.write("load-module module-native-protocol-unix auth-anonymous=1 socket=%s\n" % self.socket)
            f.write("set-default-sink %s\n" % self.sinks[0][0])

    def client_env(self, env=None):
        """env (or os.environ) with everything a client needs to reach this server only."""
        e = dict(os.environ if env is None else env)
        e.update({"PULSE_SERVER": "unix:" + self.socket, "PULSE_CLIENTCONFIG": self.client_conf,
                  "PULSE_RUNTIME_PATH": os.path.join(self.root, "runtime"),
                  "PULSE_STATE_PATH": os.path.join(self.root, "state"),
                  "DBUS_SESSION_BUS_ADDRESS": "disabled:"})
        e.pop("PULSE_SINK", None)
        return e

    def start(self):
        env = self.client_env()
        env.update({"HOME": os.path.join(self.root, "home"), "XDG_RUNTIME_DIR": os.path.join(self.root, "runtime"),
                    "XDG_CONFIG_HOME": os.path.join(self.root, "home")})
        env.pop("DISPLAY", None)  # no X11 modules, no D-Bus launched through X
        env.pop("PULSE_SERVER", None)
        self.log = open(os.path.join(self.root, "server.log"), "ab")
        if self.program == "pulseaudio":
            args = ["pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--log-target=stderr",
                    "--use-pid-file=no", "-F", self.script]
        else:
            args = [self.program]
        self.proc = subprocess.Popen(args, env=env, stdout=self.log, stderr=self.log)
        wait_for("the sound server", self.ready, timeout=30, interval=0.01)
        return time.monotonic()

    def ready(self):
        if self.proc.poll() is not None:
            raise PulseError("the sound server ended: " + self.server_log())
        return self.pactl(["info"], check=False) is not None

    def kill(self):
        ServerProcess.kill(self)
        if os.path.exists(self.socket):
            os.unlink(self.socket)

    def pactl(self, args, check=True):
        r = subprocess.run(["pactl"] + args, env=self.client_env(), stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                           timeout=15)
        if r.returncode != 0:
            if check:
                raise PulseError("pactl %s: %s" % (" ".join(args), r.stderr.decode(errors="replace")))
            return None
        return r.stdout.decode(errors="replace")

    def record_command(self, sink, rate, latency_ms):
        """What records a sink's monitor, as 16-bit stereo on its stdout."""
        return ["parec", "--raw", "--format=s16le", "--channels=2", "--rate=%d" % rate, "--latency-msec=%d" % latency_ms,
                "-d", sink + ".monitor"]

    def sink_inputs(self):
        """The playing streams as dicts: 'sink' (its index), 'spec' (sample specification),
        'corked' ("yes" or "no"), 'props'."""
        out, cur = [], None
        for line in self.pactl(["list", "sink-inputs"]).splitlines():
            s = line.strip()
            if line.startswith("Sink Input #"):
                cur = {"props": {}}
                out.append(cur)
            elif cur is None:
                continue
            elif s.startswith("Sink:"):
                cur["sink"] = s.split(":", 1)[1].strip()
            elif s.startswith("Sample Specification:"):
                cur["spec"] = s.split(":", 1)[1].strip()
            elif s.startswith("Corked:"):
                cur["corked"] = s.split(":", 1)[1].strip()
            elif " = " in s:
                k, v = s.split(" = ", 1)
                cur["props"][k.strip()] = v.strip().strip('"')
        return out

    def sink_spec(self, name):
        """The sample specification of a sink, as pactl prints it."""
        found = False
        for line in self.pactl(["list", "sinks"]).splitlines():
            s = line.strip()
            if s.startswith("Name:"):
                found = s.split(":", 1)[1].strip() == name
            elif found and s.startswith("Sample Specification:"):
                return s.split(":", 1)[1].strip()
        raise PulseError("no sink " + name)

    def sink_index(self, name):
        for line in self.pactl(["list", "short", "sinks"]).splitlines():
            f = line.split("\t")
            if len(f) > 1 and f[1] == name:
                return f[0]
        raise PulseError("no sink " + name)


class Monitor:
    """Records a sink's monitor (16-bit stereo), or on JACK what reaches the player's ports,
    and stamps each chunk with the time it arrived. `command` records another way (anything
    that writes 16-bit stereo to its stdout).

    With keep=True it also keeps every byte it recorded, for a sample-exact look at the sound."""

    def __init__(self, server, sink, rate=48000, latency_ms=2, keep=False, command=None):
        self.rate = rate
        self.chunks = []  # (monotonic time of arrival, peak of the chunk, frames)
        self.lock = threading.Lock()
        self.raw = bytearray() if keep else None
        self.raw_at = []  # with keep: for each chunk, its offset in raw
        self.proc = subprocess.Popen(command or server.record_command(sink, rate, latency_ms), env=server.client_env(),
                                     stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, bufsize=0)
        if hasattr(server, "clients"):
            server.clients.append(self.proc)
        self.thread = threading.Thread(target=self._read, daemon=True)
        self.thread.start()
        wait_for("the monitor recording", lambda: self.chunks or self.proc.poll() is not None, timeout=15)

    def _read(self):
        while True:
            data = self.proc.stdout.read(4 * 64)
            if not data:
                return
            now = time.monotonic()
            a = array.array("h")
            a.frombytes(data[:len(data) // 2 * 2])
            peak = max((abs(v) for v in a), default=0)
            with self.lock:
                if self.raw is not None:
                    self.raw_at.append(len(self.raw))
                    self.raw += data
                self.chunks.append((now, peak, len(data) // 4))

    def frames_since(self, since):
        """With keep: the frames recorded from mark `since` on, as whole frames."""
        with self.lock:
            start = self.raw_at[since] if since < len(self.raw_at) else len(self.raw)
            return frames_of(self.raw[start:])

    def recorded_frames(self, since=0):
        """How many frames arrived after mark `since`."""
        with self.lock:
            return sum(c[2] for c in self.chunks[since:])

    def mark(self):
        with self.lock:
            return len(self.chunks)

    def first_sound(self, since, threshold=200):
        """Arrival time of the first chunk after mark `since` with a peak above threshold, or None."""
        with self.lock:
            for t, peak, _ in self.chunks[since:]:
                if peak > threshold:
                    return t
        return None

    def peaks(self, since=0):
        with self.lock:
            return [p for _, p, _ in self.chunks[since:]]

    def wait_for_sound(self, since, timeout=30.0, threshold=200):
        return wait_for("sound at the monitor", lambda: self.first_sound(since, threshold), timeout=timeout)

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            self.proc.wait()


def frames_of(data, channels=2):
    """16-bit little-endian interleaved bytes as an array of samples, cut to whole frames."""
    a = array.array("h")
    whole = len(data) // (2 * channels) * (2 * channels)
    a.frombytes(bytes(data[:whole]))
    if sys.byteorder == "big":
        a.byteswap()
    return a


def sine_wav(path, rate=48000, period=128, periods=375, amplitude=16384, channels=2):
    """A 16-bit sine of exactly `period` frames per cycle and a whole number of cycles, so
    that looped end to end it never breaks: every sample equals the one a period earlier."""
    cycle = [int(round(amplitude * math.sin(2 * math.pi * n / period))) for n in range(period)]
    one = array.array("h", [v for v in cycle for _ in range(channels)])
    if sys.byteorder == "big":
        one.byteswap()
    data = one.tobytes() * periods
    block = 2 * channels
    header = b"RIFF" + struct.pack("<I", 36 + len(data)) + b"WAVEfmt " + struct.pack(
        "<IHHIIHH", 16, 1, channels, rate, rate * block, block, 16) + b"data" + struct.pack("<I", len(data))
    with open(path, "wb") as f:
        f.write(header + data)


def level_wav(path, height, frames, rate=48000):
    """A 16-bit stereo square wave of the given height and a period of 96 frames: every frame
    of it is +-height, so a recording tells which sound each frame came from."""
    one = array.array("h", [height if (i // 48) % 2 == 0 else -height for i in range(frames) for _ in (0, 1)])
    if sys.byteorder == "big":
        one.byteswap()
    data = one.tobytes()
    header = b"RIFF" + struct.pack("<I", 36 + len(data)) + b"WAVEfmt " + struct.pack(
        "<IHHIIHH", 16, 1, 2, rate, rate * 4, 4, 16) + b"data" + struct.pack("<I", len(data))
    with open(path, "wb") as f:
        f.write(header + data)


def levels_heard(samples, heights, tolerance=100, channels=2):
    """For each height, the first and last frame of an interleaved recording at that height
    (give or take `tolerance`), or None where it was not heard."""
    left = samples[0::channels]
    spans = {}
    for i, v in enumerate(left):
        a = abs(v)
        for h in heights:
            if abs(a - h) <= tolerance:
                first, _ = spans.get(h, (i, i))
                spans[h] = (first, i)
                break
    return [spans.get(h) for h in heights]


def onset(samples, threshold=200, channels=2):
    """The first frame of an interleaved recording with a sample above threshold, or None."""
    for i, v in enumerate(samples):
        if v > threshold or v < -threshold:
            return i // channels
    return None


def loop_breaks(samples, period, start, frames, floor, tolerance=1, channels=2):
    """Where a looped periodic sound breaks, in frames start .. start+frames of an interleaved
    recording: every sample must equal the one `period` frames earlier (give or take
    `tolerance`), and every period must swing past +-floor, so a gap of silence breaks it
    too, however long. A window running past the end of the recording breaks there.

    Gives the breaks as (first frame, last frame), those less than a period apart merged."""
    if start < period:
        raise ValueError("the window must start a period into the recording")
    spans = []
    end = min(start + frames, len(samples) // channels)
    step = period * channels
    block = 1024 * channels
    n, last = start * channels, end * channels
    while n < last:
        m = min(n + block, last)
        if samples[n:m] != samples[n - step:m - step]:  # the exact compare runs in C; look closer only here
            for i in range(n, m):
                d = samples[i] - samples[i - step]
                if d > tolerance or d < -tolerance:
                    spans.append((i // channels, i // channels))
        n = m
    for f in range(start, end, period):
        seg = samples[f * channels:min(f + period, end) * channels]
        if max(seg) < floor or -min(seg) < floor:
            spans.append((f, min(f + period, end) - 1))
    if end < start + frames:
        spans.append((end, start + frames - 1))
    spans.sort()
    breaks = []
    for a, b in spans:
        if breaks and a - breaks[-1][1] <= period:
            breaks[-1][1] = max(breaks[-1][1], b)
        else:
            breaks.append([a, b])
    return [(a, b) for a, b in breaks]
