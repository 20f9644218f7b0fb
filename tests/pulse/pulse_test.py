#!/usr/bin/env python3
"""The player against a real PulseAudio server: the qksonnerix executable under Xvfb and
openbox, a private pulseaudio with null sinks, their monitors recorded with parec.

    pulse_test.py <qksonnerix> <case> [--server pulseaudio|pipewire] [--output pulse|pipewire]

With --server pipewire the server is PipeWire (with WirePlumber, pipewire-pulse and a
private session bus), which today's desktops run. The player plays on its native PipeWire
stream there, or with --output pulse on PipeWire's Pulse server; on PulseAudio it plays
on its Pulse stream.

Cases:
  key_sounds       F1 sounds at the sink, and the stream runs at the sink's own rate
                   (48 kHz, while the sample and the server's default are 44.1 kHz);
                   Space stops it at once, and the idle stream is corked (inactive).
  server_restart   a loop plays; the server is killed: the player says so on stderr and
                   keeps running; the server starts again: the loop is heard again with no
                   key pressed, the player says so, and its settings are as they were.
  server_later     the player starts with no server and says so (and nothing else: SDL's
                   and ALSA's own probe messages stay off stderr); the server comes; the
                   player says the output is back, and a key then sounds.
  chosen_output    --list-audio-devices lists the sinks; --audio-device and
                   QKSONNERIX_AUDIO_DEVICE pick a sink by a part of its name; an unknown
                   name gives its message and the default sink plays.
  loop_under_load  with both cores kept busy (two shell busy loops), a looped sine of a
                   whole number of periods plays for 5 s: at the monitor every sample of
                   those 5 s equals the one a period earlier and every period is loud, so
                   no gap, dropout or click. The detector is first checked on synthetic
                   loops, and then on the very recording with a frame dropped and with
                   3 ms of silence put in, both of which it must find. The player runs
                   with an ordinary user's scheduling rights (no real-time priority).
  sync_back_to_back
                   Sync audio on, F1 and F3 pressed at once: the second sound starts at
                   the monitor less than 100 ms (counted in recorded frames) after the
                   first one's last frame, and the first is heard to its end.
  no_realtime      (PipeWire) a player whose graph thread cannot run at real-time
                   priority plays through PipeWire's Pulse server, whose stream keeps a
                   queue; with it, on its native stream at a 128-frame quantum.

With --server jack the server is jackd with its dummy driver, under a name of its own; the
player plays through its JACK client, recorded by qk_jack_record (built beside the player)
from its two ports. key_sounds there checks the ports, their connections to the system's
playback ports and JACK's rate; chosen_output --list-audio-devices, --jack-connect (ports,
and none) and --audio-device among the playback ports.
With --server pipewire --output jack the player runs under pw-jack, its JACK client on
PipeWire's JACK library: key_sounds there checks that its two ports go to the sink's
playback ports, the graph's rate, and that Space stops the sound.
Exit code 0 passes, 77 skips (a tool is missing), anything else fails. Every wait is on a
condition, with a generous time limit that only fails the case.
"""
import array
import os
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "desktop"))
sys.path.insert(0, HERE)

from desktop_test import Desktop, Failure, check, dos_path, run_case, square_wav, wait_for  # noqa: E402
from jacklib import JackServer, available as jack_missing  # noqa: E402
from pipewirelib import PipeWireServer, available as pipewire_missing  # noqa: E402
from pulselib import Monitor, PulseError, PulseServer, frames_of, level_wav, loop_breaks, onset, sine_wav  # noqa: E402

LOST = "qksonnerix: the sound output was lost; playing silently until it is back"
NOT_YET = "qksonnerix: no sound output yet; playing silently until one appears"


def back_line(description, rate):
    return "qksonnerix: the sound output is back (%s, %d Hz)" % (description, rate)


class PulseDesktop(Desktop):
    def __init__(self, exe, sinks=(("qk_main", "QK Main Output", 48000),), server="pulseaudio", output="pulse"):
        super().__init__(exe)
        if server == "jack":
            self.pulse = JackServer(self.root, os.path.join(os.path.dirname(exe), "qk_jack_record"))
        elif server == "pipewire":
            self.pulse = PipeWireServer(self.root, sinks)
        else:
            self.pulse = PulseServer(self.root, sinks)
        self.kind = server
        # How the player names the default output when it comes back.
        self.main_output = "JACK: system:playback_1, system:playback_2" if server == "jack" else \
            "JACK: QK Main Output:playback_FL, QK Main Output:playback_FR" if output == "jack" else "QK Main Output"
        self.output = output

    def start_player(self, args=(), env_extra=None, wrap=()):
        env = self.pulse.client_env(self.env)
        env.pop("SDL_AUDIODRIVER", None)
        if self.output:
            args = ["--audio-output", self.output] + list(args)
        for k in ("QKSONNERIX_AUDIO_DEVICE", "QKSONNERIX_AUDIO_BUFFER_MS", "QKSONNERIX_AUDIO_AWAKE",
                  "QKSONNERIX_AUDIO_OUTPUT"):
            env.pop(k, None)  # the player's own defaults, whatever the caller's environment holds
        for k, v in (env_extra or {}).items():
            if v is None:
                env.pop(k, None)
            else:
                env[k] = v
        if self.kind == "pipewire" and self.output == "jack":
            wrap = ["pw-jack"] + list(wrap)  # the JACK client on PipeWire's JACK library
        self.launch(list(wrap) + [self.exe] + list(args), env)

    def pw_jack_connections(self, port):
        """On PipeWire: the ports `port` is connected to, as a JACK client sees them."""
        r = subprocess.run(["pw-jack", "jack_lsp", "-c", port], env=self.pulse.client_env(self.env),
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=15)
        return [line.strip() for line in r.stdout.decode(errors="replace").splitlines()[1:] if line.startswith(" ")]

    def player_log(self):
        try:
            return "stderr: %s; server: %s" % (self.stderr_lines()[-10:], self.pulse.server_log()[-600:])
        except OSError:
            return ""

    def close(self):
        if self.player and self.player.poll() is None:
            self.player.kill()
            self.player.wait()
        if isinstance(self.pulse, PipeWireServer):
            self.late = self.pulse.late_clients()
        self.pulse.stop()
        super().close()


def settings(d, loop=0):
    path = os.path.join(d.home, "sounds", "tone.wav")
    os.makedirs(os.path.dirname(path), exist_ok=True)
    square_wav(path, 6000, 3.0)  # 44.1 kHz mono
    d.write_ini(["[QK_Pex]", "Lock=0", "Sync=0", "Loop=%d" % loop, "Auto=0", "Notify=0", "Rehearse=0", "X=40",
                 "Y=40", "W=640", "H=420", "Wave1=" + dos_path(path)])


def press_f1(d):
    main = d.find_window("QK Sonnerix")
    d.focus(main)
    d.key("F1")


def period_of(samples):
    """The mean distance in frames between the rising zero crossings of the left channel."""
    left = samples[0::2]
    ups = [i for i in range(1, len(left)) if left[i - 1] < 0 <= left[i]]
    return (ups[-1] - ups[0]) / (len(ups) - 1) if len(ups) > 2 else 0


def case_key_sounds_on_jack(d):
    """The JACK client, on jackd or (under pw-jack) on PipeWire's JACK library."""
    d.pulse.start()
    settings(d)
    mon = Monitor(d.pulse, "qk_main", keep=True)
    d.start_player()
    mark = mon.mark()
    press_f1(d)
    mon.wait_for_sound(mark)
    if d.kind == "jack":
        # Two ports of its own, connected to the system's playback ports.
        ports = d.pulse.ports()
        check("QK Sonnerix:out_1" in ports and "QK Sonnerix:out_2" in ports, "the player's ports: %s" % ports)
        for n in (1, 2):
            conn = d.pulse.connections("QK Sonnerix:out_%d" % n)
            check("system:playback_%d" % n in conn, "out_%d is connected to %s" % (n, conn))
    else:
        # On PipeWire: connected to the default sink's playback ports.
        for n, channel in ((1, "FL"), (2, "FR")):
            conn = d.pw_jack_connections("QK Sonnerix:out_%d" % n)
            check(conn == ["QK Main Output:playback_" + channel], "out_%d is connected to %s" % (n, conn))
    # At JACK's own rate: the 44.1 kHz square of 100 samples a period comes as 108.8 frames
    # at 48 kHz (played at 44.1 kHz it would be 100).
    wait_for("half a second of the tone", lambda: mon.recorded_frames(mark) > 24000 + 48000)
    period = period_of(mon.frames_since(mark)[2 * 4800:2 * 28800])
    check(abs(period - 100 * 48000 / 44100) < 0.2, "the tone comes with a period of %.2f frames" % period)
    # Space stops at once (the 3 s tone has most of its length still to go).
    stopped = mon.mark()
    d.key("space")
    wait_for("silence after space", lambda: len(mon.peaks(stopped)) > 40 and max(mon.peaks(stopped)[-20:]) == 0,
             timeout=10)
    check(mon.recorded_frames(stopped) < 48000 * 2, "the sound went on after space")
    check(d.stderr_lines() == [], "unexpected messages: %s" % d.stderr_lines())
    mon.stop()
    d.quit()


def case_key_sounds(d):
    if d.output == "jack":
        return case_key_sounds_on_jack(d)
    d.pulse.start()
    settings(d)
    mon = Monitor(d.pulse, "qk_main")
    d.start_player()
    mark = mon.mark()
    press_f1(d)
    mon.wait_for_sound(mark)
    inputs = d.pulse.sink_inputs()
    check(len(inputs) == 1, "expected one stream, got %s" % inputs)
    # The sink's sample format is the server's own (PipeWire mixes in floats); its rate is
    # the stream's.
    sink_spec = d.pulse.sink_spec("qk_main")
    check(sink_spec.endswith(" 2ch 48000Hz"), "the sink runs at %s" % sink_spec)
    check(inputs[0]["spec"] == "s16le 2ch 48000Hz", "the stream runs at %s, the sink at %s"
          % (inputs[0]["spec"], sink_spec))
    check(inputs[0]["corked"] == "no", "the stream is corked while it plays")
    # Space stops at once (the 3 s tone has most of its length still to go), and the idle
    # stream is corked (PulseAudio) or inactive (PipeWire), costing nothing.
    stopped = mon.mark()
    d.key("space")
    wait_for("silence after space", lambda: len(mon.peaks(stopped)) > 40 and max(mon.peaks(stopped)[-20:]) == 0,
             timeout=10)
    check(mon.recorded_frames(stopped) < 48000 * 2, "the sound went on after space")
    wait_for("the idle stream corked", lambda: d.pulse.sink_inputs()[0]["corked"] == "yes", timeout=10)
    check(d.stderr_lines() == [], "unexpected messages: %s" % d.stderr_lines())
    mon.stop()
    d.quit()


def case_server_restart(d):
    d.pulse.start()
    settings(d, loop=1)
    ini_before = open(d.ini_path(), "rb").read()
    mon = Monitor(d.pulse, "qk_main")
    d.start_player()
    mark = mon.mark()
    press_f1(d)
    mon.wait_for_sound(mark)
    d.pulse.kill()
    mon.stop()
    d.wait_line(LOST)
    d.alive()
    d.pulse.start()
    mon = Monitor(d.pulse, "qk_main")
    # The loop is heard again with no key pressed.
    mon.wait_for_sound(0)
    d.wait_line(back_line(d.main_output, 48000))
    d.alive()
    check(d.stderr_lines() == [LOST, back_line(d.main_output, 48000)], "messages: %s" % d.stderr_lines())
    check(open(d.ini_path(), "rb").read() == ini_before, "the settings changed")
    # A key still sounds, and the window still answers.
    press_f1(d)
    mon.stop()
    d.quit()
    check(d.ini()["qk_pex"]["wave1"].endswith("tone.wav"), "the sample was lost")


def case_server_later(d):
    settings(d)
    # SDL left to try every backend it has while there is no server (ALSA among them, on
    # a machine without a sound card): their own messages stay off stderr.
    d.start_player(env_extra={"SDL_AUDIODRIVER": None})
    d.find_window("QK Sonnerix")
    d.wait_line(NOT_YET)
    d.alive()
    d.pulse.start()
    d.wait_line(back_line(d.main_output, 48000))
    check(d.stderr_lines() == [NOT_YET, back_line(d.main_output, 48000)], "messages: %s" % d.stderr_lines())
    mon = Monitor(d.pulse, "qk_main")
    mark = mon.mark()
    press_f1(d)
    mon.wait_for_sound(mark)
    if d.kind == "jack":
        check("QK Sonnerix:out_1" in d.pulse.ports(), "the player's ports: %s" % d.pulse.ports())
    else:
        check(d.pulse.sink_inputs()[0]["spec"] == "s16le 2ch 48000Hz", "the stream's rate")
    mon.stop()
    d.quit()


def case_chosen_output_on_jack(d):
    d.pulse.start()
    settings(d)
    env = d.pulse.client_env(d.env)
    listed = subprocess.run([d.exe, "--audio-output", "jack", "--list-audio-devices"], env=env, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, timeout=30)
    check(listed.returncode == 0, "--list-audio-devices: exit %d" % listed.returncode)
    check(sorted(listed.stdout.decode().splitlines()) == ["system:playback_1", "system:playback_2"],
          "listed: %r" % listed.stdout)
    check(listed.stderr == b"", "--list-audio-devices said %r" % listed.stderr)
    recorder = subprocess.Popen([d.pulse.recorder, "qk-desk", "nobody:out_1", "nobody:out_2"], env=env,
                                stdout=subprocess.DEVNULL)
    try:
        wait_for("the desk's ports", lambda: "qk-desk:in_2" in d.pulse.ports())
        rows = [
            # (arguments, environment, where out_1 and out_2 must be connected, messages)
            ([], {}, (["system:playback_1"], ["system:playback_2"]), []),
            (["--jack-connect", "qk-desk:in_1,qk-desk:in_2"], {}, (["qk-desk:in_1"], ["qk-desk:in_2"]), []),
            (["--jack-connect=none"], {}, ([], []), []),
            (["--audio-device", "playback_2"], {}, (["system:playback_2"], ["system:playback_2"]), []),
            ([], {"QKSONNERIX_AUDIO_DEVICE": "No Such Port"}, (["system:playback_1"], ["system:playback_2"]),
             ['qksonnerix: no sound output matches "No Such Port"; using the default output']),
        ]
        for args, extra, wanted, messages in rows:
            d.start_player(args, extra)
            d.find_window("QK Sonnerix")
            wait_for("the player's ports (%s)" % args, lambda: "QK Sonnerix:out_2" in d.pulse.ports())
            got = tuple(sorted(d.pulse.connections("QK Sonnerix:out_%d" % n)) for n in (1, 2))
            check(got == wanted, "%s %s: connected to %s, not %s" % (args, extra, got, wanted))
            check(d.stderr_lines() == messages, "%s: messages %s" % (args, d.stderr_lines()))
            d.quit()
    finally:
        recorder.terminate()
        recorder.wait()


def case_chosen_output(d):
    if d.kind == "jack":
        return case_chosen_output_on_jack(d)
    d.pulse.start()
    settings(d)
    env = d.pulse.client_env(d.env)
    listed = subprocess.run([d.exe, "--audio-output", d.output, "--list-audio-devices"], env=env, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, timeout=30)
    check(listed.returncode == 0, "--list-audio-devices: exit %d" % listed.returncode)
    check(sorted(listed.stdout.decode().splitlines()) == ["Mixing Desk Out", "QK Main Output"],
          "listed: %r" % listed.stdout)
    check(listed.stderr == b"", "--list-audio-devices said %r" % listed.stderr)
    cases = [
        # (arguments, environment, the sink that must sound, the one that must stay silent, messages)
        (["--audio-device", "desk"], {}, "qk_desk", "qk_main", []),
        (["--audio-device=MAIN"], {"QKSONNERIX_AUDIO_DEVICE": "desk"}, "qk_main", "qk_desk", []),
        ([], {"QKSONNERIX_AUDIO_DEVICE": "Mixing"}, "qk_desk", "qk_main", []),
        (["--audio-device", "No Such Card"], {}, "qk_main", "qk_desk",
         ['qksonnerix: no sound output matches "No Such Card"; using the default output']),
    ]
    for args, extra, loud, quiet, messages in cases:
        mons = {name: Monitor(d.pulse, name) for name in ("qk_main", "qk_desk")}
        marks = {name: m.mark() for name, m in mons.items()}
        d.start_player(args, extra)
        press_f1(d)
        mons[loud].wait_for_sound(marks[loud])
        # The stream is on the chosen sink only.
        inputs = d.pulse.sink_inputs()
        check([i["sink"] for i in inputs] == [d.pulse.sink_index(loud)], "%s: streams %s" % (args, inputs))
        check(max(mons[quiet].peaks(marks[quiet]), default=0) == 0, "%s %s: %s was not silent" % (args, extra, quiet))
        check(d.stderr_lines() == messages, "%s: messages %s" % (args, d.stderr_lines()))
        for m in mons.values():
            m.stop()
        d.quit()


PERIOD = 128          # frames of one cycle of the loop's sine: 375 Hz at 48 kHz
AMPLITUDE = 16384     # half of full scale
FLOOR = AMPLITUDE * 9 // 10


def check_detector(samples, at):
    """The break detector finds a frame dropped and 3 ms of silence put in a loop that is
    clean from frame `at` on (1 s of it), and nothing in the loop as it is."""
    ch = 2
    window = 48000
    check(loop_breaks(samples, PERIOD, at, window, FLOOR) == [], "the detector finds a break in a clean loop")
    cut = at + 20000
    dropped = samples[:cut * ch] + samples[(cut + 1) * ch:]
    found = loop_breaks(dropped, PERIOD, at, window, FLOOR)
    check(len(found) == 1 and found[0][0] <= cut <= found[0][1], "a dropped frame at %d: found %s" % (cut, found))
    gap = samples[:cut * ch] + array.array("h", [0] * (144 * ch)) + samples[cut * ch:]
    found = loop_breaks(gap, PERIOD, at, window, FLOOR)
    check(len(found) == 1 and found[0][0] <= cut + 144 and found[0][1] >= cut + 144,
          "3 ms of silence at %d: found %s" % (cut, found))
    nudged = array.array("h", samples)
    nudged[(cut + 7) * ch + 1] += 40
    found = loop_breaks(nudged, PERIOD, at, window, FLOOR)
    check(len(found) == 1 and found[0][0] == cut + 7, "a click at %d: found %s" % (cut + 7, found))


def case_loop_under_load(d):
    # The detector itself, on a synthetic loop first: it must be able to fail.
    tone = os.path.join(d.home, "sounds", "loop.wav")
    os.makedirs(os.path.dirname(tone), exist_ok=True)
    sine_wav(tone, rate=48000, period=PERIOD, periods=375, amplitude=AMPLITUDE)
    with open(tone, "rb") as f:
        synthetic = frames_of(f.read()[44:] * 2)
    check(onset(synthetic) == 1 and max(synthetic) == AMPLITUDE, "the loop's file")
    check_detector(synthetic, PERIOD)

    d.pulse.start()
    d.write_ini(["[QK_Pex]", "Lock=0", "Sync=0", "Loop=1", "Auto=0", "Notify=0", "Rehearse=0", "X=40", "Y=40",
                 "W=640", "H=420", "Wave1=" + dos_path(tone)])
    mon = Monitor(d.pulse, "qk_main", keep=True)
    # The Pulse stream with an ordinary user's scheduling rights: CI runs as root, which
    # could give the player's sound thread real-time priority, and a Pulse stream's queue
    # must hold without it. The native PipeWire stream plays only where its graph thread
    # runs at real-time priority, as a desktop's RTKit gives it (without, the player takes
    # the Pulse stream: see no_realtime).
    d.start_player(wrap=["setpriv", "--bounding-set=-sys_nice", "--"] if d.output == "pulse" else [])
    main = d.find_window("QK Sonnerix")
    d.focus(main)
    # Both cores busy for the whole loop; each busy loop ends by itself if this script dies.
    busy = [subprocess.Popen(["sh", "-c", "while kill -0 %d 2>/dev/null; do :; done" % os.getpid()])
             for _ in range(2)]
    try:
        mark = mon.mark()
        d.key("F1")
        mon.wait_for_sound(mark)
        first = onset(mon.frames_since(mark))
        check(first is not None, "the monitor heard a sound it did not record")
        start = first + PERIOD * 4  # a few periods in: the start of the sound may still settle
        window = 5 * 48000          # 5 s of loop
        wait_for("5 s of loop at the monitor", lambda: mon.recorded_frames(mark) > start + window + 2400,
                 timeout=60)
        for p in busy:
            check(p.poll() is None, "a busy loop ended early")
    finally:
        for p in busy:
            p.kill()
            p.wait()
    samples = mon.frames_since(mark)
    stopped = mon.mark()
    d.key("space")
    wait_for("silence after space", lambda: len(mon.peaks(stopped)) > 40 and max(mon.peaks(stopped)[-20:]) == 0,
             timeout=30)
    mon.stop()
    breaks = loop_breaks(samples, PERIOD, start, window, FLOOR)
    check(breaks == [], "%d breaks in 5 s of loop, at ms %s" % (
        len(breaks), ["%.2f-%.2f" % ((a - start) / 48.0, (b - start) / 48.0) for a, b in breaks[:20]]))
    # The detector on this very recording: a dropped frame and a short silence must be found.
    check_detector(samples, start)
    d.alive()
    d.quit()


def sync_gap(d):
    """Plays F1 and F3 (0.3 s each) with Sync on; gives the frames between the first sound's
    last frame and the second's first at the monitor, and how many frames of each were heard."""
    sounds = os.path.join(d.home, "sounds")
    os.makedirs(sounds, exist_ok=True)
    first, second = os.path.join(sounds, "first.wav"), os.path.join(sounds, "second.wav")
    level_wav(first, 6000, 14400)
    level_wav(second, 12000, 14400)
    d.write_ini(["[QK_Pex]", "Lock=0", "Sync=1", "Loop=0", "Auto=0", "Notify=0", "Rehearse=0", "X=40", "Y=40",
                 "W=640", "H=420", "Wave1=" + dos_path(first), "Wave3=" + dos_path(second)])
    mon = Monitor(d.pulse, "qk_main", keep=True)
    d.start_player()
    main = d.find_window("QK Sonnerix")
    d.focus(main)
    mark = mon.mark()
    d.run(["xdotool", "key", "--delay", "0", "F1", "F3"])

    def heard():
        s = mon.frames_since(mark)
        left = s[0::2]
        loud = [i for i, v in enumerate(left) if abs(abs(v) - 12000) <= 100]
        return (left, loud) if loud and len(left) - loud[-1] > 4800 else None
    left, second_frames = wait_for("both sounds at the monitor", heard, timeout=30)
    first_frames = [i for i, v in enumerate(left) if abs(abs(v) - 6000) <= 100]
    check(first_frames, "the first sound was not heard")
    return second_frames[0] - first_frames[-1] - 1, len(first_frames), len(second_frames)


def case_sync_back_to_back(d):
    d.pulse.start()
    gap, heard_first, heard_second = sync_gap(d)
    # Within a frame or two of each whole sound (the resampler's first and last frames).
    check(abs(heard_first - 14400) <= 2 and abs(heard_second - 14400) <= 2,
          "heard %d and %d frames of the two 14400-frame sounds" % (heard_first, heard_second))
    check(0 <= gap < 4800, "the second sound began %d frames (%.1f ms) after the first ended" % (gap, gap / 48.0))
    d.alive()
    d.quit()


def case_no_realtime(d):
    """On PipeWire, a player whose graph thread cannot run at real-time priority (an
    ordinary user without RTKit) plays on PipeWire's Pulse server, whose stream keeps a
    queue; with it, on its own stream at a small quantum."""
    check(isinstance(d.pulse, PipeWireServer), "this case is PipeWire's")
    d.pulse.start()
    settings(d)
    for wrap, api, latency in ((["setpriv", "--bounding-set=-sys_nice", "--"], "pipewire-pulse", None),
                               ([], None, "128/48000")):
        d.output = None
        mon = Monitor(d.pulse, "qk_main")
        d.start_player(wrap=wrap)
        mark = mon.mark()
        press_f1(d)
        mon.wait_for_sound(mark)
        inputs = d.pulse.sink_inputs()
        check(len(inputs) == 1, "expected one stream, got %s" % inputs)
        props = inputs[0]["props"]
        check(props.get("client.api") == api, "with %s the stream's client.api is %r" % (wrap, props.get("client.api")))
        if latency:
            check(props.get("node.latency") == latency, "the native stream asks for %r" % props.get("node.latency"))
        check(d.stderr_lines() == [], "unexpected messages: %s" % d.stderr_lines())
        mon.stop()
        d.quit()


CASES = {"key_sounds": case_key_sounds, "server_restart": case_server_restart, "server_later": case_server_later,
         "chosen_output": case_chosen_output, "loop_under_load": case_loop_under_load,
         "sync_back_to_back": case_sync_back_to_back, "no_realtime": case_no_realtime}


def main():
    args = sys.argv[1:]
    options = {"--server": "pulseaudio", "--output": None}
    while len(args) > 2 and args[-2] in options:
        options[args[-2]] = args[-1]
        args = args[:-2]
    server, output = options["--server"], options["--output"]
    if output is None:
        output = {"pulseaudio": "pulse", "pipewire": "pipewire", "jack": "jack"}.get(server)
    if len(args) != 2 or args[1] not in CASES or server not in ("pulseaudio", "pipewire", "jack") or \
            output not in ("pulse", "pipewire", "jack") or (server == "jack" and output != "jack") or \
            (server == "pulseaudio" and output == "jack"):
        print(__doc__)
        return 2
    case = args[1]
    tools = ("Xvfb", "openbox", "xdotool", "xprop") + (("jackd", "jack_lsp") if server == "jack" else
                                                        ("pulseaudio", "parec", "pactl"))
    if server == "pipewire" and output == "jack":
        tools += ("pw-jack", "jack_lsp")
    for tool in tools:
        if not shutil.which(tool):
            print("FAILED: %s is not installed (scripts/setup.sh installs it)" % tool)
            return 1
    if server == "jack" and not os.path.exists(os.path.join(os.path.dirname(os.path.abspath(args[0])), "qk_jack_record")):
        print("FAILED: qk_jack_record is not built beside the player")
        return 1
    if server == "pipewire" and pipewire_missing():
        print("FAILED: %s is not installed (scripts/setup.sh installs it)" % pipewire_missing())
        return 1
    sinks = [("qk_main", "QK Main Output", 48000)]
    if case == "chosen_output":
        sinks.append(("qk_desk", "Mixing Desk Out", 44100))
    label = "%s on %s (%s output)" % (case, server, output)
    # At PipeWire's small quanta a machine that stalls for a few milliseconds (a virtual
    # machine's CPU woken late, say) makes the graph miss a cycle, and PipeWire logs each
    # client it found too slow: the player's own node, the test's recorder and the sink
    # alike. A failed run in which PipeWire found a client too slow is run again, up to
    # five runs in all; a failure without one, or in every run, stands.
    runs = 5 if server == "pipewire" else 1
    for run in range(1, runs + 1):
        d = PulseDesktop(os.path.abspath(args[0]), sinks, server, output)
        d.late = []
        status = run_case(d, CASES[case], label, (Failure, PulseError))
        if status == 0 or not d.late:
            return status
        print("PipeWire found %s too slow for a cycle of the graph during run %d of %d%s"
              % (", ".join(sorted(set(d.late))), run, runs, ": running it again" if run < runs else ""))
    return status


if __name__ == "__main__":
    sys.exit(main())
