"""A private JACK server (jackd with its dummy driver) for the sound tests and the benchmark,
and what records the player's ports on it.

The server has a name of its own (jackd -n), which clients reach through
JACK_DEFAULT_SERVER, so that runs on one machine never meet. jackd keeps every server of
the machine in one table of eight rows (/dev/shm/jack-shm-registry), and a killed server's
row stays until a server of the same name starts again: a test that kills its server
starts it again, and every server ends by SIGTERM, which takes its row away. The dummy
driver keeps time like a sound card and has the system's playback and capture ports; what
the player plays is recorded by qk_jack_record, a client of the tests' own that follows
the player's ports.
"""
import itertools
import os
import shutil
import subprocess
import time

from pulselib import PulseError, ServerProcess, wait_for

PROGRAMS = ("jackd", "jack_lsp")
_recorders = itertools.count()


def available():
    """None when every program is installed, else the name of one that is missing."""
    for p in PROGRAMS:
        if not shutil.which(p):
            return p
    return None


def check_started(proc, log):
    """Raises PulseError, with its log, when jackd has ended; says so plainly when its table is full."""
    if proc.poll() is None:
        return
    if "Too many servers already active" in log:
        raise PulseError("jackd ended: the machine's table of JACK servers (/dev/shm/jack-shm-registry) is full, "
                         "eight servers registered, killed ones among them; with no jackd running, remove "
                         "/dev/shm/jack-shm-registry and start again")
    raise PulseError("jackd ended: " + log)


class JackServer(ServerProcess):
    def __init__(self, root, recorder, rate=48000, period=128):
        self.root = os.path.join(root, "jack")
        os.makedirs(self.root, exist_ok=True)
        self.name = "qk-%d-%s" % (os.getpid(), os.path.basename(root)[-6:])
        self.recorder = recorder
        self.rate, self.period = rate, period
        self.proc = None
        self.log = None
        self.clients = []  # the recorders on this server, which stop() ends first

    def client_env(self, env=None):
        """env (or os.environ) with what a client needs to reach this server only."""
        e = dict(os.environ if env is None else env)
        e["JACK_DEFAULT_SERVER"] = self.name
        e.pop("JACK_PROMISCUOUS_SERVER", None)
        e["JACK_NO_AUDIO_RESERVATION"] = "1"
        return e

    def start(self):
        self.log = open(os.path.join(self.root, "server.log"), "ab")
        env = self.client_env()
        self.proc = subprocess.Popen(["jackd", "-n", self.name, "-d", "dummy", "-r", str(self.rate), "-p",
                                      str(self.period)], env=env, stdout=self.log, stderr=self.log)
        wait_for("the JACK server", self.ready, timeout=30, interval=0.02)
        return time.monotonic()

    def ready(self):
        check_started(self.proc, self.server_log())
        return "system:playback_1" in self.ports()

    def ports(self):
        r = subprocess.run(["jack_lsp"], env=self.client_env(), stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                           timeout=15)
        return r.stdout.decode(errors="replace").splitlines() if r.returncode == 0 else []

    def connections(self, port):
        """The ports `port` is connected to."""
        r = subprocess.run(["jack_lsp", "-c", port], env=self.client_env(), stdout=subprocess.PIPE,
                           stderr=subprocess.DEVNULL, timeout=15)
        return [line.strip() for line in r.stdout.decode(errors="replace").splitlines()[1:] if line.startswith(" ")]

    def stop(self):
        # A client still connected when jackd shuts down may leave as jackd writes to it,
        # and the SIGPIPE ends jackd before it takes its row out of the table of servers.
        for p in self.clients:
            if p.poll() is None:
                p.terminate()
                p.wait()
        ServerProcess.stop(self)

    def record_command(self, sink, rate, latency_ms):
        """Records what reaches the player's two ports (the sink's name does not matter here)."""
        return [self.recorder, "qk-monitor-%d" % next(_recorders), "QK Sonnerix:out_1", "QK Sonnerix:out_2"]
