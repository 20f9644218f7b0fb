#!/usr/bin/env python3
"""The player against a real PulseAudio server: the qksonnerix executable under Xvfb and
openbox, a private pulseaudio with null sinks, their monitors recorded with parec.

    pulse_test.py <qksonnerix> <case>

Cases:
  key_sounds       F1 sounds at the sink, and the stream runs at the sink's own rate
                   (48 kHz, while the sample and the server's default are 44.1 kHz).
  server_restart   a loop plays; the server is killed: the player says so on stderr and
                   keeps running; the server starts again: the loop is heard again with no
                   key pressed, the player says so, and its settings are as they were.
  server_later     the player starts with no server and says so; the server comes; the
                   player says the output is back, and a key then sounds.
  chosen_output    --list-audio-devices lists the sinks; --audio-device and
                   QKSONNERIX_AUDIO_DEVICE pick a sink by a part of its name; an unknown
                   name gives its message and the default sink plays.

Exit code 0 passes, 77 skips (a tool is missing), anything else fails. Every wait is on a
condition, with a generous time limit that only fails the case.
"""
import os
import shutil
import signal
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "desktop"))
sys.path.insert(0, HERE)

from desktop_test import Desktop, Failure, check, dos_path, square_wav, wait_for  # noqa: E402
from pulselib import Monitor, PulseError, PulseServer  # noqa: E402

LOST = "qksonnerix: the sound output was lost; playing silently until it is back"
NOT_YET = "qksonnerix: no sound output yet; playing silently until one appears"


def back_line(description, rate):
    return "qksonnerix: the sound output is back (%s, %d Hz)" % (description, rate)


class PulseDesktop(Desktop):
    def __init__(self, exe, sinks=(("qk_main", "QK Main Output", 48000),)):
        super().__init__(exe)
        self.pulse = PulseServer(self.root, sinks)
        self.err_path = os.path.join(self.root, "player.err")

    def start_player(self, args=(), env_extra=None):
        env = self.pulse.client_env(self.env)
        env["SDL_AUDIODRIVER"] = "pulseaudio"
        env.pop("QKSONNERIX_AUDIO_DEVICE", None)
        env.update(env_extra or {})
        self.log = open(os.path.join(self.root, "player.log"), "wb")
        self.err = open(self.err_path, "wb")
        self.player = subprocess.Popen([self.exe] + list(args), env=env, cwd=self.home, stdout=self.log,
                                       stderr=self.err)

    def stderr_lines(self):
        with open(self.err_path, "rb") as f:
            return f.read().decode(errors="replace").splitlines()

    def player_log(self):
        try:
            return "stderr: %s; server: %s" % (self.stderr_lines()[-10:], self.pulse.server_log()[-600:])
        except OSError:
            return ""

    def wait_line(self, line, count=1):
        wait_for("the line %r on stderr" % line, lambda: self.stderr_lines().count(line) >= count, timeout=30)

    def alive(self):
        check(self.player.poll() is None, "the player ended (%s)" % self.player.returncode)

    def quit(self):
        self.player.send_signal(signal.SIGTERM)
        rc = self.wait_exit()
        check(rc == 0, "exit code %s after SIGTERM" % rc)

    def close(self):
        if self.player and self.player.poll() is None:
            self.player.kill()
            self.player.wait()
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


def case_key_sounds(d):
    d.pulse.start()
    settings(d)
    mon = Monitor(d.pulse, "qk_main")
    d.start_player()
    mark = mon.mark()
    press_f1(d)
    mon.wait_for_sound(mark)
    inputs = d.pulse.sink_inputs()
    check(len(inputs) == 1, "expected one stream, got %s" % inputs)
    sink_spec = d.pulse.sink_spec("qk_main")
    check(sink_spec == "s16le 2ch 48000Hz", "the sink runs at %s" % sink_spec)
    check(inputs[0]["spec"] == "s16le 2ch 48000Hz", "the stream runs at %s, the sink at %s"
          % (inputs[0]["spec"], sink_spec))
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
    d.wait_line(back_line("QK Main Output", 48000))
    d.alive()
    check(d.stderr_lines() == [LOST, back_line("QK Main Output", 48000)], "messages: %s" % d.stderr_lines())
    check(open(d.ini_path(), "rb").read() == ini_before, "the settings changed")
    # A key still sounds, and the window still answers.
    press_f1(d)
    mon.stop()
    d.quit()
    check(d.ini()["qk_pex"]["wave1"].endswith("tone.wav"), "the sample was lost")


def case_server_later(d):
    settings(d)
    d.start_player()
    d.find_window("QK Sonnerix")
    d.wait_line(NOT_YET)
    d.alive()
    d.pulse.start()
    d.wait_line(back_line("QK Main Output", 48000))
    mon = Monitor(d.pulse, "qk_main")
    mark = mon.mark()
    press_f1(d)
    mon.wait_for_sound(mark)
    check(d.pulse.sink_inputs()[0]["spec"] == "s16le 2ch 48000Hz", "the stream's rate")
    mon.stop()
    d.quit()


def case_chosen_output(d):
    d.pulse.start()
    settings(d)
    env = d.pulse.client_env(d.env)
    env["SDL_AUDIODRIVER"] = "pulseaudio"
    listed = subprocess.run([d.exe, "--list-audio-devices"], env=env, stdout=subprocess.PIPE,
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


CASES = {"key_sounds": case_key_sounds, "server_restart": case_server_restart, "server_later": case_server_later,
         "chosen_output": case_chosen_output}


def main():
    if len(sys.argv) != 3 or sys.argv[2] not in CASES:
        print(__doc__)
        return 2
    for tool in ("Xvfb", "openbox", "xdotool", "xprop", "pulseaudio", "parec", "pactl"):
        if not shutil.which(tool):
            print("FAILED: %s is not installed (scripts/setup.sh installs it)" % tool)
            return 1
    sinks = [("qk_main", "QK Main Output", 48000)]
    if sys.argv[2] == "chosen_output":
        sinks.append(("qk_desk", "Mixing Desk Out", 44100))
    d = PulseDesktop(os.path.abspath(sys.argv[1]), sinks)
    try:
        d.start()
        CASES[sys.argv[2]](d)
        print("passed: " + sys.argv[2])
        return 0
    except (Failure, PulseError) as e:
        print("FAILED: %s: %s" % (sys.argv[2], e))
        print("player output:", d.player_log())
        return 1
    finally:
        d.close()


if __name__ == "__main__":
    sys.exit(main())
