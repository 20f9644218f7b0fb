#!/usr/bin/env python3
"""The player on a desktop, black-box: the real qksonnerix executable under Xvfb with a
window manager (openbox), driven by xdotool, in a temporary home of its own.

    desktop_test.py <qksonnerix> <case> [--scale N] [--png FILE]

--scale N runs the player at the whole factor N (QKSONNERIX_SCALE) on a screen N times
1024x768; the cases then work in the player's own 1x pixels (clicks land in the middle of
an enlarged pixel, and every screenshot must be an exact enlargement). --png FILE keeps
the first_start case's screenshot of the main window (the README's picture).

Cases:
  play_and_close   F3 then space: the sound device (SDL's disk writer) gets slot 2's
                   samples, then silence; the system menu's Close (from the caption's
                   icon) ends the program, which keeps Last=2 and its placement.
  missing_sample   a stored sample that is gone: the "WARNING" box shows, Enter answers
                   OK, the key is emptied; the window manager's close (Alt+F4) ends it.
  screenshot       the main window where the settings place it, with its title and icon
                   for the task bar, painted: caption, twelve buttons in four columns and
                   three rows, the status bar.
  picker           a right-click on a button opens the file picker; a name typed and OK
                   assign the file to the slot, which then plays it.
  click_button     clicks in the middle of buttons 7 and 12 play slots 6 and 11 alone.
  scaled_windows   (--scale 2 or more) the "WARNING" box, the main window, its system menu
                   and the file picker are the 1x ones enlarged, pixel for pixel; the
                   settings keep 1x sizes.
  scale_sources    (--scale 3) the factor follows Xft.dpi, GDK_SCALE before it,
                   QKSONNERIX_SCALE before both.
  first_start      the player's first start leaves an existing settings file alone and
                   gives a new one the demo bank that comes with it (beside it in the
                   build tree, in its share folder once installed); the program then
                   writes its option defaults, and F1 plays the bank's first jingle.
  typing           names typed into the picker's name box under a German and a US layout
                   (setxkbmap) reach the settings file in cp1252 and name their files.
  close_picker_stress
                   the picker opened by a right-click and closed by the window manager
                   (wmctrl -c), 40 times (QK_STRESS_ROUNDS), while F1 and F4 keep coming:
                   the player survives without an X error, and a normal close then keeps
                   the placement and Last.

  maximised        the system menu's Maximize: the window lies on the screen, its caption
                   buttons and status bar drawn whole; a click on the drawn close box
                   ends the program, which keeps the restored placement.
  keyboard_move    the system menu's Move and Size from the keyboard alone: the arrows
                   move the window (the pointer with it) and size it, Enter keeps it;
                   the placement kept is the one the keys made.
  wheel            the mouse wheel over the picker's file list scrolls it, three rows a
                   notch: down shows other names, up as far brings the first ones back.
  display_lost     the X server killed under a running player (after a key): it ends
                   with exit code 0, without an abort, and keeps Last and its placement.
  wayland_lost     the player on a Wayland compositor (weston, nested in the X server), no
                   X display of its own: the compositor killed under it, it ends with
                   exit code 0 and keeps its placement and Last, as at a close.
  quit_signals     SIGTERM, SIGINT and SIGHUP, with SDL's own signal handlers off
                   (SDL_NO_SIGNAL_HANDLERS=1) and on: each ends the player as a close
                   does, exit code 0, Last and the placement kept.
  picker_fits      (a small screen, 1280x800 at 2x) a picker that would reach past the
                   screen's bottom is moved into it; one that fits is not moved.
  settings_unsaved the player run by a user who cannot write its settings folder (a
                   read-only folder): the change it makes is not silent, a stderr line and
                   a desktop notification on a private session bus (seen by dbus-monitor)
                   name the file and the reason, once; the file stays as it was.

Exit code 0 passes, 77 skips (a tool is missing), anything else fails. Every wait polls
with a time limit; none is a fixed sleep.
"""
import os
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time

RATE = 44100
SIGNATURE = [1000 * (n + 1) for n in range(12)]  # slot n plays a square wave of this height


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def wait_for(what, probe, timeout=15.0, interval=0.05):
    """Polls probe() until it gives something true; fails after timeout seconds."""
    end = time.monotonic() + timeout
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() > end:
            raise Failure("timed out waiting for " + what)
        time.sleep(interval)


def square_wav(path, height, seconds):
    frames = int(RATE * seconds)
    period = 100
    data = bytearray()
    for i in range(frames):
        data += struct.pack("<h", height if (i // (period // 2)) % 2 == 0 else -height)
    header = b"RIFF" + struct.pack("<I", 36 + len(data)) + b"WAVEfmt " + struct.pack(
        "<IHHIIHH", 16, 1, 1, RATE, RATE * 2, 2, 16) + b"data" + struct.pack("<I", len(data))
    with open(path, "wb") as f:
        f.write(header + bytes(data))


def dos_path(host_path):
    return "Z:" + host_path.replace("/", "\\")


class Desktop:
    """Xvfb, openbox and a temporary home; the player started inside them."""

    def __init__(self, exe, scale=1, screen=(1024, 768)):
        self.exe = exe
        self.screen = screen  # in 1x pixels
        self.scale = scale   # the player's scale factor (QKSONNERIX_SCALE)
        self.shown = scale   # the factor of the player running now
        self.root = tempfile.mkdtemp(prefix="qk-desktop-")
        self.home = os.path.join(self.root, "home")
        self.config = os.path.join(self.root, "config")
        os.makedirs(self.home)
        os.makedirs(os.path.join(self.config, "qksonnerix"))
        self.audio_file = os.path.join(self.root, "audio.raw")
        self.procs = []
        self.player = None
        self.log = None
        self.display = None
        self.env = None
        self.wm_args = []  # more arguments for openbox (a configuration file of the case's own)

    def start(self):
        read_fd, write_fd = os.pipe()
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_fd), "-screen", "0",
                                 "%dx%dx24" % (self.screen[0] * self.scale, self.screen[1] * self.scale), "-nolisten", "tcp"], pass_fds=[write_fd], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.procs.append(xvfb)
        os.close(write_fd)
        number = b""
        end = time.monotonic() + 20
        while not number.endswith(b"\n"):
            chunk = os.read(read_fd, 16)
            if not chunk or time.monotonic() > end:
                raise Failure("Xvfb did not start")
            number += chunk
        os.close(read_fd)
        self.display = ":" + number.decode().strip()
        env = dict(os.environ)
        for k in ("WAYLAND_DISPLAY", "SDL_VIDEODRIVER", "XDG_CONFIG_HOME", "HOME", "GDK_SCALE", "QKSONNERIX_SCALE"):
            env.pop(k, None)
        env.update({"DISPLAY": self.display, "HOME": self.home, "XDG_CONFIG_HOME": self.config,
                    "XDG_RUNTIME_DIR": self.root})
        self.env = env
        wait_for("the X server", lambda: subprocess.run(
            ["xprop", "-root", "-len", "1"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            timeout=15).returncode == 0)
        self.wm_log = open(os.path.join(self.root, "openbox.log"), "wb")
        wm = [None, 0]

        def wm_ready():
            if wm[0] is None or wm[0].poll() is not None:
                # It may lose a race for a display that is still being set up: it gets
                # three tries.
                if wm[1] >= 3:
                    with open(os.path.join(self.root, "openbox.log"), "rb") as f:
                        raise Failure("openbox does not start: " + f.read().decode(errors="replace")[-500:])
                wm[1] += 1
                wm[0] = subprocess.Popen(["openbox", "--sm-disable"] + self.wm_args, env=env, stdout=self.wm_log,
                                         stderr=self.wm_log)
                self.procs.append(wm[0])
                return False
            return "window id" in self.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], check_rc=False)
        wait_for("the window manager", wm_ready)

    def run(self, args, check_rc=True, timeout=15):
        r = subprocess.run(args, env=self.env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=timeout)
        if check_rc and r.returncode != 0:
            raise Failure("%s failed: %s" % (" ".join(args), r.stderr.decode(errors="replace")))
        return r.stdout.decode(errors="replace")

    def ini_path(self):
        return os.path.join(self.config, "qksonnerix", "ZELVRANT.INI")

    def write_ini(self, lines):
        with open(self.ini_path(), "wb") as f:
            f.write(("\r\n".join(lines) + "\r\n").encode())

    def ini(self):
        """The settings file as {section: {key: value}}, names in lower case."""
        out, section = {}, None
        with open(self.ini_path(), "rb") as f:
            for raw in f.read().decode("latin-1").splitlines():
                line = raw.strip()
                if line.startswith("[") and line.endswith("]"):
                    section = out.setdefault(line[1:-1].strip().lower(), {})
                elif "=" in line and section is not None:
                    k, v = line.split("=", 1)
                    section[k.strip().lower()] = v.strip()
        return out

    def start_player(self, audio=True, scale=None, extra_env=None):
        """Starts the player at the desktop's scale, or at `scale`; with extra_env the
        environment decides the factor (`scale` tells what it should come to)."""
        env = dict(self.env)
        self.shown = scale or self.scale
        if extra_env is None:
            env["QKSONNERIX_SCALE"] = str(self.shown)
        else:
            env.update(extra_env)
        if audio:
            env.update({"SDL_AUDIODRIVER": "disk", "SDL_DISKAUDIOFILE": self.audio_file})
        else:
            env["SDL_AUDIODRIVER"] = "dummy"
        self.log = open(os.path.join(self.root, "player.log"), "wb")
        self.player = subprocess.Popen([self.exe], env=env, cwd=self.home, stdout=self.log, stderr=self.log)

    def player_log(self):
        try:
            with open(os.path.join(self.root, "player.log"), "rb") as f:
                return f.read().decode(errors="replace")[-2000:]
        except OSError:
            return ""

    # For the scenarios that read the player's own lines: its stderr is kept apart from its stdout.
    def launch(self, argv, env):
        self.err_path = os.path.join(self.root, "player.err")
        self.log = open(os.path.join(self.root, "player.log"), "wb")
        self.err = open(self.err_path, "wb")
        self.player = subprocess.Popen(argv, env=env, cwd=self.home, stdout=self.log, stderr=self.err)

    def stderr_lines(self):
        with open(self.err_path, "rb") as f:
            return f.read().decode(errors="replace").splitlines()

    def wait_line(self, line, count=1):
        wait_for("the line %r on stderr" % line, lambda: self.stderr_lines().count(line) >= count, timeout=30)

    def alive(self):
        check(self.player.poll() is None, "the player ended (%s)" % self.player.returncode)

    def quit(self):
        self.player.send_signal(signal.SIGTERM)
        rc = self.wait_exit()
        check(rc == 0, "exit code %s after SIGTERM" % rc)

    def find_window(self, title, timeout=30):
        def probe():
            if self.player.poll() is not None:
                raise Failure("the player ended early (%s)" % self.player.returncode)
            r = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^%s$" % title], env=self.env,
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
            ids = r.stdout.split()
            return ids[-1].decode() if ids else None
        return wait_for("a window titled " + title, probe, timeout)

    def focus(self, window):
        # A window manager may let a new window wait for the focus: ask again while polling.
        def focused():
            if self.run(["xdotool", "getwindowfocus"], check_rc=False).strip() == window:
                return True
            self.run(["xdotool", "windowactivate", window], check_rc=False)
            self.run(["xdotool", "windowfocus", window], check_rc=False)
            return False
        wait_for("the keyboard focus on " + window, focused, timeout=30, interval=0.2)

    def key(self, *keys):
        self.run(["xdotool", "key", "--delay", "40"] + list(keys))

    def screen_geometry(self, window):
        """The window's place and size in the screen's pixels."""
        out = self.run(["xdotool", "getwindowgeometry", "--shell", window])
        g = dict(line.split("=", 1) for line in out.split() if "=" in line)
        return int(g["X"]), int(g["Y"]), int(g["WIDTH"]), int(g["HEIGHT"])

    def geometry(self, window):
        """The window's place and size in the player's own (1x) pixels."""
        g = self.screen_geometry(window)
        check(all(v % self.shown == 0 for v in g), "the window %s is not on the %dx grid" % (g, self.shown))
        return tuple(v // self.shown for v in g)

    def click(self, x, y, button=1):
        """A click at a point of the player's (1x) desktop: on the screen, the middle of its
        enlarged pixel."""
        s = self.shown
        x, y = x * s + s // 2, y * s + s // 2
        # "mousemove --sync" waits for a motion, which never comes when the pointer is there.
        where = self.run(["xdotool", "getmouselocation", "--shell"])
        at = dict(line.split("=", 1) for line in where.split() if "=" in line)
        if (at.get("X"), at.get("Y")) != (str(x), str(y)):
            self.run(["xdotool", "mousemove", "--sync", str(x), str(y)])
        self.run(["xdotool", "click", str(button)])

    def start_compositor(self, socket):
        """A Wayland compositor (weston) in a window of the X server, listening on `socket`."""
        log = open(os.path.join(self.root, "weston.log"), "wb")
        compositor = subprocess.Popen(["weston", "--backend=x11-backend.so", "--use-pixman", "--idle-time=0",
                                       "--socket=" + socket], env=self.env, stdout=log, stderr=subprocess.STDOUT)
        self.procs.append(compositor)
        wait_for("the compositor", lambda: os.path.exists(os.path.join(self.root, socket)), timeout=30)
        return compositor

    def wait_exit(self, timeout=15):
        try:
            return self.player.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise Failure("the player did not end")

    def screenshot(self, window):
        """The window as the player drew it, in its 1x pixels: (width, height, rows of
        (r, g, b)). Enlarged, every pixel must be a block of one colour."""
        width, height, rows = self.screen_screenshot(window)
        s = self.shown
        if s == 1:
            return width, height, rows
        check(width % s == 0 and height % s == 0, "the window is %dx%d, not on the %dx grid" % (width, height, s))
        small = [row[::s] for row in rows[::s]]
        for y in range(height):
            row, src = rows[y], small[y // s]
            for x in range(width):
                if row[x] != src[x // s]:
                    raise Failure("the screen pixel %d,%d is %s, its block's is %s" % (x, y, row[x], src[x // s]))
        return width // s, height // s, small

    def screen_screenshot(self, window):
        """The window's pixels on the screen as (width, height, rows of (r, g, b))."""
        data = subprocess.run(["xwd", "-silent", "-id", window], env=self.env, stdout=subprocess.PIPE,
                              timeout=15).stdout
        check(len(data) > 100, "xwd gave nothing")
        f = struct.unpack(">25I", data[:100])
        header_size, width, height = f[0], f[4], f[5]
        byte_order, bpp, stride, ncolors = f[7], f[11], f[12], f[19]
        check(bpp == 32, "expected a 32-bit screen, got %d bits" % bpp)
        at = header_size + 12 * ncolors
        fmt = "<I" if byte_order == 0 else ">I"
        rows = []
        for y in range(height):
            row = []
            base = at + y * stride
            for x in range(width):
                (p,) = struct.unpack_from(fmt, data, base + 4 * x)
                row.append(((p >> 16) & 255, (p >> 8) & 255, p & 255))
            rows.append(row)
        return width, height, rows

    def close(self):
        if self.player and self.player.poll() is None:
            self.player.kill()
            self.player.wait()
        for p in reversed(self.procs):
            if p.poll() is None:
                p.terminate()
                try:
                    p.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    p.kill()
        shutil.rmtree(self.root, ignore_errors=True)


def make_samples(d, slots):
    """WAVs for the given slots; gives the settings lines that assign them."""
    lines = []
    for n in slots:
        path = os.path.join(d.home, "sounds", "slot%d.wav" % n)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        square_wav(path, SIGNATURE[n], 5.0)
        lines.append("Wave%d=%s" % (n + 1, dos_path(path)))
    return lines


def audio_frames(d):
    """The left channel of what reached the device so far."""
    try:
        with open(d.audio_file, "rb") as f:
            raw = f.read()
    except FileNotFoundError:
        return []
    usable = len(raw) // 4 * 4
    return list(struct.unpack("<%dh" % (usable // 2), raw[:usable]))[0::2]


def case_play_and_close(d):
    # Slot 9 stays empty: Alt, which the program takes as slot 9, then only stops.
    slots = [0, 1, 2, 3, 11]
    d.write_ini(["[QK_Pex]", "Lock=0", "Sync=0", "Loop=0", "Auto=0", "Notify=0", "Rehearse=0", "X=50", "Y=40",
                 "W=640", "H=420"] + make_samples(d, slots))
    d.start_player()
    main = d.find_window("QK Sonnerix")
    d.focus(main)
    d.key("F3")
    wait_for("slot 2 at the device", lambda: any(audio_frames(d)), timeout=10)
    d.key("space")

    def stopped():
        s = audio_frames(d)
        last = max((i for i, v in enumerate(s) if v), default=-1)
        return last >= 0 and len(s) - last > RATE // 5
    wait_for("silence after the stop", stopped, timeout=10)
    s = audio_frames(d)
    loud = [i for i, v in enumerate(s) if v]
    first, last = loud[0], loud[-1]
    heights = {abs(v) for v in s[first:last + 1]}
    check(heights and all(abs(h - SIGNATURE[2]) <= 2 for h in heights),
          "the device got other samples than slot 2's: heights %s" % sorted(heights)[:10])
    check(last - first + 1 < 5 * RATE - RATE // 10, "space did not stop the sound")
    check(not any(s[last + 1:]), "sound after the stop")

    # Close from the system menu, opened from the caption's icon.
    x, y, w, h = d.geometry(main)
    d.click(x + 12, y + 12)
    wait_for("the system menu", lambda: d.run(["xdotool", "search", "--onlyvisible", "--name", "^System menu$"],
                                              check_rc=False).strip(), timeout=10)
    d.key("c")
    rc = d.wait_exit()
    check(rc == 0, "exit code %s" % rc)
    ini = d.ini().get("qk_pex", {})
    check(ini.get("last") == "2", "Last is %r, not 2" % ini.get("last"))
    for key in ("x", "y", "w", "h"):
        check(ini.get(key, "").lstrip("-").isdigit(), "placement key %s is %r" % (key, ini.get(key)))
    check((ini["w"], ini["h"]) == ("640", "420"), "the size kept is %sx%s" % (ini["w"], ini["h"]))


def case_missing_sample(d):
    gone = dos_path(os.path.join(d.home, "gone", "nothing.wav"))
    d.write_ini(["[QK_Pex]", "Auto=0", "Rehearse=0", "Wave1=" + gone] + make_samples(d, [1]))
    d.start_player(audio=False)
    box = d.find_window("WARNING")
    d.focus(box)
    d.key("Return")
    main = d.find_window("QK Sonnerix")
    check(d.ini()["qk_pex"].get("wave1") == "", "Wave1 was not emptied")
    check(d.ini()["qk_pex"].get("wave2", "").endswith("slot1.wav"), "Wave2 was touched")
    # The window manager's close (Alt+F4 in openbox) ends the program as its close box would.
    d.focus(main)
    d.key("alt+F4")
    rc = d.wait_exit()
    check(rc == 0, "exit code %s" % rc)
    check("w" in d.ini()["qk_pex"], "the placement was not kept")


def is_caption_blue(p):
    r, g, b = p
    return r < 60 and g < 60 and b >= 100


def is_face(p):
    r, g, b = p
    return abs(r - g) < 16 and abs(g - b) < 16 and 150 <= r <= 230


def case_screenshot(d):
    d.write_ini(["[QK_Pex]", "Auto=0", "Rehearse=0", "X=60", "Y=50", "W=640", "H=480"] + make_samples(d, [0, 5]))
    d.start_player(audio=False)
    main = d.find_window("QK Sonnerix")
    d.focus(main)
    x, y, w, h = d.geometry(main)
    check((w, h) == (640, 480), "the window is %dx%d, not 640x480" % (w, h))
    check((x, y) == (60, 50), "the window is at %d,%d, not 60,50" % (x, y))
    props = d.run(["xprop", "-id", main, "_NET_WM_NAME", "_NET_WM_ICON", "WM_CLASS"])
    check('"QK Sonnerix"' in props, "no title for the task bar: " + props[:200])
    check("_NET_WM_ICON(CARDINAL)" in props, "no icon for the task bar")
    check("qksonnerix" in props, "WM_CLASS is not qksonnerix: " + props[:300])

    frame, caption, status = 4, 19, 20
    def painted():
        shot = d.screenshot(main)
        return shot if is_caption_blue(shot[2][frame + 8][shot[0] // 2]) else None
    width, height, px = wait_for("the painted window", painted, timeout=10)
    # The caption: dark blue across, with the title in light pixels on it.
    strip = [px[frame + 9][xx] for xx in range(frame + 40, width // 2)]
    check(sum(is_caption_blue(p) for p in strip) > len(strip) // 2, "no caption strip")
    check(any(sum(p) > 600 for p in strip), "no title on the caption")
    # The client area: twelve buttons in four columns and three rows over the status bar.
    top, left = frame + caption, frame
    cw, ch = width - 2 * frame, height - 2 * frame - caption
    usable = ch - status
    bw, bh = cw // 4, usable // 3
    for n in range(12):
        cx, cy = left + (n % 4) * bw, top + (n // 4) * bh
        inside = px[cy + bh // 2][cx + 8]
        check(is_face(inside), "button %d is not there (%s at its left side)" % (n + 1, inside))
        # Each button has an edge of its own: dark at its right and bottom.
        check(not is_face(px[cy + bh // 2][cx + bw - 1]) or not is_face(px[cy + bh // 2][cx + bw - 2]),
              "button %d has no right edge" % (n + 1))
        check(not is_face(px[cy + bh - 1][cx + bw // 4]) or not is_face(px[cy + bh - 2][cx + bw // 4]),
              "button %d has no bottom edge" % (n + 1))
        # Its caption: dark text in the middle band.
        band = [px[yy][xx] for yy in range(cy + bh // 2 - 16, cy + bh // 2 + 16)
                for xx in range(cx + bw // 4, cx + 3 * bw // 4)]
        check(any(sum(p) < 200 for p in band), "button %d has no caption" % (n + 1))
    # The status bar: face-coloured across the bottom, with text in its parts.
    sy = top + ch - status // 2
    check(is_face(px[sy][left + 3 * cw // 8]), "no status bar")
    part1 = [px[yy][xx] for yy in range(top + ch - status + 3, top + ch - 2)
             for xx in range(left + cw // 2 + 2, left + 3 * cw // 4 - 4)]
    check(any(sum(p) < 200 for p in part1), "no LOOP text in the status bar")
    d.player.send_signal(signal.SIGTERM)
    rc = d.wait_exit()
    check(rc == 0, "exit code %s after SIGTERM" % rc)


def case_picker(d):
    new = os.path.join(d.home, "sounds", "new.wav")
    d.write_ini(["[QK_Pex]", "Auto=0", "Rehearse=0", "X=60", "Y=50", "W=640", "H=420"] + make_samples(d, [0]))
    square_wav(new, 7777, 1.0)
    d.start_player()
    main = d.find_window("QK Sonnerix")
    d.focus(main)
    x, y, w, h = d.geometry(main)
    frame, caption, status = 4, 19, 20
    usable = h - 2 * frame - caption - status
    # A right-click on the first button opens the picker where slot 1's file lies, with
    # its name selected in the name box, which has the focus.
    d.click(x + frame + (w - 2 * frame) // 8, y + frame + caption + usable // 6, button=3)
    picker = d.find_window("Pick WAV-file to assign\\.\\.\\.")
    d.focus(picker)
    d.run(["xdotool", "type", "--delay", "40", "new.wav"])
    # Tab to the file list, Tab to OK, and Enter presses the focused OK.
    d.key("Tab", "Tab", "Return")
    wait_for("Wave1 naming the new file",
             lambda: d.ini().get("qk_pex", {}).get("wave1", "").lower().endswith("\\sounds\\new.wav"), timeout=10)
    check(not d.run(["xdotool", "search", "--onlyvisible", "--name", "^Pick WAV"], check_rc=False).strip(),
          "the picker is still open")
    # The slot now plays the new file.
    d.focus(main)
    d.key("F1")
    wait_for("the new sample at the device",
             lambda: any(abs(abs(v) - 7777) <= 2 for v in audio_frames(d)), timeout=10)
    heights = {abs(v) for v in audio_frames(d) if v}
    check(all(abs(v - 7777) <= 2 for v in heights), "other samples than the new file's: %s" % sorted(heights)[:10])
    d.player.send_signal(signal.SIGTERM)
    rc = d.wait_exit()
    check(rc == 0, "exit code %s after SIGTERM" % rc)


def button_centre(d, main, n):
    """The middle of button n (slot n) on the desktop, in 1x pixels."""
    x, y, w, h = d.geometry(main)
    frame, caption, status = 4, 19, 20
    bw, bh = (w - 2 * frame) // 4, (h - 2 * frame - caption - status) // 3
    return x + frame + (n % 4) * bw + bw // 2, y + frame + caption + (n // 4) * bh + bh // 2


def case_click_button(d):
    d.write_ini(["[QK_Pex]", "Auto=0", "Rehearse=0", "X=40", "Y=30", "W=600", "H=400"] + make_samples(d, range(12)))
    d.start_player()
    main = d.find_window("QK Sonnerix")
    d.focus(main)
    # Button 7 (second row, third column), then button 12 (the last): each click plays
    # its own slot and no other.
    # Until a click's sound comes, the one before goes on; from then on, only its own.
    heard, before = 0, set()
    for n in (6, 11):
        d.click(*button_centre(d, main, n))

        def started():
            s = audio_frames(d)
            return next((i for i in range(heard, len(s)) if abs(abs(s[i]) - SIGNATURE[n]) <= 2), None)
        at = wait_for("slot %d at the device" % n, started, timeout=10)
        s = audio_frames(d)
        earlier = {abs(v) for v in s[heard:at] if v}
        later = {abs(v) for v in s[at:] if v}
        check(earlier <= before and all(abs(v - SIGNATURE[n]) <= 2 for v in later),
              "a click on button %d played other samples: %s, then %s" % (n + 1, sorted(earlier)[:10],
                                                                         sorted(later)[:10]))
        heard, before = at, later
    d.player.send_signal(signal.SIGTERM)
    rc = d.wait_exit()
    check(rc == 0, "exit code %s after SIGTERM" % rc)
    check(d.ini()["qk_pex"].get("last") == "11", "Last is %r, not 11" % d.ini()["qk_pex"].get("last"))


def windows_at(d, scale, lines):
    """The player at `scale`: the "WARNING" box of a missing sample, the main window, its
    system menu (from the caption's icon) and the file picker, each as the screen shows it."""
    d.write_ini(lines)
    d.start_player(audio=False, scale=scale)
    shots = {}

    def shot_of(name, window):
        # Painted and active: the caption (the menu: its frame) is what the last shot
        # had, or, for the first, anything but black.
        def probe():
            w, h, px = d.screen_screenshot(window)
            band = px[8 * scale][w // 2] if name != "menu" else px[0][w // 2]
            return (w, h, px) if band != (0, 0, 0) and (name == "menu" or is_caption_blue(band)) else None
        shots[name] = wait_for("the painted " + name, probe, timeout=10)

    box = d.find_window("WARNING")
    d.focus(box)
    shot_of("box", box)
    d.key("Return")
    main = d.find_window("QK Sonnerix")
    d.focus(main)
    shot_of("main", main)
    x, y, w, h = d.geometry(main)
    d.click(x + 12, y + 12)
    menu = wait_for("the system menu", lambda: d.run(
        ["xdotool", "search", "--onlyvisible", "--name", "^System menu$"], check_rc=False).split(), timeout=10)[-1]
    shot_of("menu", menu)
    d.key("Escape")
    wait_for("the menu gone", lambda: not d.run(
        ["xdotool", "search", "--onlyvisible", "--name", "^System menu$"], check_rc=False).strip(), timeout=10)
    d.click(*button_centre(d, main, 1), button=3)
    picker = d.find_window("Pick WAV-file to assign\\.\\.\\.")
    d.focus(picker)
    shot_of("picker", picker)
    d.key("Escape")
    wait_for("the picker gone", lambda: not d.run(
        ["xdotool", "search", "--onlyvisible", "--name", "^Pick WAV"], check_rc=False).strip(), timeout=10)
    d.player.send_signal(signal.SIGTERM)
    rc = d.wait_exit()
    check(rc == 0, "exit code %s after SIGTERM at %dx" % (rc, scale))
    return shots


def case_scaled_windows(d):
    check(d.scale >= 2, "this case compares a scaled player with a 1x one: run it with --scale 2 or more")
    gone = dos_path(os.path.join(d.home, "gone", "nothing.wav"))
    lines = ["[QK_Pex]", "Auto=0", "Rehearse=0", "X=60", "Y=50", "W=400", "H=260",
             "Wave1=" + gone] + make_samples(d, [1, 4])
    small = windows_at(d, 1, lines)
    big = windows_at(d, d.scale, lines)
    s = d.scale
    for name in ("box", "main", "menu", "picker"):
        w1, h1, p1 = small[name]
        w2, h2, p2 = big[name]
        check((w2, h2) == (w1 * s, h1 * s), "the %s is %dx%d at %dx, %dx%d at 1x" % (name, w2, h2, s, w1, h1))
        for y in range(h2):
            for x in range(w2):
                if p2[y][x] != p1[y // s][x // s]:
                    raise Failure("the %s at %dx differs from the 1x one enlarged at %d,%d: %s, not %s"
                                  % (name, s, x, y, p2[y][x], p1[y // s][x // s]))
    # The settings hold 1x pixels, whatever the scale.
    ini = d.ini()["qk_pex"]
    check((ini.get("w"), ini.get("h")) == ("400", "260"), "the size kept is %sx%s" % (ini.get("w"), ini.get("h")))


def case_scale_sources(d):
    check(d.scale >= 3, "run this case with --scale 3: the screen must hold a window three times as large")
    d.write_ini(["[QK_Pex]", "Auto=0", "Rehearse=0", "X=20", "Y=20", "W=300", "H=200"])
    # (what the desktop says, X resources, the factor it must come to)
    rows = [
        ({}, "Xft.dpi:\t192\n", 2),
        ({"GDK_SCALE": "3"}, "Xft.dpi:\t192\n", 3),
        ({"GDK_SCALE": "2", "QKSONNERIX_SCALE": "1"}, "Xft.dpi:\t288\n", 1),
        ({}, "Xft.dpi:\t96\n", 1),
    ]
    for env, resources, factor in rows:
        d.run(["xprop", "-root", "-format", "RESOURCE_MANAGER", "8s", "-set", "RESOURCE_MANAGER", resources])
        d.start_player(audio=False, scale=factor, extra_env=env)
        main = d.find_window("QK Sonnerix")
        # The first shown size may still be settling: wait for the expected one.
        wait_for("a window of %dx%d with %s and %r" % (300 * factor, 200 * factor, env, resources),
                 lambda: d.screen_geometry(main)[2:] == (300 * factor, 200 * factor), timeout=10)
        d.player.send_signal(signal.SIGTERM)
        rc = d.wait_exit()
        check(rc == 0, "exit code %s after SIGTERM" % rc)
        ini = d.ini()["qk_pex"]
        check((ini.get("w"), ini.get("h")) == ("300", "200"), "the size kept at %dx is %sx%s"
              % (factor, ini.get("w"), ini.get("h")))


def demo_bank(d):
    here = os.path.dirname(d.exe)
    for folder in (os.path.join(here, "demo"), os.path.join(here, "..", "share", "qksonnerix", "demo")):
        bank = os.path.realpath(os.path.join(folder, "DEMO.QK"))
        if os.path.isfile(bank):
            return bank
    raise Failure("no demo bank beside the player, nor in its share folder")


def wav_samples(path):
    """The 16-bit mono samples of a PCM WAV file."""
    with open(path, "rb") as f:
        raw = f.read()
    at = raw.index(b"data") + 8
    n = struct.unpack_from("<I", raw, at - 4)[0] // 2
    return list(struct.unpack_from("<%dh" % n, raw, at))


def case_first_start(d):
    bank = demo_bank(d)
    folder = os.path.dirname(bank)
    with open(bank, "rb") as f:
        paths = f.read()[6:].decode().split("\n")[:-1]
    check(len(paths) >= 2, "the demo bank names %d samples" % len(paths))
    # An existing settings file, whatever the case of its name, is never touched (it holds
    # every option, so the program itself writes nothing into it at start either).
    folder_of_settings = os.path.join(d.config, "qksonnerix")
    other = os.path.join(folder_of_settings, "zelvrant.ini")
    kept = b"[QK_Pex]\r\nLock=0\r\nSync=0\r\nLoop=0\r\nAuto=0\r\nNotify=0\r\nRehearse=0\r\n"
    with open(other, "wb") as f:
        f.write(kept)
    before = os.stat(other)
    d.start_player(audio=False)
    d.find_window("QK Sonnerix")
    after = os.stat(other)
    with open(other, "rb") as f:
        check(f.read() == kept, "the existing settings file changed")
    check((before.st_mtime_ns, before.st_ino) == (after.st_mtime_ns, after.st_ino), "the existing file was replaced")
    check(sorted(set(os.listdir(folder_of_settings)) - {"dosdevices"}) == ["zelvrant.ini"],
          "other files came beside the existing one: %s" % os.listdir(folder_of_settings))
    check("first settings" not in d.player_log(), "it spoke of a first settings file: %r" % d.player_log())
    d.player.send_signal(signal.SIGTERM)
    check(d.wait_exit() == 0, "exit code after SIGTERM")
    os.remove(other)
    for name in os.listdir(folder_of_settings):
        if name.startswith("."):
            os.remove(os.path.join(folder_of_settings, name))

    # No settings file: the demo bank's samples on the keys, the bank's folder for Load QK-file.
    d.start_player()
    main = d.find_window("QK Sonnerix")
    d.focus(main)
    told = "qksonnerix: a first settings file puts the demo bank on the keys (%s): F1 plays the first sample\n" % bank
    check(told in d.player_log(), "nothing said about the first settings file: %r" % d.player_log())
    ini = d.ini()
    waves = {k: v for k, v in ini.get("qk_pex", {}).items() if k.startswith("wave")}
    expected = {"wave%d" % (n + 1): p for n, p in enumerate(paths[:12])}
    check(waves == expected, "the first settings hold %s" % waves)
    check(ini.get("qk_wav") == {"savefile": dos_path(folder) + "\\*.QK"}, "Savefile is %s" % ini.get("qk_wav"))
    # The program's own first start: the option defaults (the rehearsal and the autoplay
    # sound now), and the stored samples, with labels, on the buttons.
    opts = d.ini()["qk_pex"]
    for key, value in (("lock", "0"), ("sync", "0"), ("loop", "0"), ("notify", "0"), ("auto", "1"),
                       ("rehearse", "1")):
        check(opts.get(key) == value, "%s is %r after the first start" % (key, opts.get(key)))

    def quiet():
        s = audio_frames(d)
        last = max((i for i, v in enumerate(s) if v), default=-1)
        return len(s) if len(s) - last > RATE // 2 else None
    mark = wait_for("the start-up sounds to end", quiet, timeout=20)
    if d.png:
        width, height, px = d.screenshot(main)
        write_png(d.png, width, height, px)
    d.key("F1")
    ding = wav_samples(dos_to_host(paths[0]))
    start = next(i for i, v in enumerate(ding) if v)
    want = ding[start:start + RATE // 4]

    def heard():
        s = audio_frames(d)[mark:]
        first = next((i for i, v in enumerate(s) if v), None)
        return s[first:first + len(want)] if first is not None and len(s) - first >= len(want) else None
    got = wait_for("F1's jingle at the device", heard, timeout=10)
    check(got == want, "F1 did not play %s: the device got %s..." % (paths[0], got[:8]))
    d.player.send_signal(signal.SIGTERM)
    rc = d.wait_exit()
    check(rc == 0, "exit code %s after SIGTERM" % rc)


def picker_point(d, main):
    """A point on the first button of the main window (for the right-click)."""
    x, y, w, h = d.geometry(main)
    frame, caption, status = 4, 19, 20
    usable = h - 2 * frame - caption - status
    return x + frame + (w - 2 * frame) // 8, y + frame + caption + usable // 6


def case_close_picker_stress(d):
    """The picker closed by the window manager, over and over, while keys keep coming."""
    rounds = int(os.environ.get("QK_STRESS_ROUNDS", "40"))
    d.write_ini(["[QK_Pex]", "Auto=0", "Rehearse=0", "Lock=0", "X=70", "Y=60", "W=600", "H=400"] +
                make_samples(d, [0, 3]))
    d.start_player(audio=False)
    main = d.find_window("QK Sonnerix")
    d.focus(main)
    px, py = picker_point(d, main)
    # Keys at a high rate, all through the run, to whichever window has the focus.
    typist = subprocess.Popen(["sh", "-c", "while :; do xdotool key --delay 4 F1 F4 F1 F4 F1 F4 F1 F4; done"],
                              env=d.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              start_new_session=True)
    try:
        for n in range(rounds):
            d.click(px, py, button=3)
            picker = d.find_window("Pick WAV-file to assign\\.\\.\\.")
            # The close request a task bar sends (_NET_CLOSE_WINDOW to the window manager).
            d.run(["wmctrl", "-i", "-c", picker])
            wait_for("the picker to go (round %d)" % n, lambda: d.player.poll() is not None or not d.run(
                ["xdotool", "search", "--onlyvisible", "--name", "^Pick WAV"], check_rc=False).strip(), timeout=15)
            check(d.player.poll() is None, "the player ended in round %d (exit code %s)" % (n, d.player.returncode))
    finally:
        os.killpg(typist.pid, signal.SIGTERM)
        typist.wait()
    check(d.player.poll() is None, "the player ended (exit code %s)" % d.player.returncode)
    check("x error" not in d.player_log().lower(), "X errors: " + d.player_log())
    # A normal close keeps the placement and the last slot played.
    d.focus(main)
    d.key("F4")
    d.run(["wmctrl", "-i", "-c", main])
    rc = d.wait_exit()
    check(rc == 0, "exit code %s" % rc)
    ini = d.ini().get("qk_pex", {})
    check((ini.get("x"), ini.get("y"), ini.get("w"), ini.get("h")) == ("70", "60", "600", "400"),
          "the placement kept is %r" % ([ini.get(k) for k in "xywh"],))
    check(ini.get("last") == "3", "Last is %r, not 3" % ini.get("last"))


def case_typing(d):
    """Names typed into the picker under a US and a German layout reach it in cp1252."""
    rows = [
        # layout, what is typed, the file (its host name is UTF-8)
        ("de", "zy(1)\u00f6_-.wav", "zy(1)\u00f6_-.wav"),
        # Only keys the layout has: xdotool types other characters through a key it
        # remaps on the fly, and under load the player may see that key before the new map.
        ("us", "us [2];='.wav", "us [2];='.wav"),
    ]
    sounds = os.path.join(d.home, "sounds")
    os.makedirs(sounds, exist_ok=True)
    for n, (_, _, name) in enumerate(rows):
        square_wav(os.path.join(sounds, name), 3000 + n, 0.2)
    d.write_ini(["[QK_Pex]", "Auto=0", "Rehearse=0", "X=60", "Y=50", "W=640", "H=420",
                 "Wave1=" + dos_path(os.path.join(sounds, "slot0.wav"))])
    square_wav(os.path.join(sounds, "slot0.wav"), 1000, 0.2)
    d.start_player(audio=False)
    main = d.find_window("QK Sonnerix")
    for n, (layout, typed, name) in enumerate(rows):
        d.run(["setxkbmap", "-display", d.display, layout])
        d.focus(main)
        px, py = picker_point(d, main)
        d.click(px, py, button=3)
        picker = d.find_window("Pick WAV-file to assign\\.\\.\\.")
        d.focus(picker)
        d.run(["xdotool", "type", "--delay", "60", typed])
        d.key("Tab", "Tab", "Return")
        want = dos_path(os.path.join(sounds, name)).encode("cp1252")
        def stored():
            with open(d.ini_path(), "rb") as f:
                for line in f.read().split(b"\r\n"):
                    if line.lower().startswith(b"wave1="):
                        return line[6:] if line[6:].lower() == want.lower() else None
        got = wait_for("Wave1 naming %r (%s layout); the file has %r" % (name, layout, d.ini().get("qk_pex", {}).get(
            "wave1")), stored, timeout=10)
        check(got.lower() == want.lower(), "Wave1 is %r" % got)
        wait_for("the picker to go", lambda: not d.run(["xdotool", "search", "--onlyvisible", "--name", "^Pick WAV"],
                                                       check_rc=False).strip(), timeout=10)
    d.player.send_signal(signal.SIGTERM)
    rc = d.wait_exit()
    check(rc == 0, "exit code %s after SIGTERM" % rc)


def dos_to_host(path):
    check(path[:2].upper() == "Z:", "not a path on drive Z: %s" % path)
    return path[2:].replace("\\", "/")


def write_png(path, width, height, rows):
    """An 8-bit RGB PNG of the pixels."""
    import zlib
    raw = b"".join(b"\0" + bytes(c for p in row for c in p) for row in rows)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) + \
        chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def open_system_menu(d, main, at=(12, 12)):
    """Clicks the system menu's icon (at a point of the window, from its top left corner)."""
    x, y, w, h = d.geometry(main)
    d.click(x + at[0], y + at[1])
    wait_for("the system menu", lambda: d.run(["xdotool", "search", "--onlyvisible", "--name", "^System menu$"],
                                              check_rc=False).strip(), timeout=10)


def case_maximised(d):
    d.write_ini(["[QK_Pex]", "Auto=0", "Rehearse=0", "X=60", "Y=50", "W=640", "H=420"] + make_samples(d, [0]))
    d.start_player(audio=False)
    main = d.find_window("QK Sonnerix")
    d.focus(main)
    sw, sh = (int(v) for v in d.run(["xdotool", "getdisplaygeometry"]).split())
    open_system_menu(d, main)
    d.key("x")  # Ma&ximize
    wait_for("the maximised window on the screen", lambda: d.geometry(main) == (0, 0, sw, sh), timeout=10)
    info = d.run(["xwininfo", "-id", main])
    fields = dict(line.strip().split(":", 1) for line in info.splitlines() if ":" in line)
    check(int(fields["Absolute upper-left X"]) >= 0 and int(fields["Absolute upper-left Y"]) >= 0,
          "the window starts off the screen: " + info)
    check(int(fields["Width"]) <= sw and int(fields["Height"]) <= sh, "the window is larger than the screen: " + info)

    def painted():
        # The whole picture, not one still being drawn: the caption runs blue from the
        # middle to the right edge, and the status bar is there at the bottom.
        shot = d.screenshot(main)
        w, h, px = shot
        done = is_caption_blue(px[6][w // 2]) and is_caption_blue(px[9][w - 1]) and is_face(px[h - 10][w * 3 // 8])
        return shot if done else None
    width, height, px = wait_for("the painted maximised window", painted, timeout=10)
    # The caption runs across the top; at its right end the close box is drawn whole: a
    # face-coloured box with a dark cross, with caption blue between it and the edge.
    row = px[9]
    check(is_caption_blue(row[width - 1]), "the caption does not reach the screen's right edge: %s" % (row[width - 1],))
    box_right = width - 1
    while box_right > width - 40 and is_caption_blue(row[box_right]):
        box_right -= 1
    box_left = box_right
    while box_left > 0 and not is_caption_blue(row[box_left - 1]):
        box_left -= 1
    check(any(is_face(p) for p in row[box_left:box_right + 1]), "no caption button at the top right")
    check(box_right - box_left + 1 >= 12, "the close box is %d pixels wide" % (box_right - box_left + 1))
    cross = [px[yy][xx] for yy in range(4, 15) for xx in range(box_left + 2, box_right - 1)]
    check(any(sum(p) < 100 for p in cross), "no cross on the close box")
    # The status bar: face-coloured along the bottom rows with its text, above the edge.
    check(is_face(px[height - 10][width * 3 // 8]), "no status bar at the bottom")
    band = [px[yy][xx] for yy in range(height - 18, height - 2) for xx in range(width // 2 + 2, width * 3 // 4)]
    check(any(sum(p) < 200 for p in band), "no text in the status bar")
    # A click where the close box is drawn closes the program.
    d.click((box_left + box_right) // 2, 9)
    rc = d.wait_exit()
    check(rc == 0, "exit code %s" % rc)
    ini = d.ini().get("qk_pex", {})
    check((ini.get("x"), ini.get("y"), ini.get("w"), ini.get("h")) == ("60", "50", "640", "420"),
          "the placement kept is %r" % ([ini.get(k) for k in "xywh"],))


def case_keyboard_move(d):
    d.write_ini(["[QK_Pex]", "Auto=0", "Rehearse=0", "X=60", "Y=50", "W=640", "H=420"] + make_samples(d, [0]))
    d.start_player(audio=False)
    main = d.find_window("QK Sonnerix")
    d.focus(main)
    check(d.geometry(main) == (60, 50, 640, 420), "the window is at %r" % (d.geometry(main),))
    open_system_menu(d, main)
    d.key("m")  # &Move
    d.key("Right", "Right", "Right", "Down", "Down")
    wait_for("the window moved by the keys", lambda: d.geometry(main) == (84, 66, 640, 420), timeout=10)
    where = d.run(["xdotool", "getmouselocation", "--shell"])
    at = dict(line.split("=", 1) for line in where.split() if "=" in line)
    px, py = int(at["X"]), int(at["Y"])
    check(84 + 4 <= px < 84 + 640 - 4 and 66 + 4 <= py < 66 + 4 + 19,
          "the pointer is at %d,%d, not on the caption" % (px, py))
    d.key("Return")
    # Size: Right picks the right edge, two more widen the window; Down, Down then
    # lengthen it after the bottom edge is picked; Enter keeps it. The icon is clicked at
    # the same point of the window as before the move, but elsewhere on the screen: no
    # double click, however soon it comes.
    open_system_menu(d, main)
    d.key("s")
    d.key("Right", "Right", "Right", "Down", "Down", "Return")
    wait_for("the window sized by the keys", lambda: d.geometry(main) == (84, 66, 656, 428), timeout=10)
    # Escape undoes a move. The window is where it was at the last click, so this click
    # is made a little way off it: at the same point it would be a double click, and a
    # double click on the icon closes the window.
    open_system_menu(d, main, at=(8, 9))
    d.key("m")
    d.key("Left", "Left")
    wait_for("the window moved by the keys", lambda: d.geometry(main)[0] == 68, timeout=10)
    d.key("Escape")
    wait_for("the window back", lambda: d.geometry(main) == (84, 66, 656, 428), timeout=10)
    d.run(["wmctrl", "-i", "-c", main])
    rc = d.wait_exit()
    check(rc == 0, "exit code %s" % rc)
    ini = d.ini().get("qk_pex", {})
    check((ini.get("x"), ini.get("y"), ini.get("w"), ini.get("h")) == ("84", "66", "656", "428"),
          "the placement kept is %r" % ([ini.get(k) for k in "xywh"],))


def case_wheel(d):
    sounds = os.path.join(d.home, "sounds")
    os.makedirs(sounds, exist_ok=True)
    for n in range(40):
        square_wav(os.path.join(sounds, "take%02d.wav" % n), 2000, 0.05)
    d.write_ini(["[QK_Pex]", "Auto=0", "Rehearse=0", "X=60", "Y=50", "W=640", "H=420",
                 "Wave1=" + dos_path(os.path.join(sounds, "take00.wav"))])
    d.start_player(audio=False)
    main = d.find_window("QK Sonnerix")
    d.focus(main)
    px, py = picker_point(d, main)
    d.click(px, py, button=3)
    picker = d.find_window("Pick WAV-file to assign\\.\\.\\.")
    d.focus(picker)
    x0, y0, _, _ = d.geometry(picker)

    def white(p):
        return p == (255, 255, 255)

    # The file list: the tallest white area of the picker (the lists and the name box are white).
    # Inside an area only: the sunken edges round the lists have a white line of their own.
    def lists():
        w, h, shot = d.screenshot(picker)
        best = None
        for x in range(4, w - 1, 4):
            run = 0
            for y in range(h):
                run = run + 1 if all(white(shot[y][x + dx]) for dx in (-1, 0, 1)) else 0
                if run > 60 and (best is None or run > best[2]):
                    best = (x, y - run + 1, run)
        return (best, shot) if best else None
    (lx, ly, lh), _ = wait_for("the picker's lists painted", lists, timeout=10)

    def column(shot):
        return [tuple(shot[y][x] for x in range(lx, lx + 40)) for y in range(ly, ly + lh)]
    first = column(d.screenshot(picker)[2])
    check(any(any(sum(p) < 200 for p in row) for row in first), "no names in the list")
    d.click(x0 + lx + 10, y0 + ly + lh // 2, button=5)  # a notch towards the user
    scrolled = wait_for("the list scrolled by the wheel",
                        lambda: (lambda c: c if c != first else None)(column(d.screenshot(picker)[2])), timeout=10)
    # Three rows a notch: what was the fourth row is now the first.
    rows = [i for i in range(1, len(first)) if any(sum(p) < 200 for p in first[i]) and
            not any(sum(p) < 200 for p in first[i - 1])]
    check(len(rows) >= 4, "fewer than four names shown: %d" % len(rows))
    pitch = rows[1] - rows[0]
    check(scrolled[rows[0]:rows[0] + pitch - 1] == first[rows[0] + 3 * pitch:rows[0] + 4 * pitch - 1],
          "the wheel did not scroll the list by three rows")
    d.click(x0 + lx + 10, y0 + ly + lh // 2, button=4)  # and back
    wait_for("the list back at its top", lambda: column(d.screenshot(picker)[2]) == first, timeout=10)
    d.key("Escape")
    wait_for("the picker to go", lambda: not d.run(["xdotool", "search", "--onlyvisible", "--name", "^Pick WAV"],
                                                   check_rc=False).strip(), timeout=10)
    d.player.send_signal(signal.SIGTERM)
    rc = d.wait_exit()
    check(rc == 0, "exit code %s after SIGTERM" % rc)


def case_display_lost(d):
    """The X server goes away under the player, as when a remote session drops."""
    d.write_ini(["[QK_Pex]", "Auto=0", "Rehearse=0", "Last=0"] + make_samples(d, [0, 1, 2]))
    d.start_player()
    main = d.find_window("QK Sonnerix")
    d.focus(main)
    d.key("F3")
    wait_for("slot 2 at the device", lambda: any(abs(abs(v) - SIGNATURE[2]) <= 2 for v in audio_frames(d)),
             timeout=10)
    xvfb = d.procs[0]
    xvfb.kill()
    xvfb.wait()
    rc = d.wait_exit()
    log = d.player_log()
    check(rc == 0, "exit code %s after the display went: %s" % (rc, log))
    check("terminate called" not in log and "XIO" not in log, "the player did not end cleanly: %s" % log)
    check("qksonnerix: the connection to the display was lost; closing\n" in log, "nothing said: %r" % log)
    ini = d.ini()["qk_pex"]
    check(ini.get("last") == "2", "Last is %r, not 2" % ini.get("last"))
    for key in ("x", "y", "w", "h"):
        check(ini.get(key, "").lstrip("-").isdigit(), "placement key %s is %r" % (key, ini.get(key)))


def case_wayland_lost(d):
    """The Wayland compositor goes away under the player (a desktop session that crashes)."""
    check(shutil.which("weston"), "weston is not installed (scripts/setup.sh installs it)")
    d.write_ini(["[QK_Pex]", "Auto=0", "Rehearse=0", "Last=0"] + make_samples(d, [0, 1, 2]))
    socket = "qk-wayland"
    compositor = d.start_compositor(socket)
    env = dict(d.env)
    env.pop("DISPLAY", None)
    env.update({"WAYLAND_DISPLAY": socket, "SDL_AUDIODRIVER": "dummy"})
    d.log = open(os.path.join(d.root, "player.log"), "wb")
    d.player = subprocess.Popen([d.exe], env=env, cwd=d.home, stdout=d.log, stderr=d.log)

    # Up, shown and idle: the program's main thread waits in poll() for the compositor's
    # events, sample after sample (SDL 2.26 never leaves a window's first showing should
    # the compositor die during it, so the case waits until that is over).
    def idle(samples=[]):
        check(d.player.poll() is None, "the player ended early (%s): %s" % (d.player.returncode, d.player_log()))
        try:
            with open("/proc/%d/syscall" % d.player.pid) as f:
                waiting = f.read().split()[0] in ("7", "271", "73")  # poll, ppoll (x86_64), ppoll (arm64)
        except (OSError, IndexError):
            waiting = False
        samples.append(waiting)
        return len(samples) >= 10 and all(samples[-10:])
    wait_for("the player to wait for events", idle, timeout=30, interval=0.1)
    check("lock" in d.ini()["qk_pex"] and "x" not in d.ini()["qk_pex"], "the settings before the close: %s" % d.ini())
    compositor.kill()
    compositor.wait()
    rc = d.wait_exit()
    check(rc == 0, "exit code %s after the compositor went: %s" % (rc, d.player_log()))
    ini = d.ini()["qk_pex"]
    check(ini.get("last") == "0", "Last is %r, not 0" % ini.get("last"))
    for key in ("x", "y", "w", "h"):
        check(ini.get(key, "").lstrip("-").isdigit(), "placement key %s is %r" % (key, ini.get(key)))


def case_quit_signals(d):
    """Each quit signal ends the player as a close does, whether or not SDL has handlers."""
    rows = [(signal.SIGTERM, "1", 1), (signal.SIGINT, "1", 2), (signal.SIGHUP, "1", 3), (signal.SIGTERM, "0", 4),
            (signal.SIGHUP, "0", 5)]
    ran = 0
    for sig, no_handlers, slot in rows:
        what = "%s with SDL_NO_SIGNAL_HANDLERS=%s" % (signal.Signals(sig).name, no_handlers)
        d.write_ini(["[QK_Pex]", "Auto=0", "Rehearse=0", "Last=0"] + make_samples(d, range(6)))
        d.start_player(extra_env={"SDL_NO_SIGNAL_HANDLERS": no_handlers, "QKSONNERIX_SCALE": str(d.scale),
                                  "SDL_AUDIODRIVER": "disk", "SDL_DISKAUDIOFILE": d.audio_file})
        main = d.find_window("QK Sonnerix")
        d.focus(main)
        d.key("F%d" % (slot + 1))
        wait_for("slot %d at the device (%s)" % (slot, what),
                 lambda: any(abs(abs(v) - SIGNATURE[slot]) <= 2 for v in audio_frames(d)), timeout=10)
        d.player.send_signal(sig)
        rc = d.wait_exit()
        check(rc == 0, "exit code %s after %s: %s" % (rc, what, d.player_log()))
        ini = d.ini()["qk_pex"]
        check(ini.get("last") == str(slot), "Last is %r, not %d, after %s" % (ini.get("last"), slot, what))
        for key in ("x", "y", "w", "h"):
            check(ini.get(key, "").lstrip("-").isdigit(), "placement key %s is %r after %s" % (key, ini.get(key), what))
        ran += 1
    check(ran == len(rows), "only %d of the %d signals were tried" % (ran, len(rows)))


def case_picker_fits(d):
    """The screen is 640x400 in the player's pixels (1280x800 at 2x)."""
    sw, sh = d.screen
    placed = []
    for y in (0, 233):
        d.write_ini(["[QK_Pex]", "Auto=0", "Rehearse=0", "X=0", "Y=%d" % y, "W=560", "H=160"] +
                    make_samples(d, [0]))
        d.start_player(audio=False)
        main = d.find_window("QK Sonnerix")
        d.focus(main)
        mx, my, _, _ = d.geometry(main)
        check((mx, my) == (0, y), "the main window is at %d,%d, not 0,%d" % (mx, my, y))
        d.click(*picker_point(d, main), button=3)
        picker = d.find_window("Pick WAV-file to assign\\.\\.\\.")
        px, py, pw, ph = d.geometry(picker)
        placed.append((px - mx, py - my, pw, ph))
        d.player.send_signal(signal.SIGTERM)
        rc = d.wait_exit()
        check(rc == 0, "exit code %s after SIGTERM" % rc)
    (fx, fy, pw, ph), (ox, oy, _, _) = placed
    # At the top of the screen the picker fits: it lies where its template puts it, below
    # the main window's top; lower down it would reach past the bottom, and is moved up
    # to end at the screen's bottom edge, keeping its left edge.
    check(fy > 0 and fy + ph <= sh, "the picker of a window at the top is at %d (height %d)" % (fy, ph))
    check(233 + fy + ph > sh, "the case needs a picker that would reach past the screen (%d)" % (233 + fy + ph))
    check((ox, 233 + oy) == (fx, sh - ph), "the picker is at %d,%d, not %d,%d" % (ox, 233 + oy, fx, sh - ph))
    check(ox + pw <= sw, "the picker reaches past the right edge")


NOBODY = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"]


def case_settings_unsaved(d):
    """The settings folder is read-only to the user who runs the player (root writes
    anywhere, so the player runs as nobody). Once with a write that fails while the
    player runs, once with the first failure at the close, the last thing it does."""
    for tool in ("setpriv", "dbus-daemon", "dbus-monitor"):
        check(shutil.which(tool), "%s is not installed (scripts/setup.sh installs it)" % tool)
    folder = os.path.join(d.config, "qksonnerix")
    os.makedirs(os.path.join(folder, "dosdevices"), exist_ok=True)
    for drive, target in (("c:", d.home), ("z:", "/")):
        os.symlink(target, os.path.join(folder, "dosdevices", drive))
    for path in (d.root, d.home, d.config):
        os.chmod(path, 0o755)
    options = ["Lock=0", "Sync=0", "Loop=0", "Auto=0", "Notify=0", "Rehearse=0"]
    gone = dos_path(os.path.join(d.home, "gone", "nothing.wav"))
    rows = [("while it runs", ["[QK_Pex]", "Auto=0", "Rehearse=0", "Wave1=" + gone]),
            ("at the close", ["[QK_Pex]"] + options + ["X=30", "Y=30", "W=600", "H=400", "Last=0"])]
    ran = 0
    for when, lines in rows:
        os.chmod(folder, 0o755)
        d.write_ini(lines + make_samples(d, [1]))
        with open(d.ini_path(), "rb") as f:
            before = f.read()
        os.chmod(folder, 0o555)
        bus_dir = os.path.join(d.root, "bus-%d" % ran)
        os.makedirs(bus_dir)
        os.chmod(bus_dir, 0o777)
        address = "unix:path=" + os.path.join(bus_dir, "socket")
        bus = subprocess.Popen(NOBODY + ["dbus-daemon", "--session", "--nofork", "--address=" + address],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        d.procs.append(bus)
        wait_for("the session bus", lambda: os.path.exists(os.path.join(bus_dir, "socket")), timeout=15)
        heard = os.path.join(bus_dir, "monitor.log")
        listener = open(heard, "wb")
        monitor = subprocess.Popen(NOBODY + ["dbus-monitor", "--address", address,
                                             "interface='org.freedesktop.Notifications',member='Notify'"],
                                   stdout=listener, stderr=subprocess.STDOUT)
        d.procs.append(monitor)
        wait_for("the listener", lambda: b"NameAcquired" in open(heard, "rb").read(), timeout=15)

        env = dict(d.env)
        env.update({"QKSONNERIX_SCALE": str(d.scale), "SDL_AUDIODRIVER": "dummy",
                    "DBUS_SESSION_BUS_ADDRESS": address})
        d.log = open(os.path.join(d.root, "player.log"), "wb")
        d.player = subprocess.Popen(NOBODY + [d.exe], env=env, cwd=d.home, stdout=d.log, stderr=d.log)
        ini = d.ini_path()
        told = ("qksonnerix: cannot save the settings to %s (Permission denied); changes made now are lost when "
                "the player ends\n" % ini)
        summary = b'string "QK Sonnerix cannot save its settings"'
        body = ('string "%s: Permission denied.\nChanges made now are lost when the player ends."' % ini).encode()
        if when == "while it runs":
            box = d.find_window("WARNING")
            d.focus(box)
            d.key("Return")  # the missing sample's key is emptied: a write, which fails
            wait_for("the stderr line", lambda: told in d.player_log(), timeout=15)
            wait_for("the notification", lambda: summary in open(heard, "rb").read(), timeout=15)
            # The key was not emptied, so the program goes on to read the file it names, as
            # it reads what its settings hold: that is the program's own doing.
            error = d.find_window("ERROR")
            d.focus(error)
            d.key("Return")
        main = d.find_window("QK Sonnerix")
        d.focus(main)
        d.key("F2")  # so that the close has Last=1 to keep
        d.player.send_signal(signal.SIGTERM)  # the close writes (again, for the same reason)
        rc = d.wait_exit()
        check(rc == 0, "exit code %s %s" % (rc, when))
        monitor.terminate()
        monitor.wait()
        listener.close()
        with open(heard, "rb") as f:
            calls = f.read()
        check(calls.count(b"member=Notify") == 1 and summary in calls,
              "%d notifications %s: %r" % (calls.count(b"member=Notify"), when, calls[-800:]))
        check(body in calls, "the notification %s does not name the file and the reason: %r" % (when, calls[-800:]))
        check(d.player_log().count(told) == 1, "the stderr line came %d times %s" % (d.player_log().count(told), when))
        with open(ini, "rb") as f:
            check(f.read() == before, "the settings file changed %s" % when)
        ran += 1
    os.chmod(folder, 0o755)
    check(ran == len(rows), "only %d of %d rows ran" % (ran, len(rows)))


CASES = {"typing": case_typing, "play_and_close": case_play_and_close, "missing_sample": case_missing_sample,
         "screenshot": case_screenshot, "picker": case_picker, "close_picker_stress": case_close_picker_stress,
         "click_button": case_click_button, "scaled_windows": case_scaled_windows,
         "scale_sources": case_scale_sources, "first_start": case_first_start,
         "maximised": case_maximised, "keyboard_move": case_keyboard_move,
         "wheel": case_wheel, "display_lost": case_display_lost, "wayland_lost": case_wayland_lost, "quit_signals": case_quit_signals,
         "picker_fits": case_picker_fits, "settings_unsaved": case_settings_unsaved}
# Cases that need a screen of another size than 1024x768 (in the player's pixels).
SCREENS = {"picker_fits": (640, 400)}


def run_case(d, run, label, errors=(Failure,)):
    """Starts the desktop d, runs run(d) on it and closes it; says how it went and returns the exit status."""
    try:
        d.start()
        run(d)
        print("passed: " + label)
        return 0
    except errors as e:
        print("FAILED: %s: %s" % (label, e))
        print("player output:", d.player_log())
        return 1
    finally:
        d.close()


def main():
    args = sys.argv[1:]
    options = {"--scale": "1", "--png": None}
    while len(args) > 2 and args[-2] in options:
        options[args[-2]] = args[-1]
        args = args[:-2]
    if len(args) != 2 or args[1] not in CASES or not options["--scale"].isdigit() or int(options["--scale"]) < 1:
        print(__doc__)
        return 2
    for tool in ("Xvfb", "openbox", "xdotool", "xwd", "xprop", "wmctrl", "setxkbmap", "xwininfo"):
        if not shutil.which(tool):
            print("skipped: %s is not installed (scripts/setup.sh installs it)" % tool)
            return 77
    case = args[1]
    d = Desktop(os.path.abspath(args[0]), int(options["--scale"]), SCREENS.get(args[1], (1024, 768)))
    d.png = options["--png"] and os.path.abspath(options["--png"])
    return run_case(d, CASES[case], "%s at %dx" % (case, d.scale))


if __name__ == "__main__":
    sys.exit(main())
