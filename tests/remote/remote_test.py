#!/usr/bin/env python3
"""Remote input, black-box: the real qksonnerix under Xvfb and openbox (sound through SDL's
disk writer), driven by real OSC senders, a JACK MIDI client on a private jackd and X key
grabs, each started here in a temporary folder.

    remote_test.py <qksonnerix> <case> [--peer PATH]

Cases:
  osc          oscsend plays slot 3 and stops; a subscriber gets /qk/playing 0 and the
               twelve labels, then /qk/playing 3, then 0; a release (argument 0) plays
               nothing; a message to 127.0.0.2 (the port is bound to 127.0.0.1) is not
               received; an unknown message gives its stderr line; 3000 malformed
               packets never end the player, which answers afterwards.
  osc_sync     Sync audio on: a stop sent while the play holds the program's thread ends
               the sound at once; the next play then comes.
  box          a loop plays; with the picker open a remote play is not delivered (one
               stderr line for the box), a stop is and the loop ends; after the picker
               closes plays come again; the same with the system menu open.
  midi         a private jackd (dummy driver) and a JACK MIDI client of our own (--peer),
               connected by --midi-connect: note 38 plays slot 3 and the feedback port
               sends note-on 38; a velocity-0 note-on does nothing; note 48 stops (note-off
               38); program change 4 plays slot 5.
  global_keys  --global-keys super under openbox with another program's window focused
               (xmessage): Super+F3 plays slot 3, once; with Num Lock on Super+F4 plays slot
               4; with the player focused Super+F5 plays slot 5 once; a key openbox holds
               (Super+F1) gives its stderr line; ctrl+alt is warned of (console switching).
  wayland      under SDL's native Wayland driver (weston nested in the X server) there is
               no global grab: one stderr line says so, and OSC still works.
  options      options.conf keeps "osc = PORT" (with a malformed line, an unknown option
               and a bad value, each told whole): the player listens there; the
               environment (QKSONNERIX_OSC) wins over the file, the command line over both.

Exit code 0 passes, anything else fails (a missing tool fails too: scripts/setup.sh
installs them all). Every wait is on a condition, with a time limit that only fails it.
"""
import os
import random
import shutil
import socket
import struct
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "desktop"))
sys.path.insert(0, os.path.join(HERE, "..", "pulse"))

from desktop_test import (RATE, SIGNATURE, Desktop, Failure, audio_frames, check, dos_path, make_samples,  # noqa: E402
                          open_system_menu, picker_point, run_case, square_wav, wait_for)
from jacklib import check_started  # noqa: E402
from pulselib import PulseError  # noqa: E402

PICKER = "Pick WAV-file to assign..."


# ---------------------------------------------------------------- OSC by hand (the subscriber)

def osc_string(s):
    b = s.encode() + b"\0"
    return b + b"\0" * (-len(b) % 4)


def osc_message(path, *args):
    tags, data = ",", b""
    for a in args:
        if isinstance(a, int):
            tags, data = tags + "i", data + struct.pack(">i", a)
        elif isinstance(a, float):
            tags, data = tags + "f", data + struct.pack(">f", a)
        else:
            tags, data = tags + "s", data + osc_string(a)
    return osc_string(path) + osc_string(tags) + data


def osc_parse(packet):
    def string(at):
        end = packet.index(b"\0", at)
        return packet[at:end].decode(), (end + 4) & ~3
    path, at = string(0)
    tags, at = string(at)
    args = []
    for t in tags[1:]:
        if t == "i":
            args.append(struct.unpack_from(">i", packet, at)[0])
            at += 4
        elif t == "s":
            v, at = string(at)
            args.append(v)
        else:
            raise Failure("an answer with type %r: %r" % (t, packet))
    return (path, args)


class Subscriber:
    """A UDP socket of its own on 127.0.0.1 that subscribes and keeps what comes."""

    def __init__(self, port, host="127.0.0.1"):
        self.port, self.host = port, host
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.sock.bind(("127.0.0.1", 0))
        self.sock.setblocking(False)
        self.got = []

    def send(self, path, *args, to=None):
        self.sock.sendto(osc_message(path, *args), (to or self.host, self.port))

    def take(self):
        while True:
            try:
                data, _ = self.sock.recvfrom(65536)
            except BlockingIOError:
                return self.got
            self.got.append(osc_parse(data))

    def subscribe(self, timeout=30):
        """Subscribes (again every half second until the player answers); gives the first answer."""
        last = [0.0]

        def answered():
            if time.monotonic() - last[0] > 0.5:
                self.send("/qk/subscribe")
                last[0] = time.monotonic()
            got = self.take()
            return len(got) >= 13 and got
        got = wait_for("the subscription's answer", answered, timeout=timeout)
        return got[:13]

    def wait_playing(self, n, since):
        """Waits for /qk/playing n after the first `since` messages; gives its index."""
        def seen():
            got = self.take()
            for i in range(since, len(got)):
                if got[i] == ("/qk/playing", [n]):
                    return i + 1
            return None
        return wait_for("/qk/playing %d" % n, seen, timeout=15)

    def playing_since(self, since):
        return [m[1][0] for m in self.take()[since:] if m[0] == "/qk/playing"]


def free_port():
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def port_free(port, host="127.0.0.1"):
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    try:
        s.bind((host, port))
        return True
    except OSError:
        return False
    finally:
        s.close()


# ---------------------------------------------------------------- the desktop and the player

class RemoteDesktop(Desktop):
    def start_player(self, args=(), env_extra=None):
        env = dict(self.env)
        env.update({"QKSONNERIX_SCALE": "1", "SDL_AUDIODRIVER": "disk", "SDL_DISKAUDIOFILE": self.audio_file})
        for k in list(env):
            if k.startswith("QKSONNERIX_") and k != "QKSONNERIX_SCALE":
                env.pop(k)  # the player's own defaults, whatever the caller's environment holds
        env.update(env_extra or {})
        if os.path.exists(self.audio_file):
            os.unlink(self.audio_file)
        self.launch([self.exe] + list(args), env)

    def player_log(self):
        try:
            return "stderr: %s" % self.stderr_lines()[-12:]
        except OSError:
            return ""


def settings(d, slots, sync=0, loop=0, seconds=5.0):
    lines = []
    for n in slots:
        path = os.path.join(d.home, "sounds", "slot%d.wav" % n)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        square_wav(path, SIGNATURE[n], seconds)
        lines.append("Wave%d=%s" % (n + 1, dos_path(path)))
    d.write_ini(["[QK_Pex]", "Lock=0", "Sync=%d" % sync, "Loop=%d" % loop, "Auto=0", "Notify=0", "Rehearse=0",
                 "X=40", "Y=40", "W=640", "H=420"] + lines)


def label(d, n, slots):
    return ("Slot%d" % n) if n in slots else "< empty >"


def sounding(d, n, since=0):
    """Waits for slot n's sound at the device after frame `since`; gives where it starts."""
    def found():
        s = audio_frames(d)
        return next((i for i in range(since, len(s)) if abs(abs(s[i]) - SIGNATURE[n]) <= 2), None)
    return wait_for("slot %d at the device" % n, found, timeout=15)


def silent_after(d, since):
    """Waits until the device has been silent for a fifth of a second after its last sound
    past `since`; gives the frame count then."""
    def quiet():
        s = audio_frames(d)
        last = max((i for i in range(since, len(s)) if s[i]), default=since)
        return len(s) if len(s) - last > RATE // 5 else None
    return wait_for("silence at the device", quiet, timeout=15)


def frames_of(d, n, since=0, upto=None):
    s = audio_frames(d)[since:upto]
    return sum(1 for v in s if abs(abs(v) - SIGNATURE[n]) <= 2)


def oscsend(d, port, path, *args, host="127.0.0.1"):
    typed = []
    for a in args:
        typed += (["i", str(a)] if isinstance(a, int) else ["f", repr(a)] if isinstance(a, float) else ["s", a])
    types = "".join(typed[0::2])
    cmd = ["oscsend", host, str(port), path] + ([types] + typed[1::2] if args else [])
    d.run(cmd)


# ---------------------------------------------------------------- cases

def case_osc(d):
    slots = [2, 4]
    settings(d, slots)
    port = free_port()
    d.start_player(["--osc", str(port)])
    d.find_window("QK Sonnerix")
    sub = Subscriber(port)
    first = sub.subscribe()
    want = [("/qk/playing", [0])] + [("/qk/slot/%d/label" % (n + 1), [label(d, n, slots)]) for n in range(12)]
    check(first == want, "the subscription's answer: %r" % first)
    mark = len(sub.take())

    oscsend(d, port, "/qk/slot/3/play")
    at = sounding(d, 2)
    sub.wait_playing(3, mark)
    # A button's release does nothing; the stop that follows does.
    oscsend(d, port, "/qk/slot/4/play", 0)
    oscsend(d, port, "/qk/slot/4/play", 0.0)
    oscsend(d, port, "/qk/stop")
    sub.wait_playing(0, mark)
    end = silent_after(d, at)
    # Sent to 127.0.0.2, which the port (bound to 127.0.0.1) does not take, then a play
    # that it does take: only the second is heard of.
    sub.send("/qk/slot/4/play", 1, to="127.0.0.2")
    oscsend(d, port, "/qk/slot/5/play", 1.0)
    sounding(d, 4, end)
    sub.wait_playing(5, mark)
    oscsend(d, port, "/qk/stop", 1)
    n = sub.wait_playing(0, sub.wait_playing(5, mark))
    check(sub.playing_since(mark) == [3, 0, 5, 0], "/qk/playing came as %r" % sub.playing_since(mark))
    silent_after(d, end)
    check(frames_of(d, 3) == 0, "slot 4, released or sent elsewhere, was heard")

    # An unknown message is told on stderr, once.
    sub.send("/qk/nothing", 1)
    told = "qksonnerix: OSC on 127.0.0.1:%d left out an unknown message /qk/nothing from 127.0.0.1:%d" % (
        port, sub.sock.getsockname()[1])
    d.wait_line(told)

    # Packets of every malformed kind, and random bytes; the player lives on and answers.
    rng = random.Random(23)
    blast = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    valid = osc_message("/qk/slot/3/label", "x" * 40)
    started = time.monotonic()
    for i in range(3000):
        kind = i % 6
        if kind == 0:
            p = bytes(rng.randrange(256) for _ in range(rng.randrange(0, 200)))
        elif kind == 1:
            p = valid[:rng.randrange(len(valid))]
        elif kind == 2:
            p = b"#bundle\0" + bytes(8) + struct.pack(">I", rng.randrange(1 << 32)) + bytes(rng.randrange(40))
        elif kind == 3:
            p = osc_string("/qk/stop") + osc_string("," + "".join(rng.choice("ifsbhtdcSmTFNI[]") for _ in range(30)))
        elif kind == 4:
            p = b"#bundle\0" + bytes(8) + (struct.pack(">I", 16) + b"#bundle\0" + bytes(8)) * 3
        else:
            p = b"/qk/slot/" + bytes(rng.randrange(1, 256) for _ in range(rng.randrange(60))) + b"\0\0\0\0,\0\0\0"
        blast.sendto(p, ("127.0.0.1", port))
    blast.close()
    d.alive()
    sub.got = []
    again = sub.subscribe()
    check(again == want, "after the packets the subscription's answer is %r" % again)
    lines = [line for line in d.stderr_lines() if line.startswith("qksonnerix: OSC on")]
    allowed = 2 + int((time.monotonic() - started) / 10)
    check(len(lines) <= allowed, "%d stderr lines about OSC in %.0f s: %r" % (
        len(lines), time.monotonic() - started, lines[:5]))
    d.quit()
    del n


def case_osc_sync(d):
    settings(d, [2, 3], sync=1)
    port = free_port()
    d.start_player(["--osc", str(port)])
    d.find_window("QK Sonnerix")
    sub = Subscriber(port)
    sub.subscribe()
    oscsend(d, port, "/qk/slot/3/play")
    at = sounding(d, 2)
    sub.wait_playing(3, 0)
    # The program's thread waits for the end of the 5 s sound; the stop ends it now.
    oscsend(d, port, "/qk/stop")
    end = silent_after(d, at)
    heard = frames_of(d, 2)
    check(heard < 3 * RATE, "the synchronous sound went on for %.1f s after the stop" % (heard / RATE))
    # The play returned: the next one comes.
    oscsend(d, port, "/qk/slot/4/play")
    sounding(d, 3, end)
    oscsend(d, port, "/qk/stop")
    d.quit()


def case_box(d):
    slots = [0, 1]
    settings(d, slots, loop=1, seconds=1.0)
    port = free_port()
    d.start_player(["--osc", str(port)])
    main = d.find_window("QK Sonnerix")
    d.focus(main)
    sub = Subscriber(port)
    sub.subscribe()
    oscsend(d, port, "/qk/slot/1/play")
    at = sounding(d, 0)
    sub.wait_playing(1, 0)

    # The picker is up: a play is not delivered, a stop is.
    d.click(*picker_point(d, main), button=3)
    picker = d.find_window(PICKER.replace(".", "\\."))
    mark = len(sub.take())
    oscsend(d, port, "/qk/slot/2/play")
    told = 'qksonnerix: remote plays are not taken while "%s" is open; a stop still is' % PICKER
    d.wait_line(told)
    oscsend(d, port, "/qk/stop")
    sub.wait_playing(0, mark)
    end = silent_after(d, at)
    oscsend(d, port, "/qk/slot/2/play")
    oscsend(d, port, "/qk/slot/2/play")
    d.focus(picker)
    d.key("Escape")
    wait_for("the picker to go", lambda: not d.run(["xdotool", "search", "--onlyvisible", "--name", "^Pick WAV"],
                                                 check_rc=False).strip(), timeout=15)
    check(d.stderr_lines().count(told) == 1, "the line about the picker came %d times" % d.stderr_lines().count(told))
    check(frames_of(d, 1) == 0, "slot 2 was heard while the picker was open")
    check(sub.playing_since(mark) == [0], "/qk/playing under the picker: %r" % sub.playing_since(mark))

    # Gone: plays come again.
    oscsend(d, port, "/qk/slot/2/play")
    sounding(d, 1, end)
    sub.wait_playing(2, mark)

    # The system menu is up: the same.
    open_system_menu(d, main)
    mark = len(sub.take())
    oscsend(d, port, "/qk/slot/1/play")
    d.wait_line("qksonnerix: remote plays are not taken while the system menu is open; a stop still is")
    oscsend(d, port, "/qk/stop")
    sub.wait_playing(0, mark)
    after = silent_after(d, end)
    d.key("Escape")
    wait_for("the system menu to go", lambda: not d.run(
        ["xdotool", "search", "--onlyvisible", "--name", "^System menu$"], check_rc=False).strip(), timeout=10)
    check(sub.playing_since(mark) == [0], "/qk/playing under the menu: %r" % sub.playing_since(mark))
    oscsend(d, port, "/qk/slot/1/play")
    sounding(d, 0, after)
    d.alive()
    d.quit()


class Jack:
    """A private jackd with the dummy driver, under a server name of its own."""

    def __init__(self, root):
        self.name = "qk-remote-%d" % os.getpid()
        self.env = dict(os.environ, JACK_DEFAULT_SERVER=self.name, JACK_NO_AUDIO_RESERVATION="1")
        log = os.path.join(root, "jackd.log")
        self.log = open(log, "wb")
        self.proc = subprocess.Popen(["jackd", "-n", self.name, "--no-realtime", "-d", "dummy", "-r", "48000",
                                      "-p", "128"], env=self.env, stdout=self.log, stderr=self.log)
        r = subprocess.run(["jack_wait", "-s", self.name, "-w", "-t", "20"], env=self.env, stdout=subprocess.PIPE,
                           stderr=subprocess.STDOUT, timeout=30)
        try:
            check_started(self.proc, open(log, errors="replace").read()[-1500:])
        except PulseError as e:
            raise Failure(str(e))
        check(r.returncode == 0, "jackd did not start: %r" % r.stdout)

    def connections(self):
        r = subprocess.run(["jack_lsp", "-s", self.name, "-c"], env=self.env, stdout=subprocess.PIPE,
                           stderr=subprocess.DEVNULL, timeout=15)
        out, port = {}, None
        for line in r.stdout.decode(errors="replace").splitlines():
            if line.startswith(" ") or line.startswith("\t"):
                out.setdefault(port, []).append(line.strip())
            else:
                port = line.strip()
                out.setdefault(port, [])
        return out

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()


class Peer:
    """tests/remote/jack_midi_peer.cpp: sends what it is told, tells what it hears."""

    def __init__(self, exe, env, name="qk-peer"):
        self.proc = subprocess.Popen([exe, name], env=env, stdin=subprocess.PIPE, stdout=subprocess.PIPE, bufsize=0)
        os.set_blocking(self.proc.stdout.fileno(), False)
        self.buffer = b""
        self.lines = []
        wait_for("the MIDI peer", lambda: "ready" in self.read(), timeout=20)

    def read(self):
        if self.proc.poll() is not None and not self.buffer:
            raise Failure("the MIDI peer ended (%s)" % self.proc.returncode)
        try:
            chunk = self.proc.stdout.read()
        except BlockingIOError:
            chunk = None
        if chunk:
            self.buffer += chunk
            *whole, self.buffer = self.buffer.split(b"\n")
            self.lines += [w.decode() for w in whole]
        return self.lines

    def send(self, *data):
        self.proc.stdin.write(("send " + " ".join("%02x" % b for b in data) + "\n").encode())

    def heard(self):
        return [line for line in self.read() if line.startswith("in ")]

    def wait_heard(self, line, count=1):
        wait_for("the peer to hear %r" % line, lambda: self.heard().count(line) >= count, timeout=15)

    def stop(self):
        if self.proc.poll() is None:
            try:
                self.proc.stdin.write(b"quit\n")
                self.proc.wait(timeout=10)
            except (BrokenPipeError, subprocess.TimeoutExpired):
                self.proc.kill()
                self.proc.wait()


def case_midi(d, peer_exe):
    slots = [2, 4]
    settings(d, slots)
    jack = Jack(d.root)
    peer = None
    try:
        peer = Peer(peer_exe, jack.env)
        d.start_player(["--midi-connect", "qk-peer"], {"JACK_DEFAULT_SERVER": jack.name})
        d.find_window("QK Sonnerix")

        def connected():
            c = jack.connections()
            ours_in = [p for p in c.get("qk-peer:midi_out", []) if p.startswith("QK Sonnerix")]
            ours_out = [p for p in c.get("qk-peer:midi_in", []) if p.startswith("QK Sonnerix")]
            return ours_in and ours_out and (ours_in, ours_out)
        ins, outs = wait_for("the player's ports connected to the peer", connected, timeout=20)
        check(ins == ["QK Sonnerix:QK Sonnerix"] and outs == ["QK Sonnerix feedback:QK Sonnerix feedback"],
              "connected as %r and %r" % (ins, outs))

        peer.send(0x90, 38, 100)
        at = sounding(d, 2)
        peer.wait_heard("in 90 26 7f")
        peer.send(0x90, 40, 0)     # a note-off in note-on's clothes: nothing
        peer.send(0x99, 48, 64)    # the stop note, on channel 10
        peer.wait_heard("in 80 26 00")
        end = silent_after(d, at)
        peer.send(0xC4, 4)         # program change 4: slot 5
        sounding(d, 4, end)
        peer.wait_heard("in 90 28 7f")
        peer.send(0x90, 48, 1)
        peer.wait_heard("in 80 28 00")
        silent_after(d, end)
        check(peer.heard() == ["in 90 26 7f", "in 80 26 00", "in 90 28 7f", "in 80 28 00"],
              "the feedback port sent %r" % peer.heard())
        check(frames_of(d, 3) == 0, "the velocity-0 note played")
        d.quit()
    finally:
        if peer:
            peer.stop()
        if d.player and d.player.poll() is None:  # a failed case: no client left when jackd ends
            d.player.kill()
            d.player.wait()
        jack.stop()


def openbox_config(d):
    """openbox's own configuration without its Super+F2 to F4 (kept: Super+F1)."""
    with open("/etc/xdg/openbox/rc.xml") as f:
        rc = f.read()
    for key in ("W-F2", "W-F3", "W-F4"):
        start = rc.index('<keybind key="%s">' % key)
        rc = rc[:start] + rc[rc.index("</keybind>", start) + len("</keybind>"):]
    path = os.path.join(d.root, "openbox-rc.xml")
    with open(path, "w") as f:
        f.write(rc)
    return path


def num_lock_on(d):
    out = d.run(["xset", "q"])
    check("Num Lock:" in out, "xset q does not tell Num Lock: %r" % out[:300])
    return "Num Lock:    on" in out


def case_global_keys(d):
    slots = [2, 3, 4, 5]
    settings(d, slots, sync=1, seconds=0.3)
    once = int(0.3 * RATE)
    d.start_player(["--global-keys", "super"])
    main = d.find_window("QK Sonnerix")
    d.wait_line("qksonnerix: Super+F1 is already taken by another program; it stays with it")
    other = subprocess.Popen(["xmessage", "-title", "Another program", "-geometry", "300x100+600+500",
                              "another program has the focus"], env=d.env, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL)
    d.procs.append(other)
    mine, d.player = d.player, other
    try:
        window = d.find_window("Another program")
    finally:
        d.player = mine
    d.focus(window)

    def played_once(n, since):
        at = sounding(d, n, since)
        end = silent_after(d, at)
        got = frames_of(d, n, since)
        check(abs(got - once) <= 2, "slot %d sounded %d frames, not %d (once)" % (n + 1, got, once))
        return end

    d.key("super+F3")
    end = played_once(2, 0)
    check(d.run(["xdotool", "getwindowfocus"]).strip() == window, "the focus left the other program")
    d.key("Num_Lock")
    wait_for("Num Lock on", lambda: num_lock_on(d), timeout=10)
    d.key("super+F4")
    end = played_once(3, end)
    d.key("Num_Lock")
    wait_for("Num Lock off", lambda: not num_lock_on(d), timeout=10)
    # The player itself has the focus: the grabbed key plays once, and so does a plain key.
    d.focus(main)
    d.key("super+F5")
    end = played_once(4, end)
    d.key("F6")
    played_once(5, end)
    taken = [line for line in d.stderr_lines() if "already taken" in line]
    check(taken == ["qksonnerix: Super+F1 is already taken by another program; it stays with it"],
          "the keys told as taken: %r" % taken)
    d.quit()
    # Keys the system keeps for itself are warned of.
    d.start_player(["--global-keys", "ctrl+alt"])
    d.find_window("QK Sonnerix")
    d.wait_line("qksonnerix: Ctrl+Alt+F1 to F12 switch the system's consoles on Linux, before any program sees "
                "them; choose other --global-keys")
    d.quit()


def case_wayland(d):
    """Under SDL's native Wayland driver (weston, nested in the X server) there is no global
    grab: the player says so once and runs on."""
    settings(d, [0])
    socket_name = "qk-wayland"
    d.start_compositor(socket_name)
    port = free_port()
    d.start_player(["--global-keys", "super", "--osc", str(port)],
                   {"DISPLAY": "", "WAYLAND_DISPLAY": socket_name, "SDL_VIDEODRIVER": "wayland"})
    Subscriber(port).subscribe()  # up, with the rest of its remote input
    said = ("qksonnerix: no global keys under Wayland, where a program cannot take keys from the others; run the "
            "player through XWayland (without SDL_VIDEODRIVER=wayland), or bind keys in the desktop's own shortcut "
            "settings to OSC commands (see the manual page)")
    lines = [line for line in d.stderr_lines() if line.startswith("qksonnerix:")]
    check(lines == [said], "stderr under Wayland: %r" % lines)
    d.quit()


def case_options(d):
    settings(d, [0])
    p1, p2, p3 = free_port(), free_port(), free_port()
    while len({p1, p2, p3}) < 3:
        p2, p3 = free_port(), free_port()
    path = os.path.join(d.config, "qksonnerix", "options.conf")
    with open(path, "w") as f:
        f.write("# the show's remote\nosc = %d\nthis is not an option\ncolour = blue\nmidi-first-note = abc\n" % p1)
    told = ['qksonnerix: %s:3: "this is not an option" is not "name = value"; left out' % path,
            'qksonnerix: %s:4: unknown option "colour"; left out' % path,
            "qksonnerix: %s:5: midi-first-note = abc: not a note number from 0 to 116 (the first of twelve); left out"
            % path]
    runs = [([], {}, p1), ([], {"QKSONNERIX_OSC": str(p2)}, p2), (["--osc", str(p3)], {"QKSONNERIX_OSC": str(p2)}, p3)]
    for args, env, port in runs:
        d.start_player(args, env)
        d.find_window("QK Sonnerix")
        Subscriber(port).subscribe()
        for other in {p1, p2, p3} - {port}:
            check(port_free(other), "port %d is taken too (%s, %s)" % (other, args, env))
        lines = [line for line in d.stderr_lines() if line.startswith("qksonnerix:")]  # not SDL's disk writer
        check(lines == told, "stderr with %s %s: %r" % (args, env, lines))
        d.quit()


CASES = {"osc": case_osc, "osc_sync": case_osc_sync, "box": case_box, "midi": case_midi,
         "global_keys": case_global_keys, "wayland": case_wayland, "options": case_options}


def main():
    args = sys.argv[1:]
    peer = None
    if len(args) >= 2 and args[-2] == "--peer":
        peer = os.path.abspath(args[-1])
        args = args[:-2]
    if len(args) != 2 or args[1] not in CASES or (args[1] == "midi" and not peer):
        print(__doc__)
        return 2
    for tool in ("Xvfb", "openbox", "xdotool", "xprop", "oscsend", "jackd", "jack_wait", "jack_lsp", "xmessage",
                 "xset", "weston"):
        if not shutil.which(tool):
            print("FAILED: %s is not installed (scripts/setup.sh installs it)" % tool)
            return 1
    d = RemoteDesktop(os.path.abspath(args[0]))
    if args[1] == "global_keys":
        d.wm_args = ["--config-file", openbox_config(d)]
    run = (lambda d: case_midi(d, peer)) if args[1] == "midi" else CASES[args[1]]
    return run_case(d, run, args[1])


if __name__ == "__main__":
    sys.exit(main())
