#!/usr/bin/python3
"""Sound benchmark through a real PulseAudio server (not a test: it prints figures).

The player runs under Xvfb and openbox with a private pulseaudio (a 48 kHz null sink,
recorded at its monitor with parec). Figures:
  - key to sound: from a key event entering the X server (XTest, injected from this
    process) to the first non-silent sample at the sink's monitor; median and p95 over
    50 keys (goal: median <= 8 ms, p95 <= 12 ms);
  - paplay: the same file played by paplay, from its start to its first sample, as a reference;
  - recovery: from the server's return (its socket accepts) to the first key that sounds (goal <= 1 s);
  - idle cost: CPU of the player and of the server over 10 s of idling with the output open
    (goal: player < 0.02 s).
Every figure includes the monitor's own capture latency (parec, 2 ms fragments) in the
same way, so the paplay reference carries the same bias.

    bench/pulse_bench.py [path/to/qksonnerix]      (default: build/qksonnerix)

Each measurement is a function taking a Bench (the desktop, the server, the monitor and
the player), so that another player can be measured by the same functions.
"""
import os
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "desktop"))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "pulse"))

from desktop_test import Desktop, dos_path, square_wav, wait_for  # noqa: E402
from pulselib import Monitor, PulseServer  # noqa: E402
from Xlib import X, XK, display  # noqa: E402
from Xlib.ext import xtest  # noqa: E402


class Bench:
    """Xvfb, openbox, a private pulseaudio with one null sink and its monitor; a player in them."""

    def __init__(self, exe):
        self.desktop = Desktop(exe)
        self.pulse = PulseServer(self.desktop.root, [("qk_main", "QK Main Output", 48000)])
        self.monitor = None
        self.player = None
        self.x = None
        self.sample = os.path.join(self.desktop.home, "sounds", "tone.wav")

    def start(self):
        self.desktop.start()
        self.pulse.start()
        self.monitor = Monitor(self.pulse, "qk_main")
        self.x = display.Display(self.desktop.display)
        os.makedirs(os.path.dirname(self.sample), exist_ok=True)
        square_wav(self.sample, 8000, 0.3)  # loud from its first frame

    def start_qksonnerix(self):
        d = self.desktop
        d.write_ini(["[QK_Pex]", "Lock=0", "Sync=0", "Loop=0", "Auto=0", "Notify=0", "Rehearse=0", "X=40", "Y=40",
                     "W=640", "H=420", "Wave1=" + dos_path(self.sample)])
        env = self.pulse.client_env(d.env)
        env["SDL_AUDIODRIVER"] = "pulseaudio"
        self.err_path = os.path.join(d.root, "player.err")
        d.player = subprocess.Popen([d.exe], env=env, cwd=d.home, stdout=subprocess.DEVNULL,
                                    stderr=open(self.err_path, "wb"))
        self.player = d.player
        window = d.find_window("QK Sonnerix")
        d.focus(window)

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
        if self.monitor:
            self.monitor.stop()
        self.pulse.stop()
        self.desktop.close()


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
        b.key(stop)
    return out


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
    b.monitor = Monitor(b.pulse, "qk_main")
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


def idle_cost(b, seconds=10):
    """CPU seconds of the player and of the server over `seconds` of idling."""
    b.wait_quiet()
    time.sleep(1)
    p0, s0 = cpu_seconds(b.player.pid), cpu_seconds(b.pulse.proc.pid)
    time.sleep(seconds)
    return cpu_seconds(b.player.pid) - p0, cpu_seconds(b.pulse.proc.pid) - s0


def main():
    exe = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "..", "build", "qksonnerix"))
    b = Bench(exe)
    try:
        b.start()
        b.start_qksonnerix()
        print("QK Sonnerix sound benchmark (%s), PulseAudio null sink at 48 kHz" % exe)
        load = os.getloadavg()
        print("load average at start: %.2f %.2f %.2f (other work on this machine makes the figures noisy)" % load)
        ks = key_to_sound(b)
        print("key to sound, %d keys: median %.1f ms, p95 %.1f ms, min %.1f ms, max %.1f ms (goal: median <= 8, "
              "p95 <= 12)" % (len(ks), statistics.median(ks), percentile(ks, 95), min(ks), max(ks)))
        pa = paplay_reference(b)
        print("paplay of the same file, %d runs: median %.1f ms, p95 %.1f ms (reference)"
              % (len(pa), statistics.median(pa), percentile(pa, 95)))
        player_cpu, server_cpu = idle_cost(b)
        print("idle, 10 s with the output open: player %.3f s CPU (goal < 0.02), server %.3f s CPU"
              % (player_cpu, server_cpu))
        for _ in range(3):
            reopened, key = recovery(b)
            print("recovery: output open again %.0f ms after the server's return, a key then sounds in %.1f ms: "
                  "%.0f ms (goal <= 1000 ms)" % (reopened * 1000, key * 1000, (reopened + key) * 1000))
    finally:
        b.stop()


if __name__ == "__main__":
    main()
