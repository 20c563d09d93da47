#!/usr/bin/env python3
"""The live watch's rows of bench.sh's table.

  bench-watch.py <bin dir> <rows json>

A private PulseAudio server carries the sound between rx74-emulator --audio
(the built-in room) and quenbar-cli watch while programme material
(scripts/programme.sh) plays into the unit:

  - per material (pink noise, music), after 15 s of watching: the largest
    deviation of the live magnitude from the room's truth for the whole
    system (40 Hz .. 16 kHz, both over 1/12 octave, where the coherence of
    the points is above 0.8), how many points that is, and the delay found
    against the room's arrival of the tops;
  - the time from a PEQ band set on the unit (+6 dB at 1 kHz) to the
    watch's first line with an alarm there, with the default averaging,
    against a trace saved before;
  - the remote's Live view: the looks quenbar-cli serve pushes to a page a
    second while it watches the music, and their size.
"""
import cmath
import json
import math
import os
import base64
import runpy
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time
import urllib.request

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
LOW_HZ, HIGH_HZ = 40.0, 16000.0
# The accuracy's goals hold after 10 s of averaging, read after 15 s of
# watching; the default second's average is shown beside them.
ACCURACY_AVERAGE, DEFAULT_AVERAGE = 10, 1


def load_session_class():
    return runpy.run_path(os.path.join(ROOT, "scripts/bench-measure.py"))["Session"]


def system_truth(outputs):
    """The sum of every output's truth at its arrival: what a mono programme makes at the microphone."""
    hz = outputs["left"]["hz"]
    db = []
    for i, f in enumerate(hz):
        total = sum(10 ** (outputs[n]["db"][i] / 20) *
                    cmath.exp(1j * (math.radians(outputs[n]["phaseDeg"][i]) -
                                    2 * math.pi * f * outputs[n]["arrivalMs"] / 1000))
                    for n in ("left", "right", "sub"))
        db.append(20 * math.log10(abs(total)))
    return dict(zip((round(f, 6) for f in hz), db))


def power_mean(values):
    return 10 * math.log10(sum(10 ** (v / 10) for v in values) / len(values))


def deviation(look, truth):
    """Largest |live - truth| over 1/12 octave (three live points) where all three are coherent."""
    hz, largest, compared = look["hz"], 0.0, 0
    for i in range(1, len(hz) - 1):
        if not LOW_HZ <= hz[i] <= HIGH_HZ:
            continue
        window = range(i - 1, i + 2)
        if any(look["coherence"][k] <= 0.8 for k in window):
            continue
        theirs = [min(truth.items(), key=lambda t: abs(t[0] / hz[k] - 1))[1] for k in window]
        largest = max(largest, abs(power_mean([look["db"][k] for k in window]) - power_mean(theirs)))
        compared += 1
    return largest, compared


class PushReader:
    """The push channel as a page reads it: a WebSocket client of its own (text frames, unmasked from the server)."""

    def __init__(self, port):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=10)
        key = base64.b64encode(os.urandom(16)).decode()
        self.sock.sendall((f"GET /api/events HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\nUpgrade: websocket\r\n"
                           f"Connection: Upgrade\r\nSec-WebSocket-Key: {key}\r\nSec-WebSocket-Version: 13\r\n\r\n")
                          .encode())
        self.buffer = b""
        while b"\r\n\r\n" not in self.buffer:
            self.buffer += self.sock.recv(4096)
        head, self.buffer = self.buffer.split(b"\r\n\r\n", 1)
        if b" 101 " not in head.split(b"\r\n")[0]:
            raise RuntimeError(f"the push channel was refused: {head[:80]}")

    def take(self, count):
        while len(self.buffer) < count:
            chunk = self.sock.recv(65536)
            if not chunk:
                raise RuntimeError("the push channel closed")
            self.buffer += chunk
        taken, self.buffer = self.buffer[:count], self.buffer[count:]
        return taken

    def message(self):
        """The next whole message's text (fragments joined)."""
        text = b""
        while True:
            first, second = self.take(2)
            length = second & 0x7F
            if length == 126:
                length = struct.unpack(">H", self.take(2))[0]
            elif length == 127:
                length = struct.unpack(">Q", self.take(8))[0]
            text += self.take(length)
            if first & 0x80:
                return text.decode()


def call(port, method, path, body=None):
    request = urllib.request.Request(f"http://127.0.0.1:{port}{path}", method=method,
                                     data=None if body is None else json.dumps(body).encode(),
                                     headers={"Content-Type": "application/json"})
    with urllib.request.urlopen(request, timeout=30) as reply:
        return json.loads(reply.read())


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Bench:
    def __init__(self, session, folder):
        self.session, self.folder = session, folder
        self.programme = os.path.join(folder, "programme")
        subprocess.run([os.path.join(ROOT, "scripts/programme.sh"), self.programme], check=True)
        for name in ("pink", "music"):
            subprocess.run(["sox", f"{self.programme}/{name}.wav", f"{self.programme}/{name}-long.wav", "repeat", "5"],
                           check=True)

    def play(self, name):
        return subprocess.Popen(["paplay", "-d", "quenbar_out", f"{self.programme}/{name}-long.wav"],
                                env=self.session.env)

    def watch(self, *args):
        return self.session.program("quenbar-cli", "watch", "--record", "quenbar_mic.monitor", *args)

    def accuracy(self, material, truth, left_ms, average):
        player = self.play(material)
        try:
            run = self.watch("--json", "--seconds", "15", "--average", str(average))
        finally:
            player.terminate()
            player.wait()
        last = json.loads(run.stdout.splitlines()[-1])
        largest, compared = deviation(last, truth)
        delay_error = abs(last["delayMs"] - left_ms) if last["delayMs"] is not None else float("nan")
        goal = ("goal 0.5 dB" if material == "pink" else "goal 1.0 dB") if average == ACCURACY_AVERAGE else "no goal"
        return [f"Watch, {material}, {average} s averaging: largest deviation from the room's truth, 40 Hz - 16 kHz "
                f"at 1/12 octave, {compared} coherent points ({goal}); delay "
                f"{delay_error:.3f} ms off the tops' arrival (goal 0.1 ms)", f"{largest:.2f} dB", "", ""]

    def time_to_alarm(self, device):
        stored = os.path.join(self.folder, "stored.txt")
        player = self.play("pink")
        try:
            self.watch("--seconds", "12", "--save", stored)
            process = subprocess.Popen([os.path.join(self.session.bin_dir, "quenbar-cli"), "watch", "--record",
                                        "quenbar_mic.monitor", "--json", "--seconds", "16", "--against", stored],
                                       env=self.session.env, stdout=subprocess.PIPE, text=True)
            alarmed = []

            def read():  # to the end: a pipe left unread would hold the watch up
                for line in process.stdout:
                    look = json.loads(line)
                    if any(700 < a["hz"] < 1500 for a in look["alarms"]):
                        alarmed.append(time.monotonic())

            reader = threading.Thread(target=read)
            reader.start()
            time.sleep(7)
            self.session.program("quenbar-cli", "--port", device, "set", "lr", "peq", "1", "freq", "1kHz")
            # The unit changes somewhere inside the command (after its
            # connection and hand-shake): timed from both its ends.
            asked = time.monotonic()
            self.session.program("quenbar-cli", "--port", device, "set", "lr", "peq", "1", "gain", "6dB")
            changed = time.monotonic()
            lead = self.emulator_lead()
            reader.join()
            process.wait()
        finally:
            player.terminate()
            player.wait()
        command = f"{changed - asked:.2f} s"
        if not alarmed:
            return ["Watch, pink noise: a PEQ band set on the unit (+6 dB at 1 kHz) to its alarm", "no alarm", "", ""]
        return ["Watch, pink noise: a PEQ band set on the unit (+6 dB at 1 kHz) to its alarm, 1 s averaging, "
                f"from its sound's change: {alarmed[0] - changed:.2f} s from the end of the command that set it (it "
                f"took {command}) less the {lead:.3f} s the emulated unit's sound waits in the server (goal <= 2.5 s)",
                f"{alarmed[0] - changed - lead:.2f} s", "", ""]

    def emulator_lead(self):
        """The buffer latency the sound server reports for the emulated unit's sound into the room: a change on
        the unit is heard that much later (a unit's own is a few milliseconds)."""
        listed = subprocess.run(["pactl", "list", "sink-inputs"], env=self.session.env, capture_output=True,
                                text=True, check=True).stdout
        for block in listed.split("\n\n"):
            if '"the microphone in the room"' in block:
                for line in block.splitlines():
                    if line.strip().startswith("Buffer Latency:"):
                        return int(line.split()[2]) / 1e6
        raise RuntimeError("the emulated unit's sound is not in the server's list")


    def push_rate(self, device, seconds=10):
        port = free_port()
        serve = subprocess.Popen([os.path.join(self.session.bin_dir, "quenbar-cli"), "serve", "--port", device,
                                  "--listen", f"127.0.0.1:{port}"], env=self.session.env,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        player = self.play("music")
        try:
            for _ in range(100):
                try:
                    call(port, "GET", "/api/watch")
                    break
                except OSError:
                    time.sleep(0.1)
            reader = PushReader(port)
            call(port, "POST", "/api/watch", {})
            arrivals, sizes = [], []
            start = time.monotonic()
            while time.monotonic() - start < seconds:
                text = reader.message()
                if json.loads(text)["type"] == "watch":
                    arrivals.append(time.monotonic())
                    sizes.append(len(text))
            call(port, "POST", "/api/watch/stop", {})
        finally:
            player.terminate()
            player.wait()
            serve.terminate()
            serve.wait()
        rate = (len(arrivals) - 1) / (arrivals[-1] - arrivals[0])
        return [f"Watch through the remote: looks pushed to the page a second over {seconds} s of music, "
                f"each {sum(sizes) / len(sizes) / 1000:.1f} kB (goal >= 5 a second)", f"{rate:.1f} /s", "", ""]


def main():
    bin_dir, out_path = sys.argv[1], sys.argv[2]
    rows = []
    with tempfile.TemporaryDirectory() as folder:
        session = load_session_class()(bin_dir, folder)
        emulator = None
        try:
            bench = Bench(session, folder)
            outputs = json.loads(session.program("rx74-emulator", "--room-truth").stdout)["outputs"]
            truth, left_ms = system_truth(outputs), outputs["left"]["arrivalMs"]
            emulator = subprocess.Popen([os.path.join(bin_dir, "rx74-emulator"), "--audio"], env=session.env,
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
            device = emulator.stdout.readline().strip()
            for average in (ACCURACY_AVERAGE, DEFAULT_AVERAGE):
                for material in ("pink", "music"):
                    print(f"watching the built-in room on {material}, {average} s averaging ...", file=sys.stderr)
                    rows.append(bench.accuracy(material, truth, left_ms, average))
            print("timing an alarm ...", file=sys.stderr)
            rows.append(bench.time_to_alarm(device))
            print("watching through the remote ...", file=sys.stderr)
            rows.append(bench.push_rate(device))
        finally:
            if emulator:
                emulator.terminate()
                emulator.wait()
            session.close()
    with open(out_path, "w") as f:
        json.dump(rows, f)


if __name__ == "__main__":
    main()
