"""A private PipeWire server with its Pulse server (pipewire-pulse), for the same tests as
pulselib's PulseServer: the sound server that today's desktops run.

PipeWire needs a session manager (WirePlumber) to link streams to sinks, and WirePlumber
needs a D-Bus session bus; so a private bus is started first, in the server's own folder,
and lives until stop(). The null sinks are made through the Pulse server once it answers,
as a user would with pactl. kill() kills PipeWire, WirePlumber and pipewire-pulse at once,
as a crash of the sound server would; start() brings them (and the sinks) back.
"""
import os
import shutil
import signal
import subprocess
import time

from pulselib import PulseError, PulseServer, wait_until

PROGRAMS = ("dbus-daemon", "pipewire", "wireplumber", "pipewire-pulse")


def available():
    """None when every program is installed, else the name of one that is missing."""
    for p in PROGRAMS:
        if not shutil.which(p):
            return p
    return None


class PipeWireServer(PulseServer):
    def __init__(self, root, sinks=(("qk_main", "QK Main Output", 48000),)):
        super().__init__(os.path.join(root, "pw"), sinks)
        self.runtime = os.path.join(self.root, "runtime")
        os.chmod(self.runtime, 0o700)
        self.socket = os.path.join(self.runtime, "pulse", "native")
        self.bus = None
        self.bus_address = None
        self.procs = []

    def _server_env(self):
        env = dict(os.environ)
        for k in ("PULSE_SERVER", "PULSE_SINK", "DISPLAY", "WAYLAND_DISPLAY", "PIPEWIRE_REMOTE"):
            env.pop(k, None)
        env.update({"HOME": os.path.join(self.root, "home"), "XDG_RUNTIME_DIR": self.runtime,
                    "XDG_CONFIG_HOME": os.path.join(self.root, "home", ".config"),
                    "XDG_STATE_HOME": os.path.join(self.root, "state"),
                    "PIPEWIRE_RUNTIME_DIR": self.runtime, "PULSE_RUNTIME_PATH": os.path.join(self.runtime, "pulse"),
                    "DBUS_SESSION_BUS_ADDRESS": self.bus_address or "disabled:"})
        return env

    def _start_bus(self):
        address = "unix:path=" + os.path.join(self.runtime, "bus")
        self.bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--nopidfile", "--address=" + address],
                                    stdout=self.log, stderr=self.log)
        wait_until("the session bus", lambda: os.path.exists(os.path.join(self.runtime, "bus")) or
                   self.bus.poll() is not None, timeout=15)
        if self.bus.poll() is not None:
            raise PulseError("the session bus did not start: " + self.server_log())
        self.bus_address = address

    def start(self):
        self.log = open(os.path.join(self.root, "server.log"), "ab")
        if self.bus is None:
            self._start_bus()
        env = self._server_env()
        if os.path.exists(self.socket):
            os.unlink(self.socket)
        self.procs = []
        for program in PROGRAMS[1:]:
            self.procs.append(subprocess.Popen([program], env=env, stdout=self.log, stderr=self.log))
        self.proc = self.procs[-1]
        wait_until("the sound server", self.ready)
        for name, description, rate in self.sinks:
            self.pactl(["load-module", "module-null-sink", "sink_name=" + name, "rate=%d" % rate,
                        "sink_properties='device.description=\"%s\"'" % description])
        wait_until("the sinks", lambda: all(self._has_sink(n) for n, _, _ in self.sinks))
        self.pactl(["set-default-sink", self.sinks[0][0]])
        return time.monotonic()

    def _has_sink(self, name):
        out = self.pactl(["list", "short", "sinks"], check=False) or ""
        return any(line.split("\t")[1:2] == [name] for line in out.splitlines())

    def ready(self):
        for p in self.procs:
            if p.poll() is not None:
                raise PulseError("%s ended: %s" % (p.args[0], self.server_log()))
        return self.pactl(["info"], check=False) is not None

    def kill(self):
        for p in self.procs:
            if p.poll() is None:
                p.send_signal(signal.SIGKILL)
                p.wait()
        if os.path.exists(self.socket):
            os.unlink(self.socket)

    def stop(self):
        for p in reversed(self.procs):
            if p.poll() is None:
                p.terminate()
                try:
                    p.wait(timeout=10)
                except subprocess.TimeoutExpired:
                    p.kill()
                    p.wait()
        if self.bus and self.bus.poll() is None:
            self.bus.terminate()
            self.bus.wait()
        self.bus = None
