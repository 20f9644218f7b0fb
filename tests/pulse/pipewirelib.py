"""A private PipeWire server with its Pulse server (pipewire-pulse), for the same tests as
pulselib's PulseServer: the sound server that today's desktops run.

PipeWire needs a session manager (WirePlumber) to link streams to sinks, and WirePlumber
needs a D-Bus session bus; so a private bus is started first, in the server's own folder,
and lives until stop(). The null sinks are PipeWire's own, from a configuration drop-in
in the server's home, so they are there before its Pulse server answers. kill() kills PipeWire, WirePlumber and pipewire-pulse at once,
as a crash of the sound server would; start() brings them (and the sinks) back.
"""
import os
import re
import shutil
import signal
import subprocess
import time

from pulselib import PulseError, PulseServer, wait_for

PROGRAMS = ("dbus-daemon", "pipewire", "wireplumber", "pipewire-pulse")

SINK = """  { factory = adapter
    args = {
      factory.name = support.null-audio-sink
      node.name = "%s"
      node.description = "%s"
      media.class = "Audio/Sink"
      audio.position = [ FL FR ]
      audio.rate = %d
      priority.session = %d
      priority.driver = %d
    }
  }"""


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

    def _write_config(self):
        """The null sinks, made by PipeWire itself as it starts (so they are there before
        its Pulse server answers), the first one the most wanted as the default."""
        conf = os.path.join(self.root, "home", ".config", "pipewire", "pipewire.conf.d")
        os.makedirs(conf, exist_ok=True)
        objects = []
        for i, (name, description, rate) in enumerate(self.sinks):
            objects.append(SINK % (name, description, rate, 2000 - i, 2000 - i))
        with open(os.path.join(conf, "qk-sinks.conf"), "w") as f:
            f.write("context.objects = [\n%s\n]\n" % "\n".join(objects))

    def client_env(self, env=None):
        """A client's environment for this server: its Pulse server, and PipeWire's own
        socket for the player's native stream."""
        e = super().client_env(env)
        e["PIPEWIRE_RUNTIME_DIR"] = self.runtime
        e.pop("PIPEWIRE_REMOTE", None)
        return e

    def native_record_command(self, recorder, sink, frames=128):
        """What records a sink's monitor through PipeWire itself (qk_pw_record, beside the
        player), at a quantum of `frames` (PipeWire's Pulse server records in cycles of 256
        frames at least, and pw-record buffers what it writes)."""
        return [recorder, sink, str(frames)]

    def _server_env(self):
        env = dict(os.environ)
        for k in ("PULSE_SERVER", "PULSE_SINK", "DISPLAY", "WAYLAND_DISPLAY", "PIPEWIRE_REMOTE"):
            env.pop(k, None)
        env.update({"HOME": os.path.join(self.root, "home"), "XDG_RUNTIME_DIR": self.runtime,
                    "XDG_CONFIG_HOME": os.path.join(self.root, "home", ".config"),
                    "XDG_STATE_HOME": os.path.join(self.root, "state"),
                    "PIPEWIRE_RUNTIME_DIR": self.runtime, "PULSE_RUNTIME_PATH": os.path.join(self.runtime, "pulse"),
                    "DBUS_SESSION_BUS_ADDRESS": self.bus_address or "disabled:",
                    # The graph's nodes at info level: a client that misses its cycle is logged.
                    "PIPEWIRE_DEBUG": "2,pw.node:3"})
        return env

    def _start_bus(self):
        address = "unix:path=" + os.path.join(self.runtime, "bus")
        self.bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--nopidfile", "--address=" + address],
                                    stdout=self.log, stderr=self.log)
        wait_for("the session bus", lambda: os.path.exists(os.path.join(self.runtime, "bus")) or
                 self.bus.poll() is not None, timeout=15)
        if self.bus.poll() is not None:
            raise PulseError("the session bus did not start: " + self.server_log())
        self.bus_address = address

    def start(self):
        self.log = open(os.path.join(self.root, "server.log"), "ab")
        if self.bus is None:
            self._start_bus()
        self._write_config()
        env = self._server_env()
        if os.path.exists(self.socket):
            os.unlink(self.socket)
        self.procs = []
        # PipeWire first: WirePlumber and pipewire-pulse give up when it is not there yet.
        pipewire_socket = os.path.join(self.runtime, "pipewire-0")
        if os.path.exists(pipewire_socket):
            os.unlink(pipewire_socket)
        self.procs.append(subprocess.Popen(["pipewire"], env=env, stdout=self.log, stderr=self.log))
        wait_for("PipeWire", lambda: os.path.exists(pipewire_socket) or self.procs[0].poll() is not None)
        for program in PROGRAMS[2:]:
            self.procs.append(subprocess.Popen([program], env=env, stdout=self.log, stderr=self.log))
        self.proc = self.procs[-1]
        wait_for("the sound server", self.ready, timeout=30, interval=0.01)
        wait_for("the sinks", lambda: all(self._has_sink(n) for n, _, _ in self.sinks), timeout=30)
        # The default can be set only once the session manager has taken the sink in.
        wait_for("the default sink", lambda: self.pactl(["set-default-sink", self.sinks[0][0]], check=False)
                 is not None and self._default_sink() == self.sinks[0][0], timeout=30)
        return time.monotonic()

    def late_clients(self):
        """The clients that PipeWire found too slow for a cycle of the graph so far (an xrun),
        by node name, in the order logged."""
        try:
            with open(os.path.join(self.root, "server.log"), "rb") as f:
                log = f.read().decode(errors="replace")
        except OSError:
            return []
        return re.findall(r"\(([^()]+)-\d+\) client too slow!", log)

    def _default_sink(self):
        for line in (self.pactl(["info"], check=False) or "").splitlines():
            if line.startswith("Default Sink:"):
                return line.split(":", 1)[1].strip()
        return None

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
